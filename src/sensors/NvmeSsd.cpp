#include "NvmeSsd.h"

#include "NvmeIoctl.h"
#include "SmartIo.h"
#include "SysRoot.h"
#include "log.h"

#include <cstdio>
#include <cstring>
#include <glob.h>
#include <unistd.h>

namespace
{
const char kDeviceDirectory[] = "/dev/";
const char kControllerPattern[] = "nvme[0-9]";

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

int NvmeSsd::kelvinToCelsius(int kelvin)
{
    return kelvin - NvmeAdmin::kKelvinAtZeroCelsius;
}

int NvmeSsd::compositeKelvin(const uint8_t* log)
{
    return log[NvmeAdmin::kCompositeTemperatureOffset + 1] << 8 | log[NvmeAdmin::kCompositeTemperatureOffset];
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

uint16_t NvmeSsd::getSsdTemperature(int index)
{
    LogQuick(LOG_DEBUG, "NvmeSsd::getSsdTemperature - starting");
    int kelvin = 0;
    if (!readCompositeKelvin(index, kelvin))
        return 0;
    return static_cast<uint16_t>(kelvinToCelsius(kelvin));
}

bool NvmeSsd::readCompositeKelvin(int index, int& kelvin)
{
    if (index < 0 || static_cast<size_t>(index) >= m_ssdList.size())
    {
        Log(LOG_ERROR, "NvmeSsd::getSsdTemperature - no SSD at position %d", index);
        return false;
    }
    // Each SSD is read at the path it was found at, whatever its position in the list.
    const std::string& devPath = m_ssdList[static_cast<size_t>(index)].m_devPath;
    const int fd = SmartIo::openDevice(devPath);
    if (fd < 0)
    {
        perror(devPath.c_str());
        Log(LOG_ERROR, "NvmeSsd::getSsdTemperature - Error while read %s file", devPath.c_str());
        return false;
    }
    uint8_t log[NvmeAdmin::kSmartLogSize];
    const bool read = SmartIo::readSmartLog(fd, log, sizeof(log));
    if (read)
        kelvin = compositeKelvin(log);
    close(fd);
    return read;
}
