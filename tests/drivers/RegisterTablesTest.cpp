// The register tables and what the drivers do with them without hardware: the rows' CIM
// descriptions, the conversions of Translate (peak rule, model-dependent factors), the sensor
// descriptions of CopySensorInformation and the CIM adjustments.
#include "DriverTestSupport.h"
#include "IteChips.h"
#include "NuvotonChips.h"
#include "TempSysRoot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <regex>

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

namespace
{
template <class Driver>
std::unique_ptr<CChipDriver> Make()
{
    return std::unique_ptr<CChipDriver>(new Driver(nullptr, "", 0, 3, 0));
}

struct TableCase
{
    const char* name;
    std::function<std::unique_ptr<CChipDriver>()> make;
    size_t voltages, temperatures, fans;
    int32_t temperatureRange;
    const char* hwmonPattern;  // what every HwmonInput looks like ("" for none)
};

const char* const kHwmonNames = "(in|temp|fan)[0-9]+_input";
const TableCase kTables[] = {
    {"IT5571", Make<IT5571>, 5, 3, 1, 1270, ""},
    {"IT5571_v2", Make<IT5571_v2>, 6, 5, 1, 1270, ""},
    {"NCT6106", Make<NCT6106>, 3, 2, 2, 1270, kHwmonNames},
    {"NCT6776", Make<NCT6776>, 6, 3, 3, 1270, ""},
    {"NCT6793D", Make<NCT6793D>, 7, 3, 1, 1270, kHwmonNames},
    {"NCT6796D", Make<NCT6796D>, 16, 7, 3, 1270, kHwmonNames},
    {"w83627ehf", Make<w83627ehf>, 6, 3, 3, 127, kHwmonNames},
};

std::unique_ptr<CChipDriver> Driver(const std::string& name)
{
    for (const TableCase& t : kTables)
        if (name == t.name)
            return t.make();
    return nullptr;
}

// The stored form of a Nuvoton register.
constexpr uint32_t N(unsigned bank, unsigned reg)
{
    return 0x4Eu << 24 | bank << 16 | reg;
}
constexpr uint32_t V = SENSOR_KIND_VOLTAGE, C = SENSOR_KIND_COOLING, T = SENSOR_KIND_TEMPERATURE;

class DriverLogic : public ::testing::Test
{
protected:
    void TearDown() override { CPOSSystem::s_instance.SetBiosVersion(""); }
    QelTest::TempSysRoot m_root;
};
}  // namespace

TEST(RegisterTables, RowsCarryTheirKindsDescriptionAndOneRowPerRegister)
{
    for (const TableCase& t : kTables)
    {
        SCOPED_TRACE(t.name);
        const std::unique_ptr<CChipDriver> driver = t.make();
        const std::map<uint32_t, BankPortData>& rows = driver->Table().m_mapData;
        EXPECT_EQ(rows.size(), t.voltages + t.temperatures + t.fans);
        std::map<uint16_t, size_t> kinds;
        for (const auto& entry : rows)
        {
            const BankPortData& row = entry.second;
            SCOPED_TRACE(entry.first);
            ++kinds[row.BaseUnits];
            EXPECT_EQ(row.Hysteresis, 10u);
            EXPECT_TRUE(row.IsLinear);
            EXPECT_EQ(row.RateUnits, 0);
            EXPECT_TRUE(std::regex_match(row.HwmonInput, std::regex(t.hwmonPattern))) << row.HwmonInput;
            EXPECT_EQ(row.UnitModifier, row.BaseUnits == 5 ? -3 : 0);
            EXPECT_EQ(row.MaxReadable, row.BaseUnits == 2 ? t.temperatureRange : INT32_MIN);
            EXPECT_EQ(row.MinReadable, row.BaseUnits == 2 ? -t.temperatureRange : 0);
            EXPECT_NE(driver->Table().GetConversion(entry.first), nullptr) << "a row without a conversion";
        }
        // Volts, degrees Celsius, revolutions per minute.
        EXPECT_EQ(kinds, (std::map<uint16_t, size_t>{{5, t.voltages}, {2, t.temperatures}, {19, t.fans}}));
    }

    // A key without a row reads as the default record; of two rows for one key the first stands.
    const std::unique_ptr<CChipDriver> nct6793d = Driver("NCT6793D");
    const BankPortData& missing = nct6793d->Table().GetData(0x482);
    EXPECT_EQ(missing.BaseUnits, 0);
    EXPECT_EQ(missing.UnitModifier, 0);
    EXPECT_EQ(missing.MaxReadable, 0);
    EXPECT_EQ(missing.Hysteresis, 0u);
    EXPECT_TRUE(missing.IsLinear);
    EXPECT_NE(nct6793d->Table().GetConversion(0x482), nullptr) << "0x482 is converted although not described";
    const std::unique_ptr<CChipDriver> nct6796d = Driver("NCT6796D");
    EXPECT_EQ(nct6796d->Table().GetData(0x4C0).HwmonInput, "fan2_input");
    EXPECT_EQ(nct6796d->Table().GetData(0x480).HwmonInput, "in0_input");
}

