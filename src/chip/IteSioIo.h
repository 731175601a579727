// Access to the registers of the ITE IT5571 embedded controller: an index port (the address the
// BIOS gives in SMBIOS) and the data port after it, no configuration space, no banks. Each
// generation's access class only passes its row of the chip table.
#pragma once

#include "ChipTable.h"
#include "PortBackend.h"
#include "PortIo.h"

#include <cstdint>
#include <optional>

class CIteSioIo
{
public:
    virtual ~CIteSioIo();
    CIteSioIo(const CIteSioIo&) = delete;
    CIteSioIo& operator=(const CIteSioIo&) = delete;

    // 0, also when "/dev/port" cannot be opened (its reads then fail); SIO_NO_DEVICE when the
    // index/data pair does not fit the port space, or when a kernel driver holds it (then
    // m_KernelClaim names the driver).
    int initialise(uint32_t indexPort);
    // One register: index to the index port, value from the data port. -1 when it could not be
    // read: before initialise, or when a port access failed (logged).
    int readRegByte(uint8_t reg);
    void sioputb(uint16_t port, uint8_t value);
    uint8_t siogetb(uint16_t port);

    bool m_bInit = false;
    PortIo m_Port;
    uint16_t m_wRegBase = 0;
    std::optional<PortClaim> m_KernelClaim;

protected:
    explicit CIteSioIo(const ChipVariant& chip);

private:
    void Settle() const;

    const ChipVariant& m_Chip;
};
