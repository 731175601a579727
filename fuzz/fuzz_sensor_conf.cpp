// Any bytes as the sensor configuration "/etc/tarn/sensor.conf": the setting read must stay 0 or
// 1 (or untouched), and a valid line after whatever the file holds must still be the one that
// counts. Broken invariants abort.
#include "FuzzSupport.h"
#include "NvmeSsd.h"

#include <cstdint>
#include <string>

namespace
{
using QelFuzz::Check;

constexpr int kUntouched = -7;
constexpr char kLastLine[] = "\nNvmeReadings=0\n";

std::string g_config;

int Read(const uint8_t* data, size_t size)
{
    QelFuzz::WriteFile(g_config, data, size);
    int setting = kUntouched;
    NvmeSsd::getConfig(setting);
    return setting;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_config = QelFuzz::PathBelowRoot("/etc/tarn/sensor.conf");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int setting = Read(data, size);
    Check(setting == kUntouched || setting == 0 || setting == 1);

    std::string followed(reinterpret_cast<const char*>(data), size);
    followed += kLastLine;
    Check(Read(reinterpret_cast<const uint8_t*>(followed.data()), followed.size()) == 0);
    return 0;
}
