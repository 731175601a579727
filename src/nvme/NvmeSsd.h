// The NVMe SSDs of the machine: found once, by their controller devices /dev/nvme0 ... /dev/nvme9,
// each kept with its identity and temperature thresholds; the current composite temperature is
// read from the device on every call. The commands go through the current NVMe backend.
//
// Each SSD is published as a temperature sensor on the Falcon, when the sensor configuration
// "/etc/tarn/sensor.conf" holds the line NvmeReadings=1; the provider wraps these sensors in its
// CIM instances and qelsensors shows them.
#pragma once

#include "IdentifyData.h"
#include "SensorInterface.h"
#include "SsdDevice.h"

#include <cstdint>
#include <string>
#include <vector>

// One reading of an SSD's composite temperature.
struct SsdReading
{
    bool read = false;  // false: the SSD could not be asked
    int kelvin = 0;     // the SMART log's word; 0: the drive reports no temperature

    // A temperature was read: the drive answered with one.
    bool known() const { return read && kelvin != 0; }
};

// An SSD's temperature sensor: what it is, its limits (info.Description is the sensor's name) and
// one reading.
struct SsdSensor
{
    SsdDevice device;
    CSensorInformation info;
    SsdReading reading;
};

class NvmeSsd
{
public:
    // Reads the NVMe readings setting (0 or 1) from the sensor configuration into setting; leaves
    // it as it is when the file or a valid line is missing.
    static void getConfig(int& setting);
    // Whether the SSDs are published as sensors with this setting: on the model that has them.
    static bool sensorsOn(int setting);

    // True when at least one SSD was added.
    bool scanNVMeDevices();
    bool addSsdDevice(const IdentifyData& data, const std::string& drive, const std::string& devPath);
    const std::vector<SsdDevice>& getSsdList() const { return m_ssdList; }

    // The sensor of each SSD found, in list order, each read once.
    std::vector<SsdSensor> readSensors();
    // "SSD1 Temperature(00000001)" for the SSD at list position 0.
    static std::string sensorName(int position);
    static CSensorInformation sensorInformation(int position, const SsdDevice& ssd);

    // The SSD at list position index, read from its own device.
    SsdReading read(int index);
    // Degrees Celsius of the SSD at list position index, cut to 16 bits; 0 on failure.
    uint16_t getSsdTemperature(int index);
    // The degrees of a reading as the provider publishes them: 0 when the SSD could not be asked.
    static uint16_t publishedTemperature(const SsdReading& reading);

    static int kelvinToCelsius(int kelvin);
    // Degrees Celsius of the composite temperature in a SMART / Health log page (kSmartLogSize
    // bytes as the controller returned them), cut to 16 bits.
    static uint16_t compositeTemperature(const uint8_t* log);
    // The same word in Kelvin, as the log holds it.
    static int compositeKelvin(const uint8_t* log);

private:
    std::vector<SsdDevice> m_ssdList;  // in discovery order; the position is the SSD index
};
