// The NVMe SSDs of the machine: found once, by their controller devices /dev/nvme0 ... /dev/nvme9,
// each kept with its identity and temperature thresholds; the current composite temperature is
// read from the device on every call.
#pragma once

#include "IdentifyData.h"
#include "SsdDevice.h"

#include <cstdint>
#include <string>
#include <vector>

class NvmeSsd
{
public:
    // True when at least one SSD was added.
    bool scanNVMeDevices();
    bool addSsdDevice(const IdentifyData& data, const std::string& drive, const std::string& devPath);
    std::vector<SsdDevice> getSsdList() const { return m_ssdList; }

    // Degrees Celsius of the SSD at list position index, read from its own device; 0 on failure.
    uint16_t getSsdTemperature(int index);
    // The composite temperature word of the SSD's SMART log, in Kelvin (0: the drive reports none);
    // false when the SSD could not be asked.
    bool readCompositeKelvin(int index, int& kelvin);

    static int kelvinToCelsius(int kelvin);
    // Degrees Celsius of the composite temperature in a SMART / Health log page (kSmartLogSize
    // bytes as the controller returned them), cut to 16 bits.
    static uint16_t compositeTemperature(const uint8_t* log);
    // The same word in Kelvin, as the log holds it.
    static int compositeKelvin(const uint8_t* log);

private:
    std::vector<SsdDevice> m_ssdList;  // in discovery order; the position is the SSD index
};
