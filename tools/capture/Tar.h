// A POSIX ustar archive of plain files, written and read in memory. Our own few lines rather than a
// library: a capture holds a handful of small members, and the reader must refuse, with a clear
// message, everything a capture never holds (links, devices, absolute or climbing names, members
// past the archive's end) without reading a byte outside the buffer it was given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace QelCapture
{
// Anything wrong with a capture or an archive; what() says what, naming the member.
class CaptureError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct TarMember
{
    std::string name;  // relative, '/'-separated, at most 100 characters
    std::vector<uint8_t> data;
};

constexpr size_t kTarBlock = 512;
// Bounds the reader holds every archive to; a capture stays far below them.
constexpr size_t kMaxTarMembers = 256;
constexpr size_t kMaxTarMemberSize = 1024 * 1024;

// The archive: a header and the data (padded to 512 bytes) per member, then two zero blocks.
// Every member has mode 0600 and mtime, seconds since the epoch. Throws CaptureError for a name
// that does not fit the header.
std::vector<uint8_t> WriteTar(const std::vector<TarMember>& members, uint64_t mtime);

// The members, in archive order. Throws CaptureError for a truncated archive, a bad header or
// checksum, a member that is no regular file, a name that is absolute, climbs out ("..") or
// repeats, and a member or member count over the bounds above.
std::vector<TarMember> ReadTar(const uint8_t* bytes, size_t size);

// Whether the bytes begin with a ustar header (the magic at offset 257).
bool LooksLikeTar(const uint8_t* bytes, size_t size);
}  // namespace QelCapture