TEST_F(DriverLogic, TranslateAppliesTheConversionOfTheRegister)
{
    const struct
    {
        const char* driver;
        const char* bios;
        uint32_t kind, oem;
        uint64_t in, out;
    } cases[] = {
        // The peak mark (low byte all ones) is 0 only on the registers the table marks.
        {"IT5571", "M7", V, 0x95, 0x03FF, 0},
        {"IT5571", "M7", V, 0x95, 0x03FE, 0x03FE},
        {"IT5571", "M7", V, 0x97, 0x03FF, 0x03FF},
        {"IT5571_v2", "K5", V, 0x95, 0x01FF, 0},
        {"NCT6796D", "K4", V, N(4, 0x80), 0x1FF, 0},
        {"NCT6793D", "M5", V, N(4, 0x80), 0x2FF, 0},
        {"NCT6796D", "K4", V, N(4, 0x80), 0x1F8, 0x1F8},
        // Plain factors apply to voltages only, "always" factors to every kind.
        {"NCT6776", "K3", V, N(0, 0x24), 1000, 12000},
        {"NCT6776", "K3", T, N(0, 0x24), 1000, 1000},
        {"w83627ehf", "K2", T, N(0, 0x24), 1000, 12000},
        {"NCT6776", "K3", V, N(0, 0x26), 2025, 3037},
        {"NCT6793D", "M5", V, N(4, 0x81), 1000, 1375},
        {"NCT6793D", "M5", V, N(4, 0x82), 1600, 3200},  // converted, though not described
        // Divisions and the fan floor apply whatever the kind.
        {"NCT6776", "K3", V, N(0, 0x73), 47999, 47},
        {"NCT6776", "K3", T, N(6, 0x56), 300, 0},
        {"NCT6776", "K3", T, N(6, 0x56), 301, 301},
        // Dividers that only some boards have.
        {"NCT6106", "M2", V, N(0, 0x05), 1000, 12000},
        {"NCT6106", "M2", V, N(0, 0x04), 1000, 5000},
        {"NCT6106", "K4", V, N(0, 0x05), 1000, 1000},
        {"w83627ehf", "K2", V, N(0, 0x26), 2000, 3000},
        {"w83627ehf", "K1", V, N(0, 0x26), 2000, 3000},
        {"w83627ehf", "M1", V, N(0, 0x26), 2000, 3000},
        {"w83627ehf", "M4", V, N(0, 0x26), 2000, 3000},
        {"w83627ehf", "M3", V, N(0, 0x26), 2000, 2000},
        // Fans.
        {"IT5571", "M7", C, 0x93, 300, 0},
        {"IT5571", "M7", C, 0x93, 1000, 2150},
        {"w83627ehf", "K2", C, N(0, 0x28), 5000, 625},
        {"IT5571_v2", "K5", V, 0x9D, 372, 12000},
        // No conversion: the reading passes unchanged. Bit 11 makes an ITE word's top byte a bank.
        {"NCT6796D", "K4", V, N(5, 0x10), 1234, 1234},
        {"w83627ehf", "K2", V, N(5, 0x10), 1234, 1234},
        {"IT5571", "M7", T, 0x01000890, 45, 45},
        {"IT5571", "M7", T, 0x01000090, 45, 45},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.driver) + " " + c.bios + " " + std::to_string(c.oem));
        CPOSSystem::s_instance.SetBiosVersion(c.bios);
        CSMBios_TYPE26 sensor;
        sensor.dwSensorType = c.kind;
        sensor.dwOEMDefined = c.oem;
        EXPECT_EQ(Driver(c.driver)->Translate(&sensor, c.in), c.out);
    }
    const std::vector<std::string> log = m_root.LogMessages();
    EXPECT_THAT(
        log, Contains("IT5571::Translate - Peak detected. Value will pass from [ 0x000003ff - 1023 ] to 0"));
    EXPECT_THAT(log, Contains("NCT6796D::Translate - Internal error - unknown bank 0x05, Port 0x10"));
    EXPECT_THAT(log, Not(Contains(HasSubstr("w83627ehf::Translate - Internal error"))));
    EXPECT_EQ(DriverTest::CountOf(log, "IT5571::Translate - Internal error - unknown bank 0x01, Port 0x90"),
              1u);
    EXPECT_THAT(log, Contains("NCT6776::Translate - BankPort: 24"));
    EXPECT_THAT(log, Contains("IT5571_v2::Translate - Bank 0x00, Port 0x9d, BankPort: 0x9d"));
}

