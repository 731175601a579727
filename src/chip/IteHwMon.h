// Hardware-monitor reads shared by the IT5571 generations: big-endian register words for
// voltages and the fan, one byte of whole degrees for temperatures.
#pragma once

#include "ChipTable.h"
#include "IteSioIo.h"
#include "log.h"

#include <cstdint>
#include <optional>
#include <string>

class CIteHwMon
{
public:
    virtual ~CIteHwMon() = default;
    CIteHwMon(const CIteHwMon&) = delete;
    CIteHwMon& operator=(const CIteHwMon&) = delete;

    // indexPort: the controller's index port, the SMBIOS management device address.
    int initialise(uint32_t indexPort);
    // The kernel driver that keeps the controller's ports, when that stopped initialise.
    const std::optional<PortClaim>& kernelClaim() const { return m_pSio->m_KernelClaim; }
    // The kernel refused the port device.
    bool portsRefused() const { return m_pSio->m_Port.refused(); }
    // Millivolts, rpm (or the fan word) and thousandths of a degree; nothing when a register
    // could not be read.
    std::optional<uint64_t> getVoltageReading(uint8_t reg);
    std::optional<uint64_t> getFanReading(uint8_t reg);
    std::optional<int64_t> getTemperatureReading(uint8_t reg);

    bool m_bInit = false;

protected:
    explicit CIteHwMon(const ChipVariant& chip) : m_Chip(chip) {}
    void Attach(CIteSioIo& sio) { m_pSio = &sio; }
    const ChipVariant& m_Chip;

private:
    // Register reg holds the high byte, reg + 1 the low one.
    std::optional<uint64_t> ReadWord(uint8_t reg);

    CIteSioIo* m_pSio = nullptr;
};

template <class Sio>
class TIteHwMon : public CIteHwMon
{
public:
    explicit TIteHwMon(const ChipVariant& chip) : CIteHwMon(chip)
    {
        Attach(sio);
        LogQuick(LOG_DEBUG, (std::string(m_Chip.hwmonName) + " constructed").c_str());
    }
    ~TIteHwMon() override { LogQuick(LOG_DEBUG, (std::string(m_Chip.hwmonName) + " destroyed").c_str()); }

    Sio sio;
};

// The controller has no banks: only the register reaches it.
inline int StartHwMon(CIteHwMon& hwmon, uint32_t address)
{
    return hwmon.initialise(address);
}
inline std::optional<uint64_t> ReadVoltage(CIteHwMon& hwmon, uint8_t /*bank*/, uint8_t reg)
{
    return hwmon.getVoltageReading(reg);
}
inline std::optional<uint64_t> ReadFan(CIteHwMon& hwmon, uint8_t /*bank*/, uint8_t reg)
{
    return hwmon.getFanReading(reg);
}
inline std::optional<int64_t> ReadTemperature(CIteHwMon& hwmon, uint8_t /*bank*/, uint8_t reg)
{
    return hwmon.getTemperatureReading(reg);
}
