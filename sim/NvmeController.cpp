#include "NvmeController.h"

#include "LittleEndian.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace QelSim
{
namespace
{
constexpr uint8_t kGetLogPage = 0x02;
constexpr uint8_t kIdentify = 0x06;
constexpr uint8_t kGetFeatures = 0x0A;

constexpr uint32_t kIdentifySize = 4096;
constexpr uint32_t kCnsNamespace = 0;
constexpr uint32_t kCnsController = 1;
constexpr uint8_t kTemperatureThresholdFeature = 4;
constexpr uint8_t kSmartHealthLog = 2;
constexpr uint32_t kAllNamespaces = 0xFFFFFFFF;

// Completion status codes (generic command status).
constexpr int kInvalidOpcode = 0x01;
constexpr int kInvalidField = 0x02;
constexpr int kInvalidNamespace = 0x0B;

// ASCII fields of the identify data are padded with blanks.
void PutText(std::vector<uint8_t>& data, size_t offset, size_t length, const std::string& text)
{
    std::fill(data.begin() + offset, data.begin() + offset + length, ' ');
    std::copy_n(text.begin(), std::min(length, text.size()), data.begin() + offset);
}

uint32_t Kelvin(int celsius)
{
    return static_cast<uint32_t>(celsius + NvmeController::kKelvinAtZeroCelsius) & 0xFFFF;
}
}  // namespace

NvmeController::NvmeController(const SsdProfile& profile)
    : m_profile(profile), m_temperature(profile.temperature)
{
}

std::vector<uint8_t> NvmeController::IdentifyController() const
{
    if (m_profile.recorded)
        return m_profile.recorded->identifyController.value_or(std::vector<uint8_t>());
    std::vector<uint8_t> data(kIdentifySize);
    LittleEndian::Write(&data[0], 0x144D, 2);  // PCI vendor
    PutText(data, 4, 20, m_profile.serial);
    PutText(data, 24, 40, m_profile.model);
    PutText(data, 64, 8, m_profile.firmware);
    LittleEndian::Write(&data[266], Kelvin(m_profile.overThreshold), 2);  // warning composite temperature
    LittleEndian::Write(&data[516], m_profile.namespaces, 4);
    return data;
}

int NvmeController::Execute(nvme_admin_cmd& cmd, std::vector<uint8_t>& data)
{
    ++m_commands;
    data.clear();
    cmd.result = 0;
    if (m_profile.recorded)
        return Replay(*m_profile.recorded, cmd, data);
    switch (cmd.opcode)
    {
    case kIdentify:
    {
        if (m_profile.failure == SsdProfile::Failure::Identify)
            return -EIO;
        const uint32_t cns = cmd.cdw10 & 0xFF;
        if (cns == kCnsController)
        {
            data = IdentifyController();
            return 0;
        }
        if (cns == kCnsNamespace)
        {
            if (cmd.nsid == 0 || cmd.nsid > m_profile.namespaces)
                return kInvalidNamespace;
            data.assign(kIdentifySize, 0);
            LittleEndian::Write(&data[0], 0x1D1C0BB0, 8);  // size in blocks
            return 0;
        }
        return kInvalidField;
    }
    case kGetFeatures:
    {
        if (m_profile.failure == SsdProfile::Failure::Threshold)
            return -EIO;
        if ((cmd.cdw10 & 0xFF) != kTemperatureThresholdFeature)
            return kInvalidField;
        // cdw11: threshold type select in bits 21:20 (0 over, 1 under), sensor in bits 19:16.
        const uint32_t type = (cmd.cdw11 >> 20) & 0x3;
        if (type > 1 || ((cmd.cdw11 >> 16) & 0xF) != 0)
            return kInvalidField;
        cmd.result = Kelvin(type == 1 ? m_profile.underThreshold : m_profile.overThreshold);
        return 0;
    }
    case kGetLogPage:
    {
        if (m_profile.failure == SsdProfile::Failure::Health)
            return -EIO;
        if ((cmd.cdw10 & 0xFF) != kSmartHealthLog || (cmd.nsid != kAllNamespaces && cmd.nsid != 0))
            return kInvalidField;
        // Dwords to return, zero-based, in bits 27:16.
        const uint32_t length = (((cmd.cdw10 >> 16) & 0xFFF) + 1) * 4;
        data.assign(std::min<uint32_t>(length, 512), 0);
        std::vector<uint8_t> log(512, 0);
        LittleEndian::Write(&log[1], Kelvin(m_temperature.load()), 2);
        log[3] = 100;  // available spare, percent
        log[4] = 10;   // its threshold
        std::copy_n(log.begin(), data.size(), data.begin());
        return 0;
    }
    default:
        return kInvalidOpcode;
    }
}

int NvmeController::Replay(const RecordedNvme& recorded, nvme_admin_cmd& cmd,
                           std::vector<uint8_t>& data) const
{
    switch (cmd.opcode)
    {
    case kIdentify:
    {
        const uint32_t cns = cmd.cdw10 & 0xFF;
        const auto& answer = cns == kCnsController  ? recorded.identifyController
                             : cns == kCnsNamespace ? recorded.identifyNamespace
                                                    : std::optional<std::vector<uint8_t>>();
        if (cns != kCnsController && cns != kCnsNamespace)
            return kInvalidField;
        if (!answer)
            return -EIO;
        data = *answer;
        return 0;
    }
    case kGetFeatures:
    {
        if ((cmd.cdw10 & 0xFF) != kTemperatureThresholdFeature)
            return kInvalidField;
        const uint32_t type = (cmd.cdw11 >> 20) & 0x3;
        if (type > 1 || ((cmd.cdw11 >> 16) & 0xF) != 0)
            return kInvalidField;
        const std::optional<uint32_t>& answer = type == 1 ? recorded.underThreshold : recorded.overThreshold;
        if (!answer)
            return -EIO;
        cmd.result = *answer;
        return 0;
    }
    case kGetLogPage:
    {
        if ((cmd.cdw10 & 0xFF) != kSmartHealthLog || (cmd.nsid != kAllNamespaces && cmd.nsid != 0))
            return kInvalidField;
        if (!recorded.smartLog)
            return -EIO;
        std::vector<uint8_t> log = *recorded.smartLog;
        log.resize(512, 0);
        // The composite temperature can be changed while the machine runs, as on any SSD.
        LittleEndian::Write(&log[1], Kelvin(m_temperature.load()), 2);
        const uint32_t length = (((cmd.cdw10 >> 16) & 0xFFF) + 1) * 4;
        data.assign(log.begin(), log.begin() + std::min<uint32_t>(length, 512));
        return 0;
    }
    default:
        return kInvalidOpcode;
    }
}
}  // namespace QelSim
