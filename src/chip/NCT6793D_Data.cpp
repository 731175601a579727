#include "NCT6793D_Data.h"

#include <iterator>

namespace
{
constexpr RegisterRow kRows[] = {
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
}  // namespace

NCT6793D_Data::NCT6793D_Data() : CChipRegisterTable(kRows, std::size(kRows), 1270) {}
