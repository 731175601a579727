// The BIOS system event log of a simulated machine: the System Event Log structure (Type 15)
// that locates it, and the log area itself (Log Header Type 1, then event records with the
// BIOS's severity, source name and details), placed in physical memory.
//
// Every byte the library checks has a knob (length bytes, read flag, checksums, header revision,
// descriptor count), so tests can build broken logs as easily as good ones.
#pragma once

#include "MachineImage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace QelSim
{
constexpr uint8_t kAccessMethodPhysical32 = 3;
constexpr uint8_t kLogStatusValid = 0x01;
constexpr uint8_t kLogStatusFull = 0x02;

// One supported event type and the format of its variable data.
struct LogTypeDescriptor
{
    uint8_t type;
    uint8_t format;
};

// The descriptors of every type the library decodes, with their usual data formats.
std::vector<LogTypeDescriptor> DecodedTypeDescriptors();

// The System Event Log structure (Type 15).
struct SystemEventLogFields
{
    uint16_t areaLength = 0;
    uint16_t headerStart = 0;
    uint16_t dataStart = 16;
    uint8_t accessMethod = kAccessMethodPhysical32;
    uint8_t status = kLogStatusValid;
    uint32_t changeToken = 1;
    uint32_t address = 0;      // access method address: the area's physical address for method 3
    uint8_t headerFormat = 1;  // Log Header Type 1
    std::vector<LogTypeDescriptor> descriptors;
    std::optional<uint8_t> descriptorCount;  // the count byte; the number of descriptors by default
    uint8_t descriptorLength = 2;
};
QelImage::Structure MakeSystemEventLog(uint16_t handle, const SystemEventLogFields& fields);

// A time stamp as the record stores it: two BCD digits per field.
struct EventTime
{
    uint8_t year = 0x22;
    uint8_t month = 0x03;
    uint8_t day = 0x14;
    uint8_t hour = 0x09;
    uint8_t minute = 0x30;
    uint8_t second = 0x00;
};
// From decimal values (year in two digits).
EventTime Bcd(int year, int month, int day, int hour, int minute, int second);

// The BIOS's own part of a record: severity letter and source name (at most 8 characters).
struct OemEntry
{
    uint8_t severity = 'I';
    std::string source;
};

enum class RecordChecksum
{
    Computed,        // the record's bytes add up to 0 with the read flag left out
    OverStoredByte,  // they add up to 0 with the length byte as stored (read flag included)
    Broken           // they add up to 0 neither way
};

struct EventRecord
{
    uint8_t type = 0x17;
    EventTime time;
    std::vector<uint8_t> data;      // everything between the 8-byte header and the checksum
    bool read = false;              // sets bit 7 of the length byte
    std::optional<uint8_t> length;  // the 7-bit length; 8 + data + 1 by default
    RecordChecksum checksum = RecordChecksum::Computed;

    std::vector<uint8_t> Encode() const;
};

// Types 0x01, 0x02, 0x06, 0x09, 0x0A, 0x16, 0x17 and any other: header, OEM entry, checksum.
EventRecord OemRecord(uint8_t type, const EventTime& time, const OemEntry& entry);
// POST Error: the two POST results words, the OEM entry, and the disk serial number if given.
EventRecord PostErrorRecord(const EventTime& time, uint32_t word1, uint32_t word2, const OemEntry& entry,
                            const std::string& serial = "");
// System Limit Exceeded: probe handle, multiple-event count (0xFFFFFFFF for one), OEM entry,
// snapshot reading.
EventRecord LimitRecord(const EventTime& time, uint16_t probe, uint32_t count, const OemEntry& entry,
                        uint16_t reading);
// Hard-disk information: disk bitmap, OEM entry, zero-terminated disk text.
EventRecord DiskRecord(const EventTime& time, uint32_t bitmap, const OemEntry& entry,
                       const std::string& text);

struct EventLogHeader
{
    uint8_t timeWindow = 0x60;  // minutes, BCD
    uint8_t countIncrement = 1;
    uint8_t revision = 1;
};

struct EventLogArea
{
    EventLogHeader header;
    std::vector<EventRecord> records;
    bool endOfLog = true;          // an End of Log record (0xFF) after the records
    uint8_t fill = 0xFF;           // what stands in the rest of the area (erased flash)
    std::optional<size_t> length;  // the area's size; just large enough by default, and a
                                   // smaller size cuts off what lies beyond

    std::vector<uint8_t> Encode() const;
};

// Places the area at the physical address and adds its Type 15 structure to the table; the
// structure's address and (unless given) area length are those of the area.
QelImage::MachineImage& AddEventLog(QelImage::MachineImage& image, uint16_t handle, uint32_t address,
                                    const EventLogArea& area,
                                    SystemEventLogFields fields = SystemEventLogFields());

// A till's log as it looks after some weeks in a shop: boots, a cleared log, POST errors, a
// disk report, a memory warning and one probe (probeHandle) leaving and re-entering its limits.
// A 4 KiB area, not page-aligned, with every decoded type declared.
constexpr uint32_t kSampleEventLogAddress = 0x000E6010;
constexpr uint16_t kSampleEventLogLength = 0x1000;
EventLogArea SampleEventLogArea(uint16_t probeHandle);
QelImage::MachineImage& AddSampleEventLog(QelImage::MachineImage& image, uint16_t handle,
                                          uint16_t probeHandle, uint32_t address = kSampleEventLogAddress);
}  // namespace QelSim
