// Super I/O access shared by the Nuvoton/Winbond chips: the probe on the chip's configuration
// ports in turn, the hardware-monitor base from logical device 0x0B, and banked register
// reads through the index/data pair at base + 5 / base + 6. Each chip's access class only
// passes its row of the chip table.
#pragma once

#include "ChipTable.h"
#include "PortBackend.h"
#include "PortIo.h"
#include "SuperIoRegisters.h"

#include <cstdint>
#include <optional>

class CNuvotonSioIo
{
public:
    static constexpr uint8_t kBankSelect = SuperIo::kBankSelect;

    virtual ~CNuvotonSioIo();
    CNuvotonSioIo(const CNuvotonSioIo&) = delete;
    CNuvotonSioIo& operator=(const CNuvotonSioIo&) = delete;

    // The configuration sequences; ef is the configuration index port, ef + 1 its data port.
    void sioenter(uint16_t ef);
    void sioleave(uint16_t ef);
    void sioselect(uint16_t ef, uint8_t logicalDevice);
    uint8_t siogetb(uint16_t ef, uint8_t reg);
    void sioputb(uint16_t ef, uint8_t reg, uint8_t value);

    // One hardware-monitor register (0 to 255): bank select, bank, index, data. -1 when it could
    // not be read: before a successful initialise, or when a port access failed (logged).
    int readRegByte(uint8_t bank, uint8_t reg);
    // 0 when the chip with that ID (revision nibble ignored) answers at ef and has a base.
    int getDevice(uint16_t expectedId, uint16_t ef);
    // 0 when the chip was found, or when "/dev/port" cannot be opened (its reads then fail);
    // SIO_NO_DEVICE when no chip answers on either configuration port, or when a kernel driver
    // holds the hardware monitor's ports (at boardBase, the address the BIOS gives, or at the
    // base the chip reports); then m_KernelClaim names it.
    int initialise(uint16_t expectedId, uint32_t boardBase = 0);
    // Logs the 256 registers of the bank.
    void dbgDumpBank(uint8_t bank);

    bool m_bInit = false;
    PortIo m_Port;
    uint16_t m_wRegBase = 0;
    uint16_t m_wDeviceId = 0;
    std::optional<PortClaim> m_KernelClaim;

protected:
    explicit CNuvotonSioIo(const ChipVariant& chip);

private:
    bool HeldByKernel(uint32_t base);
    const char* ProbeEnd() const { return m_Chip.Has(Quirk::ProbeLinesEndInNewline) ? "\n" : ""; }

    const ChipVariant& m_Chip;
};
