#include "NuvotonHwMon.h"

int CNuvotonHwMon::initialise(uint32_t boardBase)
{
    const int result = m_pSio->initialise(m_Chip.deviceId, boardBase);
    if (result == 0)
        m_bInit = true;
    return result;
}

std::optional<uint64_t> CNuvotonHwMon::getVoltageReading(uint8_t bank, uint8_t reg)
{
    const int read = m_pSio->readRegByte(bank, reg);
    if (read < 0)
        return std::nullopt;
    const unsigned byte = static_cast<unsigned>(read);
    const uint64_t millivolts = static_cast<uint64_t>(byte) * m_Chip.voltageSteps.Step(bank, reg);
    if (m_Chip.voltageTraceName != nullptr)
    {
        Log(LOG_DEBUG, "%s::getVoltageReading - sio.readRegByte(0x%04x, 0x%04x) = %02x(%d)",
            m_Chip.voltageTraceName, bank, reg, byte, byte);
        Log(LOG_DEBUG, "%s::getVoltageReading - scaled_8mv_val = %04x(%d)", m_Chip.voltageTraceName,
            static_cast<unsigned>(millivolts), static_cast<int>(millivolts));
    }
    return millivolts;
}

std::optional<uint64_t> CNuvotonHwMon::getFanReading(uint8_t bank, uint8_t reg)
{
    if (m_Chip.Has(Quirk::FanIsCount))
    {
        const int read = m_pSio->readRegByte(bank, reg);
        if (read < 0)
            return std::nullopt;
        const unsigned count = static_cast<unsigned>(read);
        // A count of 0 or 255: the fan stands (or the count overflowed).
        return count == 0 || count == 255 ? 0 : kFanCountRpm / count;
    }
    const uint8_t lowReg = static_cast<uint8_t>(reg + 1);
    // Both bytes in one turn: a reading is one sequence, and costs one turn.
    PortIo::Sequence turn(m_pSio->m_Port);
    const int readHigh = m_pSio->readRegByte(bank, reg);
    const int readLow = m_pSio->readRegByte(bank, lowReg);
    if (readHigh < 0 || readLow < 0)
        return std::nullopt;
    const unsigned high = static_cast<unsigned>(readHigh);
    const unsigned low = static_cast<unsigned>(readLow);
    if (m_Chip.fanAndTemperatureTraceName != nullptr)
    {
        Log(LOG_DEBUG, "%s::getFanReading - sio.readRegByte(0x%04x, 0x%04x) = hi - %02x(%d)",
            m_Chip.fanAndTemperatureTraceName, bank, reg, high, high);
        Log(LOG_DEBUG, "%s::getFanReading - sio.readRegByte(0x%04x, 0x%04x) = lo - %02x(%d)",
            m_Chip.fanAndTemperatureTraceName, bank, lowReg, low, low);
    }
    return static_cast<uint64_t>(high << 8 | low);
}

std::optional<int64_t> CNuvotonHwMon::getTemperatureReading(uint8_t bank, uint8_t reg)
{
    // The byte is whole degrees, taken unsigned.
    const int read = m_pSio->readRegByte(bank, reg);
    if (read < 0)
        return std::nullopt;
    const unsigned byte = static_cast<unsigned>(read);
    if (m_Chip.fanAndTemperatureTraceName != nullptr)
        Log(LOG_DEBUG, "%s::getTemperatureReading - sio.readRegByte(0x%04x, 0x%04x) = %02x(%d)",
            m_Chip.fanAndTemperatureTraceName, bank, reg, byte, byte);
    return static_cast<int64_t>(byte) * 1000;
}
