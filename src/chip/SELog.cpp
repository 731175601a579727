#include "SELog.h"

#include "EventLogContainer.h"
#include "RawEvLog.h"
#include "SMBiosSensorRecords.h"
#include "log.h"

#include <cstdio>

namespace
{
// Log Header Type 1.
constexpr uint32_t kHeaderLength = 16;
constexpr uint32_t kHeaderTimeWindow = 5;
constexpr uint32_t kHeaderCountIncrement = 6;
constexpr uint32_t kHeaderRevision = 15;
constexpr uint8_t kSupportedHeaderRevision = 1;

// Record header.
constexpr uint32_t kRecordYear = 2;
constexpr uint32_t kRecordMonth = 3;
constexpr uint32_t kRecordDay = 4;
constexpr uint32_t kRecordHour = 5;
constexpr uint32_t kRecordMinute = 6;
constexpr uint32_t kRecordSecond = 7;
constexpr uint8_t kRecordLengthMask = 0x7F;    // bit 7: the record has been read
constexpr uint32_t kMinimumRecordLength = 18;  // header, OEM entry, checksum

constexpr uint8_t kEndOfLog = 0xFF;
constexpr uint8_t kSingleBitEcc = 0x01;
constexpr uint8_t kMultiBitEcc = 0x02;
constexpr uint8_t kSoftwareNmi = 0x06;
constexpr uint8_t kPostError = 0x08;
constexpr uint8_t kPciParity = 0x09;
constexpr uint8_t kPciSystem = 0x0A;
constexpr uint8_t kSystemLimitExceeded = 0x10;
constexpr uint8_t kHardDiskInformation = 0x13;
constexpr uint8_t kLogAreaResetCleared = 0x16;
constexpr uint8_t kSystemBoot = 0x17;

// Variable data.
constexpr uint32_t kSimpleOemEntry = 8;
constexpr uint32_t kFirstWord = 8;
constexpr uint32_t kSecondWord = 12;
constexpr uint32_t kOemEntry = 16;
constexpr uint32_t kOemData = 25;  // serial number, snapshot reading or disk text
constexpr uint32_t kSerialNumberLength = 8;
constexpr uint32_t kDiskTextLength = 110;
constexpr uint32_t kPostMinimum = 25;
constexpr uint32_t kPostWithSerialMinimum = 33;
constexpr uint32_t kDiskMinimum = 25;
constexpr uint32_t kDiskMaximum = 136;
constexpr uint32_t kLimitMinimum = 29;
constexpr uint32_t kMultipleEventCountOne = 0xFFFFFFFF;
constexpr uint32_t kPostDiskBits = 0xF0000000;

const char* const kEventNames[] = {
    "Reserved - 0x00",
    "Single-bit ECC memory error",
    "Multi-bit ECC memory error",
    "Parity memory error",
    "Bus time-out",
    "I/O Channel Check",
    "Software NMI",
    "POST Memory Resize",
    "POST Error",
    "PCI Parity Error",
    "PCI System Error",
    "CPU Failure",
    "EISA Failsafe Timer time-out",
    "Correctable memory log disabled",
    ("Logging disabled for specific Event Type - too many errors of the same type received in a short amount "
     "of time"),
    "Reserved 0x0f",
    "System Limit Exceeded",
    "Asynchronous hardware timer expired and issued a system reset",
    "System configuration",
    "Hard-disk information",
    "System reconfigured",
    "Uncorrectable CPU-Complex error",
    "Log Area Reset/Cleared",
    "System boot",
};

std::string Hex2(uint8_t value)
{
    static const char kDigits[] = "0123456789abcdef";
    return {kDigits[value >> 4], kDigits[value & 0xF]};
}

std::string Handle4(uint16_t value)
{
    char text[8];
    snprintf(text, sizeof(text), "%04x", value);
    return text;
}

// A BCD byte's number; nothing when a nibble is above 9.
std::optional<uint8_t> BcdNumber(uint8_t value)
{
    if ((value >> 4) > 9 || (value & 0xF) > 9)
        return std::nullopt;
    return static_cast<uint8_t>((value >> 4) * 10 + (value & 0xF));
}

// The record's time stamp, when every field is a BCD number in its range.
std::optional<SELogTime> TimeOf(const CEvLogRecord& record)
{
    const std::optional<uint8_t> year = BcdNumber(record.Byte(kRecordYear)),
                                 month = BcdNumber(record.Byte(kRecordMonth)),
                                 day = BcdNumber(record.Byte(kRecordDay)),
                                 hour = BcdNumber(record.Byte(kRecordHour)),
                                 minute = BcdNumber(record.Byte(kRecordMinute)),
                                 second = BcdNumber(record.Byte(kRecordSecond));
    if (!year || !month || !day || !hour || !minute || !second || *month < 1 || *month > 12 || *day < 1 ||
        *day > 31 || *hour > 23 || *minute > 59 || *second > 59)
        return std::nullopt;
    SELogTime time;
    // The century as the line prints it.
    time.year = static_cast<uint16_t>((record.Byte(kRecordYear) < 0x50 ? 2000 : 1900) + *year);
    time.month = *month;
    time.day = *day;
    time.hour = *hour;
    time.minute = *minute;
    time.second = *second;
    return time;
}

const void* AddressOf(const uint8_t* pBase, uint64_t offset)
{
    // Only printed: the position may lie past the area, where no pointer may be formed.
    return reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(pBase) + static_cast<uintptr_t>(offset));
}
}  // namespace

