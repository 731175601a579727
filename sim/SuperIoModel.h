// A Nuvoton/Winbond Super I/O chip as it answers on the ports: the configuration space behind its
// index/data pair (0x2E/0x2F or 0x4E/0x4F) and the banked registers of its hardware monitor.
//
// Configuration: after power-up the chip waits for its key. Writing 0x87 twice in a row to the
// index port enters the extended-function mode; 0xAA written there leaves it. Only inside that
// mode do the configuration registers answer (both ports float high otherwise). Register 0x07
// selects the logical device; registers 0x20/0x21 hold the device ID (high byte, then the low
// byte whose low nibble is the revision); registers 0x30 and above belong to the selected
// logical device. In logical device 0x0B (the hardware monitor) 0x60/0x61 hold the I/O base and
// bit 0 of 0x30 activates it.
//
// Hardware monitor: decoded only while activated with a non-zero base; the index port is
// base + 5 and the data port base + 6. Index 0x4E is the bank select register; every other index
// reaches that register of the selected bank. Registers hold what the profile put there (or what
// was written since); a real chip's clear-on-read status bits are not modelled.
#pragma once

#include "PortBus.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>

namespace QelSim
{
struct SuperIoChip
{
    const char* name;   // as the profiles name it: "NCT6796D", "W83627DHG-P", ...
    uint16_t deviceId;  // registers 0x20/0x21, with the revision these parts commonly report
};

// The chips the simulator models, or null for a name it does not know.
const SuperIoChip* FindSuperIoChip(const std::string& name);
// Their names, for messages.
std::string SuperIoChipNames();

class SuperIoModel : public PortDevice
{
public:
    static constexpr uint8_t kEnterKey = 0x87;
    static constexpr uint8_t kLeaveKey = 0xAA;
    static constexpr uint8_t kLogicalDeviceSelect = 0x07;
    static constexpr uint8_t kDeviceIdHigh = 0x20;
    static constexpr uint8_t kDeviceIdLow = 0x21;
    static constexpr uint8_t kActivate = 0x30;
    static constexpr uint8_t kBaseHigh = 0x60;
    static constexpr uint8_t kBaseLow = 0x61;
    static constexpr uint8_t kMonitorDevice = 0x0B;
    static constexpr uint8_t kBankSelect = 0x4E;
    static constexpr uint8_t kMonitorIndexOffset = 5;
    static constexpr uint8_t kMonitorDataOffset = 6;

    // configPort: 0x2E or 0x4E (the two strapping options); throws std::invalid_argument else.
    SuperIoModel(std::string name, uint16_t deviceId, uint16_t configPort);

    // The state the BIOS left behind.
    void SetConfig(uint8_t device, uint8_t reg, uint8_t value);
    void SetMonitor(uint16_t base, bool active);
    void SetMonitorRegister(uint8_t bank, uint8_t reg, uint8_t value);

    uint8_t Config(uint8_t device, uint8_t reg) const;
    uint8_t MonitorRegister(uint8_t bank, uint8_t reg) const;
    uint16_t MonitorBase() const;
    bool MonitorActive() const;
    bool InExtendedFunctionMode() const { return m_extended; }
    uint16_t DeviceId() const { return m_deviceId; }

    bool Decodes(uint16_t port) const override;
    uint8_t Read(uint16_t port, Accessor who) override;
    void Write(uint16_t port, uint8_t value, Accessor who) override;
    std::string Name() const override;
    std::vector<uint8_t> Contents() const override;

private:
    bool MonitorDecodes(uint16_t port) const;
    uint8_t ReadConfig(uint8_t reg) const;
    void WriteConfig(uint8_t reg, uint8_t value);
    // Notes a use of the configuration register or of the monitor's data register by who.
    void UseConfig(Accessor who);
    void UseMonitor(Accessor who);

    std::string m_name;
    uint16_t m_deviceId;
    uint16_t m_configPort;

    bool m_extended = false;
    int m_keysSeen = 0;
    uint8_t m_index = 0;
    std::array<uint8_t, 0x30> m_global{};
    std::map<uint8_t, std::array<uint8_t, 0x100>> m_devices;  // registers 0x30-0xFF of each device

    uint8_t m_monitorIndex = 0;
    uint8_t m_bank = 0;
    std::map<uint8_t, std::array<uint8_t, 0x100>> m_banks;

    SelectionOwner m_indexOwner;   // configuration index
    SelectionOwner m_deviceOwner;  // logical device
    SelectionOwner m_monitorIndexOwner;
    SelectionOwner m_bankOwner;
};
}  // namespace QelSim
