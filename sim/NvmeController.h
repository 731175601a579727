// An NVMe SSD as the Linux driver's pass-through interface shows it: the admin commands a
// monitoring program uses (Identify Controller and Namespace, Get Features for the temperature
// thresholds, Get Log Page for SMART / Health Information), answered from the profile, with a
// composite temperature that can be changed while the machine runs.
#pragma once

#include <linux/nvme_ioctl.h>
#include <sys/ioctl.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace QelSim
{
// The answers a real controller gave, for a captured machine: each command is answered with them
// (one that was not captured fails with EIO, as it did, or could not be asked, on the till).
struct RecordedNvme
{
    int32_t nsid = -1;  // NVME_IOCTL_ID on the controller device
    std::optional<std::vector<uint8_t>> identifyController;
    std::optional<std::vector<uint8_t>> identifyNamespace;
    std::optional<uint32_t> overThreshold;  // Get Features results
    std::optional<uint32_t> underThreshold;
    std::optional<std::vector<uint8_t>> smartLog;  // its composite temperature is the controller's
};

struct SsdProfile
{
    // The commands a controller can be told to fail (with EIO), to stand in for a broken drive.
    enum class Failure
    {
        None,
        Identify,   // Identify Controller and Namespace
        Threshold,  // Get Features, Temperature Threshold
        Health      // Get Log Page, SMART / Health Information
    };
    std::string device;  // the controller's device name, nvme0 ... nvme9
    std::string serial;  // up to 20 characters, up to 40 for the model, 8 for the firmware
    std::string model;
    std::string firmware;
    uint32_t namespaces = 1;  // each gets a namespace device, nvme0n1 ...
    int temperature = 35;     // composite temperature, degrees Celsius
    int overThreshold = 70;   // default over-temperature threshold, degrees Celsius
    int underThreshold = -5;  // default under-temperature threshold, degrees Celsius
    Failure failure = Failure::None;
    std::shared_ptr<const RecordedNvme> recorded;  // set: answer as the captured controller did
};

class NvmeController
{
public:
    static constexpr int kKelvinAtZeroCelsius = 273;

    explicit NvmeController(const SsdProfile& profile);

    const SsdProfile& Profile() const { return m_profile; }

    // Carries out one admin command for the namespace nsid (0 on the controller device) and puts
    // the data it returns in data. Returns what the ioctl returns: 0, a positive NVMe status (with
    // cmd.result set either way), or a negative errno.
    int Execute(nvme_admin_cmd& cmd, std::vector<uint8_t>& data);

    int Temperature() const { return m_temperature.load(); }
    void SetTemperature(int celsius) { m_temperature.store(celsius); }
    // Admin commands carried out so far (failed ones included).
    uint64_t Commands() const { return m_commands.load(); }

    // The 4096 bytes of the Identify Controller data.
    std::vector<uint8_t> IdentifyController() const;

private:
    int Replay(const RecordedNvme& recorded, nvme_admin_cmd& cmd, std::vector<uint8_t>& data) const;

    SsdProfile m_profile;
    std::atomic<int> m_temperature;
    std::atomic<uint64_t> m_commands{0};
};
}  // namespace QelSim
