// The fixed texts of the provider's CIM instances.
#pragma once

// Both classes live in this namespace; requests for any other (ignoring case) are refused.
constexpr char kPxtNamespace[] = "root/cimv2";
constexpr char kPxtSystemCreationClassName[] = "Computer System";
constexpr char kPxtSystemName[] = "Kestrel POS Sensor Drivers and System Event Log";

// The words of CIM_NumericSensor.SensorType, by code; the provider publishes them and qelsensors
// shows them.
constexpr const char* kCimSensorTypes[] = {"Unknown", "Other",      "Temperature",    "Voltage",
                                           "Current", "Tachometer", "Counter",        "Switch",
                                           "Lock",    "Humidity",   "SmokeDetection", "Presence"};

// The word of a SensorType code; null for a code beyond the table.
inline const char* CimSensorTypeName(unsigned sensorType)
{
    return sensorType < sizeof(kCimSensorTypes) / sizeof(kCimSensorTypes[0]) ? kCimSensorTypes[sensorType]
                                                                             : nullptr;
}
