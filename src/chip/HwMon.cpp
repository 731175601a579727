#include "HwMon.h"

#include "SysRoot.h"
#include "log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr size_t kPathSize = 1024;
constexpr size_t kSensorPathSize = 256;
constexpr int kValueChars = 15;

// Formats "<directory>/<name>" into a path buffer; false when it does not fit, so a cut path
// never names some other file.
bool JoinPath(char (&path)[kPathSize], const char* directory, const char* name)
{
    const int n = snprintf(path, sizeof(path), "%s/%s", directory, name);
    return n >= 0 && static_cast<size_t>(n) < sizeof(path);
}

// Class devices, their "device" and its "driver" are symbolic links in sysfs; real directories
// are something else. File systems that do not report entry types are asked with lstat.
bool IsLink(const char* directory, const dirent* entry)
{
    if (entry->d_type != DT_UNKNOWN)
        return entry->d_type == DT_LNK;
    char path[kPathSize];
    struct stat st;
    return JoinPath(path, directory, entry->d_name) && lstat(path, &st) == 0 && S_ISLNK(st.st_mode);
}

bool IsDotOrDotDot(const char* name)
{
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}
}  // namespace

CHwMon::CHwMon() : m_bInit(false)
{
    LogQuick(LOG_DEBUG, "CHwMon Constructed");
}

CHwMon::~CHwMon()
{
    LogQuick(LOG_DEBUG, "CHwMon Destroyed");
}

bool CHwMon::Initialise(const std::string& driverName)
{
    if (m_bInit)
    {
        LogQuick(LOG_DEBUG, "CHwMon::Initialise - Already initialised");
        return true;
    }
    m_strDriverName = driverName;
    if (!FindFirstHwMonDevice())
        return false;
    Log(LOG_DEBUG, "CHwMon::Initialise - Device directory: %s", m_strDeviceDir.c_str());
    m_bInit = true;
    LogQuick(LOG_DEBUG, "CHwMon::Initialise - Initialised Ok");
    return true;
}

bool CHwMon::FindFirstHwMonDevice()
{
    const std::string classRoot = QelSys::SysPath("/sys/class/hwmon");
    DIR* classDir = opendir(classRoot.c_str());
    if (classDir == nullptr)
    {
        perror("opendir");
        return false;
    }
    fprintf(stderr, "opened /sys/class/hwmon\n");

    bool found = false;
    while (!found)
    {
        const dirent* classEntry = readdir(classDir);
        if (classEntry == nullptr)
            break;
        if (IsDotOrDotDot(classEntry->d_name) || !IsLink(classRoot.c_str(), classEntry))
            continue;
        fprintf(stderr, " %s\n", classEntry->d_name);
        char classPath[kPathSize];
        if (!JoinPath(classPath, classRoot.c_str(), classEntry->d_name))
            continue;
        DIR* deviceLinks = opendir(classPath);
        if (deviceLinks == nullptr)
        {
            fprintf(stderr, " cannot open %s\n", classPath);
            perror(" opendir");
            continue;
        }
        fprintf(stderr, "  opened %s\n", classPath);

        while (!found)
        {
            const dirent* entry = readdir(deviceLinks);
            if (entry == nullptr)
                break;
            if (IsDotOrDotDot(entry->d_name) || !IsLink(classPath, entry))
                continue;
            fprintf(stderr, "   %s, %d\n", entry->d_name, entry->d_type);
            if (strcmp(entry->d_name, "device") != 0)
                continue;
            fprintf(stderr, "   Got a class dev device link for %s/device\n", classPath);
            char devicePath[kPathSize];
            if (!JoinPath(devicePath, classPath, "device"))
                continue;
            DIR* deviceDir = opendir(devicePath);
            if (deviceDir == nullptr)
            {
                fprintf(stderr, "    cannot open %s\n", devicePath);
                perror(" opendir");
                continue;
            }
            fprintf(stderr, "    opened HwMonDeviceDirName: %s\n", devicePath);

            while (!found)
            {
                const dirent* deviceEntry = readdir(deviceDir);
                if (deviceEntry == nullptr)
                    break;
                if (IsDotOrDotDot(deviceEntry->d_name) || !IsLink(devicePath, deviceEntry))
                    continue;
                fprintf(stderr, "      %s, %d\n", deviceEntry->d_name, deviceEntry->d_type);
                if (strcmp(deviceEntry->d_name, "driver") != 0)
                    continue;
                fprintf(stderr, "      got driver link for  %s\n", devicePath);
                char driverLink[kPathSize];
                char target[kPathSize] = {};
                if (!JoinPath(driverLink, devicePath, "driver"))
                    continue;
                // One byte short of the buffer: readlink does not terminate the text.
                if (readlink(driverLink, target, sizeof(target) - 1) < 0)
                    target[0] = '\0';
                fprintf(stderr, "      HwMonDriverDirName->%s\n", target);
                if (target[0] == '\0')
                    continue;
                const char* slash = strrchr(target, '/');
                const char* driver = slash != nullptr ? slash + 1 : target;
                if (driver[0] != '\0' && m_strDriverName == driver)
                {
                    m_strDeviceDir = devicePath;
                    found = true;
                }
            }
            closedir(deviceDir);
        }
        closedir(deviceLinks);
    }
    closedir(classDir);
    return found;
}

