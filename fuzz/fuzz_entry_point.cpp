// Any bytes as the BIOS segment of physical memory, with or without a UEFI system table naming
// where the entry point is: the search, the entry point's validation and the copy of the table
// must fail cleanly or bring back exactly the bytes memory holds. dev/mem is a sparse file below
// the system root, as on the simulator; broken invariants abort.
//
// Input: one flag byte, then (with flag 1) two bytes n and n bytes of systab text, then the
// bytes laid at 0xF0000. Flag 2 ends memory right after those bytes instead of at 1 MiB, so
// mappings past its end are refused.
#include "FuzzSupport.h"
#include "RawSMBios.h"
#include "SMBiosMachineData.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace
{
using QelFuzz::Check;
using QelFuzz::PathBelowRoot;

constexpr uint32_t kSegment = 0xF0000;
constexpr uint32_t kSegmentLength = 0x10000;
constexpr off_t kMemorySize = 0x100000;

std::string g_mem;
std::string g_efi;
std::string g_systab;

// Memory as a sparse file: zero everywhere but the segment bytes.
void LayMemory(const uint8_t* bytes, size_t length, bool cut)
{
    const int fd = open(g_mem.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Check(fd >= 0);
    Check(ftruncate(fd, cut ? static_cast<off_t>(kSegment + length) : kMemorySize) == 0);
    Check(length == 0 || pwrite(fd, bytes, length, kSegment) == static_cast<ssize_t>(length));
    close(fd);
}

uint8_t MemoryByte(const uint8_t* segment, size_t length, uint64_t address)
{
    return address >= kSegment && address - kSegment < length ? segment[address - kSegment] : 0;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_mem = PathBelowRoot("/dev/mem");
    g_systab = PathBelowRoot("/sys/firmware/efi/systab");
    g_efi = g_systab.substr(0, g_systab.rfind('/'));
    QelFuzz::SilenceStandardOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool efi = (data[0] & 1) != 0;
    const bool cut = (data[0] & 2) != 0;
    size_t at = 1;
    if (efi)
    {
        if (size < 3)
            return 0;
        const size_t n = data[1] | data[2] << 8;
        if (size < 3 + n)
            return 0;
        PathBelowRoot("/sys/firmware/efi/systab");
        QelFuzz::WriteFile(g_systab, data + 3, n);
        at = 3 + n;
    }
    else
    {
        unlink(g_systab.c_str());
        rmdir(g_efi.c_str());
    }
    const uint8_t* segment = data + at;
    const size_t length = size - at;
    if (length > kSegmentLength)
        return 0;
    LayMemory(segment, length, cut);

    CRawSMBios raw;
    const bool ok = raw.Initialise();
    if (!ok)
        return 0;
    const SMBIOS_ENTRY_POINT& h = raw.m_Header;
    if (!efi)
        Check(memcmp(h.Anchor, "_SM_", 4) == 0);
    Check(raw.m_dwLength == h.SmbiosLength && raw.m_dwLength > 0 && raw.m_pBytes != nullptr);
    Check(h.EpStructLen <= sizeof(SMBIOS_ENTRY_POINT));
    uint8_t sum = 0;
    for (unsigned i = 0; i < h.EpStructLen; ++i)
        sum = static_cast<uint8_t>(sum + reinterpret_cast<const uint8_t*>(&h)[i]);
    Check(sum == 0);
    // The copy is what memory holds at the address the entry point gives.
    for (uint32_t i = 0; i < raw.m_dwLength; ++i)
        Check(raw.m_pBytes[i] == MemoryByte(segment, length, uint64_t{h.SmbiosAddr} + i));
    CSMBiosMachineData machine;
    machine.Initialise(raw);
    return 0;
}
