#include "AdditionalInfo.h"

#include "POSSystem.h"
#include "log.h"

void AdditionalInfo::initialise(std::vector<PXT_NumericSensor>& sensors)
{
    int nvmeReadings = 0;
    NvmeSsd::getConfig(nvmeReadings);
    if (NvmeSsd::sensorsOn(nvmeReadings))
    {
        LogQuick(LOG_DEBUG, "AdditionalInfo::initialise is falcon");
        m_bSsdSensors = true;
        processFalcon(sensors);
    }
    if (CPOSSystem::s_instance.IsLark() && nvmeReadings != 0)
        LogQuick(LOG_DEBUG, "AdditionalInfo::initialise is LARK");
    m_bInitialised = true;
}

void AdditionalInfo::processFalcon(std::vector<PXT_NumericSensor>& sensors)
{
    LogQuick(LOG_INFO, "Processing additionals for Falcon machine");
    if (!m_nvmeSsd.scanNVMeDevices())
    {
        LogQuick(LOG_DEBUG, "AdditionalInfo::processFalcon - NvmeSsd devices not added.");
        return;
    }
    const std::vector<SsdSensor> ssds = m_nvmeSsd.readSensors();
    for (size_t i = 0; i < ssds.size(); ++i)
    {
        const std::string& name = ssds[i].info.Description;
        PXT_NumericSensor sensor(static_cast<uint32_t>(i));
        sensor.m_bAdditional = true;
        sensor.setName(name);
        sensor.setCaption("Temperature ");
        sensor.setDescription(name + ": Temperature sensor");
        sensor.setDeviceID(std::to_string(i + 1));
        sensor.setCurrentReading(NvmeSsd::publishedTemperature(ssds[i].reading));
        // What an SSD does not give is left out of the instance, never published as 0 (a client
        // would see 38 degrees beyond a limit of 0).
        sensor.setInformation(ssds[i].info);
        // Not read: the first request asks the drive again rather than serve that 0.
        if (!ssds[i].reading.known())
            sensor.forgetReading();
        sensors.push_back(sensor);
    }
}

bool AdditionalInfo::updateReading(PXT_NumericSensor& sensor)
{
    LogQuick(LOG_DEBUG, "AdditionalInfo::UpdateReading (Sensor)");
    if (!sensor.needsReading())
    {
        Log(LOG_DEBUG, "SensorProvider::UpdateReading - No need to update sensor %s yet", sensor.getName());
        return true;
    }
    const std::vector<SsdDevice>& ssds = m_nvmeSsd.getSsdList();
    for (size_t i = 0; i < ssds.size(); ++i)
    {
        Log(LOG_DEBUG,
            "AdditionalInfo::UpdateReading - Adding SsdDevice devPath=%s, fw_rev=%s, physicalDisk=%s",
            ssds[i].m_devPath.c_str(), ssds[i].m_fwRev.c_str(), ssds[i].m_drive.c_str());
        const int position = static_cast<int>(i);
        if (NvmeSsd::sensorName(position) == sensor.getName())
        {
            // An SSD that does not answer, or answers without a temperature, has no reading: the
            // request fails as for a chip sensor, and the next one asks the drive again.
            const SsdReading reading = m_nvmeSsd.read(position);
            if (!reading.known())
            {
                sensor.forgetReading();
                return false;
            }
            sensor.setCurrentReading(NvmeSsd::publishedTemperature(reading));
            return true;
        }
    }
    return false;
}
