#include "AdditionalInfo.h"

#include "POSSystem.h"
#include "SensorInterface.h"
#include "SysRoot.h"
#include "log.h"

#include <cstdio>
#include <cstdlib>

namespace
{
const char kSensorConfigFile[] = "/etc/tarn/sensor.conf";
const char kNvmeReadingsKey[] = "NvmeReadings";
// CIM codes: SensorType Temperature, BaseUnits Degrees C.
constexpr uint16_t kSensorTypeTemperature = 2;
constexpr uint16_t kDegreesCelsius = 2;
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
        sensor.setSensorType(kSensorTypeTemperature);
        sensor.setBaseUnits(kDegreesCelsius);
        sensor.setRateUnits(0);
        sensor.setUnitModifier(0);
        // An SSD gives its two thresholds and nothing else: what it does not give is left out of
        // the instance, never published as 0 (a client would see 38 degrees beyond a limit of 0).
        const uint32_t unknown = static_cast<uint32_t>(SENSOR_VALUE_UNKNOWN);
        sensor.setAccuracy(SENSOR_VALUE_UNKNOWN);
        sensor.setHysteresis(unknown);
        sensor.setLowerThresholdFatal(SENSOR_VALUE_UNKNOWN);
        sensor.setLowerThresholdNonCritical(SENSOR_VALUE_UNKNOWN);
        sensor.setMaxReadable(SENSOR_VALUE_UNKNOWN);
        sensor.setMinReadable(SENSOR_VALUE_UNKNOWN);
        sensor.setNominalReading(SENSOR_VALUE_UNKNOWN);
        sensor.setResolution(unknown);
        sensor.setUpperThresholdFatal(SENSOR_VALUE_UNKNOWN);
        sensor.setUpperThresholdNonCritical(SENSOR_VALUE_UNKNOWN);
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
