// What the event log needs of the chip manager: the sensor record of the first chip device for
// an SMBIOS handle, so that a "System Limit Exceeded" event can name its probe. The chip
// manager implements it; tests use fakes.
#pragma once

#include <cstdint>

struct CSMBios_Sensor;

class CSensorRecordSource
{
public:
    virtual ~CSensorRecordSource();

    // The record stays owned by the source; null when the first device has no such sensor.
    virtual CSMBios_Sensor* GetRawSensorFromFirstChipDevice(uint16_t wHandle) = 0;
};
