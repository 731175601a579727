#include "RawSMBios.h"

#include "LittleEndian.h"
#include "PhysMem.h"
#include "SysRoot.h"
#include "Utils.h"
#include "log.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <new>
#include <unistd.h>
#include <vector>

namespace
{
// The legacy BIOS segment that holds the entry point on machines without UEFI.
constexpr uint32_t kBiosSegmentBase = 0xF0000;
constexpr uint32_t kBiosSegmentLength = 0x10000;
constexpr char kAnchor[] = "_SM_";
constexpr size_t kAnchorLength = sizeof(kAnchor) - 1;

constexpr size_t kHeaderLength = sizeof(SMBIOS_ENTRY_POINT);

// The 3.x entry point: "_SM3_", checksum, length (24 in 3.0), version, the table's maximum length
// at 0x0C and its 64-bit address at 0x10.
constexpr char kAnchor3[] = "_SM3_";
constexpr size_t kAnchor3Length = sizeof(kAnchor3) - 1;
constexpr size_t kEntry3MinLength = 0x18;
// The 2.x fields up to the structure count; older kernels export 30 of the 31 bytes.
constexpr size_t kEntry2MinLength = 0x1E;

constexpr const char* kSysfsEntryPoint = "/sys/firmware/dmi/tables/smbios_entry_point";
constexpr const char* kSysfsTable = "/sys/firmware/dmi/tables/DMI";
// No till's table comes near this; a larger file is not trusted.
constexpr uint32_t kSysfsTableLimit = 0x100000;

// Logged addresses are 32-bit values, as the messages have always shown them.
unsigned AddressText(const void* p)
{
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p));
}

uint32_t PageSize()
{
    return static_cast<uint32_t>(getpagesize());
}
}  // namespace

CRawSMBios::CRawSMBios()
    : m_bInit(false), m_pBytes(nullptr), m_dwLength(0), m_Header(), m_Source(SMBiosSource::None),
      m_bSmbios3(false), m_bMemUnavailable(false)
{
    LogQuick(LOG_DEBUG, "CRawSMBios Constructed");
}

CRawSMBios::~CRawSMBios()
{
    delete[] m_pBytes;
    m_pBytes = nullptr;
    LogQuick(LOG_DEBUG, "CRawSMBios Destroyed");
}

bool CRawSMBios::Initialise()
{
    if (m_bInit)
    {
        LogQuick(LOG_DEBUG, "CRawSMBios::Initialise - Already initialised");
        return true;
    }
    if (!getSmbios())
        return false;
    if (m_dwLength == 0)
        return false;
    LogQuick(LOG_TRACE, "CRawSMBios::Initialise - Get SMBIOS Success");
    m_bInit = true;
    return true;
}

bool CRawSMBios::isEfi()
{
    DIR* dir = opendir(QelSys::SysPath("/sys/firmware/efi").c_str());
    if (dir == nullptr)
        return false;
    closedir(dir);
    return true;
}

bool CRawSMBios::getSmbios()
{
    m_bMemUnavailable = false;
    const bool found = isEfi() ? getSmbiosHdrEfi() : getSmbiosHdrBios();
    if (found)
    {
        dumpHeader();
        if (getSmbiosBytes())
        {
            m_Source = SMBiosSource::Memory;
            return true;
        }
    }
    // Only a refused device sends us to the kernel's copy: a table that memory holds but that
    // fails its checks is not made good by another source.
    if (!m_bMemUnavailable)
        return false;
    Log(LOG_INFO, "CRawSMBios::getSmbios - /dev/mem unavailable, reading the table from %s",
        QelSys::SysPath("/sys/firmware/dmi/tables").c_str());
    // What memory gave stays for the caller's explanation when the kernel's copy fails too.
    const SMBIOS_ENTRY_POINT fromMemory = m_Header;
    const bool smbios3 = m_bSmbios3;
    m_Header = SMBIOS_ENTRY_POINT();
    m_bSmbios3 = false;
    if (getSmbiosFromSysfs())
        return true;
    m_Header = fromMemory;
    m_bSmbios3 = smbios3;
    return false;
}

