// The Linux hwmon reader: finds the hwmon class device that a named kernel driver registered and
// reads its sensor input files. The alternative to the library's own port-I/O drivers for
// models that would need it.
#pragma once

#include <cstdint>
#include <string>

class CHwMon
{
public:
    CHwMon();
    ~CHwMon();
    CHwMon(const CHwMon&) = delete;
    CHwMon& operator=(const CHwMon&) = delete;

    // True when a hwmon device bound to the driver was found. A second call keeps the first
    // result.
    bool Initialise(const std::string& driverName);
    // Walks "/sys/class/hwmon" for the first class device whose device's driver link ends in
    // m_strDriverName; sets m_strDeviceDir.
    bool FindFirstHwMonDevice();
    // Reads the decimal value of one input file of the device ("in0_input", ...); pValue may be
    // null. False when the file cannot be opened.
    bool ReadSensor(const std::string& file, uint64_t* pValue);

    // The class device named name whose device's driver link ends in driver; its own directory
    // (/sys/class/hwmon/hwmonN), where current kernels put the sensor files, becomes
    // m_strDeviceDir. Quiet: nothing on the standard streams.
    bool FindClassDevice(const std::string& name, const std::string& driver);
    // The first line of one of its files, without the line feed; false when the file cannot be
    // read or its line is longer than a sysfs value can be.
    bool ReadLine(const std::string& file, std::string& line);

    bool m_bInit;
    std::string m_strDriverName;
    std::string m_strDeviceDir;
};
