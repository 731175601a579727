#include "NuvotonSioIo.h"

#include "SuperIoRegisters.h"
#include "log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace
{
using namespace SuperIo;
constexpr size_t kDumpTextSize = 4096;

__attribute__((format(printf, 4, 5))) void AppendText(char* text, size_t size, size_t& used,
                                                      const char* format, ...)
{
    if (used + 1 >= size)
        return;
    va_list args;
    va_start(args, format);
    const int n = vsnprintf(text + used, size - used, format, args);
    va_end(args);
    if (n > 0)
        used = std::min(size - 1, used + static_cast<size_t>(n));
}

void LogLifecycle(const char* className, const char* event)
{
    LogQuick(LOG_DEBUG, (std::string(className) + event).c_str());
}
}  // namespace

CNuvotonSioIo::CNuvotonSioIo(const ChipVariant& chip) : m_Chip(chip)
{
    LogLifecycle(m_Chip.accessName, " constructed");
}

CNuvotonSioIo::~CNuvotonSioIo()
{
    LogLifecycle(m_Chip.accessName, " destroyed");
}

void CNuvotonSioIo::sioenter(uint16_t ef)
{
    m_Port.outb(ef, kEnterKey);
    m_Port.outb(ef, kEnterKey);
}

void CNuvotonSioIo::sioleave(uint16_t ef)
{
    if (m_Chip.Has(Quirk::LeaveWithKey))
        m_Port.outb(ef, kLeaveKey);
    m_Port.outb(ef, kConfigControl);
    m_Port.outb(static_cast<uint16_t>(ef + 1), kReturnToWaitForKey);
}

void CNuvotonSioIo::sioselect(uint16_t ef, uint8_t logicalDevice)
{
    m_Port.outb(ef, kLogicalDeviceSelect);
    m_Port.outb(static_cast<uint16_t>(ef + 1), logicalDevice);
}

uint8_t CNuvotonSioIo::siogetb(uint16_t ef, uint8_t reg)
{
    m_Port.outb(ef, reg);
    return m_Port.inb(static_cast<uint16_t>(ef + 1));
}

void CNuvotonSioIo::sioputb(uint16_t ef, uint8_t reg, uint8_t value)
{
    m_Port.outb(ef, reg);
    m_Port.outb(static_cast<uint16_t>(ef + 1), value);
}

int CNuvotonSioIo::readRegByte(uint8_t bank, uint8_t reg)
{
    if (!m_bInit)
    {
        Log(LOG_ERROR, "%s::readRegByte - internal error - not initialised\n", m_Chip.accessName);
        return -1;
    }
    // The bank is selected on every read, in the same turn as the index and the data: another
    // reader may have moved it.
    m_Port.clearFailure();
    PortIo::Sequence turn(m_Port);
    sioputb(m_wRegBase, kBankSelect, bank);
    const uint8_t value = siogetb(m_wRegBase, reg);
    if (m_Port.failed())
    {
        Log(LOG_ERROR, "%s::readRegByte - bank %u register 0x%02x not read: %s", m_Chip.accessName, bank, reg,
            m_Port.failure().c_str());
        return -1;
    }
    return value;
}

