#include "IteSioIo.h"

#include "log.h"

#include <cerrno>
#include <ctime>
#include <string>

namespace
{
constexpr long kSettleNanoseconds = 1000000;
// The data port follows the index port, so the pair needs two ports of the 64 KiB space.
constexpr uint32_t kLastIndexPort = 0xFFFE;
}  // namespace

CIteSioIo::CIteSioIo(const ChipVariant& chip) : m_Chip(chip)
{
    LogQuick(LOG_DEBUG, (std::string(m_Chip.accessName) + " constructed").c_str());
}

CIteSioIo::~CIteSioIo()
{
    LogQuick(LOG_DEBUG, (std::string(m_Chip.accessName) + " destroyed").c_str());
}

int CIteSioIo::initialise(uint32_t indexPort)
{
    // An address beyond the port space would otherwise be cut to 16 bits and reach some other
    // device's ports.
    if (indexPort > kLastIndexPort)
    {
        Log(LOG_ERROR, "%s::initialise - index port 0x%08x is not an I/O port pair", m_Chip.accessName,
            indexPort);
        return SIO_NO_DEVICE;
    }
    m_KernelClaim = KernelClaimOf(m_Chip.accessName, indexPort, indexPort + 1);
    if (m_KernelClaim)
        return SIO_NO_DEVICE;
    if (!m_Port.initialise())
        return 0;
    m_wRegBase = static_cast<uint16_t>(indexPort);
    Log(LOG_DEBUG, "%s::initialise - init ok, reg_base = 0x%04x", m_Chip.accessName, m_wRegBase);
    m_bInit = true;
    return 0;
}

int CIteSioIo::readRegByte(uint8_t reg)
{
    if (!m_bInit)
    {
        Log(LOG_ERROR, "%s::readRegByte - internal error - not initialised\n", m_Chip.accessName);
        return -1;
    }
    m_Port.clearFailure();
    PortIo::Sequence turn(m_Port);
    sioputb(m_wRegBase, reg);
    const uint8_t value = siogetb(static_cast<uint16_t>(m_wRegBase + 1));
    if (m_Port.failed())
    {
        Log(LOG_ERROR, "%s::readRegByte - register 0x%02x not read: %s", m_Chip.accessName, reg,
            m_Port.failure().c_str());
        return -1;
    }
    return value;
}

void CIteSioIo::sioputb(uint16_t port, uint8_t value)
{
    Settle();
    m_Port.outb(port, value);
}

uint8_t CIteSioIo::siogetb(uint16_t port)
{
    Settle();
    return m_Port.inb(port);
}

void CIteSioIo::Settle() const
{
    if (!m_Chip.Has(Quirk::SettleBeforeAccess))
        return;
    // A signal must not cut the wait short: the controller needs the whole millisecond.
    timespec remaining{0, kSettleNanoseconds};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR)
    {
    }
}
