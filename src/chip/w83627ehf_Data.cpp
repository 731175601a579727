#include "w83627ehf_Data.h"

#include <iterator>

namespace
{
// Whole degrees: the temperature range is ±127. The factors apply whatever the sensor's kind;
// 0x026 is divided only on the CedarHi, CedarLoBirch and Osprey boards. The hardware monitor
// already gives fans in rpm; the table divides them by the fan divisor, 8.
constexpr RegisterRow kRows[] = {
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
}  // namespace

w83627ehf_Data::w83627ehf_Data() : CChipRegisterTable(kRows, std::size(kRows), 127) {}