int CNuvotonSioIo::getDevice(uint16_t expectedId, uint16_t ef)
{
    const char* name = m_Chip.accessName;
    // From the key to the leave sequence the configuration space is ours alone.
    m_Port.clearFailure();
    PortIo::Sequence turn(m_Port);
    sioenter(ef);
    Log(LOG_DEBUG, "%s::getDevice - Looking for device id 0x%04x on EF Reg 0x%04x%s", name, expectedId, ef,
        ProbeEnd());

    const uint8_t idHigh = siogetb(ef, kDeviceIdHigh);
    Log(LOG_DEBUG, "%s::getDevice - SIO reg 0x%02x = 0x%02x%s", name, kDeviceIdHigh, idHigh, ProbeEnd());
    const uint8_t idLow = siogetb(ef, kDeviceIdLow);
    Log(LOG_DEBUG, "%s::getDevice - SIO reg 0x%02x = 0x%02x%s", name, kDeviceIdLow, idLow, ProbeEnd());
    if (m_Port.failed())
        Log(LOG_ERROR, "%s::getDevice - EF Reg 0x%04x not reached: %s", name, ef, m_Port.failure().c_str());
    // The low nibble is the chip's revision.
    const uint16_t foundId = static_cast<uint16_t>(idHigh << 8 | (idLow & 0xF0));
    if (foundId != expectedId)
    {
        Log(LOG_DEBUG, "%s::getDevice - Unknown device 0x%04x on EF Reg 0x%04x%s", name, foundId, ef,
            ProbeEnd());
        sioleave(ef);
        return SIO_NO_DEVICE;
    }
    m_wDeviceId = foundId;
    Log(LOG_DEBUG, "%s::getDevice - found known %s device_id=%04x(%d)%s", name, m_Chip.driverName, foundId,
        foundId, ProbeEnd());

    sioselect(ef, kHardwareMonitorDevice);
    const uint8_t baseHigh = siogetb(ef, kBaseHigh);
    const uint8_t baseLow = siogetb(ef, kBaseLow);
    // The block is aligned to eight ports; the low three bits are not part of the base.
    const uint16_t base = static_cast<uint16_t>(baseHigh << 8 | (baseLow & 0xF8));
    m_wRegBase = static_cast<uint16_t>(base + kIndexPortOffset);
    Log(LOG_DEBUG, "%s::getDevice - base = 0x%04x", name, base);
    Log(LOG_DEBUG, "%s::getDevice - reg_base = 0x%04x", name, m_wRegBase);
    if (base == 0)
    {
        Log(LOG_ERROR, "%s::getDevice - port base is 0 - bad device port%s", name, ProbeEnd());
        sioleave(ef);
        return SIO_NO_DEVICE;
    }

    const uint8_t activation = siogetb(ef, kActivate);
    if ((activation & 0x01) != 0)
    {
        LogQuick(LOG_DEBUG, (std::string(name) + "::getDevice - Super-I/O already enabled.").c_str());
    }
    else
    {
        Log(LOG_DEBUG, "%s::getDevice - Forcibly enabling Super-I/O. Sensors probably unusable.", name);
        sioputb(ef, kActivate, static_cast<uint8_t>(activation | 0x01));
    }
    sioleave(ef);
    return 0;
}

bool CNuvotonSioIo::HeldByKernel(uint32_t base)
{
    if (base != 0)
        m_KernelClaim =
            KernelClaimOf(m_Chip.accessName, base + kIndexPortOffset, base + kIndexPortOffset + 1);
    return m_KernelClaim.has_value();
}

int CNuvotonSioIo::initialise(uint16_t expectedId, uint32_t boardBase)
{
    if (HeldByKernel(boardBase))
        return SIO_NO_DEVICE;
    // Without "/dev/port" the driver still comes up; every read then reports the internal error.
    if (!m_Port.initialise())
        return 0;
    int result = SIO_NO_DEVICE;
    for (const uint16_t ef : m_Chip.configPorts)
    {
        result = getDevice(expectedId, ef);
        if (result == 0)
            break;
    }
    if (result != 0)
        return result;
    // The chip may sit elsewhere than the BIOS says; its monitor is not touched before we know.
    const uint32_t base = static_cast<uint32_t>(m_wRegBase - kIndexPortOffset);
    if (base != boardBase && HeldByKernel(base))
        return SIO_NO_DEVICE;

    Log(LOG_DEBUG,
        m_Chip.Has(Quirk::CompactRegBase) ? "%s::initialise - init ok, reg_base=0x%04x"
                                          : "%s::initialise - init ok, reg_base = 0x%04x",
        m_Chip.accessName, m_wRegBase);
    m_bInit = true;
    for (unsigned bank = 0; bank <= m_Chip.lastDumpedBank; ++bank)
        dbgDumpBank(static_cast<uint8_t>(bank));
    return 0;
}

void CNuvotonSioIo::dbgDumpBank(uint8_t bank)
{
    // 13 + 32 * 10 + 256 * 5 + 1 bytes at most: the whole bank fits.
    char text[kDumpTextSize];
    size_t used = 0;
    AppendText(text, sizeof(text), used, "\nBank %d\n", bank);
    // Without the turn at the ports (its holder hangs) the rest of the bank is not waited for.
    bool noTurn = false;
    for (unsigned reg = 0; reg < 256; ++reg)
    {
        if (reg % 8 == 0)
            AppendText(text, sizeof(text), used, "\n0x%08x: ", reg);
        const int value = noTurn ? -1 : readRegByte(bank, static_cast<uint8_t>(reg));
        noTurn = noTurn || (value < 0 && m_Port.failedForTurn());
        if (value < 0)
            AppendText(text, sizeof(text), used, "---- ");
        else
            AppendText(text, sizeof(text), used, "0x%02x ", value);
    }
    AppendText(text, sizeof(text), used, "\n");
    Log(LOG_DEBUG, "%s", text);
}
