#include "NvmeSsd.h"

#include "LittleEndian.h"
#include "NvmeBackend.h"
#include "NvmeIoctl.h"
#include "POSSystem.h"
#include "SmartIo.h"
#include "SysRoot.h"
#include "log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <glob.h>

namespace
{
const char kDeviceDirectory[] = "/dev/";
const char kControllerPattern[] = "nvme[0-9]";
const char kSensorConfigFile[] = "/etc/tarn/sensor.conf";
const char kNvmeReadingsKey[] = "NvmeReadings";
// CIM codes: SensorType Temperature, BaseUnits Degrees C.
constexpr uint16_t kSensorTypeTemperature = 2;
constexpr uint16_t kDegreesCelsius = 2;

// The system root taken literally inside a glob pattern.
std::string GlobEscaped(const std::string& text)
{
    std::string escaped;
    for (char c : text)
    {
        if (strchr("*?[]\\", c) != nullptr)
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string BaseName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
}  // namespace

void NvmeSsd::getConfig(int& setting)
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

bool NvmeSsd::sensorsOn(int setting)
{
    return CPOSSystem::s_instance.IsFalcon() && setting != 0;
}

int NvmeSsd::kelvinToCelsius(int kelvin)
{
    return kelvin - NvmeAdmin::kKelvinAtZeroCelsius;
}

int NvmeSsd::compositeKelvin(const uint8_t* log)
{
    return LittleEndian::Read16(log + NvmeAdmin::kCompositeTemperatureOffset);
}

uint16_t NvmeSsd::compositeTemperature(const uint8_t* log)
{
    return static_cast<uint16_t>(kelvinToCelsius(compositeKelvin(log)));
}

bool NvmeSsd::scanNVMeDevices()
{
    LogQuick(LOG_DEBUG, "NvmeSsd::scanNVMeDevices");
    // Controllers only: the pattern leaves out namespaces (nvme0n1) and controllers numbered 10 on.
    const std::string pattern = GlobEscaped(QelSys::SysPath(kDeviceDirectory)) + kControllerPattern;
    glob_t found;
    memset(&found, 0, sizeof(found));
    const int rc = glob(pattern.c_str(), GLOB_ERR, nullptr, &found);
    if (rc != 0)
    {
        if (rc == GLOB_NOSPACE)
            LogQuick(LOG_ERROR, "SsdManager::scanNVMeDevice - GLOB_NOSPACE");
        globfree(&found);
        return false;
    }
    bool added = false;
    for (size_t i = 0; i < found.gl_pathc; ++i)
    {
        // Kept as the machine's path; the system root is added again whenever it is opened.
        const std::string drive = BaseName(found.gl_pathv[i]);
        const std::string devPath = kDeviceDirectory + drive;
        IdentifyData data;
        data.m_nsid = -1;
        if (SmartIo::getIdentifyNVMeData(devPath, data) && addSsdDevice(data, drive, devPath))
            added = true;
    }
    globfree(&found);
    return added;
}

bool NvmeSsd::addSsdDevice(const IdentifyData& data, const std::string& drive, const std::string& devPath)
{
    LogQuick(LOG_DEBUG, "NvmeSsd::addSsdDevice");
    SsdDevice device;
    device.initialise(data, drive, devPath);
    m_ssdList.push_back(device);
    return true;
}

std::string NvmeSsd::sensorName(int position)
{
    const unsigned n = static_cast<unsigned>(position) + 1;
    char name[64];
    snprintf(name, sizeof(name), "SSD%u Temperature(%08x)", n, n);
    return name;
}

CSensorInformation NvmeSsd::sensorInformation(int position, const SsdDevice& ssd)
{
    // An SSD gives its two thresholds and nothing else: what it does not give stays unknown.
    CSensorInformation info;
    info.Description = sensorName(position);
    info.SensorType = kSensorTypeTemperature;
    info.BaseUnits = kDegreesCelsius;
    info.Hysteresis = static_cast<uint32_t>(SENSOR_VALUE_UNKNOWN);
    info.UpperThresholdCritical = ssd.m_overTempThreshold;
    info.LowerThresholdCritical = ssd.m_underTempThreshold;
    return info;
}

std::vector<SsdSensor> NvmeSsd::readSensors()
{
    std::vector<SsdSensor> sensors;
    for (size_t i = 0; i < m_ssdList.size(); ++i)
    {
        const int position = static_cast<int>(i);
        LogQuick(LOG_DEBUG, "NvmeSsd::getSsdTemperature - starting");
        sensors.push_back({m_ssdList[i], sensorInformation(position, m_ssdList[i]), read(position)});
    }
    return sensors;
}

uint16_t NvmeSsd::publishedTemperature(const SsdReading& reading)
{
    return reading.read ? static_cast<uint16_t>(kelvinToCelsius(reading.kelvin)) : 0;
}

uint16_t NvmeSsd::getSsdTemperature(int index)
{
    LogQuick(LOG_DEBUG, "NvmeSsd::getSsdTemperature - starting");
    return publishedTemperature(read(index));
}

SsdReading NvmeSsd::read(int index)
{
    SsdReading reading;
    if (index < 0 || static_cast<size_t>(index) >= m_ssdList.size())
    {
        Log(LOG_ERROR, "NvmeSsd::getSsdTemperature - no SSD at position %d", index);
        return reading;
    }
    // Each SSD is read at the path it was found at, whatever its position in the list.
    const std::string& devPath = m_ssdList[static_cast<size_t>(index)].m_devPath;
    const std::unique_ptr<NvmeChannel> device = CurrentNvmeBackend().Open(devPath);
    if (device == nullptr)
    {
        perror(devPath.c_str());
        Log(LOG_ERROR, "NvmeSsd::getSsdTemperature - Error while read %s file", devPath.c_str());
        return reading;
    }
    uint8_t log[NvmeAdmin::kSmartLogSize];
    reading.read = SmartIo::readSmartLog(*device, log, sizeof(log));
    if (reading.read)
        reading.kelvin = compositeKelvin(log);
    return reading;
}
