// Hardware-monitor reads shared by the Nuvoton/Winbond chips: one or two register bytes turned
// into millivolts, a fan word (or rpm) and thousandths of a degree. A chip's class supplies its
// constants and which registers are voltage inputs.
#pragma once

#include "NuvotonSioIo.h"
#include "log.h"

#include <cstdint>
#include <string>

struct NuvotonHwMonTraits
{
    const char* className;  // "NCT6796DHwMon"
    uint16_t deviceId;      // what the probe must find, revision nibble clear
    // Millivolts per step of a voltage register: 8, 16 behind a halving divider, 0 where the
    // chip has no voltage input.
    unsigned (*voltageStep)(uint8_t bank, uint8_t reg);
    bool fanIsCount;  // one count byte, 1350000 / count rpm (w83627ehf); else a 16-bit word
    // Name heading the trace lines of the reads; null for chips that trace nothing.
    const char* voltageTraceName;
    const char* fanAndTemperatureTraceName;
};

class CNuvotonHwMon
{
public:
    virtual ~CNuvotonHwMon() = default;
    CNuvotonHwMon(const CNuvotonHwMon&) = delete;
    CNuvotonHwMon& operator=(const CNuvotonHwMon&) = delete;

    // The access layer's result: 0, or SIO_NO_DEVICE.
    int initialise();
    uint64_t getVoltageReading(uint8_t bank, uint8_t reg);
    uint64_t getFanReading(uint8_t bank, uint8_t reg);
    int64_t getTemperatureReading(uint8_t bank, uint8_t reg);

    bool m_bInit = false;

protected:
    explicit CNuvotonHwMon(const NuvotonHwMonTraits& traits) : m_Traits(traits) {}
    // The access object lives in the chip's class; it is attached once it exists.
    void Attach(CNuvotonSioIo& sio) { m_pSio = &sio; }
    const NuvotonHwMonTraits& m_Traits;

private:
    CNuvotonSioIo* m_pSio = nullptr;
};

// A chip's hardware monitor with its own access class, owned by value.
template <class Sio>
class TNuvotonHwMon : public CNuvotonHwMon
{
public:
    explicit TNuvotonHwMon(const NuvotonHwMonTraits& traits) : CNuvotonHwMon(traits)
    {
        Attach(sio);
        LogQuick(LOG_DEBUG, (std::string(m_Traits.className) + " constructed").c_str());
    }
    ~TNuvotonHwMon() override
    {
        LogQuick(LOG_DEBUG, (std::string(m_Traits.className) + " destroyed").c_str());
    }

    Sio sio;
};

// The driver's uniform view of a hardware monitor (the ITE ones take their index port).
inline int StartHwMon(CNuvotonHwMon& hwmon, uint32_t /*address*/)
{
    return hwmon.initialise();
}
inline uint64_t ReadVoltage(CNuvotonHwMon& hwmon, uint8_t bank, uint8_t reg)
{
    return hwmon.getVoltageReading(bank, reg);
}
inline uint64_t ReadFan(CNuvotonHwMon& hwmon, uint8_t bank, uint8_t reg)
{
    return hwmon.getFanReading(bank, reg);
}
inline int64_t ReadTemperature(CNuvotonHwMon& hwmon, uint8_t bank, uint8_t reg)
{
    return hwmon.getTemperatureReading(bank, reg);
}