TEST_F(DriverLogic, CimAdjustmentsKeepTheUnknownMarkAndScaleExactly)
{
    NCT6796D driver(nullptr, "", 0, 3, 0);
    EXPECT_EQ(driver.GetCimAdjustedValueForVoltage(0x8000, -3), INT32_MIN);
    EXPECT_EQ(driver.GetCimAdjustedValueForCooling(0x18000, 0), INT32_MIN) << "taken as a 16-bit value";
    EXPECT_EQ(driver.GetCimAdjustedValueForTemperature(0, 0), 0);
    EXPECT_EQ(driver.GetCimAdjustedValueForTemperature(759, 0), 75);
    EXPECT_EQ(driver.GetCimAdjustedValueForVoltage(12000, 0), 12);
    EXPECT_EQ(driver.GetCimAdjustedValueForCooling(1500, -2), 150000);
    // Millivolts stay millivolts, every one of them (1001 mV once came out as 1000).
    for (int mv = 1; mv < 0x10000; ++mv)
        if (mv != 0x8000 && driver.GetCimAdjustedValueForVoltage(mv, -3) != mv)
            FAIL() << mv << " mV became " << driver.GetCimAdjustedValueForVoltage(mv, -3);
    EXPECT_EQ(driver.GetCimAdjustedValueForCooling(65535, -9), INT32_MAX) << "saturates beyond 32 bits";
}

