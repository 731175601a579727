#include "MachineImage.h"

#include "DmiDump.h"
#include "LittleEndian.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace QelImage
{
namespace
{
constexpr uint8_t kEndOfTableType = 127;
constexpr uint64_t kPageSize = 4096;

[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error(what);
}

[[noreturn]] void FailErrno(const std::string& what, const std::string& path)
{
    Fail(what + " " + path + ": " + strerror(errno));
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        FailErrno("cannot open", path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Structure count and largest structure of an encoded table, counted as the library walks it: up
// to the End-of-Table structure, the table's end, or a structure shorter than its header.
struct TableStats
{
    uint16_t count = 0;
    uint16_t maxSize = 0;
};

TableStats CountStructures(const std::vector<uint8_t>& table)
{
    TableStats stats;
    size_t pos = 0;
    while (pos + 4 <= table.size() && table[pos + 1] >= 4 && stats.count < 0xFFFF)
    {
        size_t next = pos + table[pos + 1];
        while (next + 1 < table.size() && !(table[next] == 0 && table[next + 1] == 0))
            ++next;
        next = std::min(next + 2, table.size());
        stats.count = static_cast<uint16_t>(stats.count + 1);
        stats.maxSize =
            std::max<uint16_t>(stats.maxSize, static_cast<uint16_t>(std::min<size_t>(next - pos, 0xFFFF)));
        if (table[pos] == kEndOfTableType)
            break;
        pos = next;
    }
    return stats;
}
}  // namespace

void MakeDirectories(const std::string& path)
{
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos)
    {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty())
            continue;
        if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            FailErrno("cannot create directory", partial);
    }
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    MakeDirectories(path.substr(0, path.rfind('/')));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out)
        FailErrno("cannot write", path);
}

uint8_t ChecksumByte(const uint8_t* bytes, size_t count)
{
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum = static_cast<uint8_t>(sum + bytes[i]);
    return static_cast<uint8_t>(-sum);
}

Structure& Structure::Byte(uint8_t value)
{
    data.push_back(value);
    return *this;
}

Structure& Structure::Word(uint16_t value)
{
    LittleEndian::Append(data, value, 2);
    return *this;
}

Structure& Structure::DWord(uint32_t value)
{
    LittleEndian::Append(data, value, 4);
    return *this;
}

Structure& Structure::QWord(uint64_t value)
{
    LittleEndian::Append(data, value, 8);
    return *this;
}

Structure& Structure::Bytes(const std::vector<uint8_t>& bytes)
{
    data.insert(data.end(), bytes.begin(), bytes.end());
    return *this;
}

uint8_t Structure::AddString(const std::string& text)
{
    if (text.empty())
        return 0;
    if (strings.size() >= 255)
        Fail("a structure holds at most 255 strings");
    strings.push_back(text);
    return static_cast<uint8_t>(strings.size());
}

Structure& Structure::String(const std::string& text)
{
    return Byte(AddString(text));
}

std::vector<uint8_t> Structure::Encode() const
{
    const size_t formatted = 4 + data.size();
    if (formatted > 0xFF && !length)
        Fail("formatted area of " + std::to_string(formatted) + " bytes does not fit the length byte");
    std::vector<uint8_t> out;
    out.push_back(type);
    out.push_back(length ? *length : static_cast<uint8_t>(formatted));
    LittleEndian::Append(out, handle, 2);
    out.insert(out.end(), data.begin(), data.end());
    for (const std::string& s : strings)
    {
        out.insert(out.end(), s.begin(), s.end());
        out.push_back(0);
    }
    // A set without strings is two NULs, one with strings gets one NUL after the last string's.
    out.push_back(0);
    if (strings.empty())
        out.push_back(0);
    if (!terminated)
        out.resize(out.size() - 2);
    return out;
}

Structure MakeBiosInformation(const BiosInformation& bios, uint16_t handle)
{
    Structure s(0, handle);
    s.String(bios.vendor)
        .String(bios.version)
        .Word(bios.startSegment)
        .String(bios.releaseDate)
        .Byte(bios.romSize)
        .QWord(bios.characteristics)
        .Bytes({bios.extension[0], bios.extension[1]})
        .Byte(bios.biosMajor)
        .Byte(bios.biosMinor)
        .Byte(bios.firmwareMajor)
        .Byte(bios.firmwareMinor);
    return s;
}

Structure MakeEndOfTable(uint16_t handle)
{
    return Structure(kEndOfTableType, handle);
}

MachineImage& MachineImage::Add(Structure structure)
{
    m_structures.push_back(std::move(structure));
    return *this;
}

MachineImage& MachineImage::SetEndOfTable(bool append)
{
    m_endOfTable = append;
    return *this;
}

MachineImage& MachineImage::SetRawTable(std::vector<uint8_t> bytes)
{
    m_rawTable = std::move(bytes);
    return *this;
}

MachineImage& MachineImage::SetTableAddress(uint32_t address)
{
    m_tableAddress = address;
    return *this;
}

MachineImage& MachineImage::PutBytes(uint64_t address, std::vector<uint8_t> bytes)
{
    m_extra.emplace_back(address, std::move(bytes));
    return *this;
}

MachineImage& MachineImage::SetMemorySize(uint64_t size)
{
    m_memorySize = size;
    return *this;
}