uint16_t CEvLogRecord::Word(uint32_t dwOffset) const
{
    return static_cast<uint16_t>(Byte(dwOffset) | Byte(dwOffset + 1) << 8);
}

uint32_t CEvLogRecord::DWord(uint32_t dwOffset) const
{
    return static_cast<uint32_t>(Word(dwOffset)) | static_cast<uint32_t>(Word(dwOffset + 2)) << 16;
}

std::string CEvLogRecord::Text(uint32_t dwOffset, uint32_t dwMaxCount) const
{
    std::string text;
    for (uint32_t i = 0; i < dwMaxCount && dwOffset + i < m_dwLength; ++i)
    {
        const uint8_t b = m_pBytes[dwOffset + i];
        if (b == 0)
            break;
        text += static_cast<char>(b);
    }
    return text;
}

OEM_LOG_ENTRY CEvLogRecord::OemEntry(uint32_t dwOffset) const
{
    OEM_LOG_ENTRY entry;
    entry.bySeverity = Byte(dwOffset);
    for (uint32_t i = 0; i < sizeof(entry.abySource); ++i)
        entry.abySource[i] = Byte(dwOffset + 1 + i);
    return entry;
}

SELog::SELog()
{
    LogQuick(LOG_DEBUG, "SELog Constructed");
}

SELog::~SELog()
{
    LogQuick(LOG_DEBUG, "SELog Destroyed");
}

bool SELog::initialise(EventLogContainer* pEventLogContainer, CRawEvLog& rawLog,
                       const EventLogDescriptors& descriptors)
{
    if (m_bInit)
    {
        LogQuick(LOG_DEBUG, "SELog::Initialise - already initialised - ignoring");
        return true;
    }
    m_pEventLogContainer = pEventLogContainer;
    m_vDescriptors = descriptors;
    if (!initLogHeader(rawLog))
        return false;
    if (!initLogLines(rawLog))
        return false;
    m_bInit = true;
    Log(LOG_DEBUG, "SELog::Initialise - Initialised Ok, %d supported event log descriptors",
        static_cast<int>(m_vDescriptors.size()));
    return true;
}

bool SELog::getLogLines(std::vector<std::string>& out)
{
    if (!m_bInit)
    {
        LogQuick(LOG_ERROR, "SELog::GetLogLines - not initialised");
        return false;
    }
    out.clear();
    for (const SELogEvent& event : m_vEvents)
        out.push_back(event.line);
    return true;
}

bool SELog::initLogHeader(CRawEvLog& rawLog)
{
    if (rawLog.m_Bytes == nullptr || rawLog.m_dwLength < kHeaderLength)
    {
        Log(LOG_ERROR, "SELog::InitLogHeader - Invalid header type #1 size=%d",
            static_cast<int>(rawLog.m_dwLength));
        return false;
    }
    const uint8_t* header = rawLog.m_Bytes;
    m_byHeaderRevision = header[kHeaderRevision];
    if (m_byHeaderRevision != kSupportedHeaderRevision)
    {
        Log(LOG_ERROR, "SELog::InitLogHeader - Unknown Log Header Revision %d", m_byHeaderRevision);
        return false;
    }
    m_byMultipleEventTimeWindow = header[kHeaderTimeWindow];
    m_byMultipleEventCountIncrement = header[kHeaderCountIncrement];
    Log(LOG_DEBUG, "This is Kestrel Event log OEM Header Revision %d", kSupportedHeaderRevision);
    return true;
}

