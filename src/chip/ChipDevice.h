// The interface every chip driver offers the chip manager: one driver object per SMBIOS
// Management Device (Type 34) structure.
#pragma once

#include "PortBackend.h"
#include "SensorInterface.h"
#include "Sensors.h"

#include <cstdint>
#include <list>
#include <optional>
#include <string>

class CRawSMBios;

class CChipDevice
{
public:
    CChipDevice() = default;
    virtual ~CChipDevice() = default;
    CChipDevice(const CChipDevice&) = delete;
    CChipDevice& operator=(const CChipDevice&) = delete;

    // 0 only when the sensors are stored and the chip can be reached; otherwise
    // SS_SMBIOS_ERROR, SS_NO_SENSORS or SS_HWMON_ERROR.
    virtual SENSOR_STATUS Initialise(CRawSMBios& rawSMBios) = 0;
    // Appends the SMBIOS handles of the device's sensors, ascending. Never fails.
    virtual void GetSensorHandles(std::list<uint16_t>& handles) = 0;
    // SS_INVALID_HANDLE for a handle the device does not have.
    virtual SENSOR_STATUS GetSensorInformation(uint16_t wHandle, CSensorInformation& info) = 0;
    // SS_INVALID_HANDLE for a handle the device does not have; SS_INTERNAL_ERROR for a record
    // of unknown kind.
    virtual SENSOR_STATUS ReadSensor(uint16_t wHandle, CSensorReading& reading) = 0;
    // The kernel driver whose hold on the chip's ports made Initialise give up, if one did.
    virtual std::optional<PortClaim> KernelClaim() const { return std::nullopt; }
    // The kernel driver the chip is read through ("" for the ports), or why it could not be.
    virtual std::string ReadThrough() const { return ""; }
    virtual std::string KernelProblem() const { return ""; }

    CSensors m_Sensors;
    bool m_bInit = false;
};
