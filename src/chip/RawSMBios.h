// The SMBIOS 2.x entry point of the running machine and a copy of its structure table.
#pragma once

#include <cstddef>
#include <cstdint>

// The 32 bytes of the entry point as they are copied from physical memory (little-endian).
struct SMBIOS_ENTRY_POINT
{
    uint8_t Anchor[4];  // "_SM_"
    uint8_t Chksum;
    uint8_t EpStructLen;
    uint8_t SmbiosMjor;
    uint8_t SmbiosMinor;
    uint16_t MaxStructSize;
    uint8_t EpRevision;  // not used
    uint8_t FormattedArea[5];
    uint8_t InterAnchor[5];  // "_DMI_", not compared
    uint8_t InterChksum;     // not verified
    uint16_t SmbiosLength;
    uint32_t SmbiosAddr;
    uint16_t NumSmbiosStructs;
    uint8_t SmbiosBcdRev;
    uint8_t Reserved;  // copied with the rest, not used
};
static_assert(sizeof(SMBIOS_ENTRY_POINT) == 32, "the entry point is copied as 32 raw bytes");
static_assert(offsetof(SMBIOS_ENTRY_POINT, MaxStructSize) == 0x08, "entry point layout");
static_assert(offsetof(SMBIOS_ENTRY_POINT, InterAnchor) == 0x10, "entry point layout");
static_assert(offsetof(SMBIOS_ENTRY_POINT, SmbiosLength) == 0x16, "entry point layout");
static_assert(offsetof(SMBIOS_ENTRY_POINT, SmbiosAddr) == 0x18, "entry point layout");
static_assert(offsetof(SMBIOS_ENTRY_POINT, NumSmbiosStructs) == 0x1C, "entry point layout");

// Finds and checks the entry point (through the UEFI system table or in the legacy BIOS
// segment) and copies the structure table out of "/dev/mem". The collections read m_pBytes and
// m_dwLength directly; the copy lives as long as this object.
class CRawSMBios
{
public:
    CRawSMBios();
    ~CRawSMBios();
    CRawSMBios(const CRawSMBios&) = delete;
    CRawSMBios& operator=(const CRawSMBios&) = delete;

    bool Initialise();

    // The steps of Initialise.
    bool isEfi();
    bool getSmbios();
    bool getSmbiosHdrEfi();
    bool getSmbiosHdrBios();
    bool getSmbiosHdrFromPhys(uint32_t dwPhysAddr);
    bool validateSmbiosHdr();
    bool getSmbiosBytes();
    void dumpHeader();

    bool m_bInit;
    uint8_t* m_pBytes;  // owned, m_dwLength bytes (new[])
    uint32_t m_dwLength;
    SMBIOS_ENTRY_POINT m_Header;
};
