#include "EventLogArea.h"

#include "LittleEndian.h"

#include <algorithm>
#include <stdexcept>

namespace QelSim
{
using namespace QelImage;

namespace
{
constexpr uint8_t kSystemEventLogType = 15;
constexpr size_t kHeaderLength = 16;
constexpr uint8_t kEndOfLog = 0xFF;
constexpr uint8_t kReadFlag = 0x80;
constexpr size_t kSourceLength = 8;

uint8_t ToBcd(int value)
{
    if (value < 0 || value > 99)
        throw std::invalid_argument("a BCD time field holds 0 to 99, not " + std::to_string(value));
    return static_cast<uint8_t>((value / 10) << 4 | value % 10);
}

void PutOemEntry(std::vector<uint8_t>& out, const OemEntry& entry)
{
    if (entry.source.size() > kSourceLength)
        throw std::invalid_argument("a source name has at most 8 characters: " + entry.source);
    out.push_back(entry.severity);
    out.insert(out.end(), entry.source.begin(), entry.source.end());
    out.resize(out.size() + kSourceLength - entry.source.size(), 0);
}
}  // namespace

std::vector<LogTypeDescriptor> DecodedTypeDescriptors()
{
    // Formats: 0 none, 4 POST results bitmap, 6 multiple-event system management.
    return {{0x01, 0}, {0x02, 0}, {0x06, 0}, {0x08, 4}, {0x09, 0},
            {0x0A, 0}, {0x10, 6}, {0x13, 0}, {0x16, 0}, {0x17, 0}};
}

Structure MakeSystemEventLog(uint16_t handle, const SystemEventLogFields& fields)
{
    Structure s(kSystemEventLogType, handle);
    s.Word(fields.areaLength)
        .Word(fields.headerStart)
        .Word(fields.dataStart)
        .Byte(fields.accessMethod)
        .Byte(fields.status)
        .DWord(fields.changeToken)
        .DWord(fields.address)
        .Byte(fields.headerFormat)
        .Byte(fields.descriptorCount ? *fields.descriptorCount
                                     : static_cast<uint8_t>(fields.descriptors.size()))
        .Byte(fields.descriptorLength);
    for (const LogTypeDescriptor& d : fields.descriptors)
        s.Byte(d.type).Byte(d.format);
    return s;
}

EventTime Bcd(int year, int month, int day, int hour, int minute, int second)
{
    EventTime t;
    t.year = ToBcd(year);
    t.month = ToBcd(month);
    t.day = ToBcd(day);
    t.hour = ToBcd(hour);
    t.minute = ToBcd(minute);
    t.second = ToBcd(second);
    return t;
}

std::vector<uint8_t> EventRecord::Encode() const
{
    const size_t natural = 8 + data.size() + 1;
    const size_t recordLength = length ? *length : natural;
    if (recordLength > 0x7F)
        throw std::invalid_argument("an event record holds at most 127 bytes, not " +
                                    std::to_string(recordLength));

    std::vector<uint8_t> out = {type,        static_cast<uint8_t>(recordLength | (read ? kReadFlag : 0)),
                                time.year,   time.month,
                                time.day,    time.hour,
                                time.minute, time.second};
    out.insert(out.end(), data.begin(), data.end());
    out.push_back(0);  // the checksum, set below
    // An explicit length shorter or longer than the bytes: the record is those bytes, and its
    // checksum stands in the last byte the length covers (if any).
    out.resize(std::max<size_t>(recordLength, 2), 0);
    if (recordLength < 2)
        return out;

    uint8_t sum = 0;
    for (size_t i = 0; i + 1 < recordLength; ++i)
        sum = static_cast<uint8_t>(sum + out[i]);
    if (checksum == RecordChecksum::Computed && read)
        sum = static_cast<uint8_t>(sum - kReadFlag);
    uint8_t check = static_cast<uint8_t>(-sum);
    if (checksum == RecordChecksum::Broken)
        check = static_cast<uint8_t>(check + 0x11);  // neither sum can come to 0 (0x11 and 0x91)
    out[recordLength - 1] = check;
    return out;
}

EventRecord OemRecord(uint8_t type, const EventTime& time, const OemEntry& entry)
{
    EventRecord r;
    r.type = type;
    r.time = time;
    PutOemEntry(r.data, entry);
    return r;
}

EventRecord PostErrorRecord(const EventTime& time, uint32_t word1, uint32_t word2, const OemEntry& entry,
                            const std::string& serial)
{
    EventRecord r;
    r.type = 0x08;
    r.time = time;
    LittleEndian::Append(r.data, word1, 4);
    LittleEndian::Append(r.data, word2, 4);
    PutOemEntry(r.data, entry);
    if (!serial.empty())
    {
        if (serial.size() > 8)
            throw std::invalid_argument("a disk serial number has at most 8 characters: " + serial);
        r.data.insert(r.data.end(), serial.begin(), serial.end());
        r.data.resize(r.data.size() + 8 - serial.size(), 0);
    }
    return r;
}

EventRecord LimitRecord(const EventTime& time, uint16_t probe, uint32_t count, const OemEntry& entry,
                        uint16_t reading)
{
    EventRecord r;
    r.type = 0x10;
    r.time = time;
    LittleEndian::Append(r.data, probe, 4);
    LittleEndian::Append(r.data, count, 4);
    PutOemEntry(r.data, entry);
    LittleEndian::Append(r.data, reading, 2);
    r.data.push_back(0);  // reserved: the record is 29 bytes with its checksum
    return r;
}

EventRecord DiskRecord(const EventTime& time, uint32_t bitmap, const OemEntry& entry, const std::string& text)
{
    EventRecord r;
    r.type = 0x13;
    r.time = time;
    LittleEndian::Append(r.data, bitmap, 4);
    LittleEndian::Append(r.data, 0, 4);
    PutOemEntry(r.data, entry);
    r.data.insert(r.data.end(), text.begin(), text.end());
    r.data.push_back(0);
    return r;
}

std::vector<uint8_t> EventLogArea::Encode() const
{
    std::vector<uint8_t> out(kHeaderLength, 0);
    out[5] = header.timeWindow;
    out[6] = header.countIncrement;
    out[15] = header.revision;
    for (const EventRecord& r : records)
    {
        const std::vector<uint8_t> bytes = r.Encode();
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    if (endOfLog)
        out.push_back(kEndOfLog);
    if (length)
        out.resize(*length, fill);
    return out;
}

MachineImage& AddEventLog(MachineImage& image, uint16_t handle, uint32_t address, const EventLogArea& area,
                          SystemEventLogFields fields)
{
    const std::vector<uint8_t> bytes = area.Encode();
    if (bytes.size() > 0xFFFF)
        throw std::invalid_argument("a log area holds at most 65535 bytes");
    fields.address = address;
    if (fields.areaLength == 0)
        fields.areaLength = static_cast<uint16_t>(bytes.size());
    image.PutBytes(address, bytes);
    return image.Add(MakeSystemEventLog(handle, fields));
}

EventLogArea SampleEventLogArea(uint16_t probeHandle)
{
    const OemEntry bios{'I', "BIOS"};
    EventLogArea area;
    area.length = kSampleEventLogLength;
    area.records = {
        OemRecord(0x16, Bcd(22, 3, 1, 8, 0, 0), bios),
        OemRecord(0x17, Bcd(22, 3, 1, 8, 0, 12), bios),
        PostErrorRecord(Bcd(22, 3, 9, 7, 58, 40), 1u << 3 | 1u << 18, 0, {'W', "POST"}),
        OemRecord(0x17, Bcd(22, 3, 9, 7, 58, 51), bios),
        DiskRecord(Bcd(22, 3, 9, 7, 58, 53), 1u << 28, {'I', "SATA"}, "SSD 128GB SMART OK"),
        LimitRecord(Bcd(22, 6, 14, 13, 5, 20), probeHandle, 0xFFFFFFFF, {'E', "HWMON"}, 4650),
        LimitRecord(Bcd(22, 6, 14, 13, 9, 2), probeHandle, 3, {'I', "HWMON"}, 2210),
        OemRecord(0x01, Bcd(22, 7, 2, 18, 44, 7), {'W', "MEMORY"}),
        OemRecord(0x17, Bcd(22, 7, 3, 7, 59, 30), bios),
    };
    return area;
}

MachineImage& AddSampleEventLog(MachineImage& image, uint16_t handle, uint16_t probeHandle, uint32_t address)
{
    SystemEventLogFields fields;
    fields.status = kLogStatusValid;
    fields.changeToken = 0x00000009;
    fields.descriptors = DecodedTypeDescriptors();
    return AddEventLog(image, handle, address, SampleEventLogArea(probeHandle), fields);
}
}  // namespace QelSim
