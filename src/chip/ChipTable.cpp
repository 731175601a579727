#include "ChipTable.h"

namespace
{
// The register tables, which the chip rows at the end of this file point at.

// The 5 V and 12 V inputs sit behind dividers only on the Fenwick board.
constexpr RegisterRow kNCT6106Rows[] = {
    {0x003, RegisterKind::Voltage, "in3_input", VoltageFactor(1)},
    {0x005, RegisterKind::Voltage, "in5_input", VoltageFactor(12, ModelCondition::Fenwick)},
    {0x004, RegisterKind::Voltage, "in4_input", VoltageFactor(5, ModelCondition::Fenwick)},
    {0x220, RegisterKind::Temperature, "temp17_input", Divide(1000)},
    {0x010, RegisterKind::Temperature, "temp19_input", Divide(1000)},
    {0x032, RegisterKind::Fan, "fan2_input", Unchanged()},
    {0x030, RegisterKind::Fan, "fan1_input", Unchanged()},
};

// No hwmon input names are known for this chip.
constexpr RegisterRow kNCT6776Rows[] = {
    {0x020, RegisterKind::Voltage, "", VoltageFactor(1)},
    {0x021, RegisterKind::Voltage, "", VoltageFactor(1)},
    {0x023, RegisterKind::Voltage, "", VoltageFactor(1)},
    {0x024, RegisterKind::Voltage, "", VoltageFactor(12)},
    {0x025, RegisterKind::Voltage, "", VoltageFactor(5)},
    {0x026, RegisterKind::Voltage, "", VoltageFactor(1.5)},
    {0x720, RegisterKind::Temperature, "", Divide(1000)},
    {0x073, RegisterKind::Temperature, "", Divide(1000)},
    {0x077, RegisterKind::Temperature, "", Divide(1000)},
    {0x656, RegisterKind::Fan, "", FanFloor()},
    {0x658, RegisterKind::Fan, "", FanFloor()},
    {0x65A, RegisterKind::Fan, "", FanFloor()},
};

constexpr RegisterRow kNCT6793DRows[] = {
    {0x484, RegisterKind::Voltage, "in4_input", VoltageFactor(1)},
    {0x48C, RegisterKind::Voltage, "in12_input", VoltageFactor(1)},
    {0x480, RegisterKind::Voltage, "in0_input", Peak(VoltageFactor(1))},
    {0x48B, RegisterKind::Voltage, "in11_input", VoltageFactor(12)},
    {0x48E, RegisterKind::Voltage, "in14_input", VoltageFactor(5)},
    {0x48D, RegisterKind::Voltage, "in13_input", VoltageFactor(1)},
    {0x481, RegisterKind::Voltage, "in1_input", VoltageFactor(1.375)},
    {0x491, RegisterKind::Temperature, "temp3_input", Divide(1000)},
    {0x490, RegisterKind::Temperature, "temp2_input", Divide(1000)},
    {0x720, RegisterKind::Temperature, "temp1_input", Divide(1000)},
    {0x4C2, RegisterKind::Fan, "fan2_input", FanFloor()},
    // The BIOS may point at these registers too; their sensors get the default description.
    {0x482, RegisterKind::ConversionOnly, nullptr, VoltageFactor(2)},
    {0x483, RegisterKind::ConversionOnly, nullptr, VoltageFactor(2)},
    {0x487, RegisterKind::ConversionOnly, nullptr, VoltageFactor(2)},
    {0x489, RegisterKind::ConversionOnly, nullptr, VoltageFactor(2)},
    {0x486, RegisterKind::ConversionOnly, nullptr, VoltageFactor(1)},
    {0x488, RegisterKind::ConversionOnly, nullptr, VoltageFactor(1)},
    {0x48A, RegisterKind::ConversionOnly, nullptr, VoltageFactor(1)},
    {0x492, RegisterKind::ConversionOnly, nullptr, Divide(1000)},
    {0x4C0, RegisterKind::ConversionOnly, nullptr, FanFloor()},
    {0x4C4, RegisterKind::ConversionOnly, nullptr, FanFloor()},
};

constexpr RegisterRow kNCT6796DRows[] = {
    {0x480, RegisterKind::Voltage, "in0_input", Peak(VoltageFactor(1))},
    {0x484, RegisterKind::Voltage, "in4_input", VoltageFactor(12)},
    {0x481, RegisterKind::Voltage, "in1_input", VoltageFactor(5)},
    {0x48C, RegisterKind::Voltage, "in12_input", VoltageFactor(1)},
    {0x48D, RegisterKind::Voltage, "in13_input", VoltageFactor(1)},
    {0x486, RegisterKind::Voltage, "in6_input", VoltageFactor(1)},
    {0x48A, RegisterKind::Voltage, "in10_input", VoltageFactor(1)},
    {0x48B, RegisterKind::Voltage, "in11_input", VoltageFactor(1)},
    {0x48E, RegisterKind::Voltage, "in14_input", VoltageFactor(1)},
    {0x485, RegisterKind::Voltage, "in5_input", VoltageFactor(1)},
    {0x48F, RegisterKind::Voltage, "in15_input", VoltageFactor(1)},
    {0x483, RegisterKind::Voltage, "in3_input", VoltageFactor(1)},
    {0x482, RegisterKind::Voltage, "in2_input", VoltageFactor(1)},
    {0x487, RegisterKind::Voltage, "in7_input", VoltageFactor(1)},
    {0x489, RegisterKind::Voltage, "in9_input", VoltageFactor(1)},
    {0x488, RegisterKind::Voltage, "in8_input", VoltageFactor(1)},
    {0x491, RegisterKind::Temperature, "temp1_input", Divide(1000)},
    {0x490, RegisterKind::Temperature, "temp0_input", Divide(1000)},
    {0x720, RegisterKind::Temperature, "temp2_input", Divide(1000)},
    {0x492, RegisterKind::Temperature, "temp3_input", Divide(1000)},
    {0x670, RegisterKind::Temperature, "temp1_input", Divide(1000)},
    {0x027, RegisterKind::Temperature, "temp0_input", Divide(1000)},
    {0x073, RegisterKind::Temperature, "temp2_input", Divide(1000)},
    {0x4C0, RegisterKind::Fan, "fan2_input", FanFloor()},
    {0x4C2, RegisterKind::Fan, "fan0_input", FanFloor()},
    {0x4C4, RegisterKind::Fan, "fan1_input", FanFloor()},
    // Listed twice in the BIOS vendor's table; the first row stands.
    {0x4C0, RegisterKind::Fan, "fan2_input", FanFloor()},
};

// Whole degrees (the row's temperature range is ±127). The factors apply whatever the sensor's
// kind; 0x026 is divided only on the CedarHi, CedarLoBirch and Osprey boards. The hardware
// monitor already gives fans in rpm; the table divides them by the fan divisor, 8.
constexpr RegisterRow kW83627EHFRows[] = {
    {0x020, RegisterKind::Voltage, "in0_input", Unchanged()},
    {0x021, RegisterKind::Voltage, "in1_input", Unchanged()},
    {0x023, RegisterKind::Voltage, "in3_input", Unchanged()},
    {0x024, RegisterKind::Voltage, "in4_input", Factor(12)},
    {0x025, RegisterKind::Voltage, "in5_input", Factor(5)},
    {0x026, RegisterKind::Voltage, "in6_input", Factor(1.5, ModelCondition::CedarOrOsprey)},
    {0x150, RegisterKind::Temperature, "temp2_input", Divide(1000)},
    {0x027, RegisterKind::Temperature, "temp1_input", Divide(1000)},
    {0x250, RegisterKind::Temperature, "temp3_input", Divide(1000)},
    {0x029, RegisterKind::Fan, "fan2_input", ShiftRight(3)},
    {0x028, RegisterKind::Fan, "fan1_input", ShiftRight(3)},
    {0x03F, RegisterKind::Fan, "fan4_input", ShiftRight(3)},
};

// The firmware gives voltages in millivolts and whole degrees; the fan is a tachometer count.
constexpr RegisterRow kIT5571Rows[] = {
    {0x95, RegisterKind::Voltage, nullptr, Peak(VoltageFactor(1))},
    {0x97, RegisterKind::Voltage, nullptr, VoltageFactor(1)},
    {0x99, RegisterKind::Voltage, nullptr, VoltageFactor(1)},
    {0x9B, RegisterKind::Voltage, nullptr, VoltageFactor(1)},
    {0x9D, RegisterKind::Voltage, nullptr, VoltageFactor(1)},
    {0x90, RegisterKind::Temperature, nullptr, Unchanged()},
    {0x91, RegisterKind::Temperature, nullptr, Unchanged()},
    {0x92, RegisterKind::Temperature, nullptr, Unchanged()},
    {0x93, RegisterKind::Fan, nullptr, TachometerRpm(2150000)},
};

// 10-bit ADC words, 3.0 V full scale, behind the board's dividers (2x for 5 V and 3.3 V, 11x
// for 12 V); integer arithmetic whatever the kind. The fan is in rpm already.
constexpr RegisterRow kIT5571v2Rows[] = {
    {0x95, RegisterKind::Voltage, nullptr, Peak(MulDiv(3000, 1023))},
    {0x97, RegisterKind::Voltage, nullptr, MulDiv(60000, 10230)},
    {0x99, RegisterKind::Voltage, nullptr, MulDiv(3000, 1023)},
    {0x9B, RegisterKind::Voltage, nullptr, MulDiv(3000, 1023)},
    {0x9D, RegisterKind::Voltage, nullptr, MulDiv(330000, 10230)},
    {0x9F, RegisterKind::Voltage, nullptr, MulDiv(60000, 10230)},
    {0x90, RegisterKind::Temperature, nullptr, Unchanged()},
    {0x91, RegisterKind::Temperature, nullptr, Unchanged()},
    {0x92, RegisterKind::Temperature, nullptr, Unchanged()},
    {0x93, RegisterKind::Temperature, nullptr, Unchanged()},
    {0x94, RegisterKind::Temperature, nullptr, Unchanged()},
    {0xA3, RegisterKind::Fan, nullptr, FanFloor()},
};
}  // namespace

