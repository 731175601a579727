#include "RawEvLog.h"

#include "PhysMem.h"
#include "SysRoot.h"
#include "log.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <unistd.h>
#include <vector>

namespace
{
// The logging module cuts every message at this many characters.
constexpr size_t kLogMessageLimit = 4095;
constexpr uint32_t kDumpRowLength = 16;
// The first Type 15 structure's area as dmi-sysfs gives it.
constexpr const char* kSysfsEventLog = "/sys/firmware/dmi/entries/15-0/system_event_log/raw_event_log";

// Lower-case hex digits without printf: a dump of a full area is thousands of them.
void AppendHex(std::string& text, uint32_t value, int digits)
{
    static const char kDigits[] = "0123456789abcdef";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        text += kDigits[(value >> shift) & 0xF];
}

const void* AsPointer(uint64_t value)
{
    return reinterpret_cast<const void*>(static_cast<uintptr_t>(value));
}
}  // namespace

uint8_t bcd2decimal(uint8_t byBcd)
{
    unsigned high = byBcd >> 4;
    unsigned low = byBcd & 0x0F;
    if (high > 9)
        high = 9;
    if (low > 9)
        low = 9;
    return static_cast<uint8_t>(high * 10 + low);
}

CRawEvLog::CRawEvLog() : m_Bytes(nullptr), m_dwLength(0), m_iError(0)
{
    LogQuick(LOG_DEBUG, "CRawEvLog Constructed");
}

CRawEvLog::~CRawEvLog()
{
    Clear();
    LogQuick(LOG_DEBUG, "CRawEvLog Destroyed");
}

void CRawEvLog::Clear()
{
    delete[] m_Bytes;
    m_Bytes = nullptr;
    m_dwLength = 0;
}

int32_t CRawEvLog::Initialise(uint64_t qwAddress, uint32_t dwLength)
{
    Log(LOG_DEBUG, "CRawEvLog::Initialise(%p,%p)", AsPointer(qwAddress), AsPointer(dwLength));
    m_iError = GetBytesFromEvLog(qwAddress, dwLength);
    if (m_iError != 0)
        return false;
    LogQuick(LOG_TRACE, "CRawEvLog::Initialise - Map SMBIOS Success");
    return m_dwLength > 0;
}

int32_t CRawEvLog::GetBytesFromEvLog(uint64_t qwAddress, uint32_t dwLength)
{
    const uint64_t pageSize = static_cast<uint64_t>(getpagesize());
    Log(LOG_DEBUG, "CRawEvLog::GetBytesFromEvLog - uid=%d", static_cast<int>(getuid()));
    Log(LOG_DEBUG, "CRawEvLog::GetBytesFromEvLog - euid=%d", static_cast<int>(geteuid()));
    // Refused before anything is opened: without root the device would only fail later, and a
    // system root could otherwise hand an unprivileged caller someone else's image.
    if (geteuid() != 0)
    {
        Log(LOG_INFO, "CRawEvLog::GetBytesFromEvLog - Root privileges required, euid=%d",
            static_cast<int>(geteuid()));
        return EPERM;
    }

    CPhysMemFile mem;
    if (!mem.Open())
    {
        int err = errno;
        Log(LOG_ERROR, "CRawEvLog::GetBytesFromEvLog - open /dev/mem failed, errno=0x%08x", err);
        return GetBytesFromSysfs(dwLength) == 0 ? 0 : err;
    }

    const uint64_t offset = qwAddress - qwAddress % pageSize;
    Log(LOG_DEBUG, "CRawEvLog::GetBytesFromEvLog - PhysMemOffset=%d, 0x%x", static_cast<int>(offset),
        static_cast<unsigned>(offset));
    const uint64_t delta = qwAddress - offset;
    const uint64_t mapLength = dwLength + delta;
    Log(LOG_DEBUG, "CRawEvLog::GetBytesFromEvLog - PhysMemLength=%d, 0x%x", static_cast<int>(mapLength),
        static_cast<unsigned>(mapLength));

    CPhysMemMapping mapping;
    if (!mapping.Map(mem, offset, static_cast<size_t>(mapLength)))
    {
        int err = errno;
        Log(LOG_ERROR, "CRawEvLog::GetBytesFromEvLog - mmap evlog failed, errno=0x%08x", err);
        mem.Close();
        return GetBytesFromSysfs(dwLength) == 0 ? 0 : ENODEV;
    }

    uint8_t* copy = new (std::nothrow) uint8_t[dwLength];
    if (copy == nullptr)
    {
        Log(LOG_ERROR, "CRawEvLog::GetBytesFromEvLog - out of memory for %u bytes", dwLength);
        mapping.Unmap();
        mem.Close();
        return ENOMEM;
    }
    Log(LOG_DEBUG, "CRawEvLog::GetBytesFromEvLog - EvLogVirtOffset=%d, 0x%x", static_cast<int>(delta),
        static_cast<unsigned>(delta));
    memcpy(copy, mapping.Bytes() + delta, dwLength);
    delete[] m_Bytes;  // the container always uses a fresh object; do not leak if not
    m_Bytes = copy;
    m_dwLength = dwLength;
    mapping.Unmap();

    dump();
    mem.Close();
    return 0;
}

