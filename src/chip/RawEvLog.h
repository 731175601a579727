// A private copy of the BIOS event log area, taken from physical memory so that the decoder can
// parse it at leisure; and the BCD conversion its time stamps and header need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One BCD byte as a number from 0 to 99; a nibble above 9 counts as 9. Exported.
uint8_t bcd2decimal(uint8_t byBcd);

class CRawEvLog
{
public:
    CRawEvLog();
    ~CRawEvLog();
    CRawEvLog(const CRawEvLog&) = delete;
    CRawEvLog& operator=(const CRawEvLog&) = delete;

    void Clear();

    // Copies dwLength bytes from physical address qwAddress; true when at least one byte came.
    // m_iError keeps what GetBytesFromEvLog answered.
    int32_t Initialise(uint64_t qwAddress, uint32_t dwLength);

    // 0, EPERM when not running as root (checked before anything is opened), the errno of a
    // failed open, ENODEV when the area cannot be mapped.
    int32_t GetBytesFromEvLog(uint64_t qwAddress, uint32_t dwLength);

    // The same bytes from dmi-sysfs, where "/dev/mem" is refused: 0, or the errno of the read
    // (EIO when the file holds fewer than dwLength bytes).
    int32_t GetBytesFromSysfs(uint32_t dwLength);

    // Takes an owned copy of dwSize bytes (the built-in sample log uses it).
    void Copy(const uint8_t* pBytes, uint32_t dwSize);

    // Logs the hexadecimal dump of the copy at trace level.
    void dump();
    // The dump's text; building stops once it holds dwMaxChars characters (the log cuts the
    // rest anyway, and a full area would make a dump of several hundred kilobytes).
    std::string dumpText(size_t dwMaxChars = static_cast<size_t>(-1)) const;

    // Readers use these directly; never modified once taken.
    uint8_t* m_Bytes;  // owned (new[]), or null
    uint32_t m_dwLength;
    int32_t m_iError;  // of the last Initialise
};
