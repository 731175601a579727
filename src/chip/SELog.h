// The decoder of the BIOS event log: one text line per event record of a copied log area, in the
// BIOS's own terms (severity, source name, POST and disk details).
#pragma once

#include "SMBiosEventLogData.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CRawEvLog;
class EventLogContainer;

// Severity letter and source name: the BIOS's own part of every decoded record.
struct OEM_LOG_ENTRY
{
    uint8_t bySeverity = 0;     // 'I', 'W' or 'E'
    uint8_t abySource[8] = {};  // ASCII, zero-padded
};

// The time an event record gives, its BCD fields as numbers: the year in full (20xx below 0x50,
// 19xx otherwise, as the lines print it), month 1-12, day 1-31, hour 0-23, minute and second 0-59.
struct SELogTime
{
    uint16_t year = 0;
    uint8_t month = 0;
    uint8_t day = 0;
    uint8_t hour = 0;
    uint8_t minute = 0;
    uint8_t second = 0;
};

// One decoded event: its line, and beside it the fields of the record the line was made from, so
// that no reader takes the line apart again.
struct SELogEvent
{
    uint8_t type = 0;                 // the record's event type
    std::optional<uint8_t> severity;  // the OEM entry's severity byte, where the line shows one
    std::optional<SELogTime> time;    // unset: a field is no BCD number, or out of its range
    std::string line;
};

// One event record of the area. The walk hands over only records that lie wholly inside the
// area, and every read is checked against the record's own length, so no field of one record
// is ever taken from the next record or from beyond the area.
class CEvLogRecord
{
public:
    // pBytes: the record's first byte; dwLength: its length (bit 7 of the length byte cleared).
    CEvLogRecord(const uint8_t* pBytes, uint32_t dwLength) : m_pBytes(pBytes), m_dwLength(dwLength) {}

    uint32_t Length() const { return m_dwLength; }
    const uint8_t* Bytes() const { return m_pBytes; }
    uint8_t Type() const { return Byte(0); }
    uint8_t StoredLength() const { return Byte(1); }

    // Bytes outside the record read as 0.
    uint8_t Byte(uint32_t dwOffset) const { return dwOffset < m_dwLength ? m_pBytes[dwOffset] : 0; }
    uint16_t Word(uint32_t dwOffset) const;
    uint32_t DWord(uint32_t dwOffset) const;
    // Up to dwMaxCount characters from dwOffset, ending at the first zero byte or the record's end.
    std::string Text(uint32_t dwOffset, uint32_t dwMaxCount) const;
    OEM_LOG_ENTRY OemEntry(uint32_t dwOffset) const;

private:
    const uint8_t* m_pBytes;
    uint32_t m_dwLength;
};

class SELog
{
public:
    SELog();
    ~SELog();
    SELog(const SELog&) = delete;
    SELog& operator=(const SELog&) = delete;

    bool initialise(EventLogContainer* pEventLogContainer, CRawEvLog& rawLog,
                    const EventLogDescriptors& descriptors);
    // Replaces out by the decoded lines; false (out untouched) before a successful initialise.
    bool getLogLines(std::vector<std::string>& out);
    // The decoded events, one per line in the same order; empty before a successful initialise.
    const std::vector<SELogEvent>& events() const { return m_vEvents; }

    // Initialises from the built-in sample log and its descriptor list instead of a log area.
    bool mock__Initialise(EventLogContainer* pEventLogContainer);

    // The steps of initialise.
    bool initLogHeader(CRawEvLog& rawLog);
    bool initLogLines(CRawEvLog& rawLog);

    static std::string getEventString(uint8_t byEventType);
    // Each adds its part to event.line, and to event what that part shows.
    void addFixedPart(const CEvLogRecord& record, SELogEvent& event);
    void addVariablePart(const CEvLogRecord& record, SELogEvent& event);
    bool checksumRecord(const CEvLogRecord& record);
    static bool isEventSupportedBySoftware(uint8_t byEventType);
    bool isEventSupportedByDescriptors(uint8_t byEventType) const;

    void addOemFixedPart(const OEM_LOG_ENTRY& entry, SELogEvent& event);
    void addPostErrLogLine(const CEvLogRecord& record, SELogEvent& event);
    void addHardDiskInformationLogLine(const CEvLogRecord& record, SELogEvent& event);
    void addSystemLimitExceededMultiEventLogLine(const CEvLogRecord& record, SELogEvent& event);
    static bool postErrorIsHDD(uint32_t dwPostWord1);
    static bool postErrorHasOemData(uint32_t dwPostWord1);

    // The message tables.
    static std::string getPostBitmapString(uint32_t dwWord1, uint32_t dwWord2);
    static std::string getDiskInformationString(uint32_t dwWord1, uint32_t dwWord2);
    static std::string getOemSeverityString(uint8_t bySeverity);

    // Between two POST messages: no colon, which separates the fields of a line.
    static const char kPostMessageSeparator[];

    bool m_bInit = false;
    EventLogContainer* m_pEventLogContainer = nullptr;  // not owned
    EventLogDescriptors m_vDescriptors;
    std::vector<SELogEvent> m_vEvents;
    uint8_t m_byMultipleEventTimeWindow = 0;  // BCD, as stored
    uint8_t m_byMultipleEventCountIncrement = 0;
    uint8_t m_byHeaderRevision = 0;

private:
    // The seven OEM-entry types share one form: the entry at offset 8, then ":".
    void addOemEntryLogLine(const CEvLogRecord& record, SELogEvent& event);
};

// The built-in sample log (358 bytes) and its fixed descriptor list.
extern const uint8_t g_abySampleEventLog[358];
EventLogDescriptors SampleEventLogDescriptors();
