#include "SMBiosData.h"

#include "LittleEndian.h"
#include "RawSMBios.h"
#include "log.h"

#include <algorithm>
#include <cstring>

namespace
{
constexpr uint8_t kBiosInformationType = 0;
constexpr uint8_t kEndOfTableType = 127;
constexpr uint32_t kHeaderLength = 4;

// Offsets in the Type 0 structure.
constexpr uint32_t kType00Vendor = 0x04;
constexpr uint32_t kType00Version = 0x05;
constexpr uint32_t kType00StartSegment = 0x06;
constexpr uint32_t kType00ReleaseDate = 0x08;
constexpr uint32_t kType00TailLength = 16;  // 0x08 to 0x17
constexpr uint32_t kType00BiosRelease = 0x14;
constexpr uint32_t kType00FirmwareRelease = 0x16;
constexpr uint32_t kType00ExtendedRomSize = 0x18;
constexpr uint8_t kReleaseNotGiven = 0xFF;

unsigned AddressText(const void* p)
{
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p));
}
}  // namespace

CSMBiosData::CSMBiosData() : m_pRawBytes(nullptr), m_dwRawLength(0)
{
    LogQuick(LOG_DEBUG, "CSMBiosData Constructed");
}

CSMBiosData::~CSMBiosData()
{
    LogQuick(LOG_DEBUG, "CSMBiosData Destroyed");
}

void CSMBiosData::UseTable(const CRawSMBios& raw)
{
    m_pRawBytes = raw.m_pBytes;
    m_dwRawLength = raw.m_dwLength;
    m_wStructureCount = raw.m_Header.NumSmbiosStructs;
}

bool CSMBiosData::TableOffset(const uint8_t* p, uint32_t& dwOffset) const
{
    // Compared as integers: p may come from anywhere, and the end itself is a valid position.
    if (m_pRawBytes == nullptr || p == nullptr)
        return false;
    const uintptr_t start = reinterpret_cast<uintptr_t>(m_pRawBytes);
    const uintptr_t at = reinterpret_cast<uintptr_t>(p);
    if (at < start || at - start > m_dwRawLength)
        return false;
    dwOffset = static_cast<uint32_t>(at - start);
    return true;
}

const uint8_t* CSMBiosData::GetNextTable(const uint8_t* pCurrent)
{
    if (m_pRawBytes == nullptr)
    {
        LogQuick(LOG_ERROR, "CSMBiosData::GetNextTable - m_pRawBytes==NULL");
        return nullptr;
    }
    // A structure needs its 4-byte header inside the table.
    uint32_t current = 0;
    if (!TableOffset(pCurrent, current) || static_cast<uint64_t>(current) + 4 > m_dwRawLength)
    {
        Log(LOG_ERROR, "CSMBiosData::GetNextTable - Past end of SMBIOS, pCurrent=0x%08x",
            AddressText(pCurrent));
        return nullptr;
    }
    if (m_pRawBytes[current] == kEndOfTableType)
    {
        LogQuick(LOG_DEBUG, "CSMBiosData::GetNextTable - End Structure (127) found");
        return nullptr;
    }

    // Skip the formatted area, then the string set up to its double NUL; a set that runs into
    // the table's last byte ends the walk.
    uint64_t p = static_cast<uint64_t>(current) + m_pRawBytes[current + 1];
    while (p + 1 < m_dwRawLength)
    {
        if (m_pRawBytes[p] == 0 && m_pRawBytes[p + 1] == 0)
            return WholeStructure(p + 2);
        ++p;
    }
    return nullptr;
}

const uint8_t* CSMBiosData::WholeStructure(uint64_t qwOffset)
{
    // A header cut off by the table's end is left to GetNextTable's own check.
    if (qwOffset + kHeaderLength <= m_dwRawLength && m_pRawBytes[qwOffset + 1] < kHeaderLength)
    {
        Log(LOG_ERROR,
            "CSMBiosData::GetNextTable - Structure at offset 0x%04x has length %u, shorter than its "
            "header: the table is broken, the rest of it is ignored",
            static_cast<unsigned>(qwOffset), m_pRawBytes[qwOffset + 1]);
        return nullptr;
    }
    return m_pRawBytes + qwOffset;
}

const uint8_t* CSMBiosData::FirstStructure()
{
    // GetNextTable has the checks and messages for a table without even one header.
    if (m_pRawBytes == nullptr || m_dwRawLength < kHeaderLength)
        return GetNextTable(m_pRawBytes);
    return WholeStructure(0);
}