bool CRawSMBios::adoptSmbios3(const uint8_t* pEntry, size_t length, uint64_t* pqwAddress,
                              uint32_t* pdwTableMax)
{
    if (length < kEntry3MinLength || memcmp(pEntry, kAnchor3, kAnchor3Length) != 0)
    {
        LogQuick(LOG_ERROR, "CRawSMBios::adoptSmbios3 - no _SM3_ entry point");
        return false;
    }
    const size_t declared = pEntry[6];
    if (declared < kEntry3MinLength || declared > length)
    {
        Log(LOG_ERROR, "CRawSMBios::adoptSmbios3 - entry point length %d, %d bytes read",
            static_cast<int>(declared), static_cast<int>(length));
        return false;
    }
    if (!Utils::checksum(pEntry, static_cast<uint32_t>(declared)))
    {
        LogQuick(LOG_ERROR, "CRawSMBios::adoptSmbios3 - checksum failed");
        return false;
    }
    const uint32_t tableMax = LittleEndian::Read32(pEntry + 0x0C);
    const uint64_t address = LittleEndian::Read(pEntry + 0x10, 8);

    SMBIOS_ENTRY_POINT h{};
    memcpy(h.Anchor, kAnchor, kAnchorLength);
    h.EpStructLen = 0x1F;
    h.SmbiosMjor = pEntry[7];
    h.SmbiosMinor = pEntry[8];
    memcpy(h.InterAnchor, "_DMI_", 5);
    h.SmbiosLength = static_cast<uint16_t>(tableMax > 0xFFFF ? 0xFFFF : tableMax);
    h.SmbiosAddr = static_cast<uint32_t>(address);
    h.SmbiosBcdRev = static_cast<uint8_t>((pEntry[7] & 0x0F) << 4 | (pEntry[8] & 0x0F));
    uint8_t sum = 0;
    for (size_t i = 0; i < h.EpStructLen; ++i)
        sum = static_cast<uint8_t>(sum + reinterpret_cast<const uint8_t*>(&h)[i]);
    h.Chksum = static_cast<uint8_t>(0x100 - sum);
    m_Header = h;
    m_bSmbios3 = true;
    if (pqwAddress != nullptr)
        *pqwAddress = address;
    if (pdwTableMax != nullptr)
        *pdwTableMax = tableMax;
    return true;
}

bool CRawSMBios::getSmbiosFromSysfs()
{
    const std::string entryPath = QelSys::SysPath(kSysfsEntryPoint);
    std::vector<uint8_t> entry;
    int err = ReadFirmwareFile(kSysfsEntryPoint, kHeaderLength, entry);
    if (err != 0)
    {
        Log(LOG_ERROR, "CRawSMBios::getSmbiosFromSysfs - cannot read %s, errno=%d", entryPath.c_str(), err);
        return false;
    }
    uint32_t tableMax = 0;
    if (entry.size() >= kAnchor3Length && memcmp(entry.data(), kAnchor3, kAnchor3Length) == 0)
    {
        if (!adoptSmbios3(entry.data(), entry.size(), nullptr, &tableMax))
            return false;
    }
    else if (entry.size() >= kEntry2MinLength && memcmp(entry.data(), kAnchor, kAnchorLength) == 0)
    {
        memcpy(&m_Header, entry.data(), entry.size());
        if (m_Header.EpStructLen > entry.size() || !validateSmbiosHdr())
        {
            Log(LOG_ERROR, "CRawSMBios::getSmbiosFromSysfs - failed to validate the entry point in %s",
                entryPath.c_str());
            return false;
        }
        tableMax = m_Header.SmbiosLength;
    }
    else
    {
        // A legacy _DMI_-only entry point (15 bytes) included: it names no SMBIOS version.
        Log(LOG_ERROR, "CRawSMBios::getSmbiosFromSysfs - no _SM_ or _SM3_ entry point in %s (%d bytes)",
            entryPath.c_str(), static_cast<int>(entry.size()));
        return false;
    }
    dumpHeader();

    // The kernel cuts the table to the structures it walked, so it may be shorter than the entry
    // point says, never longer.
    std::vector<uint8_t> table;
    err = ReadFirmwareFile(kSysfsTable, tableMax < kSysfsTableLimit ? tableMax : kSysfsTableLimit, table);
    if (err != 0 || table.empty())
    {
        Log(LOG_ERROR, "CRawSMBios::getSmbiosFromSysfs - cannot read %s (at most %u bytes), errno=%d",
            QelSys::SysPath(kSysfsTable).c_str(), tableMax, err);
        return false;
    }
    uint8_t* copy = new (std::nothrow) uint8_t[table.size()];
    if (copy == nullptr)
        return false;
    memcpy(copy, table.data(), table.size());
    delete[] m_pBytes;
    m_pBytes = copy;
    m_dwLength = static_cast<uint32_t>(table.size());
    m_Source = SMBiosSource::Sysfs;
    return true;
}

