// The object behind CChip: reads SMBIOS once, identifies the model, creates one driver per
// Management Device (Type 34), starts the event log, and routes every query to the device that
// owns the sensor.
#pragma once

#include "ChipStartReport.h"
#include "EventLogContainer.h"
#include "HwMon.h"
#include "SMBiosMachineData.h"
#include "SensorInterface.h"
#include "SensorRecordSource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CChipDevice;
class CRawSMBios;
struct CSMBios_Sensor;

class CChipManager : public CSensorRecordSource
{
public:
    CChipManager();
    ~CChipManager() override;
    CChipManager(const CChipManager&) = delete;
    CChipManager& operator=(const CChipManager&) = delete;

    // Precondition: not initialised. A failure leaves no device behind, so a retry numbers its
    // devices from 0 again.
    SENSOR_STATUS Initialise();
    SENSOR_STATUS InitialiseHwMonDriver();

    // The queries below require an initialised manager.
    SENSOR_STATUS EnumerateSensorHandles(CSensorHandleList& list);
    SENSOR_STATUS GetSensorInformation(SENSOR_HANDLE handle, CSensorInformation& info);
    SENSOR_STATUS ReadSensor(SENSOR_HANDLE handle, CSensorReading& reading);
    SENSOR_STATUS GetSystemEventLog(CSystemEventLog& log);
    // The log read on its own, for a till whose log the manager does not keep (ChipStartReport.h);
    // needs no initialisation.
    SENSOR_STATUS ReadEventLogWithoutChips(CSystemEventLog& log);
    // The event log can be read: the manager is initialised, or its chips could not be started
    // on a recognised model and the log was started without them.
    bool HasEventLog() const;
    // The record the first device stores for the handle, for the event-log decoder; null when
    // the first device has no such sensor. Owned by the device.
    CSMBios_Sensor* GetRawSensorFromFirstChipDevice(uint16_t wHandle) override;

    bool m_bInit;
    std::string m_strBiosVersion;
    CHwMon m_HwMon;
    CSMBiosMachineData m_MachineData;
    std::vector<CChipDevice*> m_vChipDevices;  // owned; the position is the handle's device index
    EventLogContainer m_EventLogContainer;
    ChipStartReport m_StartReport;  // of the last Initialise and the latest event log reading
    // Names the probes of limit events while no device is started; null otherwise.
    std::unique_ptr<CTableSensors> m_pTableSensors;

private:
    SENSOR_STATUS Start(CRawSMBios& rawSMBios);
    // Starts the event log container with the given source of sensor records and the table the
    // start-up read; a failure costs the event log only.
    void StartEventLog(CSensorRecordSource* pSource, CRawSMBios& rawSMBios);
    // The device of a handle's upper half, or null.
    CChipDevice* DeviceFor(SENSOR_HANDLE handle) const;
    void DestroyDevices();
};
