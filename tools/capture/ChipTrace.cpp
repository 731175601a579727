#include "ChipTrace.h"

#include "SuperIoRegisters.h"

#include <memory>

namespace QelCapture
{
namespace
{
using namespace SuperIo;
constexpr uint8_t kFloating = 0xFF;

// A register map that keeps what was read before any write: the state the BIOS left.
struct Registers
{
    std::map<uint8_t, std::map<uint8_t, uint8_t>> first;
    std::map<uint8_t, std::map<uint8_t, bool>> written;

    void Read(uint8_t group, uint8_t reg, uint8_t value)
    {
        if (!written[group][reg])
            first[group].emplace(reg, value);
    }
    void Write(uint8_t group, uint8_t reg) { written[group][reg] = true; }
    bool Known(uint8_t group, uint8_t reg) const
    {
        const auto g = first.find(group);
        return g != first.end() && g->second.count(reg) != 0;
    }
    uint8_t Value(uint8_t group, uint8_t reg) const { return first.at(group).at(reg); }
};

class SuperIoShadow
{
public:
    explicit SuperIoShadow(uint16_t port) : m_port(port) {}

    uint16_t Port() const { return m_port; }

    // True when the access was the configuration pair's.
    bool Config(const TracedAccess& a)
    {
        if (a.port == m_port && a.write)
        {
            if (!m_entered)
            {
                m_keys = a.value == kEnterKey ? m_keys + 1 : 0;
                m_entered = m_keys >= 2;
                if (m_entered)
                    m_keys = 0;
            }
            else if (a.value == kLeaveKey)
            {
                m_entered = false;
            }
            else
            {
                m_index = a.value;
            }
            return true;
        }
        if (a.port != m_port + 1)
            return a.port == m_port;
        if (!m_entered)
            return true;
        const uint8_t group = m_index < 0x30 ? 0 : m_device;
        if (a.write)
        {
            if (m_index == kLogicalDeviceSelect)
                m_device = a.value;
            else if (m_index == kConfigControl && (a.value & kReturnToWaitForKey) != 0)
                m_entered = false;  // back to waiting for the key
            else
                m_config.Write(group, m_index);
        }
        else if (m_index != kLogicalDeviceSelect && m_index != kConfigControl)
        {
            m_config.Read(group, m_index, a.value);
        }
        return true;
    }

    bool Found() const
    {
        return m_config.Known(0, kDeviceIdHigh) && m_config.Known(0, kDeviceIdLow) &&
               !(m_config.Value(0, kDeviceIdHigh) == kFloating &&
                 m_config.Value(0, kDeviceIdLow) == kFloating);
    }

    uint16_t MonitorBase() const
    {
        if (!m_config.Known(kHardwareMonitorDevice, kBaseHigh) ||
            !m_config.Known(kHardwareMonitorDevice, kBaseLow))
            return 0;
        return static_cast<uint16_t>((m_config.Value(kHardwareMonitorDevice, kBaseHigh) << 8 |
                                      m_config.Value(kHardwareMonitorDevice, kBaseLow)) &
                                     0xFFF8);
    }

    // True when the access was the hardware monitor's index/data pair.
    bool Monitor(const TracedAccess& a)
    {
        const uint16_t base = MonitorBase();
        if (base == 0 || (a.port != base + kIndexPortOffset && a.port != base + kDataPortOffset))
            return false;
        if (a.port == base + kIndexPortOffset)
        {
            if (a.write)
                m_monitorIndex = a.value;
            return true;
        }
        if (m_monitorIndex == kBankSelect)
        {
            if (a.write)
                m_bank = a.value;
            return true;
        }
        if (a.write)
            m_monitor.Write(m_bank, m_monitorIndex);
        else
            m_monitor.Read(m_bank, m_monitorIndex, a.value);
        return true;
    }

    CapturedChip Chip(const std::map<uint16_t, std::string>& descriptions) const
    {
        CapturedChip chip;
        chip.family = CapturedChip::Family::SuperIo;
        chip.port = m_port;
        chip.deviceId =
            static_cast<uint16_t>(m_config.Value(0, kDeviceIdHigh) << 8 | m_config.Value(0, kDeviceIdLow));
        chip.monitorBase = MonitorBase();
        chip.monitorActive = m_config.Known(kHardwareMonitorDevice, kActivate) &&
                             (m_config.Value(kHardwareMonitorDevice, kActivate) & 0x01) != 0;
        for (const auto& group : m_config.first)
            for (const auto& reg : group.second)
                if (!(group.first == 0 && (reg.first == kDeviceIdHigh || reg.first == kDeviceIdLow)))
                    chip.config[group.first][reg.first] = reg.second;
        chip.banks = m_monitor.first;
        const auto described = descriptions.find(chip.monitorBase);
        if (described != descriptions.end())
            chip.description = described->second;
        return chip;
    }

private:
    uint16_t m_port;
    bool m_entered = false;
    int m_keys = 0;
    uint8_t m_index = 0;
    uint8_t m_device = 0;
    Registers m_config;
    uint8_t m_monitorIndex = 0;
    uint8_t m_bank = 0;
    Registers m_monitor;
};

class EcShadow
{
public:
    explicit EcShadow(const EcHint& hint) : m_hint(hint) {}

    bool Access(const TracedAccess& a)
    {
        if (a.port == m_hint.indexPort)
        {
            if (a.write)
                m_index = a.value;
            return true;
        }
        if (a.port != m_hint.indexPort + 1)
            return false;
        if (a.write)
            m_registers.Write(0, m_index);
        else
            m_registers.Read(0, m_index, a.value);
        return true;
    }

    CapturedChip Chip() const
    {
        CapturedChip chip;
        chip.family = CapturedChip::Family::ItEc;
        chip.port = m_hint.indexPort;
        chip.description = m_hint.description;
        chip.banks = m_registers.first;
        return chip;
    }

private:
    EcHint m_hint;
    uint8_t m_index = 0;
    Registers m_registers;
};
}  // namespace

std::vector<CapturedChip> ChipsFromTrace(const std::vector<TracedAccess>& accesses,
                                         const std::vector<EcHint>& ecs,
                                         const std::map<uint16_t, std::string>& superIoDescriptions)
{
    SuperIoShadow superIo[] = {SuperIoShadow(0x2E), SuperIoShadow(0x4E)};
    std::vector<EcShadow> ecShadows;
    for (const EcHint& hint : ecs)
        if (hint.indexPort < 0xFFFF)
            ecShadows.emplace_back(hint);
    for (const TracedAccess& a : accesses)
    {
        if (!a.done)
            continue;
        bool taken = false;
        for (SuperIoShadow& chip : superIo)
            taken = taken || chip.Config(a) || chip.Monitor(a);
        for (EcShadow& ec : ecShadows)
            taken = taken || ec.Access(a);
    }
    std::vector<CapturedChip> chips;
    for (const SuperIoShadow& chip : superIo)
        if (chip.Found())
            chips.push_back(chip.Chip(superIoDescriptions));
    for (const EcShadow& ec : ecShadows)
        chips.push_back(ec.Chip());
    return chips;
}
}  // namespace QelCapture
