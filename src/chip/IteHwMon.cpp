#include "IteHwMon.h"

int CIteHwMon::initialise(uint32_t indexPort)
{
    const int result = m_pSio->initialise(indexPort);
    if (result == 0)
        m_bInit = true;
    return result;
}

std::optional<uint64_t> CIteHwMon::ReadWord(uint8_t reg)
{
    // Both bytes in one turn: a reading is one sequence, and costs one turn.
    PortIo::Sequence turn(m_pSio->m_Port);
    const int high = m_pSio->readRegByte(reg);
    const int low = m_pSio->readRegByte(static_cast<uint8_t>(reg + 1));
    if (high < 0 || low < 0)
        return std::nullopt;
    return static_cast<uint64_t>(high) << 8 | static_cast<uint64_t>(low);
}

std::optional<uint64_t> CIteHwMon::getVoltageReading(uint8_t reg)
{
    return ReadWord(reg);
}

std::optional<uint64_t> CIteHwMon::getFanReading(uint8_t reg)
{
    return ReadWord(reg);
}

std::optional<int64_t> CIteHwMon::getTemperatureReading(uint8_t reg)
{
    const int degrees = m_pSio->readRegByte(reg);
    if (degrees < 0)
        return std::nullopt;
    return degrees;
}
