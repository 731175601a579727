// The `dmidecode --dump-bin` form of a machine's SMBIOS: the entry point at offset 0 and the table
// where the entry point's table address says, as a file offset (dmidecode writes the table at
// 0x20 and sets the address so). Read by `--from-dump`, the corpus tests and the simulator, written
// into every capture.
#pragma once

#include "MachineImage.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace QelImage
{
constexpr uint32_t kDumpTableOffset = 0x20;

// What is wrong with a dump; what() says it.
class DumpError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct Dump
{
    // The SMBIOS 2.x entry point, its table address the table's offset in the file. A dump of a
    // 3.x entry point alone gets the 2.x one the library reads, made up from the 3.x version and
    // the table as it stands (the 3.x length field is only an upper bound).
    std::array<uint8_t, kEntryPointSize> entryPoint{};
    uint32_t tableOffset = kDumpTableOffset;
    std::vector<uint8_t> table;
};

// Whether the bytes can be a dump: 0x20 bytes at least, beginning with "_SM_" or "_SM3_".
bool LooksLikeDump(const uint8_t* bytes, size_t size);

// Throws DumpError for anything but a dump whose table lies within the file.
Dump ReadDump(const uint8_t* bytes, size_t size);

// The dump of an entry point and table, as dmidecode writes it: DumpEntryPoint at 0, the table
// at 0x20.
std::vector<uint8_t> WriteDump(const std::array<uint8_t, kEntryPointSize>& entryPoint,
                               const std::vector<uint8_t>& table);

// The entry point as a dump holds it, for a table at tableAddress: its own length of bytes (0x1F
// at most, the rest zero), the table address set, and both checksums made good again.
std::array<uint8_t, kEntryPointSize> DumpEntryPoint(const std::array<uint8_t, kEntryPointSize>& entryPoint,
                                                    uint32_t tableAddress);

// What keeps the 32 bytes at entryPoint from being an SMBIOS 2.x entry point (the anchor, the
// length), or nothing.
std::optional<std::string> EntryPointFault(const uint8_t* entryPoint);
}  // namespace QelImage
