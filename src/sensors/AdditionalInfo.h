// AdditionalInfo: the sensors a machine model has beyond those its SMBIOS tables describe. The
// provider calls it once after building the chip sensors, and for every sensor marked additional
// when a request refreshes readings.
//
// The Falcon publishes the composite temperature of each NVMe SSD, when the sensor configuration
// "/etc/tarn/sensor.conf" holds the line NvmeReadings=1. Without the file, or without a valid line
// in it, the SSD sensors are off.
#pragma once

#include "NvmeSsd.h"
#include "PXT_NumericSensor.h"

#include <string>
#include <vector>

class AdditionalInfo
{
public:
    AdditionalInfo() = default;
    virtual ~AdditionalInfo() = default;

    // Reads the NVMe readings setting (0 or 1) from the sensor configuration into setting; leaves
    // it as it is when the file or a valid line is missing.
    static void getConfig(int& setting);

    // Appends the model's extra sensors to the provider's list.
    void initialise(std::vector<PXT_NumericSensor>& sensors);
    // Appends one temperature sensor per NVMe SSD.
    void processFalcon(std::vector<PXT_NumericSensor>& sensors);
    // Refreshes the reading of a sensor that initialise appended.
    void updateReading(PXT_NumericSensor& sensor);

    // "SSD1 Temperature(00000001)" for the SSD at list position 0.
    static std::string ssdSensorName(int position);

    bool isInitialised() const { return m_bInitialised; }
    // Whether initialise switched the SSD sensors on (the Falcon, with NvmeReadings=1).
    bool hasSsdSensors() const { return m_bSsdSensors; }
    // The SSDs found, in the order of their sensors.
    std::vector<SsdDevice> getSsdList() const { return m_nvmeSsd.getSsdList(); }
    // For callers that must tell a failed reading from a cold drive (see NvmeSsd).
    bool readCompositeKelvin(int position, int& kelvin)
    {
        return m_nvmeSsd.readCompositeKelvin(position, kelvin);
    }

private:
    NvmeSsd m_nvmeSsd;
    bool m_bInitialised = false;
    bool m_bSsdSensors = false;
};
