// What the event log needs of the chip manager: the sensor record of the first chip device for
// an SMBIOS handle, so that a "System Limit Exceeded" event can name its probe. The chip
// manager implements it; CTableSensors stands in for it where the chips are not started.
#pragma once

#include <cstdint>
#include <memory>

class CRawSMBios;
class CSMBiosSensorData;
struct CSMBios_Sensor;

class CSensorRecordSource
{
public:
    virtual ~CSensorRecordSource();

    // The record stays owned by the source; null when the first device has no such sensor.
    virtual CSMBios_Sensor* GetRawSensorFromFirstChipDevice(uint16_t wHandle) = 0;
};

// No sensor records at all: limit events name their probe by handle only.
class CNoSensorRecords : public CSensorRecordSource
{
public:
    CSMBios_Sensor* GetRawSensorFromFirstChipDevice(uint16_t) override { return nullptr; }
};

// The sensors of the first Management Device as the chip manager's device 0 holds them once
// started, taken from the table alone: limit events name their sensor as on a started till when
// the chips cannot be started, or from a dump without a chip.
class CTableSensors : public CSensorRecordSource
{
public:
    explicit CTableSensors(CRawSMBios& raw);
    ~CTableSensors() override;

    CSMBios_Sensor* GetRawSensorFromFirstChipDevice(uint16_t wHandle) override;

private:
    std::unique_ptr<CSMBiosSensorData> m_sensors;  // null when the table describes no sensor
};
