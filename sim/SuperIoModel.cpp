#include "SuperIoModel.h"

#include <cstdio>
#include <stdexcept>

namespace QelSim
{
namespace
{
const SuperIoChip kChips[] = {
    {"NCT6106D", 0xC452}, {"NCT6776F", 0xC333},    {"NCT6793D", 0xD121},
    {"NCT6796D", 0xD423}, {"W83627DHG-P", 0xB073}, {"W83627DHG-PT", 0xB073},
};

// Register 0x02 is the configuration control: writing it (0x02 after the leave key, as
// firmware commonly does) is accepted and changes nothing we model; it reads as 0.
constexpr uint8_t kConfigControl = 0x02;
}  // namespace

const SuperIoChip* FindSuperIoChip(const std::string& name)
{
    for (const SuperIoChip& chip : kChips)
        if (name == chip.name)
            return &chip;
    return nullptr;
}

std::string SuperIoChipNames()
{
    std::string names;
    for (const SuperIoChip& chip : kChips)
        names += (names.empty() ? "" : ", ") + std::string(chip.name);
    return names;
}

SuperIoModel::SuperIoModel(std::string name, uint16_t deviceId, uint16_t configPort)
    : m_name(std::move(name)), m_deviceId(deviceId), m_configPort(configPort)
{
    if (configPort != 0x2E && configPort != 0x4E)
        throw std::invalid_argument("a Super I/O configuration port is 0x2E or 0x4E");
}

void SuperIoModel::SetConfig(uint8_t device, uint8_t reg, uint8_t value)
{
    if (reg < 0x30)
    {
        if (reg != kDeviceIdHigh && reg != kDeviceIdLow && reg != kLogicalDeviceSelect)
            m_global[reg] = value;
        return;
    }
    m_devices[device][reg] = value;
}

void SuperIoModel::SetMonitor(uint16_t base, bool active)
{
    SetConfig(kMonitorDevice, kBaseHigh, static_cast<uint8_t>(base >> 8));
    SetConfig(kMonitorDevice, kBaseLow, static_cast<uint8_t>(base));
    const uint8_t activation = Config(kMonitorDevice, kActivate);
    SetConfig(kMonitorDevice, kActivate,
              static_cast<uint8_t>(active ? activation | 0x01 : activation & ~0x01));
}

void SuperIoModel::SetMonitorRegister(uint8_t bank, uint8_t reg, uint8_t value)
{
    m_banks[bank][reg] = value;
}

uint8_t SuperIoModel::Config(uint8_t device, uint8_t reg) const
{
    if (reg < 0x30)
    {
        switch (reg)
        {
        case kDeviceIdHigh:
            return static_cast<uint8_t>(m_deviceId >> 8);
        case kDeviceIdLow:
            return static_cast<uint8_t>(m_deviceId);
        case kLogicalDeviceSelect:
            return device;
        default:
            return m_global[reg];
        }
    }
    auto it = m_devices.find(device);
    return it == m_devices.end() ? 0 : it->second[reg];
}

uint8_t SuperIoModel::MonitorRegister(uint8_t bank, uint8_t reg) const
{
    auto it = m_banks.find(bank);
    return it == m_banks.end() ? 0 : it->second[reg];
}

uint16_t SuperIoModel::MonitorBase() const
{
    // The block is eight ports long and aligned to eight; the low three bits are not decoded.
    return static_cast<uint16_t>((Config(kMonitorDevice, kBaseHigh) << 8 | Config(kMonitorDevice, kBaseLow)) &
                                 0xFFF8);
}

bool SuperIoModel::MonitorActive() const
{
    return (Config(kMonitorDevice, kActivate) & 0x01) != 0;
}

bool SuperIoModel::MonitorDecodes(uint16_t port) const
{
    const uint16_t base = MonitorBase();
    return base != 0 && MonitorActive() &&
           (port == base + kMonitorIndexOffset || port == base + kMonitorDataOffset);
}

bool SuperIoModel::Decodes(uint16_t port) const
{
    // The index port listens for the key even while the chip ignores everything else.
    return port == m_configPort || port == m_configPort + 1 || MonitorDecodes(port);
}

uint8_t SuperIoModel::ReadConfig(uint8_t reg) const
{
    if (reg == kConfigControl)
        return 0;
    return Config(m_global[kLogicalDeviceSelect], reg);
}

void SuperIoModel::WriteConfig(uint8_t reg, uint8_t value)
{
    if (reg == kLogicalDeviceSelect)
        m_global[kLogicalDeviceSelect] = value;
    else if (reg != kConfigControl)
        SetConfig(m_global[kLogicalDeviceSelect], reg, value);
}

void SuperIoModel::UseConfig(Accessor who)
{
    // Registers from 0x30 up belong to the logical device selected.
    if (m_indexOwner.Foreign(who) || (m_index >= 0x30 && m_deviceOwner.Foreign(who)))
        NoteBrokenSequence();
}

void SuperIoModel::UseMonitor(Accessor who)
{
    if (m_monitorIndexOwner.Foreign(who) || (m_monitorIndex != kBankSelect && m_bankOwner.Foreign(who)))
        NoteBrokenSequence();
}

uint8_t SuperIoModel::Read(uint16_t port, Accessor who)
{
    if (port == m_configPort)
        return m_extended ? m_index : kFloatingBus;
    if (port == m_configPort + 1)
    {
        if (!m_extended)
            return kFloatingBus;
        UseConfig(who);
        return ReadConfig(m_index);
    }
    const uint16_t base = MonitorBase();
    if (port == base + kMonitorIndexOffset)
        return m_monitorIndex;
    UseMonitor(who);
    return m_monitorIndex == kBankSelect ? m_bank : MonitorRegister(m_bank, m_monitorIndex);
}

void SuperIoModel::Write(uint16_t port, uint8_t value, Accessor who)
{
    if (port == m_configPort)
    {
        if (!m_extended)
        {
            // The key is two consecutive 0x87 writes; anything else starts the count again.
            m_keysSeen = value == kEnterKey ? m_keysSeen + 1 : 0;
            if (m_keysSeen == 2)
            {
                m_extended = true;
                m_keysSeen = 0;
            }
        }
        else if (value == kLeaveKey)
        {
            m_extended = false;
        }
        else
        {
            m_index = value;
            m_indexOwner.Select(who);
        }
        return;
    }
    if (port == m_configPort + 1)
    {
        if (!m_extended)
            return;
        UseConfig(who);
        if (m_index == kLogicalDeviceSelect)
            m_deviceOwner.Select(who);
        WriteConfig(m_index, value);
        return;
    }
    const uint16_t base = MonitorBase();
    if (port == base + kMonitorIndexOffset)
    {
        m_monitorIndex = value;
        m_monitorIndexOwner.Select(who);
        return;
    }
    UseMonitor(who);
    if (m_monitorIndex == kBankSelect)
    {
        m_bank = value;
        m_bankOwner.Select(who);
    }
    else
    {
        m_banks[m_bank][m_monitorIndex] = value;
    }
}

std::vector<uint8_t> SuperIoModel::Contents() const
{
    std::vector<uint8_t> contents;
    for (size_t reg = 0; reg < m_global.size(); ++reg)
        if (reg != kLogicalDeviceSelect)
            contents.push_back(m_global[reg]);
    for (const auto& device : m_devices)
    {
        contents.push_back(device.first);
        contents.insert(contents.end(), device.second.begin(), device.second.end());
    }
    for (const auto& bank : m_banks)
    {
        contents.push_back(bank.first);
        contents.insert(contents.end(), bank.second.begin(), bank.second.end());
    }
    return contents;
}

std::string SuperIoModel::Name() const
{
    char text[96];
    snprintf(text, sizeof(text), "%s at 0x%02X, hardware monitor at 0x%04X%s", m_name.c_str(), m_configPort,
             MonitorBase(), MonitorActive() ? "" : " (inactive)");
    return text;
}
}  // namespace QelSim
