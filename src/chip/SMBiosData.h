// The common base of the SMBIOS structure collections: a view of the table that a CRawSMBios
// copied, the step from one structure to the next, checked reads of a structure's fields and
// strings, and the BIOS Information structure (Type 0) that every collection stores.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class CRawSMBios;

// The BIOS Information structure (Type 0) as the library keeps it.
struct CSMBios_TYPE00
{
    uint8_t byType = 0;
    uint8_t byLength = 0;
    uint16_t wHandle = 0;
    uint8_t byVendorString = 0;
    uint8_t byVersionString = 0;
    uint16_t wStartingSegment = 0;
    // Fields the formatted length does not cover are not given: string number 0, zero, and
    // 0xFF for the release bytes.
    uint8_t byReleaseDateString = 0;
    uint8_t byRomSize = 0;
    uint8_t abyCharacteristics[8] = {};
    uint8_t abyExtension[2] = {};
    uint8_t byBiosMajorRelease = 0;
    uint8_t byBiosMinorRelease = 0;
    uint8_t byFirmwareMajorRelease = 0;
    uint8_t byFirmwareMinorRelease = 0;
    // At 0x18 (SMBIOS 3.1): the ROM size when byRomSize is 0xFF; bits 15..14 the unit (MB, GB).
    uint16_t wExtendedRomSize = 0;
    std::string strVendor;
    std::string strVersion;
    std::string strReleaseDate;
};

class CSMBiosData
{
public:
    CSMBiosData();
    virtual ~CSMBiosData();
    CSMBiosData(const CSMBiosData&) = delete;
    CSMBiosData& operator=(const CSMBiosData&) = delete;

    virtual bool Initialise(CRawSMBios& raw) = 0;

    // Points the view at the table copy, with the entry point's structure count.
    void UseTable(const CRawSMBios& raw);

    // Only valid while the CRawSMBios it points into exists (during Initialise).
    const uint8_t* m_pRawBytes;
    uint32_t m_dwRawLength;
    // The walk stops after this many structures, as the 2.x entry point counts them; 0: no limit.
    uint16_t m_wStructureCount = 0;
    // The first Type 0 structure of the table; byLength 0 when the table has none.
    CSMBios_TYPE00 m_Type00;

protected:
    // The structure after pCurrent, or null at the End-of-Table structure, where the table
    // ends, and at a structure shorter than its 4-byte header (the table is broken there and the
    // next one cannot be found). Never reads outside the table.
    const uint8_t* GetNextTable(const uint8_t* pCurrent);
    // Replaces str with string number byNumber of the string set at pStrings (empty for 0, for
    // a number past the set's end, and for a set outside the table).
    void GetString(std::string& str, const uint8_t* pStrings, uint8_t byNumber);
    // Decodes the structure at pTable as Type 0 into m_Type00, whatever its type.
    void StoreType00(const uint8_t* pTable);

    // The walk every collection makes: the first Type 0 structure, wherever it stands, to
    // StoreType00; every structure after the first (End-of-Table included) logged under
    // "<pszLabel> - pTable=0x%x" and handed to the visitor. It ends after the entry point's
    // structure count.
    using StructureVisitor = std::function<void(const uint8_t* pTable)>;
    void WalkStructures(const char* pszLabel, const StructureVisitor& visit);
    // The same walk without its log lines; it ends early when visit answers false.
    void ForEachStructure(const std::function<bool(const uint8_t* pTable)>& visit);

    // Checked reads of the structure at pTable. Bytes beyond its formatted length (the 4-byte
    // header always counts) or the table's end read as 0, so a field the structure does not
    // cover yields only what lies inside.
    uint8_t GetByte(const uint8_t* pTable, uint32_t dwOffset) const;
    uint16_t GetWord(const uint8_t* pTable, uint32_t dwOffset) const;
    uint32_t GetDWord(const uint8_t* pTable, uint32_t dwOffset) const;
    void GetBytes(const uint8_t* pTable, uint32_t dwOffset, uint8_t* pDest, uint32_t dwCount) const;
    // The string whose number stands in the byte at dwOffset, from the structure's string set
    // (which starts at dwSetOffset when given, else after the formatted length).
    void GetFieldString(std::string& str, const uint8_t* pTable, uint32_t dwOffset,
                        uint32_t dwSetOffset = 0) const;
    // True when the dwSize bytes at dwOffset of the structure lie inside the table.
    bool InTable(const uint8_t* pTable, uint32_t dwOffset, uint32_t dwSize) const;
    // True when, in addition, the structure's formatted area holds them: older structures are
    // shorter and leave later fields out.
    bool HasField(const uint8_t* pTable, uint32_t dwOffset, uint32_t dwSize) const;

private:
    // Offset of p in the table; false when p does not point into it.
    bool TableOffset(const uint8_t* p, uint32_t& dwOffset) const;
    // The string with the given number from the set that starts at a table offset.
    std::string StringFromSet(uint64_t qwSetOffset, uint8_t byNumber) const;
    // The first structure, or null (with GetNextTable's messages) for a table without one.
    const uint8_t* FirstStructure();
    // The structure at a table offset; null, logged, when its length byte is below 4.
    const uint8_t* WholeStructure(uint64_t qwOffset);
};