bool CRawSMBios::getSmbiosHdrEfi()
{
    printf("CRawSMBios::getSmbiosHdrEfi\n");

    const std::string path = QelSys::SysPath("/sys/firmware/efi/systab");
    FILE* systab = fopen(path.c_str(), "re");
    if (systab == nullptr)
    {
        int err = errno;
        Log(LOG_ERROR, "CRawSMBios::getSmbiosHdrEfi - failed to open %s, 0x%08x", path.c_str(), err);
        return false;
    }

    // A line longer than the buffer arrives in pieces; each piece counts as a line.
    char line[64];
    bool found = false;
    std::string smbios3;  // the 3.x line, for firmware that offers no 2.x entry point
    while (fgets(line, sizeof(line), systab) != nullptr)
    {
        if (strncmp(line, "SMBIOS=", 7) == 0)
        {
            found = true;
            break;
        }
        if (strncmp(line, "SMBIOS3=", 8) == 0 && smbios3.empty())
            smbios3 = line + 8;
    }
    fclose(systab);

    if (!found)
    {
        LogQuick(LOG_ERROR, "CRawSMBios::getSmbiosHdrEfi - failed to find 'SMBIOS=' in systab");
        return !smbios3.empty() && getSmbiosHdrEfi3(smbios3);
    }
    const size_t length = strlen(line);
    if (length <= 10)
    {
        Log(LOG_ERROR, "CRawSMBios::getSmbiosHdrEfi - invalid 'SMBIOS=xxx' string length %d",
            static_cast<int>(length));
        return false;
    }

    const char* text = strchr(line, '=') + 1;
    errno = 0;
    unsigned long value = strtoul(text, nullptr, 16);
    if (errno != 0)
    {
        int err = errno;
        Log(LOG_ERROR, "CRawSMBios::getSmbiosHdrEfi - bad conversion from %s %08x", text, err);
        return false;
    }
    const uint32_t address = static_cast<uint32_t>(value);

    Log(LOG_DEBUG, "CRawSMBios::getSmbiosHdrEfi - Got SMBIOS Hdr physical address 0x%08x", address);
    if (!getSmbiosHdrFromPhys(address))
    {
        LogQuick(LOG_ERROR, "CRawSMBios::getSmbiosHdrEfi - failed to get SMBIOS Header");
        return false;
    }
    if (!validateSmbiosHdr())
    {
        LogQuick(LOG_ERROR, "CRawSMBios::getSmbiosHdrEfi - failed to validate SMBIOS Header");
        return false;
    }
    return true;
}

bool CRawSMBios::getSmbiosHdrEfi3(const std::string& text)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = strtoull(text.c_str(), &end, 16);
    if (errno != 0 || end == text.c_str() || value > UINT32_MAX - kHeaderLength)
    {
        Log(LOG_ERROR, "CRawSMBios::getSmbiosHdrEfi - unusable 'SMBIOS3=' address %s", text.c_str());
        return false;
    }
    Log(LOG_DEBUG, "CRawSMBios::getSmbiosHdrEfi - Got SMBIOS3 Hdr physical address 0x%08x",
        static_cast<unsigned>(value));
    if (!getSmbiosHdrFromPhys(static_cast<uint32_t>(value)))
        return false;
    uint8_t entry[kHeaderLength];
    memcpy(entry, &m_Header, sizeof(entry));
    m_Header = SMBIOS_ENTRY_POINT();
    uint64_t address = 0;
    if (!adoptSmbios3(entry, sizeof(entry), &address, nullptr))
        return false;
    if (address > UINT32_MAX)
    {
        LogQuick(LOG_ERROR, "CRawSMBios::getSmbiosHdrEfi - 3.x table above 4 GiB");
        return false;
    }
    return true;
}

