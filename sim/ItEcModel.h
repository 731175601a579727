// The ITE IT5571 embedded controller as the hardware-monitor reads see it: an index port (the
// address the BIOS gives in SMBIOS) and the data port right after it, in front of 256 unbanked
// registers. There is no key and no configuration space; the pair always answers.
#pragma once

#include "PortBus.h"

#include <array>
#include <cstdint>
#include <string>

namespace QelSim
{
class ItEcModel : public PortDevice
{
public:
    // indexPort: 0x0000-0xFFFE (the data port must exist); throws std::invalid_argument else.
    ItEcModel(std::string name, uint16_t indexPort);

    void SetRegister(uint8_t reg, uint8_t value) { m_registers[reg] = value; }
    uint8_t Register(uint8_t reg) const { return m_registers[reg]; }

    bool Decodes(uint16_t port) const override;
    uint8_t Read(uint16_t port, Accessor who) override;
    void Write(uint16_t port, uint8_t value, Accessor who) override;
    std::string Name() const override;
    std::vector<uint8_t> Contents() const override;

private:
    void UseIndex(Accessor who);

    std::string m_name;
    uint16_t m_indexPort;
    uint8_t m_index = 0;
    SelectionOwner m_indexOwner;
    std::array<uint8_t, 0x100> m_registers{};
};
}  // namespace QelSim