bool CHwMon::ReadSensor(const std::string& file, uint64_t* pValue)
{
    Log(LOG_TRACE, "CHwMon::ReadSensor(%s)", file.c_str());
    char path[kSensorPathSize];
    const int n = snprintf(path, sizeof(path), "%s/%s", m_strDeviceDir.c_str(), file.c_str());
    // A path cut short by the buffer would name another file: treat it as not openable.
    FILE* input = n >= 0 && static_cast<size_t>(n) < sizeof(path) ? fopen(path, "re") : nullptr;
    if (input == nullptr)
    {
        if (n >= 0 && static_cast<size_t>(n) >= sizeof(path))
            errno = ENAMETOOLONG;
        Log(LOG_ERROR, "CHwMon::ReadSensor - open %s failed, errno=0x%08x", path,
            static_cast<unsigned>(errno));
        return false;
    }
    char line[kValueChars + 1] = {};
    if (fgets(line, sizeof(line), input) == nullptr)
        line[0] = '\0';
    fclose(input);
    if (pValue != nullptr)
    {
        uint64_t value = 0;
        for (const char* p = line; *p >= '0' && *p <= '9'; ++p)
            value = value * 10 + static_cast<uint64_t>(*p - '0');
        *pValue = value;
    }
    return true;
}

namespace
{
// The whole first line of a small file (at most limit characters), without its line feed.
bool FirstLine(const std::string& path, size_t limit, std::string& line)
{
    FILE* input = fopen(path.c_str(), "re");
    if (input == nullptr)
        return false;
    char buffer[128] = {};
    const bool read = limit < sizeof(buffer) && fgets(buffer, static_cast<int>(limit + 2), input) != nullptr;
    fclose(input);
    if (!read)
        return false;
    line = buffer;
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line.size() <= limit && line.find('\n') == std::string::npos;
}
}  // namespace

bool CHwMon::FindClassDevice(const std::string& name, const std::string& driver)
{
    const std::string classRoot = QelSys::SysPath("/sys/class/hwmon");
    DIR* classDir = opendir(classRoot.c_str());
    if (classDir == nullptr)
        return false;
    bool found = false;
    while (const dirent* entry = readdir(classDir))
    {
        if (IsDotOrDotDot(entry->d_name))
            continue;
        const std::string classPath = classRoot + "/" + entry->d_name;
        std::string text;
        if (!FirstLine(classPath + "/name", 64, text) || text != name)
            continue;
        char target[kPathSize] = {};
        if (readlink((classPath + "/device/driver").c_str(), target, sizeof(target) - 1) <= 0)
            continue;
        const char* slash = strrchr(target, '/');
        if (driver != (slash != nullptr ? slash + 1 : target))
            continue;
        m_strDriverName = driver;
        m_strDeviceDir = classPath;
        m_bInit = true;
        found = true;
        break;
    }
    closedir(classDir);
    return found;
}

bool CHwMon::ReadLine(const std::string& file, std::string& line)
{
    if (!FirstLine(m_strDeviceDir + "/" + file, kValueChars * 4, line))
    {
        Log(LOG_ERROR, "CHwMon::ReadLine - cannot read %s/%s, errno=%d", m_strDeviceDir.c_str(), file.c_str(),
            errno);
        return false;
    }
    return true;
}