// One row per chip, its lines in the order of ChipVariant's fields:
//   chip, driver / access / hardware-monitor class names;
//   SMBIOS descriptions with the factory's words; OEM layout;
//   Super I/O device ID, configuration ports, last bank dumped;
//   voltage steps {otherwise, {{bank, first register, last register, millivolts}, ...}};
//   register rows, temperature range;
//   quirks;
//   Translate trace, voltage trace name, fan and temperature trace name.
// The ITE embedded controllers have no Super I/O fields: the BIOS gives their index port, and
// they have neither a configuration space nor banks.
// clang-format off
constexpr ChipVariant kChips[kChipCount] = {
    {Chip::NCT6106, "NCT6106", "Nct6106SioIo", "Nct6106HwMon",
     {{"Nuvoton NCT6106D", "internal Nuvoton NCT6106 um"}}, OemLayout::Nuvoton,
     0xC450, {0x2E, 0x4E}, 3,
     {8, {{kAnyBank, 0x02, 0x03, 16}, {kAnyBank, 0x07, 0x08, 16}}},
     Rows(kNCT6106Rows), 1270,
     Quirk::ReportUnknownBankPort | Quirk::ProbeLinesEndInNewline | Quirk::CompactRegBase,
     TranslateTrace::None, nullptr, nullptr},

    {Chip::NCT6776, "NCT6776", "NCT6776SioIo", "NCT6776HwMon",
     {{"Nuvoton NCT6776F", "internal Nuvoton NCT6776 um"}}, OemLayout::Nuvoton,
     0xC330, {0x2E, 0x4E}, 10,
     {0, {{0, 0x22, 0x22, 0}, {0, 0x23, 0x23, 16}, {0, 0x20, 0x26, 8}}},
     Rows(kNCT6776Rows), 1270,
     Quirk::LeaveWithKey | Quirk::ReportUnknownBankPort,
     TranslateTrace::BankAndBankPort, "NCT6776HwMon", "NCT6793DHwMon"},

    {Chip::NCT6793D, "NCT6793D", "NCT6793DSioIo", "NCT6793DHwMon",
     {{"Nuvoton NCT6793D", "internal Nuvoton NCT6793D um"}}, OemLayout::Nuvoton,
     0xD120, {0x2E, 0x4E}, 10,
     {0, {{4, 0x85, 0x85, 0}, {4, 0x82, 0x83, 16}, {4, 0x87, 0x89, 16}, {4, 0x80, 0x8E, 8}}},
     Rows(kNCT6793DRows), 1270,
     Quirk::LeaveWithKey | Quirk::ReportUnknownBankPort,
     TranslateTrace::BankAndBankPort, "NCT6793DHwMon", "NCT6793DHwMon"},

    {Chip::NCT6796D, "NCT6796D", "NCT6796DSioIo", "NCT6796DHwMon",
     {{"Nuvoton NCT6796D", "internal Nuvoton NCT6796D um"}}, OemLayout::Nuvoton,
     0xD420, {0x2E, 0x4E}, 10,
     {0, {{4, 0x82, 0x83, 16}, {4, 0x87, 0x89, 16}, {4, 0x80, 0x8E, 8}}},
     Rows(kNCT6796DRows), 1270,
     Quirk::LeaveWithKey | Quirk::ReportUnknownBankPort,
     TranslateTrace::BankAndBankPort, "NCT6796DHwMon", "NCT6793DHwMon"},

    // One driver for both packages. A register without a conversion passes its reading on
    // silently.
    {Chip::W83627EHF, "w83627ehf", "w83627ehfSioIo", "w83627ehfHwMon",
     {{"Nuvoton W83627DHG-P", "w83627ehf um"}, {"Nuvoton W83627DHG-PT", "internal Nuvoton w83627ehf um"}},
     OemLayout::Nuvoton,
     0xB070, {0x2E, 0x4E}, 3,
     {8, {{0, 0x22, 0x23, 16}, {5, 0x50, 0x51, 16}}},
     Rows(kW83627EHFRows), 127,
     Quirk::LeaveWithKey | Quirk::FanIsCount | Quirk::CompactRegBase,
     TranslateTrace::BankOnly, nullptr, nullptr},

    // Every read logs the sensor's OEM word.
    {Chip::IT5571, "IT5571", "IT5571_SioIo", "IT5571_HwMon",
     {{"IT 5571", "internal ITE IT5571E-256"}}, OemLayout::Ite,
     0, {}, 0,
     {0, {}},
     Rows(kIT5571Rows), 1270,
     Quirk::ReportUnknownBankPort | Quirk::TraceOemOnRead,
     TranslateTrace::None, nullptr, nullptr},

    // Its firmware needs 1 ms before every port access.
    {Chip::IT5571_v2, "IT5571_v2", "IT5571_SioIo_v2", "IT5571_HwMon_v2",
     {{"ITE IT5571", "internal ITE IT5571E-256"}}, OemLayout::Ite,
     0, {}, 0,
     {0, {}},
     Rows(kIT5571v2Rows), 1270,
     Quirk::ReportUnknownBankPort | Quirk::SettleBeforeAccess,
     TranslateTrace::OneLine, nullptr, nullptr},
};
// clang-format on

namespace
{
constexpr bool RowsInChipOrder()
{
    for (size_t i = 0; i < kChipCount; ++i)
        if (static_cast<size_t>(kChips[i].chip) != i)
            return false;
    return true;
}
static_assert(RowsInChipOrder(), "kChips must list the chips in the order of enum Chip");
}  // namespace
