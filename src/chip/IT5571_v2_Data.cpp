#include "IT5571_v2_Data.h"

#include <iterator>

namespace
{
// 10-bit ADC words, 3.0 V full scale, behind the board's dividers (2x for 5 V and 3.3 V, 11x
// for 12 V); integer arithmetic whatever the kind. The fan is in rpm already.
constexpr RegisterRow kRows[] = {
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

IT5571_Data_v2::IT5571_Data_v2() : CChipRegisterTable(kRows, std::size(kRows), 1270) {}
