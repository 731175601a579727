// The BIOS system event log as the chip library reports it: located through SMBIOS Type 15,
// copied from physical memory and decoded afresh on every request.
#pragma once

#include "SensorInterface.h"

#include <cstdint>

class CSensorRecordSource;
class SELog;
struct CSMBios_Sensor;
struct CSMBios_TYPE15;

class EventLogContainer
{
public:
    EventLogContainer();
    ~EventLogContainer();
    EventLogContainer(const EventLogContainer&) = delete;
    EventLogContainer& operator=(const EventLogContainer&) = delete;

    // pChipManager answers the probe look-ups of later refreshes (not owned).
    SENSOR_STATUS Initialise(CSensorRecordSource* pChipManager);
    // Reads and decodes the log again and appends its lines to log.LogLines.
    SENSOR_STATUS GetSystemEventLog(CSystemEventLog& log);

    bool UpdateLog();
    bool UpdateSMBiosLog();
    bool UpdateSELog();
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
};
