#include "NCT6776_Data.h"

#include <iterator>

namespace
{
// No hwmon input names are known for this chip.
constexpr RegisterRow kRows[] = {
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
}  // namespace

NCT6776_Data::NCT6776_Data() : CChipRegisterTable(kRows, std::size(kRows), 1270) {}
