// The chips the drivers serve, one row each: everything that tells one variant from another,
// from the SMBIOS description that selects it down to the quirks of its log lines. The driver,
// access, hardware-monitor and register-table classes of a chip only pass its row to the shared
// code, so a new variant is a new row (and its four thin classes).
#pragma once

#include "ChipRegisterTable.h"

#include <cstddef>
#include <cstdint>

// The rows of kChips, in this order.
enum class Chip : uint8_t
{
    NCT6106,
    NCT6776,
    NCT6793D,
    NCT6796D,
    W83627EHF,
    IT5571,
    IT5571_v2,
};
constexpr size_t kChipCount = 7;

// Where a sensor's dwOEMDefined holds its register.
enum class OemLayout : uint8_t
{
    // Bank in bits 31..24 as the BIOS gives it; stored as 0x4E (the bank-select register) in
    // bits 31..24 and the bank in bits 23..16. Register in bits 7..0.
    Nuvoton,
    // Register in bits 7..0; bits 31..24 are a bank only when bit 11 is set.
    Ite,
};

// The trace lines Translate writes about the BankPort it looks up.
enum class TranslateTrace : uint8_t
{
    None,
    BankAndBankPort,  // "Bank: %02x  Port: %02x" and "BankPort: %02x" (trace level)
    BankOnly,         // "Bank: %02x  Port: %02x" (trace level)
    OneLine,          // "Bank 0x%02x, Port 0x%02x, BankPort: 0x%02x" (debug level)
};

// What a variant does differently, as bits of ChipVariant::quirks.
namespace Quirk
{
enum : unsigned
{
    LeaveWithKey = 1u << 0,            // 0xAA before the configuration-control write when leaving
    FanIsCount = 1u << 1,              // one count byte, 1350000 / count rpm; else a 16-bit word
    SettleBeforeAccess = 1u << 2,      // the controller needs 1 ms before each port access
    ReportUnknownBankPort = 1u << 3,   // log a BankPort the table has no conversion for
    TraceOemOnRead = 1u << 4,          // log the sensor's dwOEMDefined on every read
    ProbeLinesEndInNewline = 1u << 5,  // the probe messages carry a trailing line feed
    CompactRegBase = 1u << 6,          // "reg_base=0x%04x" rather than "reg_base = 0x%04x"
};
}  // namespace Quirk

constexpr int16_t kAnyBank = -1;

// Voltage registers first..last of a bank and the millivolts per step of their byte: 8, 16
// behind a halving divider, 0 where the chip has no voltage input.
struct VoltageStepRange
{
    int16_t bank = -2;  // kAnyBank: every bank; the default (an unused entry) matches nothing
    uint8_t first = 0;
    uint8_t last = 0;
    uint8_t millivolts = 0;
};

// The first range holding the register decides; any other register steps by `otherwise`.
struct VoltageSteps
{
    uint8_t otherwise;
    VoltageStepRange ranges[4];

    unsigned Step(uint8_t bank, uint8_t reg) const
    {
        for (const VoltageStepRange& r : ranges)
            if ((r.bank == kAnyBank || r.bank == bank) && reg >= r.first && reg <= r.last)
                return r.millivolts;
        return otherwise;
    }
};

// A Type 34 description that selects the chip (whole, case-sensitive) and the words the
// factory's "Instantiated ... driver" message gives it.
struct SmbiosName
{
    const char* description;
    const char* factoryWords;
};

struct RegisterRows
{
    const RegisterRow* rows;
    size_t count;
};

template <size_t N>
constexpr RegisterRows Rows(const RegisterRow (&rows)[N])
{
    return RegisterRows{rows, N};
}

struct ChipVariant
{
    Chip chip;
    // The names heading the messages of the driver, its access class and its hardware monitor;
    // the driver's also names the chip in the probe's "found known" message.
    const char* driverName;
    const char* accessName;
    const char* hwmonName;
    SmbiosName smbiosNames[2];  // an unused entry has a null description
    OemLayout oemLayout;

    // Super I/O only: the ID the probe must find (revision nibble clear), the configuration
    // ports probed in turn, and the last of the banks dumped to the log once the chip is found.
    uint16_t deviceId;
    uint16_t configPorts[2];
    uint8_t lastDumpedBank;
    VoltageSteps voltageSteps;

    // The register table and MaxReadable of its temperature rows (MinReadable is its negative).
    RegisterRows registers;
    int32_t temperatureRange;

    unsigned quirks;  // Quirk bits
    TranslateTrace translateTrace;
    // Names heading the hardware monitor's read traces (null: nothing traced). The NCT67xx
    // chips trace fans and temperatures under the NCT6793D's name.
    const char* voltageTraceName;
    const char* fanAndTemperatureTraceName;

    bool Has(unsigned quirk) const { return (quirks & quirk) != 0; }
};

extern const ChipVariant kChips[kChipCount];

inline const ChipVariant& ChipRow(Chip chip)
{
    return kChips[static_cast<size_t>(chip)];
}
