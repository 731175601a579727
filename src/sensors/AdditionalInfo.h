// AdditionalInfo: the sensors a machine model has beyond those its SMBIOS tables describe. The
// provider calls it once after building the chip sensors, and for every sensor marked additional
// when a request refreshes readings.
//
// The Falcon publishes the composite temperature of each NVMe SSD, when the sensor configuration
// "/etc/tarn/sensor.conf" holds the line NvmeReadings=1. Without the file, or without a valid line
// in it, the SSD sensors are off. The SSDs and their sensors are the NVMe module's (NvmeSsd); here
// they become CIM instances.
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

    // Appends the model's extra sensors to the provider's list.
    void initialise(std::vector<PXT_NumericSensor>& sensors);
    // Appends one temperature sensor per NVMe SSD.
    void processFalcon(std::vector<PXT_NumericSensor>& sensors);
    // Refreshes the reading of a sensor that initialise appended, at most once per update
    // interval; false when its SSD gave no temperature (or it is no SSD sensor of this list).
    bool updateReading(PXT_NumericSensor& sensor);

    bool isInitialised() const { return m_bInitialised; }
    // Whether initialise switched the SSD sensors on (the Falcon, with NvmeReadings=1).
    bool hasSsdSensors() const { return m_bSsdSensors; }
    // The SSDs found, in the order of their sensors.
    std::vector<SsdDevice> getSsdList() const { return m_nvmeSsd.getSsdList(); }

private:
    NvmeSsd m_nvmeSsd;
    bool m_bInitialised = false;
    bool m_bSsdSensors = false;
};
