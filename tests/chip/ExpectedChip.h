// What a machine profile implies for the sensors CChip reports, worked out here from the profile's
// register bytes and SMBIOS fields with the chips' register tables written down once more: the
// row of each register (units and range), the chip's register read, and the driver's conversion.
// Nothing here calls the library.
#pragma once

#include "Profile.h"
#include "SensorInterface.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>

namespace ChipExpect
{
enum class Row
{
    Voltage,
    Temperature,
    Fan,
    None  // a register the driver converts but its table does not describe
};

enum class Kind
{
    Voltage,
    Fan,
    Temperature
};

// The conversion of a register's first value (isVoltage: the sensor is a voltage probe).
using Conversion = std::function<uint64_t(uint64_t value, bool isVoltage)>;

struct Register
{
    Row row;
    Conversion convert;
};

// One driver: how it addresses, reads and converts its chip's registers.
struct Driver
{
    bool ite = false;
    int32_t temperatureRange = 1270;
    std::map<unsigned, Register> table;  // by BankPort
    std::function<uint64_t(Kind, unsigned bank, unsigned reg)> read;
};

inline Conversion Same()
{
    return [](uint64_t v, bool) { return v; };
}
// A divider factor, for voltages only.
inline Conversion VoltsTimes(double factor)
{
    return [=](uint64_t v, bool isVoltage)
    { return isVoltage ? static_cast<uint64_t>(static_cast<double>(v) * factor) : v; };
}
inline Conversion AlwaysTimes(double factor)
{
    return [=](uint64_t v, bool) { return static_cast<uint64_t>(static_cast<double>(v) * factor); };
}
inline Conversion Ratio(uint64_t mul, uint64_t div)
{
    return [=](uint64_t v, bool) { return v * mul / div; };
}
inline Conversion Divide(uint64_t div)
{
    return [=](uint64_t v, bool) { return v / div; };
}
inline Conversion FanFloor()
{
    return [](uint64_t v, bool) { return v < 301 ? 0 : v; };
}
// A value whose low byte is all ones is the ADC's peak, reported as 0.
inline Conversion Peak(Conversion then)
{
    return [=](uint64_t v, bool isVoltage) { return (v & 0xFF) == 0xFF ? 0 : then(v, isVoltage); };
}

inline void Rows(Driver& d, Row row, std::initializer_list<unsigned> keys, const Conversion& c)
{
    for (unsigned key : keys)
        d.table.emplace(key, Register{row, c});
}

// The driver of a Type 34 description, on a machine of the given model.
inline Driver DriverFor(const std::string& description, const std::string& machine,
                        const QelSim::ChipProfile& chip)
{
    const auto byte = [&chip](unsigned bank, unsigned reg) -> uint64_t
    {
        const auto b = chip.banks.find(static_cast<uint8_t>(bank));
        if (b == chip.banks.end())
            return 0;
        const auto r = b->second.find(static_cast<uint8_t>(reg));
        return r == b->second.end() ? 0 : r->second;
    };
    const auto word = [byte](unsigned bank, unsigned reg)
    { return byte(bank, reg) << 8 | byte(bank, reg + 1); };
    const Row V = Row::Voltage, T = Row::Temperature, F = Row::Fan, N = Row::None;
    Driver d;

    if (description == "IT 5571" || description == "ITE IT5571")
    {
        d.ite = true;
        d.read = [=](Kind kind, unsigned, unsigned reg)
        { return kind == Kind::Temperature ? byte(0, reg) : word(0, reg); };
        if (description == "IT 5571")
        {
            Rows(d, T, {0x90, 0x91, 0x92}, Same());
            Rows(d, F, {0x93}, [](uint64_t v, bool) -> uint64_t { return v < 301 ? 0 : 2150000 / v; });
            Rows(d, V, {0x95}, Peak(VoltsTimes(1)));
            Rows(d, V, {0x97, 0x99, 0x9B, 0x9D}, VoltsTimes(1));
        }
        else
        {
            Rows(d, T, {0x90, 0x91, 0x92, 0x93, 0x94}, Same());
            Rows(d, V, {0x95}, Peak(Ratio(3000, 1023)));
            Rows(d, V, {0x97, 0x9F}, Ratio(60000, 10230));
            Rows(d, V, {0x99, 0x9B}, Ratio(3000, 1023));
            Rows(d, V, {0x9D}, Ratio(330000, 10230));
            Rows(d, F, {0xA3}, FanFloor());
        }
        return d;
    }

    // The Nuvoton and Winbond chips: one byte per voltage in 8 mV steps (16 mV behind a halving
    // divider), a word per fan count, whole degrees per temperature.
    std::function<uint64_t(unsigned, unsigned)> volts;
    std::function<uint64_t(unsigned, unsigned)> fan = word;
    if (description == "Nuvoton NCT6796D" || description == "Nuvoton NCT6793D")
    {
        const bool nct6793 = description == "Nuvoton NCT6793D";
        volts = [=](unsigned bank, unsigned reg) -> uint64_t
        {
            if (bank != 4 || reg < 0x80 || reg > 0x8E || (nct6793 && reg == 0x85))
                return 0;
            const std::set<unsigned> halved = {0x82, 0x83, 0x87, 0x88, 0x89};
            return byte(bank, reg) * (halved.count(reg) ? 16 : 8);
        };
        if (nct6793)
        {
            Rows(d, V, {0x484, 0x48C, 0x48D}, VoltsTimes(1));
            Rows(d, V, {0x480}, Peak(VoltsTimes(1)));
            Rows(d, V, {0x48B}, VoltsTimes(12));
            Rows(d, V, {0x48E}, VoltsTimes(5));
            Rows(d, V, {0x481}, VoltsTimes(1.375));
            Rows(d, T, {0x491, 0x490, 0x720}, Divide(1000));
            Rows(d, F, {0x4C2}, FanFloor());
            Rows(d, N, {0x482, 0x483, 0x487, 0x489}, VoltsTimes(2));
            Rows(d, N, {0x486, 0x488, 0x48A}, VoltsTimes(1));
            Rows(d, N, {0x492}, Divide(1000));
            Rows(d, N, {0x4C0, 0x4C4}, FanFloor());
        }
        else
        {
            Rows(d, V, {0x480}, Peak(VoltsTimes(1)));
            Rows(d, V, {0x481}, VoltsTimes(5));
            Rows(d, V, {0x484}, VoltsTimes(12));
            Rows(d, V,
                 {0x482, 0x483, 0x485, 0x486, 0x487, 0x488, 0x489, 0x48A, 0x48B, 0x48C, 0x48D, 0x48E, 0x48F},
                 VoltsTimes(1));
            Rows(d, T, {0x490, 0x491, 0x720, 0x492, 0x670, 0x027, 0x073}, Divide(1000));
            Rows(d, F, {0x4C0, 0x4C2, 0x4C4}, FanFloor());
        }
    }
    else if (description == "Nuvoton NCT6776F")
    {
        volts = [=](unsigned bank, unsigned reg) -> uint64_t
        {
            if (bank != 0 || reg < 0x20 || reg > 0x26 || reg == 0x22)
                return 0;
            return byte(bank, reg) * (reg == 0x23 ? 16 : 8);
        };
        Rows(d, V, {0x020, 0x021, 0x023}, VoltsTimes(1));
        Rows(d, V, {0x024}, VoltsTimes(12));
        Rows(d, V, {0x025}, VoltsTimes(5));
        Rows(d, V, {0x026}, VoltsTimes(1.5));
        Rows(d, T, {0x073, 0x077, 0x720}, Divide(1000));
        Rows(d, F, {0x656, 0x658, 0x65A}, FanFloor());
    }
    else if (description == "Nuvoton NCT6106D")
    {
        volts = [=](unsigned bank, unsigned reg)
        { return byte(bank, reg) * (reg == 0x02 || reg == 0x03 || reg == 0x07 || reg == 0x08 ? 16 : 8); };
        const bool fenwick = machine == "Fenwick";
        Rows(d, V, {0x003}, VoltsTimes(1));
        Rows(d, V, {0x005}, VoltsTimes(fenwick ? 12 : 1));
        Rows(d, V, {0x004}, VoltsTimes(fenwick ? 5 : 1));
        Rows(d, T, {0x220, 0x010}, Divide(1000));
        Rows(d, F, {0x032, 0x030}, Same());
    }
    else if (description == "Nuvoton W83627DHG-P" || description == "Nuvoton W83627DHG-PT")
    {
        d.temperatureRange = 127;
        volts = [=](unsigned bank, unsigned reg)
        {
            const bool halved =
                (bank == 0 && (reg == 0x22 || reg == 0x23)) || (bank == 5 && (reg == 0x50 || reg == 0x51));
            return byte(bank, reg) * (halved ? 16 : 8);
        };
        fan = [=](unsigned bank, unsigned reg) -> uint64_t
        {
            const uint64_t count = byte(bank, reg);
            return count == 0 || count == 255 ? 0 : 1350000 / count;
        };
        const bool scaled = machine == "CedarHi" || machine == "CedarLoBirch" || machine == "Osprey";
        Rows(d, V, {0x020, 0x021, 0x023}, Same());
        Rows(d, V, {0x024}, AlwaysTimes(12));
        Rows(d, V, {0x025}, AlwaysTimes(5));
        Rows(d, V, {0x026}, scaled ? AlwaysTimes(1.5) : Same());
        Rows(d, T, {0x150, 0x027, 0x250}, Divide(1000));
        Rows(d, F, {0x029, 0x028, 0x03F}, Divide(8));
    }
    else
    {
        throw std::invalid_argument("no driver model for \"" + description + "\"");
    }
    d.read = [=](Kind kind, unsigned bank, unsigned reg) -> uint64_t
    {
        switch (kind)
        {
        case Kind::Voltage:
            return volts(bank, reg);
        case Kind::Fan:
            return fan(bank, reg);
        case Kind::Temperature:
            return byte(bank, reg) * 1000;
        }
        return 0;
    };
    return d;
}

// An SMBIOS word in its unit (10^smbiosExponent of the base unit) in the CIM unit 10^unitModifier,
// truncated toward zero; 0x8000 is unknown.
inline int32_t Adjusted(uint16_t word, int32_t unitModifier, int smbiosExponent)
{
    if (word == 0x8000)
        return SENSOR_VALUE_UNKNOWN;
    const int shift = smbiosExponent - unitModifier;
    int64_t value = word;
    for (int i = 0; i < shift; ++i)
        value *= 10;
    for (int i = 0; i < -shift; ++i)
        value /= 10;
    return static_cast<int32_t>(value);
}

struct Expected
{
    CSensorInformation info;
    uint64_t raw = 0;         // the reading with Translate clear
    uint64_t translated = 0;  // ... and set
};

inline Expected ExpectedSensor(const Driver& driver, const QelSim::BoardSensor& sensor)
{
    using BoardKind = QelSim::BoardSensor::Kind;
    const Kind kind = sensor.kind == BoardKind::Voltage   ? Kind::Voltage
                      : sensor.kind == BoardKind::Cooling ? Kind::Fan
                                                          : Kind::Temperature;
    // The Nuvoton BIOSes give the bank in the top byte; the ITE ones only when bit 11 says so.
    const unsigned reg = sensor.oem & 0xFF;
    const unsigned bank = !driver.ite || (sensor.oem & 0x800) != 0 ? sensor.oem >> 24 : 0;
    const auto found = driver.table.find(bank << 8 | reg);
    const Row row = found == driver.table.end() ? Row::None : found->second.row;

    Expected e;
    e.raw = driver.read(kind, driver.ite ? 0 : bank, reg);
    e.translated = found == driver.table.end() ? e.raw : found->second.convert(e.raw, kind == Kind::Voltage);

    CSensorInformation& i = e.info;
    i.Description = sensor.name;
    i.IsLinear = true;
    i.Hysteresis = row == Row::None ? 0 : 10;
    i.RateUnits = 0;
    i.BaseUnits = row == Row::Voltage ? 5 : row == Row::Temperature ? 2 : row == Row::Fan ? 19 : 0;
    i.UnitModifier = row == Row::Voltage ? -3 : 0;
    i.MaxReadable = row == Row::Temperature ? driver.temperatureRange
                    : row == Row::None      ? 0
                                            : SENSOR_VALUE_UNKNOWN;
    i.MinReadable = row == Row::Temperature ? -driver.temperatureRange : 0;
    const int32_t m = i.UnitModifier;

    // Millivolts, revolutions per minute and tenths of a degree in the structures.
    const int exponent = kind == Kind::Voltage ? -3 : kind == Kind::Fan ? 0 : -1;
    const auto adjust = [&](uint16_t word) { return Adjusted(word, m, exponent); };
    i.OtherSensorTypeDescription.clear();
    if (kind == Kind::Fan)
    {
        const unsigned type = sensor.cooling.deviceTypeAndStatus & 0x1F;
        const std::map<unsigned, std::pair<uint16_t, const char*>> others = {
            {1, {1, "Unknown"}},
            {8, {1, "Heat Pipe"}},
            {9, {1, "Integrated Refrigeration"}},
            {17, {1, "Passive Cooling"}}};
        const std::set<unsigned> fans = {3, 4, 5, 6, 7, 16};
        i.SensorType = fans.count(type) ? 5 : others.count(type) ? others.at(type).first : 0;
        if (others.count(type))
            i.OtherSensorTypeDescription = others.at(type).second;
        i.Accuracy = SENSOR_VALUE_UNKNOWN;
        i.Resolution = 0x80000000u;
        i.NominalReading = adjust(sensor.cooling.nominalSpeed.value_or(0x8000));
    }
    else
    {
        const QelSim::ProbeFields& p = sensor.probe;
        i.SensorType = kind == Kind::Voltage ? 3 : 2;
        i.NominalReading = adjust(p.nominal.value_or(0x8000));
        i.Accuracy = p.accuracy == 0x8000 ? SENSOR_VALUE_UNKNOWN : p.accuracy;
        // In 1/10 mV or 1/1000 degree: first into the unit of the other fields.
        const unsigned r = p.resolution / (kind == Kind::Voltage ? 10 : 100);
        i.Resolution = p.resolution == 0x8000 ? 0x80000000u
                       : (r & 0xFFFF) == 0    ? 0
                                           : static_cast<uint64_t>(static_cast<int64_t>(adjust(r & 0xFFFF)));
    }
    const QelSim::Thresholds t =
        sensor.thresholds.value_or(QelSim::Thresholds{0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000});
    i.LowerThresholdNonCritical = adjust(t[0]);
    i.UpperThresholdNonCritical = adjust(t[1]);
    i.LowerThresholdCritical = adjust(t[2]);
    i.UpperThresholdCritical = adjust(t[3]);
    i.LowerThresholdFatal = adjust(t[4]);
    i.UpperThresholdFatal = adjust(t[5]);
    return e;
}
}  // namespace ChipExpect