void CSMBiosData::GetBytes(const uint8_t* pTable, uint32_t dwOffset, uint8_t* pDest, uint32_t dwCount) const
{
    memset(pDest, 0, dwCount);
    uint32_t start = 0;
    if (!TableOffset(pTable, start))
        return;
    const uint64_t from = static_cast<uint64_t>(start) + dwOffset;
    // The header, then the formatted area as far as the length byte says.
    uint64_t end = m_dwRawLength;
    if (start + 1 < end)
        end = std::min<uint64_t>(end, start + std::max<uint32_t>(m_pRawBytes[start + 1], kHeaderLength));
    if (from >= end)
        return;
    const uint64_t available = end - from;
    memcpy(pDest, m_pRawBytes + from, available < dwCount ? static_cast<size_t>(available) : dwCount);
}

uint8_t CSMBiosData::GetByte(const uint8_t* pTable, uint32_t dwOffset) const
{
    uint8_t b[1];
    GetBytes(pTable, dwOffset, b, sizeof(b));
    return b[0];
}

uint16_t CSMBiosData::GetWord(const uint8_t* pTable, uint32_t dwOffset) const
{
    uint8_t b[2];
    GetBytes(pTable, dwOffset, b, sizeof(b));
    return LittleEndian::Read16(b);
}

uint32_t CSMBiosData::GetDWord(const uint8_t* pTable, uint32_t dwOffset) const
{
    uint8_t b[4];
    GetBytes(pTable, dwOffset, b, sizeof(b));
    return LittleEndian::Read32(b);
}

bool CSMBiosData::InTable(const uint8_t* pTable, uint32_t dwOffset, uint32_t dwSize) const
{
    uint32_t start = 0;
    return TableOffset(pTable, start) && static_cast<uint64_t>(start) + dwOffset + dwSize <= m_dwRawLength;
}

bool CSMBiosData::HasField(const uint8_t* pTable, uint32_t dwOffset, uint32_t dwSize) const
{
    return InTable(pTable, dwOffset, dwSize) &&
           static_cast<uint64_t>(dwOffset) + dwSize <= GetByte(pTable, 1);
}

std::string CSMBiosData::StringFromSet(uint64_t qwSetOffset, uint8_t byNumber) const
{
    if (byNumber == 0)
        return std::string();
    uint64_t pos = qwSetOffset;
    for (unsigned number = 1; pos < m_dwRawLength && m_pRawBytes[pos] != 0; ++number)
    {
        // The last string of a cut-off set ends with the table.
        const void* nul = memchr(m_pRawBytes + pos, 0, static_cast<size_t>(m_dwRawLength - pos));
        const uint64_t end = nul != nullptr
                                 ? static_cast<uint64_t>(static_cast<const uint8_t*>(nul) - m_pRawBytes)
                                 : m_dwRawLength;
        if (number == byNumber)
            return std::string(reinterpret_cast<const char*>(m_pRawBytes + pos),
                               static_cast<size_t>(end - pos));
        pos = end + 1;
    }
    return std::string();
}

void CSMBiosData::GetString(std::string& str, const uint8_t* pStrings, uint8_t byNumber)
{
    uint32_t setOffset = 0;
    str = TableOffset(pStrings, setOffset) ? StringFromSet(setOffset, byNumber) : std::string();
}

void CSMBiosData::GetFieldString(std::string& str, const uint8_t* pTable, uint32_t dwOffset,
                                 uint32_t dwSetOffset) const
{
    uint32_t start = 0;
    const uint32_t set = dwSetOffset != 0 ? dwSetOffset : GetByte(pTable, 1);
    str = TableOffset(pTable, start)
              ? StringFromSet(static_cast<uint64_t>(start) + set, GetByte(pTable, dwOffset))
              : std::string();
}

