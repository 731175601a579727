// Every driver against a simulated machine of its kind: the readings the profile's registers
// imply, raw and translated, and the CIM description of each sensor. The expectations are worked
// out here from the register bytes, with the board's wiring written down per machine.
#include "DriverTestSupport.h"
#include "InProcessMachine.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>

namespace
{
// The register bytes of a profile's chip, as the BIOS left them (unset registers read 0).
class Registers
{
public:
    explicit Registers(const QelSim::ChipProfile& chip) : m_chip(chip) {}
    unsigned Byte(unsigned bank, unsigned reg) const
    {
        const auto b = m_chip.banks.find(static_cast<uint8_t>(bank));
        if (b == m_chip.banks.end())
            return 0;
        const auto r = b->second.find(static_cast<uint8_t>(reg));
        return r == b->second.end() ? 0 : r->second;
    }
    // High byte at reg, low byte at reg + 1.
    unsigned Word(unsigned bank, unsigned reg) const { return Byte(bank, reg) << 8 | Byte(bank, reg + 1); }

private:
    const QelSim::ChipProfile& m_chip;
};

// What the register table says about a sensor's register.
enum class Row
{
    Voltage,
    Temperature,
    Fan,
    None  // a register the table has a conversion for, but no description
};

struct Expected
{
    const char* name;  // the sensor's Type 35 description in the profile
    Row row;
    std::function<uint64_t(const Registers&)> raw;
    std::function<uint64_t(uint64_t)> translated;
};

// Raw readings.
auto Mv(unsigned step, unsigned bank, unsigned reg)
{
    return [=](const Registers& r) -> uint64_t { return uint64_t{r.Byte(bank, reg)} * step; };
}
auto Milli(unsigned bank, unsigned reg)
{
    return [=](const Registers& r) -> uint64_t { return uint64_t{r.Byte(bank, reg)} * 1000; };
}
auto Byte(unsigned reg)
{
    return [=](const Registers& r) -> uint64_t { return r.Byte(0, reg); };
}
auto Word(unsigned bank, unsigned reg)
{
    return [=](const Registers& r) -> uint64_t { return r.Word(bank, reg); };
}
// A W83627 fan count in rpm.
auto Count(unsigned reg)
{
    return [=](const Registers& r) -> uint64_t { return 1350000 / r.Byte(0, reg); };
}

// Translations.
auto Same()
{
    return [](uint64_t v) { return v; };
}
auto Times(double factor)
{
    return [=](uint64_t v) { return static_cast<uint64_t>(std::floor(static_cast<double>(v) * factor)); };
}
auto Scaled(uint64_t mul, uint64_t div)
{
    return [=](uint64_t v) { return v * mul / div; };
}
auto Degrees()
{
    return [](uint64_t v) { return v / 1000; };
}
auto Floor()
{
    return [](uint64_t v) { return v < 301 ? 0 : v; };
}

struct MachineCase
{
    const char* profile;
    int32_t temperatureRange;
    std::vector<Expected> sensors;
};

const MachineCase kMachines[] = {
    {"ambercoral",
     1270,
     {{"Vcore", Row::Voltage, Mv(8, 4, 0x80), Same()},
      {"+5V", Row::Voltage, Mv(8, 4, 0x81), Times(5)},
      {"+12V", Row::Voltage, Mv(8, 4, 0x84), Times(12)},
      {"+3.3V", Row::Voltage, Mv(16, 4, 0x83), Same()},
      {"VBAT", Row::Voltage, Mv(16, 4, 0x88), Same()},
      {"CPU Temperature", Row::Temperature, Milli(4, 0x91), Degrees()},
      {"System Temperature", Row::Temperature, Milli(4, 0x90), Degrees()},
      {"CPU Fan", Row::Fan, Word(4, 0xC2), Floor()},
      {"System Fan", Row::Fan, Word(4, 0xC0), Floor()}}},
    {"larchmoss",
     1270,
     {{"Vcore", Row::Voltage, Mv(8, 4, 0x80), Same()},
      {"+12V", Row::Voltage, Mv(8, 4, 0x8B), Times(12)},
      {"+5V", Row::Voltage, Mv(8, 4, 0x8E), Times(5)},
      {"+3.3V", Row::None, Mv(16, 4, 0x83), Times(2)},
      {"VBAT", Row::None, Mv(16, 4, 0x88), Same()},
      {"CPU Temperature", Row::Temperature, Milli(4, 0x91), Degrees()},
      {"System Temperature", Row::Temperature, Milli(4, 0x90), Degrees()},
      {"CPU Fan", Row::Fan, Word(4, 0xC2), Floor()}}},
    {"jetivory",
     1270,
     {{"Vcore", Row::Voltage, Mv(8, 0, 0x20), Same()},
      {"+3.3V", Row::Voltage, Mv(16, 0, 0x23), Same()},
      {"+12V", Row::Voltage, Mv(8, 0, 0x24), Times(12)},
      {"+5V", Row::Voltage, Mv(8, 0, 0x25), Times(5)},
      {"VBAT", Row::Voltage, Mv(8, 0, 0x26), Times(1.5)},
      {"CPU Temperature", Row::Temperature, Milli(0, 0x73), Degrees()},
      {"System Temperature", Row::Temperature, Milli(0, 0x77), Degrees()},
      {"CPU Fan", Row::Fan, Word(6, 0x58), Floor()},
      {"System Fan", Row::Fan, Word(6, 0x56), Floor()}}},
    {"fenwick",
     1270,
     {{"+3.3V", Row::Voltage, Mv(16, 0, 0x03), Same()},
      {"+12V", Row::Voltage, Mv(8, 0, 0x05), Times(12)},
      {"+5V", Row::Voltage, Mv(8, 0, 0x04), Times(5)},
      {"CPU Temperature", Row::Temperature, Milli(2, 0x20), Degrees()},
      {"System Temperature", Row::Temperature, Milli(0, 0x10), Degrees()},
      {"CPU Fan", Row::Fan, Word(0, 0x30), Same()},
      {"System Fan", Row::Fan, Word(0, 0x32), Same()}}},
    {"cedarhi",
     127,
     {{"Vcore", Row::Voltage, Mv(8, 0, 0x20), Same()},
      {"+3.3V", Row::Voltage, Mv(16, 0, 0x23), Same()},
      {"+12V", Row::Voltage, Mv(8, 0, 0x24), Times(12)},
      {"+5V", Row::Voltage, Mv(8, 0, 0x25), Times(5)},
      {"VBAT", Row::Voltage, Mv(8, 0, 0x26), Times(1.5)},
      {"CPU Temperature", Row::Temperature, Milli(1, 0x50), Degrees()},
      {"System Temperature", Row::Temperature, Milli(0, 0x27), Degrees()},
      {"CPU Fan", Row::Fan, Count(0x29), Scaled(1, 8)},
      {"System Fan", Row::Fan, Count(0x28), Scaled(1, 8)}}},
    {"osprey",
     127,
     {{"Vcore", Row::Voltage, Mv(8, 0, 0x20), Same()},
      {"+3.3V", Row::Voltage, Mv(16, 0, 0x23), Same()},
      {"+12V", Row::Voltage, Mv(8, 0, 0x24), Times(12)},
      {"+5V", Row::Voltage, Mv(8, 0, 0x25), Times(5)},
      {"VBAT", Row::Voltage, Mv(8, 0, 0x26), Times(1.5)},
      {"CPU Temperature", Row::Temperature, Milli(1, 0x50), Degrees()},
      {"System Temperature", Row::Temperature, Milli(0, 0x27), Degrees()},
      {"CPU Fan", Row::Fan, Count(0x29), Scaled(1, 8)}}},
    {"wren",
     1270,
     {{"Vcore", Row::Voltage, Word(0, 0x95), Same()},
      {"+5V", Row::Voltage, Word(0, 0x97), Same()},
      {"+3.3V", Row::Voltage, Word(0, 0x99), Same()},
      {"+12V", Row::Voltage, Word(0, 0x9B), Same()},
      {"VBAT", Row::Voltage, Word(0, 0x9D), Same()},
      {"CPU Temperature", Row::Temperature, Byte(0x90), Same()},
      {"System Temperature", Row::Temperature, Byte(0x91), Same()},
      {"System Fan", Row::Fan, Word(0, 0x93),
       [](uint64_t count) { return count < 301 ? 0 : 2150000 / count; }}}},
    {"falcon",
     1270,
     {{"Vcore", Row::Voltage, Word(0, 0x95), Scaled(3000, 1023)},
      {"+5V", Row::Voltage, Word(0, 0x97), Scaled(60000, 10230)},
      {"VBAT", Row::Voltage, Word(0, 0x9B), Scaled(3000, 1023)},
      {"+12V", Row::Voltage, Word(0, 0x9D), Scaled(330000, 10230)},
      {"+3.3V", Row::Voltage, Word(0, 0x9F), Scaled(60000, 10230)},
      {"CPU Temperature", Row::Temperature, Byte(0x90), Same()},
      {"System Temperature", Row::Temperature, Byte(0x91), Same()},
      {"System Fan", Row::Fan, Word(0, 0xA3), Floor()}}},
};

// An SMBIOS value (in 10^exponent of the base unit) in the row's unit, as CIM reports it.
int32_t InRowUnit(uint16_t value, int exponent, int unitModifier)
{
    if (value == 0x8000)
        return INT32_MIN;
    int64_t v = value;
    for (int e = exponent - unitModifier; e > 0; --e)
        v *= 10;
    for (int e = exponent - unitModifier; e < 0; ++e)
        v /= 10;
    return static_cast<int32_t>(v);
}

void PrintTo(const MachineCase& c, std::ostream* os)
{
    *os << c.profile;
}

class DriverOnMachine : public QelTest::InProcessMachineTest,
                        public ::testing::WithParamInterface<MachineCase>
{
};
}  // namespace

