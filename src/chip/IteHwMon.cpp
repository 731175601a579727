#include "IteHwMon.h"

int CIteHwMon::initialise(uint32_t indexPort)
{
    const int result = m_pSio->initialise(indexPort);
    if (result == 0)
        m_bInit = true;
    return result;
}

uint64_t CIteHwMon::ReadWord(uint8_t reg)
{
    const unsigned high = static_cast<unsigned>(m_pSio->readRegByte(reg));
    const unsigned low = static_cast<unsigned>(m_pSio->readRegByte(static_cast<uint8_t>(reg + 1)));
    return high << 8 | low;
}

uint64_t CIteHwMon::getVoltageReading(uint8_t reg)
{
    return ReadWord(reg);
}

uint64_t CIteHwMon::getFanReading(uint8_t reg)
{
    return ReadWord(reg);
}

int64_t CIteHwMon::getTemperatureReading(uint8_t reg)
{
    return m_pSio->readRegByte(reg);
}
