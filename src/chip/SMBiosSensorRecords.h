// One sensor as SMBIOS describes it: the probe or cooling device structure (Types 26, 27, 28)
// with the name of its Management Device Component (Type 35) and the limits of its Threshold
// Data (Type 36) attached. Plain records: the store copies them by value.
#pragma once

#include <cstdint>
#include <string>

// dwSensorType: the kind of sensor, by the structure it came from.
constexpr uint32_t SENSOR_KIND_VOLTAGE = 1;      // Type 26
constexpr uint32_t SENSOR_KIND_COOLING = 2;      // Type 27
constexpr uint32_t SENSOR_KIND_TEMPERATURE = 3;  // Type 28

// A measured word that the structure leaves unknown (or that it is too short to hold).
constexpr uint16_t SMBIOS_WORD_UNKNOWN = 0x8000;
// A handle field that names no structure.
constexpr uint16_t SMBIOS_NO_HANDLE = 0xFFFF;

struct CSMBios_Sensor
{
    uint8_t byType = 0;
    uint8_t byLength = 0;
    uint16_t wHandle = 0;
    uint32_t dwSensorType = 0;
    uint32_t dwOEMDefined = 0;
    std::string strDescription;
    uint16_t wLowerNonCritical = SMBIOS_WORD_UNKNOWN;
    uint16_t wUpperNonCritical = SMBIOS_WORD_UNKNOWN;
    uint16_t wLowerCritical = SMBIOS_WORD_UNKNOWN;
    uint16_t wUpperCritical = SMBIOS_WORD_UNKNOWN;
    uint16_t wLowerNonRecoverable = SMBIOS_WORD_UNKNOWN;
    uint16_t wUpperNonRecoverable = SMBIOS_WORD_UNKNOWN;
};

// The fields of a Voltage Probe (Type 26) and a Temperature Probe (Type 28): one layout.
struct CSMBios_Probe : CSMBios_Sensor
{
    uint8_t byDescriptionString = 0;
    uint8_t byLocationAndStatus = 0;
    uint16_t wMaximumValue = 0;
    uint16_t wMinimumValue = 0;
    uint16_t wResolution = 0;
    uint16_t wTolerance = 0;
    uint16_t wAccuracy = 0;
    uint16_t wNominalValue = SMBIOS_WORD_UNKNOWN;
};

struct CSMBios_TYPE26 : CSMBios_Probe
{
};

struct CSMBios_TYPE27 : CSMBios_Sensor
{
    uint16_t wTemperatureProbeHandle = 0;
    uint8_t byDeviceTypeAndStatus = 0;
    uint8_t byCoolingUnitGroup = 0;
    uint16_t wNominalSpeed = SMBIOS_WORD_UNKNOWN;
};

struct CSMBios_TYPE28 : CSMBios_Probe
{
};

// Management Device Component: ties a sensor to its chip, names it and points to its limits.
struct CSMBios_TYPE35
{
    uint8_t byType = 0;
    uint8_t byLength = 0;
    uint16_t wHandle = 0;
    uint8_t byDescriptionString = 0;
    uint16_t wManagementDeviceHandle = 0;
    uint16_t wComponentHandle = 0;
    uint16_t wThresholdHandle = 0;
    std::string strDescription;
};

// Management Device Threshold Data, in the unit of the sensor it is attached to.
struct CSMBios_TYPE36
{
    uint8_t byType = 0;
    uint8_t byLength = 0;
    uint16_t wHandle = 0;
    uint16_t wLowerNonCritical = 0;
    uint16_t wUpperNonCritical = 0;
    uint16_t wLowerCritical = 0;
    uint16_t wUpperCritical = 0;
    uint16_t wLowerNonRecoverable = 0;
    uint16_t wUpperNonRecoverable = 0;
};

// The records have no virtual destructor (they are plain data): copy and delete each in the
// form its dwSensorType names. Null for an unknown kind.
inline CSMBios_Sensor* CloneSensorRecord(const CSMBios_Sensor& sensor)
{
    switch (sensor.dwSensorType)
    {
    case SENSOR_KIND_VOLTAGE:
        return new CSMBios_TYPE26(static_cast<const CSMBios_TYPE26&>(sensor));
    case SENSOR_KIND_COOLING:
        return new CSMBios_TYPE27(static_cast<const CSMBios_TYPE27&>(sensor));
    case SENSOR_KIND_TEMPERATURE:
        return new CSMBios_TYPE28(static_cast<const CSMBios_TYPE28&>(sensor));
    default:
        return nullptr;
    }
}

inline void DeleteSensorRecord(CSMBios_Sensor* pSensor)
{
    switch (pSensor != nullptr ? pSensor->dwSensorType : 0)
    {
    case SENSOR_KIND_VOLTAGE:
        delete static_cast<CSMBios_TYPE26*>(pSensor);
        break;
    case SENSOR_KIND_COOLING:
        delete static_cast<CSMBios_TYPE27*>(pSensor);
        break;
    case SENSOR_KIND_TEMPERATURE:
        delete static_cast<CSMBios_TYPE28*>(pSensor);
        break;
    default:
        delete pSensor;
        break;
    }
}
