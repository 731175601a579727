// The records that cross the interface of libqelchip: filled by the library, read by its clients
// (the CIM provider). Both libraries are built from this one header, so the layouts agree.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

// (device index << 16) | SMBIOS handle of the sensor's own structure.
typedef uint32_t SENSOR_HANDLE;

// 0 is success; callers test for non-zero.
typedef uint32_t SENSOR_STATUS;

constexpr SENSOR_STATUS SS_SUCCESS = 0;
constexpr SENSOR_STATUS SS_NOT_INITIALISED = 1;
constexpr SENSOR_STATUS SS_SMBIOS_ERROR = 3;
constexpr SENSOR_STATUS SS_NO_DRIVER = 4;
constexpr SENSOR_STATUS SS_HWMON_ERROR = 5;
constexpr SENSOR_STATUS SS_NO_SENSORS = 7;
constexpr SENSOR_STATUS SS_INVALID_HANDLE = 11;
constexpr SENSOR_STATUS SS_UNSUPPORTED_SYSTEM = 14;
constexpr SENSOR_STATUS SS_EVENT_LOG_ERROR = 15;
constexpr SENSOR_STATUS SS_INTERNAL_ERROR = 16;

// A signed 32-bit field (and Resolution) holding this value is unknown.
constexpr int32_t SENSOR_VALUE_UNKNOWN = INT32_MIN;

constexpr SENSOR_HANDLE MakeSensorHandle(uint32_t deviceIndex, uint16_t smbiosHandle)
{
    return (deviceIndex << 16) | smbiosHandle;
}
constexpr uint32_t DeviceIndexOf(SENSOR_HANDLE handle)
{
    return handle >> 16;
}
constexpr uint16_t SmbiosHandleOf(SENSOR_HANDLE handle)
{
    return static_cast<uint16_t>(handle & 0xFFFF);
}

// The handles of every sensor of the machine, in device order.
class CSensorHandleList : public std::list<SENSOR_HANDLE>
{
};

// The static description of one sensor, in the terms of the CIM numeric sensor model. The
// fields stand in the alphabetical order of the CIM properties they feed.
struct CSensorInformation
{
    int32_t Accuracy = SENSOR_VALUE_UNKNOWN;
    uint16_t BaseUnits = 0;
    std::string Description;
    uint64_t Hysteresis = 0;
    bool IsLinear = false;
    int32_t LowerThresholdCritical = SENSOR_VALUE_UNKNOWN;
    int32_t LowerThresholdFatal = SENSOR_VALUE_UNKNOWN;
    int32_t LowerThresholdNonCritical = SENSOR_VALUE_UNKNOWN;
    int32_t MaxReadable = SENSOR_VALUE_UNKNOWN;
    int32_t MinReadable = SENSOR_VALUE_UNKNOWN;
    int32_t NominalReading = SENSOR_VALUE_UNKNOWN;
    std::string OtherSensorTypeDescription;
    uint16_t RateUnits = 0;
    uint64_t Resolution = static_cast<uint32_t>(SENSOR_VALUE_UNKNOWN);
    uint16_t SensorType = 0;
    int32_t UnitModifier = 0;
    int32_t UpperThresholdCritical = SENSOR_VALUE_UNKNOWN;
    int32_t UpperThresholdFatal = SENSOR_VALUE_UNKNOWN;
    int32_t UpperThresholdNonCritical = SENSOR_VALUE_UNKNOWN;
};

// One reading. The caller sets Translate (bit 0) for engineering units instead of the raw
// register value; clients take the low 32 bits of CurrentReading as a signed value.
struct CSensorReading
{
    uint64_t CurrentReading = 0;
    uint32_t Translate = 0;
};

// The decoded BIOS system event log. LogLines is appended to, never cleared.
struct CSystemEventLog
{
    bool LogFull = false;
    std::vector<std::string> LogLines;
    uint8_t LogMultipleEventCountIncrement = 0;
    uint8_t LogMultipleEventTimeWindow = 0;
    bool LogValid = false;
};
