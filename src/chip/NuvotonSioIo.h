// Super I/O access shared by the Nuvoton/Winbond chips: the probe on the configuration ports
// (0x2E, then 0x4E), the hardware-monitor base from logical device 0x0B, and banked register
// reads through the index/data pair at base + 5 / base + 6. Each chip's access class only
// supplies its constants.
#pragma once

#include "PortIo.h"

#include <cstdint>

struct NuvotonSioTraits
{
    const char* className;        // heads every message: "NCT6796DSioIo"
    const char* chipName;         // in the "found known ... device" message: "NCT6796D"
    uint8_t lastDumpedBank;       // banks 0 to this one are dumped to the log once the chip is found
    bool leaveWithKey;            // 0xAA before the configuration-control write when leaving
    bool probeLinesEndInNewline;  // the NCT6106's probe messages carry a trailing line feed
    bool compactRegBase;          // "reg_base=0x%04x" rather than "reg_base = 0x%04x"
};

class CNuvotonSioIo
{
public:
    static constexpr uint16_t kFirstConfigPort = 0x2E;
    static constexpr uint16_t kSecondConfigPort = 0x4E;
    static constexpr uint8_t kBankSelect = 0x4E;

    virtual ~CNuvotonSioIo();
    CNuvotonSioIo(const CNuvotonSioIo&) = delete;
    CNuvotonSioIo& operator=(const CNuvotonSioIo&) = delete;

    // The configuration sequences; ef is the configuration index port, ef + 1 its data port.
    void sioenter(uint16_t ef);
    void sioleave(uint16_t ef);
    void sioselect(uint16_t ef, uint8_t logicalDevice);
    uint8_t siogetb(uint16_t ef, uint8_t reg);
    void sioputb(uint16_t ef, uint8_t reg, uint8_t value);

    // One hardware-monitor register (0 to 255): bank select, bank, index, data. 0 before a
    // successful initialise.
    int readRegByte(uint8_t bank, uint8_t reg);
    // 0 when the chip with that ID (revision nibble ignored) answers at ef and has a base.
    int getDevice(uint16_t expectedId, uint16_t ef);
    // 0 when the chip was found, or when "/dev/port" cannot be opened (reads then yield 0);
    // SIO_NO_DEVICE when no chip answers on either configuration port.
    int initialise(uint16_t expectedId);
    // Logs the 256 registers of the bank.
    void dbgDumpBank(uint8_t bank);

    bool m_bInit = false;
    PortIo m_Port;
    uint16_t m_wRegBase = 0;
    uint16_t m_wDeviceId = 0;

protected:
    explicit CNuvotonSioIo(const NuvotonSioTraits& traits);

private:
    const char* ProbeEnd() const { return m_Traits.probeLinesEndInNewline ? "\n" : ""; }

    const NuvotonSioTraits& m_Traits;
};
