#include "NCT6796D_Data.h"

#include <iterator>

namespace
{
constexpr RegisterRow kRows[] = {
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
}  // namespace

NCT6796D_Data::NCT6796D_Data() : CChipRegisterTable(kRows, std::size(kRows), 1270) {}
