// The memory image of a till: the physical memory and firmware files of a machine under a system
// root, as the simulator serves it, a capture replays it and `--from-dump` decodes it.
//
// `dev/mem` is a sparse regular file whose byte N stands for physical address N. It holds the
// SMBIOS 2.x entry point (in the BIOS segment 0xF0000-0xFFFFF, or anywhere when a UEFI system
// table announces it), the structure table at a chosen address and any other bytes a test places.
// Every field the library checks has a knob, so tests can build broken machines as easily as
// good ones.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace QelImage
{
// One SMBIOS structure: the 4-byte header, the rest of the formatted area and the string set.
struct Structure
{
    Structure(uint8_t structureType, uint16_t structureHandle) : type(structureType), handle(structureHandle)
    {
    }

    uint8_t type;
    uint16_t handle;
    std::vector<uint8_t> data;         // the formatted area after the header
    std::vector<std::string> strings;  // numbered from 1
    std::optional<uint8_t> length;     // the formatted length byte; 4 + data.size() by default
    bool terminated = true;            // false leaves off the set's final double NUL

    // Append fields to the formatted area (little-endian).
    Structure& Byte(uint8_t value);
    Structure& Word(uint16_t value);
    Structure& DWord(uint32_t value);
    Structure& QWord(uint64_t value);
    Structure& Bytes(const std::vector<uint8_t>& bytes);
    // Appends the number of a new string as a byte field; an empty text is string 0 (none).
    Structure& String(const std::string& text);
    // Adds a string to the set and returns its number (0 for an empty text).
    uint8_t AddString(const std::string& text);

    std::vector<uint8_t> Encode() const;
};

enum class EntryPointPlace
{
    BiosSegment,  // found by the legacy search of 0xF0000-0xFFFFF
    Efi,          // announced by sys/firmware/efi/systab, which makes the machine UEFI
    None          // no entry point at all
};

constexpr size_t kEntryPointSize = 32;

// The 32-byte SMBIOS 2.x entry point. Fields left empty are derived from the table.
struct EntryPoint
{
    EntryPointPlace place = EntryPointPlace::BiosSegment;
    uint32_t address = 0xF0000;  // physical address of the entry point
    std::array<char, 4> anchor{{'_', 'S', 'M', '_'}};
    uint8_t major = 2;
    uint8_t minor = 8;
    uint8_t revision = 0;
    std::array<uint8_t, 5> formattedArea{};
    std::optional<uint8_t> length;           // EpStructLen; 0x1F by default
    std::optional<uint16_t> maxStructSize;   // largest structure of the table by default
    std::optional<uint16_t> tableLength;     // the table's byte count by default
    std::optional<uint32_t> tableAddress;    // where the table is placed by default
    std::optional<uint16_t> structureCount;  // the table's structure count by default
    std::optional<uint8_t> bcdRevision;      // from major and minor by default
    uint8_t checksumDelta = 0;               // added to the correct checksum; non-zero breaks it
    std::optional<std::string> systab;       // UEFI: the whole systab text instead of the usual one
    // All 32 bytes as they are (a till's own, a dump's), in place of the fields above.
    std::optional<std::array<uint8_t, kEntryPointSize>> bytes;
};

// The entry point's 32 bytes for a table at tableAddress: its bytes as they are, or its fields
// with those left empty derived from the table, and both checksums.
std::array<uint8_t, kEntryPointSize>
EncodeEntryPoint(const EntryPoint& entry, const std::vector<uint8_t>& table, uint32_t tableAddress);

// A BIOS Information structure (Type 0).
struct BiosInformation
{
    std::string vendor;
    std::string version;
    std::string releaseDate;
    uint16_t startSegment = 0xF000;
    uint8_t romSize = 0xFF;              // (n + 1) * 64 KiB
    uint64_t characteristics = 0x08;     // bit 3: characteristics not supported
    std::array<uint8_t, 2> extension{};  // characteristics extension bytes 1 and 2
    uint8_t biosMajor = 0xFF;            // 0xFF: release not given
    uint8_t biosMinor = 0xFF;
    uint8_t firmwareMajor = 0xFF;
    uint8_t firmwareMinor = 0xFF;
};

Structure MakeBiosInformation(const BiosInformation& bios, uint16_t handle = 0);
Structure MakeEndOfTable(uint16_t handle);

class MachineImage
{
public:
    static constexpr uint32_t kDefaultTableAddress = 0x000E0000;
    static constexpr uint64_t kMinimumMemorySize = 0x100000;  // covers the BIOS segment

    // The structure table, in order; an End-of-Table structure follows unless switched off.
    MachineImage& Add(Structure structure);
    std::vector<Structure>& Structures() { return m_structures; }
    MachineImage& SetEndOfTable(bool append);
    // Lays these bytes as the table instead of the structures.
    MachineImage& SetRawTable(std::vector<uint8_t> bytes);
    MachineImage& SetTableAddress(uint32_t address);
    uint32_t TableAddress() const { return m_tableAddress; }

    EntryPoint& Entry() { return m_entry; }
    const EntryPoint& Entry() const { return m_entry; }

    // Any other bytes of physical memory. Written before the table and the entry point.
    MachineImage& PutBytes(uint64_t address, std::vector<uint8_t> bytes);
    // The bytes placed so far, with their addresses, in the order they were placed.
    const std::vector<std::pair<uint64_t, std::vector<uint8_t>>>& PlacedBytes() const { return m_extra; }
    // The size of dev/mem; by default large enough for everything placed, and at least 1 MiB.
    // A smaller size cuts off what lies beyond.
    MachineImage& SetMemorySize(uint64_t size);

    std::vector<uint8_t> TableBytes() const;
    std::array<uint8_t, kEntryPointSize> EntryPointBytes() const;
    std::string SystabText() const;
    uint64_t MemorySize() const;

    // Writes dev/mem, and for a UEFI machine sys/firmware/efi/systab, under root (created if
    // missing). Throws std::runtime_error naming what failed.
    void Write(const std::string& root) const;

    // The machine of a `dmidecode --dump-bin` file, read as ReadDump (DmiDump.h) reads it: the
    // entry point goes to the BIOS segment, the table to tableAddress. Throws std::runtime_error,
    // naming the file, on a bad one.
    static MachineImage FromDump(const std::string& path, uint32_t tableAddress = kDefaultTableAddress);

private:
    std::vector<Structure> m_structures;
    std::optional<std::vector<uint8_t>> m_rawTable;
    bool m_endOfTable = true;
    uint32_t m_tableAddress = kDefaultTableAddress;
    EntryPoint m_entry;
    std::vector<std::pair<uint64_t, std::vector<uint8_t>>> m_extra;
    std::optional<uint64_t> m_memorySize;
};

// The byte that makes count bytes sum to zero, as an SMBIOS checksum field.
uint8_t ChecksumByte(const uint8_t* bytes, size_t count);

// Creates the directory path and those above it (0755) where they are missing. Throws
// std::runtime_error naming the one that cannot be made.
void MakeDirectories(const std::string& path);
// Writes the file (replacing it), with the directories above it. Throws std::runtime_error naming
// the file when it cannot.
void WriteFile(const std::string& path, const std::string& bytes);
}  // namespace QelImage