bool SELog::initLogLines(CRawEvLog& rawLog)
{
    const uint32_t areaLength = rawLog.m_Bytes != nullptr ? rawLog.m_dwLength : 0;
    if (areaLength <= kHeaderLength)
    {
        LogQuick(LOG_ERROR, "SELog::initLogLines - Log contains no lines");
        return true;
    }
    const uint8_t* area = rawLog.m_Bytes;
    uint32_t offset = kHeaderLength;
    for (;;)
    {
        const uint8_t type = area[offset];
        if (type == kEndOfLog)
        {
            LogQuick(LOG_DEBUG, "SELog::initLogLines - End Log record found");
            break;
        }
        if (offset + 1 >= areaLength)
        {
            Log(LOG_ERROR,
                "SELog::initLogLines - record at offset %u has no length byte inside the area - exiting",
                offset);
            break;
        }
        const uint32_t length = area[offset + 1] & kRecordLengthMask;
        if (length < kMinimumRecordLength)
        {
            Log(LOG_ERROR, "SELog::initLogLines - Invalid record length %d - exiting",
                static_cast<int>(length));
            LogQuick(LOG_ERROR, "SELog::initLogLines - policy is continue with bad record length");
            LogQuick(LOG_ERROR, "SELog::initLogLines - policy means some log lines may be missing");
            break;
        }
        // A record cut by the area's end holds only part of its fields and its checksum cannot be
        // checked: it is not decoded, and nothing after it can be.
        if (length > areaLength - offset)
        {
            Log(LOG_ERROR,
                "SELog::initLogLines - record at offset %u, length %u, runs past the end of the log area (%u "
                "bytes) - exiting",
                offset, length, areaLength);
            break;
        }

        const CEvLogRecord record(area + offset, length);
        Log(LOG_DEBUG, "SELog::initLogLines - Event type 0x%02x - %s", type, getEventString(type).c_str());
        SELogEvent event;
        addFixedPart(record, event);
        addVariablePart(record, event);
        Log(LOG_DEBUG, "SELog::initLogLines - %s", event.line.c_str());
        m_vEvents.push_back(event);

        const uint64_t next = static_cast<uint64_t>(offset) + length;
        Log(LOG_TRACE, "SELog::initLogLines - PEV_LOG_RECORD_HDR -- LogLast=%p, record=%p",
            AddressOf(area, areaLength - 1), AddressOf(area, next));
        if (next > areaLength - 1)
        {
            LogQuick(LOG_ERROR, "SELog::initLogLines - pointer now past end of log with no End Log 0xff "
                                "found - exiting loop");
            break;
        }
        offset = static_cast<uint32_t>(next);
    }
    return true;
}

std::string SELog::getEventString(uint8_t byEventType)
{
    if (byEventType < sizeof(kEventNames) / sizeof(kEventNames[0]))
        return kEventNames[byEventType];
    if (byEventType == kEndOfLog)
        return "End of Log";
    return "Unknown(0x" + Hex2(byEventType) + ")";
}

bool SELog::isEventSupportedBySoftware(uint8_t byEventType)
{
    switch (byEventType)
    {
    case kSingleBitEcc:
    case kMultiBitEcc:
    case kSoftwareNmi:
    case kPostError:
    case kPciParity:
    case kPciSystem:
    case kSystemLimitExceeded:
    case kHardDiskInformation:
    case kLogAreaResetCleared:
    case kSystemBoot:
    case kEndOfLog:
        return true;
    default:
        return false;
    }
}

bool SELog::isEventSupportedByDescriptors(uint8_t byEventType) const
{
    for (const EventLogDescriptor& descriptor : m_vDescriptors)
    {
        if (descriptor.byLogType == byEventType)
            return true;
    }
    return false;
}

void SELog::addFixedPart(const CEvLogRecord& record, SELogEvent& event)
{
    const uint8_t year = record.Byte(kRecordYear);
    event.type = record.Type();
    event.time = TimeOf(record);
    std::string& line = event.line;
    line += getEventString(record.Type());
    line += ":";
    line += year < 0x50 ? "20" : "19";
    line += Hex2(year);
    line += "-" + Hex2(record.Byte(kRecordMonth));
    line += "-" + Hex2(record.Byte(kRecordDay));
    line += ":" + Hex2(record.Byte(kRecordHour));
    line += "." + Hex2(record.Byte(kRecordMinute));
    line += "." + Hex2(record.Byte(kRecordSecond));
    line += ":";
}