void CSMBiosData::StoreType00(const uint8_t* pTable)
{
    CSMBios_TYPE00& t = m_Type00;
    t.byType = GetByte(pTable, 0);
    t.byLength = GetByte(pTable, 1);
    t.wHandle = GetWord(pTable, 2);
    t.byVendorString = GetByte(pTable, kType00Vendor);
    t.byVersionString = GetByte(pTable, kType00Version);
    t.wStartingSegment = GetWord(pTable, kType00StartSegment);

    uint8_t tail[kType00TailLength];
    GetBytes(pTable, kType00ReleaseDate, tail, sizeof(tail));
    t.byReleaseDateString = tail[0];
    t.byRomSize = tail[1];
    memcpy(t.abyCharacteristics, tail + 2, sizeof(t.abyCharacteristics));
    memcpy(t.abyExtension, tail + 10, sizeof(t.abyExtension));
    // Older structures end before the release bytes (their strings follow there). A table cut
    // inside the structure only reads as zeros, as every field does.
    auto given = [&](uint32_t dwOffset)
    { return HasField(pTable, dwOffset, 2) || !InTable(pTable, dwOffset, 2); };
    const bool biosRelease = given(kType00BiosRelease);
    const bool firmwareRelease = given(kType00FirmwareRelease);
    t.byBiosMajorRelease = biosRelease ? tail[12] : kReleaseNotGiven;
    t.byBiosMinorRelease = biosRelease ? tail[13] : kReleaseNotGiven;
    t.byFirmwareMajorRelease = firmwareRelease ? tail[14] : kReleaseNotGiven;
    t.byFirmwareMinorRelease = firmwareRelease ? tail[15] : kReleaseNotGiven;
    t.wExtendedRomSize = GetWord(pTable, kType00ExtendedRomSize);

    GetFieldString(t.strVendor, pTable, kType00Vendor);
    GetFieldString(t.strVersion, pTable, kType00Version);
    GetFieldString(t.strReleaseDate, pTable, kType00ReleaseDate);

    // Every collection logs under this one label.
    LogQuick(LOG_DEBUG, "CSMBiosChipData::StoreType00");
    Log(LOG_DEBUG, "  BIOS Vendor:            %s", t.strVendor.c_str());
    Log(LOG_DEBUG, "  BIOS Version:           %s", t.strVersion.c_str());
    Log(LOG_DEBUG, "  BIOS Release Date:      %s", t.strReleaseDate.c_str());
    Log(LOG_DEBUG, "  BIOS Start Seg:         0x%04x", t.wStartingSegment);
    Log(LOG_DEBUG, "  BIOS ROM Size:          0x%02x", t.byRomSize);
    Log(LOG_DEBUG, "  BIOS Characteristics:   0x%02x", t.abyCharacteristics[0]);
    for (size_t i = 1; i < sizeof(t.abyCharacteristics); ++i)
        Log(LOG_DEBUG, "                          0x%02x", t.abyCharacteristics[i]);
    Log(LOG_DEBUG, "  Extension Byte 1:       0x%02x", t.abyExtension[0]);
    Log(LOG_DEBUG, "  Extension Byte 2:       0x%02x", t.abyExtension[1]);
    Log(LOG_DEBUG, "  BIOS Major Release:     0x%02x", t.byBiosMajorRelease);
    Log(LOG_DEBUG, "  BIOS Minor Release:     0x%02x", t.byBiosMinorRelease);
    Log(LOG_DEBUG, "  Firmware Major Release: 0x%02x", t.byFirmwareMajorRelease);
    Log(LOG_DEBUG, "  Firmware Minor Release: 0x%02x", t.byFirmwareMinorRelease);
}

void CSMBiosData::ForEachStructure(const std::function<bool(const uint8_t* pTable)>& visit)
{
    uint32_t dwVisited = 0;
    for (const uint8_t* pTable = FirstStructure(); pTable != nullptr; pTable = GetNextTable(pTable))
    {
        if (!visit(pTable))
            return;
        // Past the count of a 2.x entry point lies whatever the firmware left there.
        if (m_wStructureCount != 0 && ++dwVisited >= m_wStructureCount &&
            GetByte(pTable, 0) != kEndOfTableType)
        {
            if (const uint8_t* pRest = GetNextTable(pTable))
                Log(LOG_ERROR,
                    "CSMBiosData::WalkStructures - The entry point counts %u structures: the rest of the "
                    "table from offset 0x%04x is ignored",
                    m_wStructureCount, static_cast<unsigned>(pRest - m_pRawBytes));
            return;
        }
    }
}

void CSMBiosData::WalkStructures(const char* pszLabel, const StructureVisitor& visit)
{
    bool biosStored = false;
    bool first = true;
    ForEachStructure(
        [&](const uint8_t* pTable)
        {
            const uint8_t type = GetByte(pTable, 0);
            // Many firmwares put an OEM or other structure first.
            if (type == kBiosInformationType && !biosStored)
            {
                StoreType00(pTable);
                biosStored = true;
            }
            // The first structure stands where Type 0 belongs; no collection looks at it.
            if (first)
            {
                first = false;
                return true;
            }
            Log(LOG_DEBUG, "%s - pTable=0x%x", pszLabel, AddressText(pTable));
            LogQuick(LOG_DEBUG, "Header:");
            Log(LOG_DEBUG, "  Type:   0x%02x, (%d)", type, type);
            Log(LOG_DEBUG, "  Length: 0x%02x", GetByte(pTable, 1));
            Log(LOG_DEBUG, "  Handle: 0x%04x", GetWord(pTable, 2));
            visit(pTable);
            return true;
        });
}