int32_t CRawEvLog::GetBytesFromSysfs(uint32_t dwLength)
{
    // dmi-sysfs maps the area itself (access method 3), also on a locked-down kernel. It hands
    // out the area's length and no more; a shorter file is an area we cannot trust.
    const std::string path = QelSys::SysPath(kSysfsEventLog);
    std::vector<uint8_t> bytes;
    const int err = ReadFirmwareFile(kSysfsEventLog, dwLength, bytes);
    if (err != 0 || bytes.size() != dwLength || dwLength == 0)
    {
        Log(LOG_ERROR, "CRawEvLog::GetBytesFromSysfs - cannot read %u bytes from %s (%u read), errno=%d",
            dwLength, path.c_str(), static_cast<unsigned>(bytes.size()), err);
        return err != 0 ? err : EIO;
    }
    Log(LOG_INFO, "CRawEvLog::GetBytesFromSysfs - /dev/mem unavailable, the area read from %s", path.c_str());
    Copy(bytes.data(), dwLength);
    dump();
    return 0;
}

void CRawEvLog::Copy(const uint8_t* pBytes, uint32_t dwSize)
{
    Clear();
    if (pBytes == nullptr || dwSize == 0)
    {
        Log(LOG_ERROR, "CRawEvLog::Copy - nothing to copy, pBytes=%p, size=%u",
            static_cast<const void*>(pBytes), dwSize);
        return;
    }
    m_Bytes = new uint8_t[dwSize];
    memcpy(m_Bytes, pBytes, dwSize);
    m_dwLength = dwSize;
}

std::string CRawEvLog::dumpText(size_t dwMaxChars) const
{
    std::string text = "\n\n--- EvLog Bytes ---\n";
    // One allocation: the rows up to the limit, and the last row that crosses it.
    const size_t rowChars = 10 + 3 * kDumpRowLength + 3 + kDumpRowLength;
    const size_t whole = text.size() + (m_dwLength / kDumpRowLength + 1) * rowChars + 32;
    text.reserve(dwMaxChars < whole ? dwMaxChars + rowChars : whole);
    for (uint32_t row = 0; row < m_dwLength && text.size() < dwMaxChars; row += kDumpRowLength)
    {
        const uint32_t count = m_dwLength - row < kDumpRowLength ? m_dwLength - row : kDumpRowLength;
        text += "\n ";
        AppendHex(text, row, 8);
        for (uint32_t i = 0; i < count; ++i)
        {
            text += ' ';
            AppendHex(text, m_Bytes[row + i], 2);
        }
        // A short last row keeps its " | " under those of the full rows.
        text.append(3 * (kDumpRowLength - count), ' ');
        text += " | ";
        for (uint32_t i = 0; i < count; ++i)
        {
            const uint8_t b = m_Bytes[row + i];
            text += b >= 0x21 && b <= 0x7F ? static_cast<char>(b) : '.';
        }
    }
    if (text.size() < dwMaxChars)
        text += "\n-------------------\n";
    return text;
}

void CRawEvLog::dump()
{
    if (m_Bytes == nullptr || m_dwLength == 0)
        return;
    Log(LOG_TRACE, "%s", dumpText(kLogMessageLimit).c_str());
}