bool CRawSMBios::getSmbiosHdrFromPhys(uint32_t dwPhysAddr)
{
    const uint32_t pageSize = PageSize();
    CPhysMemFile mem;
    if (!mem.Open())
    {
        int err = errno;
        Log(LOG_ERROR, "CRawSMBios::getSmbiosHdrFromPhys - open /dev/mem failed, errno=%d, euid=%d", err,
            static_cast<int>(geteuid()));
        m_bMemUnavailable = true;
        return false;
    }

    const uint32_t base = dwPhysAddr & ~(pageSize - 1);
    const uint32_t offset = dwPhysAddr - base;
    // Whole pages: one, or two when the 32 bytes cross into the next page.
    const uint32_t mapLength = (offset + kHeaderLength + pageSize - 1) / pageSize * pageSize;
    printf("phys_mem_offset=%d, 0x%08x\n", static_cast<int>(base), base);
    printf("phys_mem_length=%d, 0x%08x\n", static_cast<int>(mapLength), mapLength);
    printf("smbios_hdr_virt_offset=%d, 0x%08x\n", static_cast<int>(offset), offset);

    CPhysMemMapping mapping;
    if (!mapping.Map(mem, base, mapLength))
    {
        int err = errno;
        Log(LOG_ERROR, "CRawSMBios::getSmbiosHdrFromPhys - mmap around smbios header failed, errno=%d", err);
        m_bMemUnavailable = true;
        mem.Close();
        return false;
    }
    Log(LOG_DEBUG, "CRawSMBios::getSmbiosHdrFromPhys - Mapped around smbios header Phys: 0x%x, Virt: 0x%x",
        base, AddressText(mapping.Bytes()));
    memcpy(&m_Header, mapping.Bytes() + offset, kHeaderLength);
    mapping.Unmap();
    mem.Close();
    return true;
}

bool CRawSMBios::getSmbiosHdrBios()
{
    CPhysMemFile mem;
    if (!mem.Open())
    {
        int err = errno;
        Log(LOG_ERROR, "CRawSMBios::getSmbiosHdrBios - open /dev/mem failed, errno=%d, euid=%d", err,
            static_cast<int>(geteuid()));
        m_bMemUnavailable = true;
        return false;
    }
    CPhysMemMapping segment;
    if (!segment.Map(mem, kBiosSegmentBase, kBiosSegmentLength))
    {
        int err = errno;
        Log(LOG_ERROR, "CRawSMBios::getSmbiosHdrBios - mmap bios segment failed, errno=0x%08x", err);
        m_bMemUnavailable = true;
        mem.Close();
        return false;
    }

    // Every byte offset, not only paragraph boundaries, as long as the whole entry point (and
    // one byte more) still lies inside the segment.
    const uint8_t* bytes = segment.Bytes();
    const uint8_t* anchor = nullptr;
    for (uint32_t offset = 0; offset <= kBiosSegmentLength - (kHeaderLength + 1); ++offset)
    {
        if (memcmp(bytes + offset, kAnchor, kAnchorLength) == 0)
        {
            anchor = bytes + offset;
            break;
        }
    }
    if (anchor == nullptr)
    {
        // Firmware with only a 3.x entry point; dmidecode looks for it on paragraph boundaries.
        for (uint32_t offset = 0; offset + kHeaderLength <= kBiosSegmentLength; offset += 16)
        {
            if (memcmp(bytes + offset, kAnchor3, kAnchor3Length) != 0)
                continue;
            Log(LOG_DEBUG, "CRawSMBios::getSmbiosHdrBios - found _SM3_ anchor @ %p",
                static_cast<const void*>(bytes + offset));
            uint64_t address = 0;
            const bool adopted = adoptSmbios3(bytes + offset, kHeaderLength, &address, nullptr);
            segment.Unmap();
            mem.Close();
            if (adopted && address > UINT32_MAX)
            {
                LogQuick(LOG_ERROR, "CRawSMBios::getSmbiosHdrBios - 3.x table above 4 GiB");
                return false;
            }
            return adopted;
        }
        segment.Unmap();
        LogQuick(LOG_ERROR, "CRawSMBios::getSmbiosHdrBios - _SM_ anchor Not found in BIOS");
        mem.Close();
        return false;
    }

    Log(LOG_DEBUG, "CRawSMBios::getSmbiosHdrBios - found _SM_ anchor @ %p", static_cast<const void*>(anchor));
    memcpy(&m_Header, anchor, kHeaderLength);
    segment.Unmap();
    mem.Close();

    if (!validateSmbiosHdr())
    {
        LogQuick(LOG_ERROR, "CRawSMBios::getSmbiosHdrBios - failed to validate SMBIOS Header");
        return false;
    }
    return true;
}

bool CRawSMBios::validateSmbiosHdr()
{
    const unsigned length = m_Header.EpStructLen;
    if (length == 0)
    {
        Log(LOG_TRACE, "CRawSMBios::validateSmbiosHdr - chksum=%d", 0);
        return true;
    }
    // The checksum covers EpStructLen bytes, but only the first 32 were read: a longer entry
    // point cannot be verified and is not trusted.
    if (length > kHeaderLength)
    {
        Log(LOG_ERROR, "CRawSMBios::validateSmbiosHdr - entry point length %d exceeds the %d bytes read",
            static_cast<int>(length), static_cast<int>(kHeaderLength));
        return false;
    }
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&m_Header);
    uint8_t sum = 0;
    for (unsigned i = 0; i < length; ++i)
        sum = static_cast<uint8_t>(sum + bytes[i]);
    Log(LOG_TRACE, "CRawSMBios::validateSmbiosHdr - chksum=%d", sum);
    if (sum != 0)
    {
        Log(LOG_DEBUG, "CRawSMBios::validateSmbiosHdr - checksum failed, ChkSum=0x%02x (%d)", sum, sum);
        return false;
    }
    return true;
}

