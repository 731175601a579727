// The SMBIOS entry point of the running machine and a copy of its structure table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

// Where the table copy came from.
enum class SMBiosSource : uint8_t
{
    None,
    Memory,  // "/dev/mem"
    Sysfs,   // the kernel's copy in /sys/firmware/dmi/tables, where "/dev/mem" is refused
};

// Finds and checks the entry point (through the UEFI system table or in the legacy BIOS
// segment) and copies the structure table out of "/dev/mem"; where that device cannot be opened
// or mapped, takes both from the kernel's copy in /sys/firmware/dmi/tables, checked the same way.
// A 3.x (64-bit) entry point is taken where no 2.x one is offered, and always from sysfs, since
// the kernel exports the 3.x one when there are both. The collections read m_pBytes and
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
    bool getSmbiosFromSysfs();
    // The entry point a systab "SMBIOS3=" line (the text after the "=") names.
    bool getSmbiosHdrEfi3(const std::string& text);
    // Checks a 3.x entry point of length bytes (anchor, length, checksum) and describes it in
    // m_Header as a 2.x one would: version, table address (its low 32 bits in *pqwAddress's
    // absence), the table's maximum length (at most 0xFFFF there; the whole in *pdwTableMax), no
    // structure count (the walk ends at the End-of-Table structure) and a checksum that holds.
    bool adoptSmbios3(const uint8_t* pEntry, size_t length, uint64_t* pqwAddress, uint32_t* pdwTableMax);

    bool m_bInit;
    uint8_t* m_pBytes;  // owned, m_dwLength bytes (new[])
    uint32_t m_dwLength;
    SMBIOS_ENTRY_POINT m_Header;
    SMBiosSource m_Source;
    bool m_bSmbios3;         // m_Header describes a 3.x entry point
    bool m_bMemUnavailable;  // "/dev/mem" could not be opened or mapped on the last attempt
};
