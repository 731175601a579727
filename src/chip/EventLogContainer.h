// The BIOS system event log as the chip library reports it: located through SMBIOS Type 15,
// copied from physical memory and decoded afresh on every request.
#pragma once

#include "SELog.h"
#include "SMBiosEventLogData.h"
#include "SensorInterface.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CRawEvLog;
class CRawSMBios;
class CSensorRecordSource;
struct CSMBios_Sensor;

// How far the latest reading of the log got, and what it found: for the library's own tools,
// which explain a failure and count the events from it.
struct EventLogReport
{
    // The reading's steps, in order.
    enum class Step
    {
        NotRead,
        SMBiosTable,   // the entry point and the table copy
        Type15,        // the System Event Log structure
        AccessMethod,  // the structure names the area by a 32-bit physical address (method 3)
        Area,          // the copy of the area (of a capture: the area is the one Type 15 names)
        Header,        // the area's Log Header Type 1, revision 1
        Decoded,
    };

    Step reached = Step::NotRead;          // the step that failed, or Decoded
    std::optional<CSMBios_TYPE15> type15;  // the structure found, from Type15 on
    // At Area: the device the area is mapped from, and the error of the copy (EPERM: not root).
    std::string areaDevice;
    int32_t areaError = 0;
    std::vector<SELogEvent> events;  // Decoded: one per line, oldest first
};

class EventLogContainer
{
public:
    EventLogContainer();
    ~EventLogContainer();
    EventLogContainer(const EventLogContainer&) = delete;
    EventLogContainer& operator=(const EventLogContainer&) = delete;

    // pChipManager answers the probe look-ups of later refreshes (not owned). pTable: a table the
    // caller has just read, for the first decoding; without it the table is read here.
    SENSOR_STATUS Initialise(CSensorRecordSource* pChipManager, CRawSMBios* pTable = nullptr);
    // Reads and decodes the log again and appends its lines to log.LogLines.
    SENSOR_STATUS GetSystemEventLog(CSystemEventLog& log);

    // pTable as for Initialise.
    bool UpdateLog(CRawSMBios* pTable = nullptr);
    // Takes the Type 15 structure from raw, which is read first unless it already is.
    bool UpdateSMBiosLog(CRawSMBios& raw);
    bool UpdateSELog();
    // Decodes a copy of the area the Type 15 structure names.
    bool DecodeArea(CRawEvLog& rawLog);
    void CopyEventLogInformation(CSystemEventLog& log);

    // The sensor record of the first chip device, for the decoder; null before Initialise has
    // finished.
    CSMBios_Sensor* GetRawSensorFromFirstChipDevice(uint16_t wHandle);

    bool NeedsReading() const { return true; }
    bool HasTokenChanged() const;

    bool m_bInit;
    SELog* m_pSELog;                      // owned: the latest decoded log
    CSMBios_TYPE15* m_pSMBiosLog;         // owned: the Type 15 record of the latest read
    CSensorRecordSource* m_pChipManager;  // not owned
    uint32_t m_dwLastChangeToken;         // of the read before the latest
    EventLogReport m_Report;              // of the latest read
};