void CRawSMBios::dumpHeader()
{
    const SMBIOS_ENTRY_POINT& h = m_Header;
    LogQuick(LOG_DEBUG, "SMBIOS HEADER");
    Log(LOG_DEBUG, " Anchor '%c%c%c%c'", h.Anchor[0], h.Anchor[1], h.Anchor[2], h.Anchor[3]);
    Log(LOG_DEBUG, " Chksum 0x%02x", h.Chksum);
    Log(LOG_DEBUG, " EpStructLen %d", h.EpStructLen);
    Log(LOG_DEBUG, " SmbiosMjor %d", h.SmbiosMjor);
    Log(LOG_DEBUG, " SmbiosMinor %d", h.SmbiosMinor);
    Log(LOG_DEBUG, " MaxStructSize %d", h.MaxStructSize);
    Log(LOG_DEBUG, " FormattedArea 0x%02x, 0x%02x, 0x%02x, 0x%02x, 0x%02x", h.FormattedArea[0],
        h.FormattedArea[1], h.FormattedArea[2], h.FormattedArea[3], h.FormattedArea[4]);
    Log(LOG_DEBUG, " InterAnchor '%c%c%c%c%c'", h.InterAnchor[0], h.InterAnchor[1], h.InterAnchor[2],
        h.InterAnchor[3], h.InterAnchor[4]);
    Log(LOG_DEBUG, " InterChksum %d", h.InterChksum);
    Log(LOG_DEBUG, " SmbiosLength %d", h.SmbiosLength);
    Log(LOG_DEBUG, " SmbiosAddr 0x%08x", h.SmbiosAddr);
    Log(LOG_DEBUG, " NumSmbiosStructs %d", h.NumSmbiosStructs);
    Log(LOG_DEBUG, " SmbiosBcdRev %x", h.SmbiosBcdRev);
}

bool CRawSMBios::getSmbiosBytes()
{
    const uint32_t pageSize = PageSize();
    printf("pagemask=0x%08x\n", ~(pageSize - 1));

    CPhysMemFile mem;
    if (!mem.Open())
    {
        int err = errno;
        Log(LOG_ERROR, "CRawSMBios::getSmbiosBytes - open /dev/mem failed, errno=%d, euid=%d", err,
            static_cast<int>(geteuid()));
        m_bMemUnavailable = true;
        return false;
    }

    const uint32_t address = m_Header.SmbiosAddr;
    const uint32_t length = m_Header.SmbiosLength;
    const uint32_t base = address & ~(pageSize - 1);
    const uint32_t delta = address - base;
    const uint32_t mapLength = length + delta;
    printf("phys_mem_addr=%d, 0x%08x\n", static_cast<int>(base), base);
    printf("phys_mem_length=%d, 0x%08x\n", static_cast<int>(mapLength), mapLength);
    printf("smbios_offset=%d, 0x%08x\n", static_cast<int>(delta), delta);

    CPhysMemMapping mapping;
    if (!mapping.Map(mem, base, mapLength))
    {
        int err = errno;
        Log(LOG_ERROR, "CRawSMBios::getSmbiosBytes - mmap around smbios failed, errno=%d", err);
        m_bMemUnavailable = true;
        mem.Close();
        return false;
    }
    Log(LOG_DEBUG, "CRawSMBios::getSmbiosBytes - Mapped around smbios Phys: 0x%x, Virt: 0x%x", base,
        AddressText(mapping.Bytes()));

    uint8_t* copy = new (std::nothrow) uint8_t[length];
    if (copy == nullptr)
    {
        int err = errno;
        Log(LOG_ERROR, "CRawSMBios::getSmbiosBytes - out of memory, errno=%d", err);
        mapping.Unmap();
        mem.Close();
        return false;
    }
    memcpy(copy, mapping.Bytes() + delta, length);
    delete[] m_pBytes;  // a failed earlier attempt may have left a copy
    m_pBytes = copy;
    m_dwLength = length;
    mapping.Unmap();
    mem.Close();
    return true;
}