TEST_F(DriverLogic, SensorDescriptionFollowsTheKindOfTheRecord)
{
    NCT6796D driver(nullptr, "", 0, 3, 0);
    // Cooling: the device type (bits 4..0) decides the CIM sensor type.
    const struct
    {
        uint8_t deviceTypeAndStatus;
        uint16_t sensorType;
        const char* other;
    } devices[] = {{0x61, 1, "Unknown"},
                   {0x62, 0, ""},
                   {0x63, 5, ""},
                   {0x67, 5, ""},
                   {0x70, 5, ""},
                   {0x68, 1, "Heat Pipe"},
                   {0x09, 1, "Integrated Refrigeration"},
                   {0x71, 1, "Passive Cooling"},
                   {0x7F, 0, ""}};
    for (const auto& d : devices)
    {
        CSMBios_TYPE27 fan;
        fan.dwSensorType = C;
        fan.dwOEMDefined = N(4, 0xC2);
        fan.byDeviceTypeAndStatus = d.deviceTypeAndStatus;
        fan.wNominalSpeed = 2000;
        CSensorInformation info;
        info.OtherSensorTypeDescription = "left over";
        driver.CopySensorInformation(&fan, info);
        EXPECT_EQ(info.SensorType, d.sensorType) << int(d.deviceTypeAndStatus);
        EXPECT_EQ(info.OtherSensorTypeDescription, d.other) << int(d.deviceTypeAndStatus);
        EXPECT_EQ(info.NominalReading, 2000);
        EXPECT_EQ(info.Resolution, 0x80000000u);
    }

    // Probes: resolution in the thresholds' unit, then in the CIM unit; accuracy as given.
    CSMBios_TYPE26 volts;
    volts.dwSensorType = V;
    volts.dwOEMDefined = N(4, 0x84);
    volts.wAccuracy = 150;
    volts.wLowerNonRecoverable = 0;
    for (const auto& r : {std::make_pair(5, 0u), {0, 0u}, {0x8000, 0x80000000u}, {960, 96u}})
    {
        volts.wResolution = static_cast<uint16_t>(r.first);
        CSensorInformation info;
        driver.CopySensorInformation(&volts, info);
        EXPECT_EQ(info.Resolution, r.second) << r.first;
        EXPECT_EQ(info.Accuracy, 150);
        EXPECT_EQ(info.LowerThresholdFatal, 0);
        EXPECT_EQ(info.UpperThresholdFatal, INT32_MIN);
    }

    // A record of no known kind gets only the table's fields and cannot be read.
    auto* odd = new CSMBios_Sensor;
    odd->wHandle = 0x40;
    odd->dwSensorType = 4;
    odd->dwOEMDefined = N(4, 0x80);
    odd->strDescription = "odd";
    ASSERT_TRUE(driver.m_Sensors.Put(odd));
    driver.m_bInit = true;
    CSensorInformation info;
    info.SensorType = 77;
    ASSERT_EQ(driver.GetSensorInformation(0x40, info), SS_SUCCESS);
    EXPECT_EQ(info.SensorType, 77);
    EXPECT_EQ(info.BaseUnits, 5);
    EXPECT_EQ(info.Description, "odd");
    CSensorReading reading;
    EXPECT_EQ(driver.ReadSensor(0x40, reading), SS_INTERNAL_ERROR);
    EXPECT_EQ(driver.ReadSensor(0x41, reading), SS_INVALID_HANDLE);
    EXPECT_EQ(driver.GetSensorInformation(0x41, info), SS_INVALID_HANDLE);
    const std::vector<std::string> log = m_root.LogMessages();
    EXPECT_THAT(log, Contains("NCT6796D::CopySensorInformation - Unknown sensor type=0x4"));
    EXPECT_THAT(log, Contains("NCT6796D::ReadSensor - Unknown sensor type=0x4"));
    EXPECT_THAT(log, Contains("NCT6796D::ReadSensor - Cannot find sensor 0x00000041"));
}

// The Nuvoton drivers store the register with the bank-select register in front; the ITE ones
// keep the BIOS's word.
TEST(DriverStore, NuvotonRegisterIsRewrittenOnTheWayIn)
{
    for (const auto& c : {std::make_pair("ambercoral", 0x4E040080u), {"falcon", 0x00000095u}})
    {
        SCOPED_TRACE(c.first);
        QelTest::TempSysRoot root;
        const QelSim::Profile profile = QelSim::LoadProfile(QelSim::FindProfile(c.first));
        root.Install(QelSim::BuildImage(profile));
        DriverTest::Driver driver = DriverTest::StartDriver(profile);
        ASSERT_EQ(driver.status, SS_SUCCESS);
        std::list<uint16_t> handles;
        driver.device->GetSensorHandles(handles);
        EXPECT_EQ(driver.device->m_Sensors.Get(handles.front())->dwOEMDefined, c.second);
    }
}