TEST_P(DriverOnMachine, ReadsWhatTheRegistersImplyAndDescribesEachSensorByItsTableRow)
{
    const MachineCase& c = GetParam();
    QelTest::InProcessMachine& machine = BringUp(c.profile);
    const QelSim::ChipProfile& chip = machine.Profile().chips.at(0);
    const Registers registers(chip);
    DriverTest::Driver driver = DriverTest::StartDriver(machine.Profile());
    ASSERT_EQ(driver.status, SS_SUCCESS);

    std::list<uint16_t> handles;
    driver.device->GetSensorHandles(handles);
    ASSERT_EQ(handles.size(), c.sensors.size());
    ASSERT_EQ(chip.board.sensors.size(), c.sensors.size());

    for (uint16_t handle : handles)
    {
        CSensorInformation info;
        ASSERT_EQ(driver.device->GetSensorInformation(handle, info), SS_SUCCESS);
        auto expected = std::find_if(c.sensors.begin(), c.sensors.end(),
                                     [&](const Expected& e) { return info.Description == e.name; });
        ASSERT_NE(expected, c.sensors.end()) << "unexpected sensor " << info.Description;
        auto board = std::find_if(chip.board.sensors.begin(), chip.board.sensors.end(),
                                  [&](const QelSim::BoardSensor& s) { return s.name == info.Description; });
        ASSERT_NE(board, chip.board.sensors.end());
        SCOPED_TRACE(std::string(c.profile) + " " + info.Description);

        CSensorReading raw;
        raw.Translate = 0;
        ASSERT_EQ(driver.device->ReadSensor(handle, raw), SS_SUCCESS);
        const uint64_t expectedRaw = expected->raw(registers);
        EXPECT_EQ(raw.CurrentReading, expectedRaw);
        CSensorReading translated;
        translated.Translate = 1;
        ASSERT_EQ(driver.device->ReadSensor(handle, translated), SS_SUCCESS);
        EXPECT_EQ(translated.CurrentReading, expected->translated(expectedRaw));
        EXPECT_NE(translated.CurrentReading, 0u) << "the profile gives every sensor a live value";

        // The row's description: units, unit modifier, readable range.
        const std::map<Row, std::array<int32_t, 4>> rows = {
            {Row::Voltage, {5, -3, INT32_MIN, 0}},
            {Row::Temperature, {2, 0, c.temperatureRange, -c.temperatureRange}},
            {Row::Fan, {19, 0, INT32_MIN, 0}},
            {Row::None, {0, 0, 0, 0}}};
        const std::array<int32_t, 4> row = rows.at(expected->row);
        EXPECT_EQ(info.BaseUnits, row[0]);
        EXPECT_EQ(info.UnitModifier, row[1]);
        EXPECT_EQ(info.MaxReadable, row[2]);
        EXPECT_EQ(info.MinReadable, row[3]);
        EXPECT_EQ(info.Hysteresis, expected->row == Row::None ? 0u : 10u);
        EXPECT_EQ(info.SensorType, board->kind == QelSim::BoardSensor::Kind::Voltage       ? 3
                                   : board->kind == QelSim::BoardSensor::Kind::Temperature ? 2
                                                                                           : 5);

        // Thresholds and nominal value in the row's unit (SMBIOS: millivolts, tenths of a degree, rpm).
        const int exponent = board->kind == QelSim::BoardSensor::Kind::Voltage       ? -3
                             : board->kind == QelSim::BoardSensor::Kind::Temperature ? -1
                                                                                     : 0;
        const QelSim::Thresholds limits =
            board->thresholds.value_or(QelSim::Thresholds{0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000});
        EXPECT_EQ(info.LowerThresholdNonCritical, InRowUnit(limits[0], exponent, row[1]));
        EXPECT_EQ(info.UpperThresholdNonCritical, InRowUnit(limits[1], exponent, row[1]));
        EXPECT_EQ(info.LowerThresholdCritical, InRowUnit(limits[2], exponent, row[1]));
        EXPECT_EQ(info.UpperThresholdCritical, InRowUnit(limits[3], exponent, row[1]));
        EXPECT_EQ(info.LowerThresholdFatal, InRowUnit(limits[4], exponent, row[1]));
        EXPECT_EQ(info.UpperThresholdFatal, InRowUnit(limits[5], exponent, row[1]));
        const uint16_t nominal = board->kind == QelSim::BoardSensor::Kind::Cooling
                                     ? board->cooling.nominalSpeed.value_or(0x8000)
                                     : board->probe.nominal.value_or(0x8000);
        EXPECT_EQ(info.NominalReading, InRowUnit(nominal, exponent, row[1]));
    }
}

INSTANTIATE_TEST_SUITE_P(Profiles, DriverOnMachine, ::testing::ValuesIn(kMachines),
                         [](const ::testing::TestParamInfo<MachineCase>& param)
                         { return param.param.profile; });