std::vector<uint8_t> MachineImage::TableBytes() const
{
    if (m_rawTable)
        return *m_rawTable;
    std::vector<uint8_t> table;
    uint16_t lastHandle = 0;
    for (const Structure& s : m_structures)
    {
        std::vector<uint8_t> bytes = s.Encode();
        table.insert(table.end(), bytes.begin(), bytes.end());
        lastHandle = std::max(lastHandle, s.handle);
    }
    if (m_endOfTable)
    {
        std::vector<uint8_t> end = MakeEndOfTable(static_cast<uint16_t>(lastHandle + 1)).Encode();
        table.insert(table.end(), end.begin(), end.end());
    }
    return table;
}

std::array<uint8_t, kEntryPointSize> EncodeEntryPoint(const EntryPoint& e, const std::vector<uint8_t>& table,
                                                      uint32_t tableAddress)
{
    if (e.bytes)
        return *e.bytes;
    const TableStats stats = CountStructures(table);

    std::array<uint8_t, kEntryPointSize> ep{};
    memcpy(&ep[0x00], e.anchor.data(), 4);
    ep[0x05] = e.length ? *e.length : 0x1F;
    ep[0x06] = e.major;
    ep[0x07] = e.minor;
    LittleEndian::Write(&ep[0x08], e.maxStructSize ? *e.maxStructSize : stats.maxSize, 2);
    ep[0x0A] = e.revision;
    memcpy(&ep[0x0B], e.formattedArea.data(), 5);
    memcpy(&ep[0x10], "_DMI_", 5);
    LittleEndian::Write(&ep[0x16], e.tableLength ? *e.tableLength : std::min<size_t>(table.size(), 0xFFFF),
                        2);
    LittleEndian::Write(&ep[0x18], e.tableAddress ? *e.tableAddress : tableAddress, 4);
    LittleEndian::Write(&ep[0x1C], e.structureCount ? *e.structureCount : stats.count, 2);
    ep[0x1E] =
        e.bcdRevision ? *e.bcdRevision : static_cast<uint8_t>((e.major & 0x0F) << 4 | (e.minor & 0x0F));
    // The intermediate checksum covers 0x10-0x1E, the entry point checksum EpStructLen bytes
    // (all 32 when that is out of range, so the bytes still look like a well-made entry point).
    ep[0x15] = ChecksumByte(&ep[0x10], 0x0F);
    const size_t covered = ep[0x05] > 4 && ep[0x05] <= kEntryPointSize ? ep[0x05] : kEntryPointSize;
    ep[0x04] = static_cast<uint8_t>(ChecksumByte(ep.data(), covered) + e.checksumDelta);
    return ep;
}

std::array<uint8_t, kEntryPointSize> MachineImage::EntryPointBytes() const
{
    return EncodeEntryPoint(m_entry, TableBytes(), m_tableAddress);
}

std::string MachineImage::SystabText() const
{
    if (m_entry.systab)
        return *m_entry.systab;
    char text[96];
    snprintf(text, sizeof(text), "ACPI20=0x%08x\nACPI=0x%08x\nSMBIOS=0x%08x\n", 0x3FF7E014u, 0x3FF7E000u,
             m_entry.address);
    return text;
}

uint64_t MachineImage::MemorySize() const
{
    if (m_memorySize)
        return *m_memorySize;
    uint64_t end = kMinimumMemorySize;
    for (const auto& piece : m_extra)
        end = std::max(end, piece.first + piece.second.size());
    end = std::max<uint64_t>(end, uint64_t(m_tableAddress) + TableBytes().size());
    if (m_entry.place != EntryPointPlace::None)
        end = std::max<uint64_t>(end, uint64_t(m_entry.address) + kEntryPointSize);
    return (end + kPageSize - 1) / kPageSize * kPageSize;
}

void MachineImage::Write(const std::string& root) const
{
    MakeDirectories(root + "/dev");
    if (m_entry.place == EntryPointPlace::Efi)
    {
        WriteFile(root + "/sys/firmware/efi/systab", SystabText());
    }

    // Later pieces overwrite earlier ones: other bytes, then the table, then the entry point.
    std::vector<std::pair<uint64_t, std::vector<uint8_t>>> pieces = m_extra;
    pieces.emplace_back(m_tableAddress, TableBytes());
    if (m_entry.place != EntryPointPlace::None)
    {
        const std::array<uint8_t, kEntryPointSize> ep = EntryPointBytes();
        pieces.emplace_back(m_entry.address, std::vector<uint8_t>(ep.begin(), ep.end()));
    }

    const std::string path = root + "/dev/mem";
    const uint64_t size = MemorySize();
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        FailErrno("cannot create", path);
    bool ok = ftruncate(fd, static_cast<off_t>(size)) == 0;
    for (auto it = pieces.begin(); ok && it != pieces.end(); ++it)
    {
        if (it->first >= size)
            continue;
        const size_t count = static_cast<size_t>(std::min<uint64_t>(it->second.size(), size - it->first));
        ok = pwrite(fd, it->second.data(), count, static_cast<off_t>(it->first)) ==
             static_cast<ssize_t>(count);
    }
    if (!ok)
    {
        int err = errno;
        close(fd);
        errno = err;
        FailErrno("cannot write", path);
    }
    if (close(fd) != 0)
        FailErrno("cannot write", path);
}

MachineImage MachineImage::FromDump(const std::string& path, uint32_t tableAddress)
{
    const std::vector<uint8_t> file = ReadFile(path);
    Dump dump;
    try
    {
        dump = ReadDump(file.data(), file.size());
    }
    catch (const DumpError& e)
    {
        Fail(path + ": " + e.what());
    }
    MachineImage image;
    image.m_entry.bytes = DumpEntryPoint(dump.entryPoint, tableAddress);
    image.SetRawTable(std::move(dump.table));
    image.SetTableAddress(tableAddress);
    return image;
}
}  // namespace QelImage
