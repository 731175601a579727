#include "ChipRegisterTable.h"

#include "ChipTable.h"
#include "POSSystem.h"
#include "SMBiosSensorRecords.h"
#include "log.h"

#include <cstdint>

namespace
{
// CIM codes of the rows.
constexpr uint16_t kUnitsVolts = 5;
constexpr uint16_t kUnitsDegreesC = 2;
constexpr uint16_t kUnitsRpm = 19;
constexpr uint64_t kRowHysteresis = 10;
constexpr int32_t kNoValue = INT32_MIN;

BankPortData RowData(const RegisterRow& row, int32_t temperatureRange)
{
    BankPortData data;
    data.Hysteresis = kRowHysteresis;
    data.IsLinear = true;
    data.RateUnits = 0;
    data.HwmonInput = row.hwmonInput != nullptr ? row.hwmonInput : "";
    switch (row.kind)
    {
    case RegisterKind::Voltage:
        data.BaseUnits = kUnitsVolts;
        data.UnitModifier = -3;  // millivolts
        data.MaxReadable = kNoValue;
        data.MinReadable = 0;
        break;
    case RegisterKind::Temperature:
        data.BaseUnits = kUnitsDegreesC;
        data.UnitModifier = 0;
        data.MaxReadable = temperatureRange;
        data.MinReadable = -temperatureRange;
        break;
    case RegisterKind::Fan:
        data.BaseUnits = kUnitsRpm;
        data.UnitModifier = 0;
        data.MaxReadable = kNoValue;
        data.MinReadable = 0;
        break;
    case RegisterKind::ConversionOnly:
        break;
    }
    return data;
}

bool ModelApplies(ModelCondition model)
{
    const CPOSSystem& system = CPOSSystem::s_instance;
    switch (model)
    {
    case ModelCondition::AnyModel:
        return true;
    case ModelCondition::Fenwick:
        return system.IsFenwick();
    case ModelCondition::CedarOrOsprey:
        return system.IsCedarLoBirch() || system.IsCedarHi() || system.IsOsprey();
    }
    return false;
}

// The factor in double precision, truncated; a product beyond 64 bits saturates instead of
// being undefined.
uint64_t Scaled(uint64_t value, double factor)
{
    const double product = static_cast<double>(value) * factor;
    if (!(product > 0.0))
        return 0;
    if (product >= 18446744073709551616.0)
        return UINT64_MAX;
    return static_cast<uint64_t>(product);
}
}  // namespace

CChipRegisterTable::CChipRegisterTable(const ChipVariant& chip)
    : m_pRows(chip.registers.rows), m_nRows(chip.registers.count), m_nTemperatureRange(chip.temperatureRange)
{
    Initialise();
}

void CChipRegisterTable::Initialise()
{
    for (size_t i = 0; i < m_nRows; ++i)
    {
        const RegisterRow& row = m_pRows[i];
        if (row.kind != RegisterKind::ConversionOnly)
            m_mapData.emplace(row.bankPort, RowData(row, m_nTemperatureRange));
        m_mapConversions.emplace(row.bankPort, row.conversion);
    }
}

const BankPortData& CChipRegisterTable::GetData(uint32_t bankPort) const
{
    static const BankPortData kDefaultRecord;
    const auto it = m_mapData.find(bankPort);
    return it != m_mapData.end() ? it->second : kDefaultRecord;
}

const Conversion* CChipRegisterTable::GetConversion(uint32_t bankPort) const
{
    const auto it = m_mapConversions.find(bankPort);
    return it != m_mapConversions.end() ? &it->second : nullptr;
}

uint64_t ApplyConversion(const Conversion& conversion, uint32_t sensorKind, uint64_t value,
                         const char* driverName)
{
    if (conversion.peak && (value & 0xFF) == 0xFF)
    {
        Log(LOG_DEBUG, "%s::Translate - Peak detected. Value will pass from [ 0x%08x - %d ] to 0", driverName,
            static_cast<unsigned>(value), static_cast<int>(value));
        value = 0;
    }
    const double factor = ModelApplies(conversion.model) ? conversion.factor : 1.0;
    switch (conversion.op)
    {
    case ConversionOp::Unchanged:
        return value;
    case ConversionOp::VoltageFactor:
        return sensorKind == SENSOR_KIND_VOLTAGE ? Scaled(value, factor) : value;
    case ConversionOp::Factor:
        return Scaled(value, factor);
    case ConversionOp::Divide:
        return value / conversion.divisor;
    case ConversionOp::MulDiv:
        return value * conversion.multiplier / conversion.divisor;
    case ConversionOp::FanFloor:
        return value < kFanFloor ? 0 : value;
    case ConversionOp::TachometerRpm:
        return value < kFanFloor ? 0 : conversion.multiplier / value;
    case ConversionOp::ShiftRight:
        return value >> conversion.shift;
    }
    return value;
}
