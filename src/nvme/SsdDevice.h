// One NVMe SSD found at start-up: where it is, what it is and its temperature thresholds.
#pragma once

#include "IdentifyData.h"

#include <string>

class SsdDevice
{
public:
    SsdDevice();
    ~SsdDevice();
    SsdDevice(const SsdDevice&) = default;
    SsdDevice& operator=(const SsdDevice&) = default;

    // Takes the identity and thresholds of the record; always true.
    bool initialise(const IdentifyData& data, const std::string& drive, const std::string& devPath);

    bool m_bValid;
    std::string m_drive;    // nvme0
    std::string m_devPath;  // /dev/nvme0
    std::string m_model;
    std::string m_serial;
    std::string m_fwRev;
    int m_overTempThreshold;   // degrees Celsius
    int m_underTempThreshold;  // degrees Celsius
};