void SELog::addVariablePart(const CEvLogRecord& record, SELogEvent& event)
{
    std::string& line = event.line;
    const uint8_t type = record.Type();
    if (!isEventSupportedByDescriptors(type))
    {
        Log(LOG_ERROR, "Event type 0x%02x - %s -  not supported by descriptors", type,
            getEventString(type).c_str());
        line += "Bad Event Descriptor:";
        return;
    }
    if (!isEventSupportedBySoftware(type))
    {
        Log(LOG_ERROR, "Event type 0x%02x - %s -  not supported by this software", type,
            getEventString(type).c_str());
        line += "Unsupported Event Type:";
        return;
    }
    if (!checksumRecord(record))
        LogQuick(LOG_ERROR, "SELog::addVariablePart - checksum failed");

    switch (type)
    {
    case kSingleBitEcc:
    case kMultiBitEcc:
    case kSoftwareNmi:
    case kPciParity:
    case kPciSystem:
    case kLogAreaResetCleared:
    case kSystemBoot:
        addOemEntryLogLine(record, event);
        break;
    case kPostError:
        addPostErrLogLine(record, event);
        break;
    case kSystemLimitExceeded:
        addSystemLimitExceededMultiEventLogLine(record, event);
        break;
    case kHardDiskInformation:
        addHardDiskInformationLogLine(record, event);
        break;
    case kEndOfLog:
    default:
        LogQuick(LOG_ERROR,
                 "SELog::addVariablePart - Internal Error - no 'add' function for End Log event type 0xff");
        break;
    }
}

bool SELog::checksumRecord(const CEvLogRecord& record)
{
    const uint32_t length = record.Length();
    if (length == 0)
        return true;
    uint8_t sum = 0;
    for (uint32_t i = 0; i < length; ++i)
        sum = static_cast<uint8_t>(sum + record.Byte(i));
    // BIOSes differ on whether the "record read" flag counts: try the sum without it, then with.
    const uint8_t stored = record.StoredLength();
    const uint8_t withoutFlag = static_cast<uint8_t>(sum - stored + (stored & kRecordLengthMask));
    if (withoutFlag == 0)
        return true;
    printf("case #1 failed\n");
    if (sum == 0)
        return true;
    printf("case #2 failed\n");
    return false;
}

void SELog::addOemFixedPart(const OEM_LOG_ENTRY& entry, SELogEvent& event)
{
    event.severity = entry.bySeverity;
    std::string& line = event.line;
    line += getOemSeverityString(entry.bySeverity);
    line += ":";
    std::string source;
    for (uint8_t b : entry.abySource)
    {
        if (b == 0)
            break;
        source += static_cast<char>(b);
    }
    line += source;
    line += ":";
}

void SELog::addOemEntryLogLine(const CEvLogRecord& record, SELogEvent& event)
{
    addOemFixedPart(record.OemEntry(kSimpleOemEntry), event);
    event.line += ":";
}

bool SELog::postErrorIsHDD(uint32_t dwPostWord1)
{
    return (dwPostWord1 & kPostDiskBits) != 0;
}

bool SELog::postErrorHasOemData(uint32_t dwPostWord1)
{
    return (dwPostWord1 & kPostDiskBits) != 0;
}

// The per-type length checks use the record's length without the "record read" flag: with the
// flag counted, a record once read would pass for 128 bytes longer than it is, and its fields
// would be taken from the records after it.
void SELog::addPostErrLogLine(const CEvLogRecord& record, SELogEvent& event)
{
    std::string& line = event.line;
    const int length = static_cast<int>(record.Length());
    if (record.Length() < kPostMinimum)
    {
        Log(LOG_ERROR,
            "SELog::addPostErrLogLine - record too short, expected (0x%02x) %d, actual (0x%02x) %d",
            kPostMinimum, kPostMinimum, length, length);
        line += "::";
        return;
    }
    const uint32_t word1 = record.DWord(kFirstWord);
    addOemFixedPart(record.OemEntry(kOemEntry), event);
    line += getPostBitmapString(word1, record.DWord(kSecondWord));
    line += ":";
    if (!postErrorHasOemData(word1))
    {
        line += ":";
        return;
    }
    LogQuick(LOG_TRACE, "POST Error should have OEM data attached");
    if (record.Length() < kPostWithSerialMinimum)
    {
        Log(LOG_ERROR,
            "SELog::addPostErrLogLine - record with oem data is too short, expected (0x%02x) %d, actual "
            "(0x%02x) %d",
            kPostWithSerialMinimum, kPostWithSerialMinimum, length, length);
        return;
    }
    line += "Disk serial number ";
    line += record.Text(kOemData, kSerialNumberLength);
}

