// What one NVMe controller reported about itself: identity and composite-temperature thresholds.
#pragma once

#include <string>

class IdentifyData
{
public:
    ~IdentifyData() = default;

    std::string m_serial;          // exactly 20 bytes, trailing blanks kept
    std::string m_model;           // exactly 40 bytes
    std::string m_fwRev;           // exactly 8 bytes
    int m_overTempThreshold = 0;   // degrees Celsius
    int m_underTempThreshold = 0;  // degrees Celsius
    int m_nsid = -1;               // the namespace id of the device, -1 for a controller
};
