#include "NCT6106_Data.h"

#include <iterator>

namespace
{
// The 5 V and 12 V inputs sit behind dividers only on the Fenwick board.
constexpr RegisterRow kRows[] = {
    {0x003, RegisterKind::Voltage, "in3_input", VoltageFactor(1)},
    {0x005, RegisterKind::Voltage, "in5_input", VoltageFactor(12, ModelCondition::Fenwick)},
    {0x004, RegisterKind::Voltage, "in4_input", VoltageFactor(5, ModelCondition::Fenwick)},
    {0x220, RegisterKind::Temperature, "temp17_input", Divide(1000)},
    {0x010, RegisterKind::Temperature, "temp19_input", Divide(1000)},
    {0x032, RegisterKind::Fan, "fan2_input", Unchanged()},
    {0x030, RegisterKind::Fan, "fan1_input", Unchanged()},
};
}  // namespace

NCT6106_Data::NCT6106_Data() : CChipRegisterTable(kRows, std::size(kRows), 1270) {}
