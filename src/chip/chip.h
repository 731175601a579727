// CChip: the one class libqelchip offers its clients. Create it, Initialise it once, then ask
// for the sensor handles, each sensor's description and reading, and the decoded event log.
//
// Only Initialise is serialised; the queries take no lock and drive the hardware directly, so
// callers make them from one thread at a time.
#pragma once

#include "SensorInterface.h"

#include <pthread.h>

class CChipManager;
struct ChipStartReport;

class CChip
{
public:
    CChip();
    ~CChip();
    CChip(const CChip&) = delete;
    CChip& operator=(const CChip&) = delete;

    // 0 once the library is up (also when it already was); otherwise the chip manager's status.
    SENSOR_STATUS Initialise();
    // Appends every sensor handle; SS_NO_SENSORS when there is none.
    SENSOR_STATUS EnumerateSensorHandles(CSensorHandleList& list);
    SENSOR_STATUS GetSensorInformation(SENSOR_HANDLE handle, CSensorInformation& info);
    // Reads the sensor now; the caller sets reading.Translate first.
    SENSOR_STATUS ReadSensor(SENSOR_HANDLE handle, CSensorReading& reading);
    // Reads and decodes the event log afresh, appending its lines to log.LogLines. Also after an
    // Initialise that failed on a supported model's chips: the log does not need them.
    SENSOR_STATUS GetSystemEventLog(CSystemEventLog& log);

private:
    // What the last Initialise and the event log's latest reading found, and the event log where
    // GetSystemEventLog has none, for the library's own tools (ChipStartReport.h).
    friend const ChipStartReport& StartReportOf(const CChip& chip);
    friend SENSOR_STATUS ReadEventLogWithoutChips(CChip& chip, CSystemEventLog& log);

    bool m_bInit;
    CChipManager* m_pChipManager;
    pthread_mutex_t m_Mutex;
};
