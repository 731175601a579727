// Any names and contents in the hwmon part of sysfs: class device names, the driver links'
// targets, an input file's name and text. The search must find a device only through a driver
// link whose last component is the driver asked for, and a reading must be the decimal number
// the file starts with. Broken invariants abort.
//
// Input: fields separated by zero bytes: the driver asked for, the input file's name and text,
// then pairs of a class device name and its driver link's target (at most four pairs).
#include "FuzzSupport.h"
#include "HwMon.h"

#include <cstdint>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
using QelFuzz::Check;

constexpr size_t kMaxDevices = 4;

std::string g_sys;

std::vector<std::string> Fields(const uint8_t* data, size_t size)
{
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < size; ++i)
    {
        if (data[i] == 0)
            fields.emplace_back();
        else
            fields.back() += static_cast<char>(data[i]);
    }
    return fields;
}

// A directory entry name: no slash, not empty, not "." or "..", at most 255 bytes.
std::string EntryName(std::string name)
{
    for (char& c : name)
        if (c == '/')
            c = '_';
    if (name.empty() || name == "." || name == "..")
        name = "x" + name;
    return name.substr(0, 255);
}

void RemoveTree(const std::string& path)
{
    nftw(
        path.c_str(), [](const char* p, const struct stat*, int, FTW*) { return remove(p); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

std::string LastComponent(const std::string& target)
{
    const size_t slash = target.rfind('/');
    return slash == std::string::npos ? target : target.substr(slash + 1);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_sys = QelFuzz::PathBelowRoot("/sys/");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> fields = Fields(data, size);
    if (fields.size() < 3)
        return 0;
    const std::string& driver = fields[0];
    // Never "driver": the text would be written through the link to wherever it points.
    const std::string input = fields[1] == "driver" ? "xdriver" : EntryName(fields[1]);
    const std::string& text = fields[2];

    RemoveTree(g_sys);
    const std::string classDir = g_sys + "class/hwmon";
    const std::string devices = g_sys + "devices";
    Check(mkdir(g_sys.c_str(), 0755) == 0 && mkdir((g_sys + "class").c_str(), 0755) == 0 &&
          mkdir(classDir.c_str(), 0755) == 0 && mkdir(devices.c_str(), 0755) == 0);

    // Which class devices have a driver link whose last component names the driver, and
    // (readlink cuts at 1023 bytes) which the search may take.
    std::vector<std::string> matching;
    for (size_t pair = 0; pair < kMaxDevices && 3 + 2 * pair + 1 < fields.size(); ++pair)
    {
        const std::string name = EntryName(fields[3 + 2 * pair]);
        std::string target = fields[4 + 2 * pair].substr(0, 4000);
        const std::string hwmon = devices + "/hwmon" + std::to_string(pair);
        const std::string device = devices + "/device" + std::to_string(pair);
        if (mkdir(hwmon.c_str(), 0755) != 0 || mkdir(device.c_str(), 0755) != 0)
            continue;
        if (symlink(hwmon.c_str(), (classDir + "/" + name).c_str()) != 0)
            continue;  // a name given twice
        Check(symlink(device.c_str(), (hwmon + "/device").c_str()) == 0);
        if (target.empty())
            continue;
        Check(symlink(target.c_str(), (device + "/driver").c_str()) == 0);
        QelFuzz::WriteFile(device + "/" + input, reinterpret_cast<const uint8_t*>(text.data()), text.size());
        if (!driver.empty() && LastComponent(target.substr(0, 1023)) == driver)
            matching.push_back(classDir + "/" + name + "/device");
    }

    CHwMon hwmon;
    const bool found = hwmon.Initialise(driver);
    Check(found == (hwmon.m_strDeviceDir.size() > 0));
    if (!found)
    {
        Check(matching.empty());
        return 0;
    }
    bool known = false;
    for (const std::string& path : matching)
        known = known || path == hwmon.m_strDeviceDir;
    Check(known);

    uint64_t value = 1;
    if (!hwmon.ReadSensor(input, &value))
        return 0;  // a path too long for the reader
    uint64_t expected = 0;
    for (size_t i = 0; i < text.size() && i < 15 && text[i] >= '0' && text[i] <= '9'; ++i)
        expected = expected * 10 + static_cast<uint64_t>(text[i] - '0');
    Check(value == expected);
    return 0;
}
