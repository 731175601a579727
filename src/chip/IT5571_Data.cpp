#include "IT5571_Data.h"

#include <iterator>

namespace
{
// The firmware gives voltages in millivolts and whole degrees; the fan is a tachometer count.
constexpr RegisterRow kRows[] = {
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
}  // namespace

IT5571_Data::IT5571_Data() : CChipRegisterTable(kRows, std::size(kRows), 1270) {}
