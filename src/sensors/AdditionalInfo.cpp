#include "AdditionalInfo.h"

#include "POSSystem.h"
#include "SysRoot.h"
#include "log.h"

#include <cstdio>
#include <cstdlib>

namespace
{
const char kSensorConfigFile[] = "/etc/tarn/sensor.conf";
const char kNvmeReadingsKey[] = "NvmeReadings";
}  // namespace

void AdditionalInfo::getConfig(int& setting)
{
    FILE* file = fopen(QelSys::SysPath(kSensorConfigFile).c_str(), "re");
    if (file == nullptr)
        return;
    char* buffer = nullptr;
    size_t capacity = 0;
    ssize_t length;
    while ((length = getline(&buffer, &capacity, file)) >= 0)
    {
        // The line as read, newline included (the last line may lack one).
        const std::string line(buffer, static_cast<size_t>(length));
        const size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0)
            continue;
        if (line.compare(0, equals, kNvmeReadingsKey) != 0)
        {
            fputs(" Sensor configs not found.\n", stderr);
            continue;
        }
        unsigned long number = 0;
        if (sscanf(line.c_str() + equals + 1, "%lu", &number) == 1 && number <= 1)
            setting = static_cast<int>(number);
    }
    free(buffer);
    fclose(file);
}

void AdditionalInfo::initialise(std::vector<PXT_NumericSensor>& sensors)
{
    int nvmeReadings = 0;
    getConfig(nvmeReadings);
    if (CPOSSystem::s_instance.IsFalcon() && nvmeReadings != 0)
    {
        LogQuick(LOG_DEBUG, "AdditionalInfo::initialise is falcon");
        m_bSsdSensors = true;
        processFalcon(sensors);
    }
    if (CPOSSystem::s_instance.IsLark() && nvmeReadings != 0)
        LogQuick(LOG_DEBUG, "AdditionalInfo::initialise is LARK");
    m_bInitialised = true;
}

std::string AdditionalInfo::ssdSensorName(int position)
{
    const unsigned n = static_cast<unsigned>(position) + 1;
    char name[64];
    snprintf(name, sizeof(name), "SSD%u Temperature(%08x)", n, n);
    return name;
}

void AdditionalInfo::processFalcon(std::vector<PXT_NumericSensor>& sensors)
{
    LogQuick(LOG_INFO, "Processing additionals for Falcon machine");
    if (!m_nvmeSsd.scanNVMeDevices())
    {
        LogQuick(LOG_DEBUG, "AdditionalInfo::processFalcon - NvmeSsd devices not added.");
        return;
    }
    const std::vector<SsdDevice> ssds = m_nvmeSsd.getSsdList();
    for (size_t i = 0; i < ssds.size(); ++i)
    {
        const int position = static_cast<int>(i);
        const uint16_t temperature = m_nvmeSsd.getSsdTemperature(position);
        const std::string name = ssdSensorName(position);
        PXT_NumericSensor sensor(static_cast<uint32_t>(i));
        sensor.m_bAdditional = true;
        sensor.setName(name);
        sensor.setCaption("Temperature ");
        sensor.setDescription(name + ": Temperature sensor");
        sensor.setDeviceID(std::to_string(i + 1));
        sensor.setCurrentReading(temperature);
        sensor.setUpperThresholdCritical(ssds[i].m_overTempThreshold);
        sensor.setLowerThresholdCritical(ssds[i].m_underTempThreshold);
        sensor.setOtherSensorTypeDescription("");
        sensor.setIsLinear(false);
        // Every other number is 0: SensorType 0 is an unknown type, and no property is left out.
        sensor.setAccuracy(0);
        sensor.setBaseUnits(0);
        sensor.setHysteresis(0);
        sensor.setLowerThresholdFatal(0);
        sensor.setLowerThresholdNonCritical(0);
        sensor.setMaxReadable(0);
        sensor.setMinReadable(0);
        sensor.setNominalReading(0);
        sensor.setRateUnits(0);
        sensor.setResolution(0);
        sensor.setSensorType(0);
        sensor.setUnitModifier(0);
        sensor.setUpperThresholdFatal(0);
        sensor.setUpperThresholdNonCritical(0);
        sensors.push_back(sensor);
    }
}

void AdditionalInfo::updateReading(PXT_NumericSensor& sensor)
{
    LogQuick(LOG_DEBUG, "AdditionalInfo::UpdateReading (Sensor)");
    if (!sensor.needsReading())
    {
        Log(LOG_DEBUG, "SensorProvider::UpdateReading - No need to update sensor %s yet", sensor.getName());
        return;
    }
    const std::vector<SsdDevice> ssds = m_nvmeSsd.getSsdList();
    for (size_t i = 0; i < ssds.size(); ++i)
    {
        Log(LOG_DEBUG,
            "AdditionalInfo::UpdateReading - Adding SsdDevice devPath=%s, fw_rev=%s, physicalDisk=%s",
            ssds[i].m_devPath.c_str(), ssds[i].m_fwRev.c_str(), ssds[i].m_drive.c_str());
        const int position = static_cast<int>(i);
        if (ssdSensorName(position) == sensor.getName())
        {
            sensor.setCurrentReading(m_nvmeSsd.getSsdTemperature(position));
            return;
        }
    }
}
