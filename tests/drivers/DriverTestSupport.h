// Helpers of the chip-driver tests: drivers built the way the chip manager builds them (from the
// machine's own SMBIOS, through the factory) and a count of log lines.
#pragma once

#include "ChipDevice.h"
#include "ChipDeviceFactory.h"
#include "POSSystem.h"
#include "Profile.h"
#include "RawSMBios.h"
#include "SMBiosChipData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace DriverTest
{
struct Driver
{
    std::unique_ptr<CChipDevice> device;
    SENSOR_STATUS status = SS_INTERNAL_ERROR;
};

// A driver for the machine's first management device, initialised over the SMBIOS table under
// the current system root.
inline Driver StartDriver(const QelSim::Profile& profile)
{
    CPOSSystem::s_instance.SetBiosVersion(profile.bios.version);
    Driver driver;
    CRawSMBios raw;
    CSMBiosChipData chips;
    if (!raw.Initialise() || !chips.Initialise(raw))
    {
        ADD_FAILURE() << "the machine's SMBIOS table has no management device";
        return driver;
    }
    driver.device.reset(CChipDeviceFactory::CreateInstance(nullptr, chips, 0));
    if (driver.device == nullptr)
        ADD_FAILURE() << "no driver for " << profile.chips.at(0).board.description;
    else
        driver.status = driver.device->Initialise(raw);
    return driver;
}

inline size_t CountOf(const std::vector<std::string>& lines, const std::string& text)
{
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(),
                                             [&](const std::string& line)
                                             { return line.find(text) != std::string::npos; }));
}
}  // namespace DriverTest
