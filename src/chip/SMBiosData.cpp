#include "SMBiosData.h"

#include "log.h"

#include <cstring>

namespace
{
constexpr uint8_t kEndOfTableType = 127;

// Offsets in the Type 0 structure.
constexpr uint32_t kType00Vendor = 0x04;
constexpr uint32_t kType00Version = 0x05;
constexpr uint32_t kType00StartSegment = 0x06;
constexpr uint32_t kType00ReleaseDate = 0x08;
constexpr uint32_t kType00TailLength = 16;  // 0x08 to 0x17

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
            return m_pRawBytes + p + 2;
        ++p;
    }
    return nullptr;
}

void CSMBiosData::GetBytes(const uint8_t* pTable, uint32_t dwOffset, uint8_t* pDest, uint32_t dwCount) const
{
    memset(pDest, 0, dwCount);
    uint32_t start = 0;
    if (!TableOffset(pTable, start))
        return;
    const uint64_t from = static_cast<uint64_t>(start) + dwOffset;
    if (from >= m_dwRawLength)
        return;
    const uint64_t available = m_dwRawLength - from;
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
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint32_t CSMBiosData::GetDWord(const uint8_t* pTable, uint32_t dwOffset) const
{
    uint8_t b[4];
    GetBytes(pTable, dwOffset, b, sizeof(b));
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
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

void CSMBiosData::GetFieldString(std::string& str, const uint8_t* pTable, uint32_t dwOffset) const
{
    uint32_t start = 0;
    str = TableOffset(pTable, start)
              ? StringFromSet(static_cast<uint64_t>(start) + GetByte(pTable, 1), GetByte(pTable, dwOffset))
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
    t.byBiosMajorRelease = tail[12];
    t.byBiosMinorRelease = tail[13];
    t.byFirmwareMajorRelease = tail[14];
    t.byFirmwareMinorRelease = tail[15];

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

void CSMBiosData::WalkStructures(const char* pszLabel, const StructureVisitor& visit)
{
    // The first structure is taken as Type 0 without looking at its type.
    StoreType00(m_pRawBytes);
    for (const uint8_t* pTable = GetNextTable(m_pRawBytes); pTable != nullptr; pTable = GetNextTable(pTable))
    {
        const uint8_t type = GetByte(pTable, 0);
        Log(LOG_DEBUG, "%s - pTable=0x%x", pszLabel, AddressText(pTable));
        LogQuick(LOG_DEBUG, "Header:");
        Log(LOG_DEBUG, "  Type:   0x%02x, (%d)", type, type);
        Log(LOG_DEBUG, "  Length: 0x%02x", GetByte(pTable, 1));
        Log(LOG_DEBUG, "  Handle: 0x%04x", GetWord(pTable, 2));
        visit(pTable);
    }
}
