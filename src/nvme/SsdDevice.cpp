#include "SsdDevice.h"

#include "log.h"

SsdDevice::SsdDevice() : m_bValid(true), m_overTempThreshold(0), m_underTempThreshold(0)
{
    LogQuick(LOG_DEBUG, "SsdDevice constructed");
}

SsdDevice::~SsdDevice() = default;

bool SsdDevice::initialise(const IdentifyData& data, const std::string& drive, const std::string& devPath)
{
    Log(LOG_DEBUG, "SsdDevice::initialise - drive %s devPath %s", drive.c_str(), devPath.c_str());
    m_drive = drive;
    m_devPath = devPath;
    m_serial = data.m_serial;
    m_model = data.m_model;
    m_fwRev = data.m_fwRev;
    m_overTempThreshold = data.m_overTempThreshold;
    m_underTempThreshold = data.m_underTempThreshold;
    m_bValid = true;
    return true;
}
