// The register tables of the chip drivers: per sensor register (the BankPort, (bank << 8) | index)
// the static CIM description of a sensor on it and the conversion that finishes its reading.
// Each chip's table is a constant list of rows in the chip table; everything that works on a row
// is here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

// The CIM description a register's sensors share.
struct BankPortData
{
    uint16_t BaseUnits = 0;
    uint64_t Hysteresis = 0;
    bool IsLinear = true;
    int32_t MaxReadable = 0;
    int32_t MinReadable = 0;
    uint16_t RateUnits = 0;
    int32_t UnitModifier = 0;
    std::string HwmonInput;  // the Linux hwmon file that shows the same register
};

// What a row describes; a ConversionOnly row names a register the BIOS may point at although the
// table has no description for it (its sensors get the default record).
enum class RegisterKind : uint8_t
{
    ConversionOnly,
    Voltage,
    Temperature,
    Fan
};

enum class ConversionOp : uint8_t
{
    Unchanged,
    VoltageFactor,  // × factor (double, truncated) for a voltage sensor; other kinds unchanged
    Factor,         // × factor whatever the kind
    Divide,         // integer division by divisor
    MulDiv,         // × multiplier, then integer division by divisor
    FanFloor,       // below kFanFloor: 0
    TachometerRpm,  // below kFanFloor: 0; otherwise multiplier / value
    ShiftRight,     // division by 2 to the power of shift
};

// The machine models a factor is limited to; on any other model the factor is 1.
enum class ModelCondition : uint8_t
{
    AnyModel,
    Fenwick,
    CedarOrOsprey,  // CedarLoBirch, CedarHi or Osprey
};

struct Conversion
{
    ConversionOp op = ConversionOp::Unchanged;
    double factor = 1.0;
    uint64_t multiplier = 1;
    uint64_t divisor = 1;
    unsigned shift = 0;
    ModelCondition model = ModelCondition::AnyModel;
    // A reading whose low eight bits are all ones is the controller's overflow mark: 0.
    bool peak = false;
};

// The conversions, as the tables write them.
constexpr Conversion Unchanged()
{
    return Conversion{};
}
constexpr Conversion VoltageFactor(double factor, ModelCondition model = ModelCondition::AnyModel)
{
    return Conversion{ConversionOp::VoltageFactor, factor, 1, 1, 0, model, false};
}
constexpr Conversion Factor(double factor, ModelCondition model = ModelCondition::AnyModel)
{
    return Conversion{ConversionOp::Factor, factor, 1, 1, 0, model, false};
}
constexpr Conversion Divide(uint64_t divisor)
{
    return Conversion{ConversionOp::Divide, 1.0, 1, divisor, 0, ModelCondition::AnyModel, false};
}
constexpr Conversion MulDiv(uint64_t multiplier, uint64_t divisor)
{
    return Conversion{ConversionOp::MulDiv, 1.0, multiplier, divisor, 0, ModelCondition::AnyModel, false};
}
constexpr Conversion FanFloor()
{
    return Conversion{ConversionOp::FanFloor, 1.0, 1, 1, 0, ModelCondition::AnyModel, false};
}
constexpr Conversion TachometerRpm(uint64_t countToRpm)
{
    return Conversion{ConversionOp::TachometerRpm, 1.0, countToRpm, 1, 0, ModelCondition::AnyModel, false};
}
constexpr Conversion ShiftRight(unsigned shift)
{
    return Conversion{ConversionOp::ShiftRight, 1.0, 1, 1, shift, ModelCondition::AnyModel, false};
}
constexpr Conversion Peak(Conversion conversion)
{
    conversion.peak = true;
    return conversion;
}

struct RegisterRow
{
    uint32_t bankPort;
    RegisterKind kind;
    const char* hwmonInput;  // null where the table names none
    Conversion conversion;
};

// Fan readings below this many revolutions per minute are noise.
constexpr uint64_t kFanFloor = 301;

struct ChipVariant;

// One chip's table, from the rows of its chip-table row; the first row of a BankPort wins,
// later ones are ignored.
class CChipRegisterTable
{
public:
    virtual ~CChipRegisterTable() = default;

    // The row of the BankPort, or the default record (every number 0, linear) when there is none.
    const BankPortData& GetData(uint32_t bankPort) const;
    // The conversion of the BankPort, or null when the table has none.
    const Conversion* GetConversion(uint32_t bankPort) const;

    std::map<uint32_t, BankPortData> m_mapData;

protected:
    explicit CChipRegisterTable(const ChipVariant& chip);
    // Inserts the rows.
    void Initialise();

private:
    const RegisterRow* m_pRows;
    size_t m_nRows;
    int32_t m_nTemperatureRange;
    std::map<uint32_t, Conversion> m_mapConversions;
};

// Applies the conversion to a reading of a sensor of that kind (dwSensorType). driverName heads
// the peak message.
uint64_t ApplyConversion(const Conversion& conversion, uint32_t sensorKind, uint64_t value,
                         const char* driverName);