void SELog::addHardDiskInformationLogLine(const CEvLogRecord& record, SELogEvent& event)
{
    std::string& line = event.line;
    const int length = static_cast<int>(record.Length());
    if (record.Length() < kDiskMinimum)
    {
        Log(LOG_ERROR,
            "SELog::addHardDiskInformationLogLine - record too short, expected (0x%02x) %d, actual (0x%02x) "
            "%d",
            kDiskMinimum, kDiskMinimum, length, length);
        line += "::";
        return;
    }
    addOemFixedPart(record.OemEntry(kOemEntry), event);
    line += getDiskInformationString(record.DWord(kFirstWord), record.DWord(kSecondWord));
    line += ":";
    if (record.Length() >= kDiskMaximum)
    {
        Log(LOG_ERROR,
            "SELog::addHardDiskInformationLogLine - record with oem data is too long, expected (0x%02x) %d, "
            "actual (0x%02x) %d",
            kDiskMinimum, kDiskMinimum, length, length);
        return;
    }
    // The text ends at its zero byte, and at the latest before the record's last byte, which
    // holds the checksum: never in the record after it.
    const uint32_t room = record.Length() > kOemData + 1 ? record.Length() - 1 - kOemData : 0;
    line += record.Text(kOemData, room < kDiskTextLength ? room : kDiskTextLength);
}

void SELog::addSystemLimitExceededMultiEventLogLine(const CEvLogRecord& record, SELogEvent& event)
{
    std::string& line = event.line;
    const int length = static_cast<int>(record.Length());
    if (record.Length() < kLimitMinimum)
    {
        Log(LOG_ERROR,
            "SELog::addSystemLimitExceededMultiEventLogLine - record too short, expected (0x%02x) %d, actual "
            "(0x%02x) %d",
            kLimitMinimum, kLimitMinimum, length, length);
        line += "::";
        return;
    }
    const OEM_LOG_ENTRY entry = record.OemEntry(kOemEntry);
    addOemFixedPart(entry, event);

    const uint16_t handle = static_cast<uint16_t>(record.DWord(kFirstWord) & 0xFFFF);
    const CSMBios_Sensor* pSensor = m_pEventLogContainer != nullptr
                                        ? m_pEventLogContainer->GetRawSensorFromFirstChipDevice(handle)
                                        : nullptr;
    std::string probe;
    std::string units;
    auto described = [&](const char* kind)
    { return !pSensor->strDescription.empty() ? pSensor->strDescription : kind + Handle4(handle) + ")"; };
    if (pSensor == nullptr)
    {
        probe = " - Probe (0x" + Handle4(handle) + ")";
    }
    else if (pSensor->dwSensorType == SENSOR_KIND_COOLING)
    {
        probe = described("Cooling probe (0x");
        units = " RPM ";
    }
    else if (pSensor->dwSensorType == SENSOR_KIND_TEMPERATURE)
    {
        probe = described("Temperature probe (0x");
        units = " degrees C ";
    }
    else if (pSensor->dwSensorType == SENSOR_KIND_VOLTAGE)
    {
        probe = described("Voltage probe (0x");
        units = " mV ";
    }
    else
    {
        probe = "Probe (0x" + Handle4(handle) + ")";
    }

    probe += " transitioned";
    if (entry.bySeverity == 'E')
        probe += " from within-limit to out-of-limit condition";
    else if (entry.bySeverity == 'I')
        probe += " from out-of-limit to within-limit condition";
    line += probe;

    // The count is unsigned; all ones stands for a single event.
    const uint32_t count = record.DWord(kSecondWord);
    char number[16];
    snprintf(number, sizeof(number), "%u", count == kMultipleEventCountOne ? 1u : count);
    line += " - Multiple-event count=";
    line += number;
    line += ":";
    snprintf(number, sizeof(number), "%u", static_cast<unsigned>(record.Word(kOemData)));
    line += "Snapshot reading ";
    line += number;
    line += units;
}
