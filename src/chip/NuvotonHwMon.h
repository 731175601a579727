// Hardware-monitor reads shared by the Nuvoton/Winbond chips: one or two register bytes turned
// into millivolts, a fan word (or rpm) and thousandths of a degree. A chip's class passes its row
// of the chip table: the device ID, the voltage steps, the fan form and the trace names.
#pragma once

#include "ChipTable.h"
#include "NuvotonSioIo.h"
#include "log.h"

#include <cstdint>
#include <optional>
#include <string>

// rpm = kFanCountRpm / count for a fan counted in the chips' 8-bit counters (divisor 1).
constexpr uint64_t kFanCountRpm = 1350000;

class CNuvotonHwMon
{
public:
    virtual ~CNuvotonHwMon() = default;
    CNuvotonHwMon(const CNuvotonHwMon&) = delete;
    CNuvotonHwMon& operator=(const CNuvotonHwMon&) = delete;

    // The access layer's result: 0, or SIO_NO_DEVICE. boardBase: the monitor's base as the BIOS
    // gives it (0: not given).
    int initialise(uint32_t boardBase = 0);
    // The kernel driver that keeps the chip's ports, when that stopped initialise.
    const std::optional<PortClaim>& kernelClaim() const { return m_pSio->m_KernelClaim; }
    // The kernel refused the port device.
    bool portsRefused() const { return m_pSio->m_Port.refused(); }
    // Millivolts, rpm (or the fan word) and thousandths of a degree; nothing when a register
    // could not be read.
    std::optional<uint64_t> getVoltageReading(uint8_t bank, uint8_t reg);
    std::optional<uint64_t> getFanReading(uint8_t bank, uint8_t reg);
    std::optional<int64_t> getTemperatureReading(uint8_t bank, uint8_t reg);

    bool m_bInit = false;

protected:
    explicit CNuvotonHwMon(const ChipVariant& chip) : m_Chip(chip) {}
    // The access object lives in the chip's class; it is attached once it exists.
    void Attach(CNuvotonSioIo& sio) { m_pSio = &sio; }
    const ChipVariant& m_Chip;

private:
    CNuvotonSioIo* m_pSio = nullptr;
};

// A chip's hardware monitor with its own access class, owned by value.
template <class Sio>
class TNuvotonHwMon : public CNuvotonHwMon
{
public:
    explicit TNuvotonHwMon(const ChipVariant& chip) : CNuvotonHwMon(chip)
    {
        Attach(sio);
        LogQuick(LOG_DEBUG, (std::string(m_Chip.hwmonName) + " constructed").c_str());
    }
    ~TNuvotonHwMon() override { LogQuick(LOG_DEBUG, (std::string(m_Chip.hwmonName) + " destroyed").c_str()); }

    Sio sio;
};

// The driver's uniform view of a hardware monitor (the ITE ones take their index port).
inline int StartHwMon(CNuvotonHwMon& hwmon, uint32_t address)
{
    return hwmon.initialise(address);
}
inline std::optional<uint64_t> ReadVoltage(CNuvotonHwMon& hwmon, uint8_t bank, uint8_t reg)
{
    return hwmon.getVoltageReading(bank, reg);
}
inline std::optional<uint64_t> ReadFan(CNuvotonHwMon& hwmon, uint8_t bank, uint8_t reg)
{
    return hwmon.getFanReading(bank, reg);
}
inline std::optional<int64_t> ReadTemperature(CNuvotonHwMon& hwmon, uint8_t bank, uint8_t reg)
{
    return hwmon.getTemperatureReading(bank, reg);
}
