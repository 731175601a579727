// NVMe admin commands on a controller's device, opened through the current NVMe backend (the
// driver's pass-through ioctl on the device file by default). Paths are the machine's
// ("/dev/nvme0").
#pragma once

#include "IdentifyData.h"
#include "NvmeBackend.h"

#include <cstdint>
#include <string>

class SmartIo
{
public:
    // Identify (controller or namespace, by CNS) into data, which is zeroed first.
    static bool nvme_read_identify(NvmeChannel& device, uint32_t nsid, uint8_t cns, void* data,
                                   uint32_t length);
    // Identity and temperature thresholds of the controller at devPath.
    static bool getIdentifyNVMeData(const std::string& devPath, IdentifyData& data);
    // The default under (or over) temperature threshold of the composite sensor, in Kelvin as the
    // controller gives it (the low 16 bits of the command's result); true when the command is done.
    static bool getTemperatureThreshold(NvmeChannel& device, bool under, uint32_t& result);
    // The SMART / Health Information log page (512 bytes) into log; true when the command is done.
    static bool readSmartLog(NvmeChannel& device, uint8_t* log, uint32_t length);

    // What the commands' answers give, taken apart without a device, so the parsing can be tested
    // on any bytes. controller is the Identify Controller data, kIdentifySize bytes.
    static void takeControllerIdentity(const uint8_t* controller, IdentifyData& data);
    static uint32_t namespaceCount(const uint8_t* controller);
    // Degrees Celsius of a Get Features temperature-threshold result.
    static int thresholdCelsius(uint32_t result);
};
