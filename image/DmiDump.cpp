#include "DmiDump.h"

#include "LittleEndian.h"

#include <algorithm>
#include <cstring>

namespace QelImage
{
namespace
{
constexpr char kAnchor[] = "_SM_";
constexpr char kAnchor3[] = "_SM3_";
}  // namespace

bool LooksLikeDump(const uint8_t* bytes, size_t size)
{
    return size >= kDumpTableOffset && (memcmp(bytes, kAnchor, 4) == 0 || memcmp(bytes, kAnchor3, 5) == 0);
}

std::optional<std::string> EntryPointFault(const uint8_t* entryPoint)
{
    if (memcmp(entryPoint, kAnchor, 4) != 0)
        return std::string("no SMBIOS 2.x entry point (anchor _SM_)");
    if (entryPoint[0x05] < 0x1E || entryPoint[0x05] > kEntryPointSize)
        return "entry point length " + std::to_string(entryPoint[0x05]) + " (a 2.x entry point has 31)";
    return std::nullopt;
}

Dump ReadDump(const uint8_t* bytes, size_t size)
{
    if (!LooksLikeDump(bytes, size))
        throw DumpError("no SMBIOS entry point (_SM_ or _SM3_) at offset 0 of " + std::to_string(size) +
                        " bytes");
    Dump dump;
    if (memcmp(bytes, kAnchor, 4) == 0)
    {
        if (std::optional<std::string> fault = EntryPointFault(bytes))
            throw DumpError(*fault);
        const uint32_t length = LittleEndian::Read16(bytes + 0x16);
        const uint32_t offset = LittleEndian::Read32(bytes + 0x18);
        if (offset < kDumpTableOffset || offset > size || length > size - offset)
            throw DumpError("the entry point announces " + std::to_string(length) +
                            " table bytes at offset " + std::to_string(offset) + ", the file has " +
                            std::to_string(size) + " bytes");
        std::copy_n(bytes, kEntryPointSize, dump.entryPoint.begin());
        dump.tableOffset = offset;
        dump.table.assign(bytes + offset, bytes + offset + length);
        return dump;
    }
    const uint64_t offset = LittleEndian::Read(bytes + 0x10, 8);
    if (offset < kDumpTableOffset || offset > size)
        throw DumpError("the entry point puts the table at offset " + std::to_string(offset) +
                        ", the file has " + std::to_string(size) + " bytes");
    const uint64_t length = std::min<uint64_t>(LittleEndian::Read32(bytes + 0x0C), size - offset);
    if (length > 0xFFFF)
        throw DumpError("a table of " + std::to_string(length) + " bytes does not fit a 2.x entry point");
    dump.tableOffset = static_cast<uint32_t>(offset);
    dump.table.assign(bytes + offset, bytes + offset + length);
    EntryPoint made;
    made.major = bytes[0x07];
    made.minor = bytes[0x08];
    dump.entryPoint = EncodeEntryPoint(made, dump.table, dump.tableOffset);
    return dump;
}

std::array<uint8_t, kEntryPointSize> DumpEntryPoint(const std::array<uint8_t, kEntryPointSize>& entryPoint,
                                                    uint32_t tableAddress)
{
    // dmidecode writes the entry point's own length, 31 bytes for 2.x, and leaves 0x1F zero.
    const size_t length = std::min<size_t>(entryPoint[0x05], 0x1F);
    std::array<uint8_t, kEntryPointSize> ep{};
    std::copy_n(entryPoint.begin(), length, ep.begin());
    LittleEndian::Write(&ep[0x18], tableAddress, 4);
    // The intermediate part (0x10-0x1E) sums to zero again, and then the whole.
    ep[0x15] = 0;
    ep[0x15] = ChecksumByte(&ep[0x10], 0x0F);
    ep[0x04] = 0;
    ep[0x04] = ChecksumByte(ep.data(), length);
    return ep;
}

std::vector<uint8_t> WriteDump(const std::array<uint8_t, kEntryPointSize>& entryPoint,
                               const std::vector<uint8_t>& table)
{
    const std::array<uint8_t, kEntryPointSize> ep = DumpEntryPoint(entryPoint, kDumpTableOffset);
    static_assert(kDumpTableOffset == kEntryPointSize, "the table follows the whole entry point");
    std::vector<uint8_t> dump(kDumpTableOffset + table.size());
    std::copy(ep.begin(), ep.end(), dump.begin());
    std::copy(table.begin(), table.end(), dump.begin() + kDumpTableOffset);
    return dump;
}
}  // namespace QelImage
