// Management devices, sensor structures and the association of sensors to their chip, over
// tables held in exactly-sized blocks (AddressSanitizer builds catch any read past the end).
#include "SMBiosChipData.h"
#include "SMBiosSensorData.h"
#include "SMBiosTables.h"
#include "SensorStructures.h"
#include "TempSysRoot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace QelImage;
using namespace QelSim;
using QelTest::Concat;
using QelTest::RawHolding;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace
{
const Thresholds kVoltageLimits = {11400, 12600, 11000, 13000, 10000, 14000};
const Thresholds kTemperatureLimits = {50, 800, 20, 900, 0, 1000};

Structure Bios()
{
    BiosInformation bios;
    bios.vendor = "Vendor";
    bios.version = "K4 AMBER 2.0";
    return MakeBiosInformation(bios, 0);
}

// A table from the structures, with Type 0 first and End-of-Table last.
std::vector<uint8_t> Table(std::vector<Structure> structures)
{
    structures.insert(structures.begin(), Bios());
    structures.push_back(MakeEndOfTable(0xFEFF));
    return Concat(structures);
}

ProbeFields Probe(const char* description, uint32_t oem, std::optional<uint16_t> nominal = std::nullopt)
{
    ProbeFields p;
    p.description = description;
    p.maximum = 13200;
    p.minimum = 0;
    p.resolution = 10;
    p.tolerance = 100;
    p.accuracy = 150;
    p.oem = oem;
    p.nominal = nominal;
    return p;
}

std::vector<uint16_t> Handles(const std::vector<CSMBios_Sensor*>& sensors)
{
    std::vector<uint16_t> handles;
    for (const CSMBios_Sensor* s : sensors)
        handles.push_back(s->wHandle);
    return handles;
}

Thresholds LimitsOf(const CSMBios_Sensor& s)
{
    return {s.wLowerNonCritical, s.wUpperNonCritical,    s.wLowerCritical,
            s.wUpperCritical,    s.wLowerNonRecoverable, s.wUpperNonRecoverable};
}

const Thresholds kUnknownLimits = {0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000};

class SensorDataTest : public ::testing::Test
{
protected:
    QelTest::TempSysRoot m_root;  // captures the log at every level
};
}  // namespace

TEST_F(SensorDataTest, ManagementDevicesInTableOrderAfterTheFirstStructure)
{
    // The first structure is always taken as Type 0, so a Type 34 there is not collected.
    auto raw = RawHolding(
        Concat({MakeManagementDevice(0x10, "First", 3, 0x290, 3),
                MakeManagementDevice(0x11, "Nuvoton NCT6796D", 0x03, 0x0A20, 0x03),
                MakeProbe(26, 0x12, Probe("V", 1)), MakeManagementDevice(0x13, "ITE IT5571", 5, 0x62, 1),
                MakeManagementDevice(0x14, "", 3, 0, 3), MakeEndOfTable(0x15)}));
    CSMBiosChipData chips;
    ASSERT_TRUE(chips.Initialise(*raw));
    ASSERT_EQ(chips.m_vDevices.size(), 3u);
    const CSMBios_TYPE34& nuvoton = *chips.m_vDevices[0];
    EXPECT_EQ(nuvoton.wHandle, 0x11);
    EXPECT_EQ(nuvoton.strDescription, "Nuvoton NCT6796D");
    EXPECT_EQ(nuvoton.dwAddress, 0x0A20u);
    EXPECT_EQ(nuvoton.byAddressType, 3);
    EXPECT_EQ(nuvoton.byDeviceType, 3);
    EXPECT_EQ(nuvoton.byLength, 0x0B);
    EXPECT_EQ(chips.m_vDevices[1]->strDescription, "ITE IT5571");
    EXPECT_EQ(chips.m_vDevices[1]->byAddressType, 1);
    EXPECT_EQ(chips.m_vDevices[2]->strDescription, "");  // string number 0
    EXPECT_THAT(m_root.LogMessages(),
                Contains("CSMBiosChipData::Initialise - Initialised Ok - #device(s)=3"));

    // Initialised once: a second call changes nothing.
    EXPECT_TRUE(chips.Initialise(*raw));
    EXPECT_EQ(chips.m_vDevices.size(), 3u);
}

// AMI firmware declares its 0x0B-byte Management Devices 0x10 long. When the five bytes from 0x0B
// are text, the strings start there, as dmidecode reads them; otherwise the declared length holds.
TEST_F(SensorDataTest, ManagementDeviceOfAmiLengthIsReadAsDmidecodeReadsIt)
{
    Structure ami = MakeManagementDevice(0x11, "LM78-2", 4, 0x0290, 3);
    ami.length = 0x10;
    Structure longer(34, 0x12);
    longer.String("Nuvoton NCT6796D").Byte(3).DWord(0x0A20).Byte(3).Bytes({0, 0, 0, 0, 0});
    ASSERT_EQ(longer.Encode()[1], 0x10);
    auto raw = RawHolding(Table({ami, longer}));
    CSMBiosChipData chips;
    ASSERT_TRUE(chips.Initialise(*raw));
    ASSERT_EQ(chips.m_vDevices.size(), 2u);
    EXPECT_EQ(chips.m_vDevices[0]->strDescription, "LM78-2");
    EXPECT_EQ(chips.m_vDevices[0]->byLength, 0x10);
    EXPECT_EQ(chips.m_vDevices[0]->dwAddress, 0x0290u);
    EXPECT_EQ(chips.m_vDevices[1]->strDescription, "Nuvoton NCT6796D");
    EXPECT_THAT(m_root.LogMessages(),
                Contains("CSMBiosChipData::StoreType34 - Handle 0x0011: length 0x10 read as 0x0b"));
    EXPECT_THAT(m_root.LogMessages(), Not(Contains(HasSubstr("Handle 0x0012: length"))));
}

TEST_F(SensorDataTest, TableWithoutManagementDeviceFails)
{
    auto raw = RawHolding(Table({MakeProbe(26, 0x20, Probe("V", 1))}));
    CSMBiosChipData chips;
    EXPECT_FALSE(chips.Initialise(*raw));
    EXPECT_THAT(m_root.LogMessages(), Contains("CSMBiosChipData::Initialise - No Type 34 devices found"));
}

TEST_F(SensorDataTest, TwoChipsEachGetTheirOwnSensorsInComponentOrder)
{
    // Components are listed in another order than the probes, and interleave the two chips.
    Structure v12 = MakeProbe(26, 0x30, Probe("probe 12V", 0x0120, 12000));
    Structure v5 = MakeProbe(26, 0x31, Probe("probe 5V", 0x0121));
    Structure cpu = MakeProbe(28, 0x32, Probe("probe CPU", 0x0230));
    CoolingFields fanFields;
    fanFields.temperatureProbe = 0x32;
    fanFields.oem = 0x0340;
    fanFields.nominalSpeed = 2400;
    Structure fan = MakeCoolingDevice(0x33, fanFields);
    auto raw = RawHolding(
        Table({MakeManagementDevice(0x10, "Nuvoton NCT6796D", 3, 0x290, 3),
               MakeManagementDevice(0x11, "ITE IT5571", 3, 0x62, 3), v12, v5, cpu, fan,
               MakeThresholdData(0x40, kVoltageLimits), MakeThresholdData(0x41, kTemperatureLimits),
               MakeComponent(0x50, "CPU Temperature", 0x10, 0x32, 0x41),
               MakeComponent(0x51, "EC 5V", 0x11, 0x31, 0x40), MakeComponent(0x52, "12V", 0x10, 0x30, 0x40),
               MakeComponent(0x53, "CPU Fan", 0x10, 0x33, 0xFFFF)}));

    CSMBiosSensorData first(0x10);
    ASSERT_TRUE(first.Initialise(*raw));
    EXPECT_THAT(Handles(first.m_vThisChipSensors), ElementsAre(0x32, 0x30, 0x33));
    EXPECT_EQ(first.m_vAllSensors.size(), 4u);
    EXPECT_EQ(first.m_vAllComponents.size(), 4u);
    EXPECT_EQ(first.m_vAllThresholds.size(), 2u);

    const CSMBios_Sensor& temperature = *first.m_vThisChipSensors[0];
    EXPECT_EQ(temperature.dwSensorType, SENSOR_KIND_TEMPERATURE);
    EXPECT_EQ(temperature.strDescription, "CPU Temperature");
    EXPECT_EQ(LimitsOf(temperature), kTemperatureLimits);
    EXPECT_EQ(temperature.dwOEMDefined, 0x0230u);

    // Both chips' 12V and 5V share one Type 36 structure.
    const auto& volts = static_cast<const CSMBios_TYPE26&>(*first.m_vThisChipSensors[1]);
    EXPECT_EQ(volts.dwSensorType, SENSOR_KIND_VOLTAGE);
    EXPECT_EQ(volts.strDescription, "12V");
    EXPECT_EQ(LimitsOf(volts), kVoltageLimits);
    EXPECT_EQ(volts.wNominalValue, 12000);
    EXPECT_EQ(volts.byLength, 0x16);
    EXPECT_EQ(volts.wMaximumValue, 13200);
    EXPECT_EQ(volts.wResolution, 10);
    EXPECT_EQ(volts.wTolerance, 100);
    EXPECT_EQ(volts.wAccuracy, 150);
    EXPECT_EQ(volts.byLocationAndStatus, 0x67);

    const auto& cooling = static_cast<const CSMBios_TYPE27&>(*first.m_vThisChipSensors[2]);
    EXPECT_EQ(cooling.dwSensorType, SENSOR_KIND_COOLING);
    EXPECT_EQ(cooling.strDescription, "CPU Fan");
    EXPECT_EQ(cooling.wNominalSpeed, 2400);
    EXPECT_EQ(cooling.wTemperatureProbeHandle, 0x32);
    EXPECT_EQ(cooling.dwOEMDefined, 0x0340u);
    EXPECT_EQ(LimitsOf(cooling), kUnknownLimits);  // threshold handle 0xFFFF

    CSMBiosSensorData second(0x11);
    ASSERT_TRUE(second.Initialise(*raw));
    EXPECT_THAT(Handles(second.m_vThisChipSensors), ElementsAre(0x31));
    EXPECT_EQ(second.m_vThisChipSensors[0]->strDescription, "EC 5V");
    EXPECT_EQ(LimitsOf(*second.m_vThisChipSensors[0]), kVoltageLimits);
    EXPECT_EQ(static_cast<const CSMBios_TYPE26&>(*second.m_vThisChipSensors[0]).wNominalValue, 0x8000);

    CSMBiosSensorData nobody(0x12);
    EXPECT_FALSE(nobody.Initialise(*raw));
    EXPECT_THAT(m_root.LogMessages(),
                Contains("CSMBiosSensorData::Initialise - No sensors found for this chip device"));
}

TEST_F(SensorDataTest, BrokenAssociationsAreSkippedWithTheirMessages)
{
    auto raw = RawHolding(Table({
        MakeManagementDevice(0x10, "Nuvoton NCT6106D", 3, 0x290, 3),
        MakeProbe(26, 0x30, Probe("probe A", 1)),
        MakeProbe(28, 0x31, Probe("probe B", 2)),
        MakeProbe(26, 0x32, Probe("probe C", 3)),
        MakeProbe(26, 0x33, Probe("unnamed", 4)),  // named by no component: not this chip's
        MakeComponent(0x50, "orphan", 0xFFFF, 0x30, 0xFFFF),
        MakeComponent(0x51, "no sensor", 0x10, 0xFFFF, 0xFFFF),
        MakeComponent(0x52, "dangling sensor", 0x10, 0x77, 0xFFFF),
        MakeComponent(0x53, "A", 0x10, 0x30, 0x99),   // threshold handle names nothing
        MakeComponent(0x54, "", 0x10, 0x31, 0xFFFF),  // an empty name replaces the probe's
        MakeComponent(0x55, "C twice", 0x10, 0x32, 0xFFFF),
        MakeComponent(0x56, "C again", 0x10, 0x32, 0xFFFF),
    }));
    CSMBiosSensorData data(0x10);
    ASSERT_TRUE(data.Initialise(*raw));
    // A sensor named by two components is listed twice (the store then refuses the second).
    EXPECT_THAT(Handles(data.m_vThisChipSensors), ElementsAre(0x30, 0x31, 0x32, 0x32));
    EXPECT_EQ(data.m_vThisChipSensors[0]->strDescription, "A");
    EXPECT_EQ(LimitsOf(*data.m_vThisChipSensors[0]), kUnknownLimits);
    EXPECT_EQ(data.m_vThisChipSensors[1]->strDescription, "");
    EXPECT_EQ(data.m_vThisChipSensors[2]->strDescription, "C again");

    const std::vector<std::string> log = m_root.LogMessages();
    const std::string label = "CSMBiosSensorData::GetThisChipSensors";
    EXPECT_THAT(log, Contains(label + " - Type 35: 0x0050 - No Type 34"));
    EXPECT_THAT(log, Contains(label + " - Type 35(0x0051) - Sensor handle=0xffff"));
    EXPECT_THAT(log, Contains(label + " - Type 35(0x0052) - No Sensor found for Sensor handle 0x0077"));
    EXPECT_THAT(log, Contains(label + " - Type 35(0x0053) - No Threshold found for Threshold handle 0x0099"));
    EXPECT_THAT(log, Contains("CSMBiosSensorData::GetThresholdForHandle - m_vAllThresholds is empty"));
    EXPECT_THAT(log, Contains(label + " - Type 35(0x0055) - Threshold handle=0xffff"));
    EXPECT_THAT(log, Contains(label + " - Type 2 is Temperature").Times(0));  // kinds go by number
    EXPECT_THAT(log, Contains(label + " - Type 3 is Temperature"));
    EXPECT_THAT(log, Contains(label + " - Found sensor of type 3 for handle 0x0031"));
    EXPECT_THAT(log,
                Contains(label + " - Sensor(0x0030) <--- Type 35(0x0053) ---> Type 36(0x0099)").Times(0));
}

TEST_F(SensorDataTest, AttachedThresholdsAreLoggedAsALink)
{
    auto raw = RawHolding(Table({MakeManagementDevice(0x10, "Nuvoton NCT6793D", 3, 0x290, 3),
                                 MakeProbe(26, 0x30, Probe("p", 1)), MakeThresholdData(0x40, kVoltageLimits),
                                 MakeComponent(0x50, "Vcore", 0x10, 0x30, 0x40)}));
    CSMBiosSensorData data(0x10);
    ASSERT_TRUE(data.Initialise(*raw));
    EXPECT_THAT(m_root.LogMessages(),
                Contains("CSMBiosSensorData::GetThisChipSensors - Sensor(0x0030) <--- Type 35(0x0050) ---> "
                         "Type 36(0x0040)"));
    EXPECT_THAT(m_root.LogMessages(),
                Contains("CSMBiosSensorData::Initialise - Initialised Ok - #sensor(s)=1"));
}

TEST_F(SensorDataTest, ProbesWithoutComponentsOrWithoutAnySensor)
{
    {
        auto raw = RawHolding(Table({MakeManagementDevice(0x10, "Nuvoton NCT6793D", 3, 0x290, 3),
                                     MakeProbe(26, 0x30, Probe("p", 1))}));
        CSMBiosSensorData data(0x10);
        EXPECT_FALSE(data.Initialise(*raw));
        EXPECT_THAT(m_root.LogMessages(),
                    Contains("CSMBiosSensorData::Initialise - No sensors found for this chip device"));
    }
    {
        auto raw = RawHolding(Table({MakeManagementDevice(0x10, "Nuvoton NCT6793D", 3, 0x290, 3),
                                     MakeComponent(0x50, "lonely", 0x10, 0x30, 0xFFFF)}));
        CSMBiosSensorData data(0x10);
        EXPECT_FALSE(data.Initialise(*raw));
        EXPECT_THAT(m_root.LogMessages(),
                    Contains("CSMBiosSensorData::Initialise - No sensors found for any chip device"));
    }
}

TEST_F(SensorDataTest, FormattedLengthDecidesNominalValues)
{
    CoolingFields shortFan;  // 0x0C bytes: no nominal speed
    CoolingFields longFan;
    longFan.nominalSpeed = 3000;
    auto raw = RawHolding(
        Table({MakeProbe(28, 0x30, Probe("t short", 1)), MakeProbe(28, 0x31, Probe("t long", 2, 450)),
               MakeCoolingDevice(0x32, shortFan), MakeCoolingDevice(0x33, longFan)}));
    CSMBiosSensorData data(0x10);
    data.Initialise(*raw);
    ASSERT_EQ(data.m_vAllSensors.size(), 4u);
    const auto& shortProbe = static_cast<const CSMBios_TYPE28&>(*data.m_vAllSensors[0]);
    const auto& longProbe = static_cast<const CSMBios_TYPE28&>(*data.m_vAllSensors[1]);
    EXPECT_EQ(shortProbe.byLength, 0x14);
    EXPECT_EQ(shortProbe.wNominalValue, 0x8000);
    EXPECT_EQ(shortProbe.strDescription, "t short");  // the probe's own, before any association
    EXPECT_EQ(longProbe.byLength, 0x16);
    EXPECT_EQ(longProbe.wNominalValue, 450);
    EXPECT_EQ(static_cast<const CSMBios_TYPE27&>(*data.m_vAllSensors[2]).byLength, 0x0C);
    EXPECT_EQ(static_cast<const CSMBios_TYPE27&>(*data.m_vAllSensors[2]).wNominalSpeed, 0x8000);
    EXPECT_EQ(static_cast<const CSMBios_TYPE27&>(*data.m_vAllSensors[3]).wNominalSpeed, 3000);
    EXPECT_EQ(data.m_vAllSensors[2]->strDescription, "");  // cooling devices are named by components only
}

TEST_F(SensorDataTest, StructuresCutByTheTableEndReadOnlyWhatIsInside)
{
    // Each structure is the last of its table, which ends partway through its fields.
    struct Case
    {
        Structure structure;
        size_t keep;  // bytes of the structure inside the table
    };
    ProbeFields fields = Probe("x", 0x11223344, 500);
    Structure probe = MakeProbe(26, 0x30, fields);
    Structure component = MakeComponent(0x50, "c", 0x10, 0x30, 0x40);
    Structure limits = MakeThresholdData(0x40, kVoltageLimits);
    CoolingFields fanFields;
    fanFields.nominalSpeed = 1;
    Structure fan = MakeCoolingDevice(0x33, fanFields);

    for (size_t keep = 4; keep <= 0x16; ++keep)
    {
        SCOPED_TRACE(keep);
        std::vector<uint8_t> table = Concat({Bios(), probe});
        table.resize(table.size() - probe.Encode().size() + keep);
        auto raw = RawHolding(table);
        CSMBiosSensorData data(0x10);
        data.Initialise(*raw);
        // The walk stops before a structure whose strings do not fit; whatever it stored must
        // show unknown for the words that were cut off.
        for (const CSMBios_Sensor* s : data.m_vAllSensors)
        {
            const auto& p = static_cast<const CSMBios_TYPE26&>(*s);
            if (keep < 0x08)
            {
                EXPECT_EQ(p.wMaximumValue, 0x8000);
            }
            if (keep < 0x16)
            {
                EXPECT_EQ(p.wNominalValue, 0x8000);
            }
        }
    }

    // The collection reads a structure cut inside its formatted area when it is handed one.
    class Exposed : public CSMBiosSensorData
    {
    public:
        Exposed() : CSMBiosSensorData(0x10) {}
        void Point(const CRawSMBios& raw)
        {
            m_pRawBytes = raw.m_pBytes;
            m_dwRawLength = raw.m_dwLength;
        }
    };
    for (const Case& c : {Case{probe, 0x0B}, Case{component, 0x08}, Case{limits, 0x09}, Case{fan, 0x0D}})
    {
        std::vector<uint8_t> bytes = c.structure.Encode();
        bytes.resize(c.keep);
        auto raw = RawHolding(bytes);
        Exposed data;
        data.Point(*raw);
        switch (c.structure.type)
        {
        case 26:
        {
            CSMBios_TYPE26 r;
            data.StoreType26(r, raw->m_pBytes);
            EXPECT_EQ(r.wMaximumValue, 13200);
            EXPECT_EQ(r.wResolution, 0x8000);  // its second byte lies beyond the end
            EXPECT_EQ(r.wAccuracy, 0x8000);
            EXPECT_EQ(r.dwOEMDefined, 0u);
            EXPECT_EQ(r.wNominalValue, 0x8000);
            EXPECT_EQ(r.strDescription, "");
            break;
        }
        case 35:
        {
            CSMBios_TYPE35 r;
            data.StoreType35(r, raw->m_pBytes);
            EXPECT_EQ(r.wManagementDeviceHandle, 0x10);
            EXPECT_EQ(r.wComponentHandle, 0xFFFF);  // cut handles name nothing
            EXPECT_EQ(r.wThresholdHandle, 0xFFFF);
            break;
        }
        case 36:
        {
            CSMBios_TYPE36 r;
            data.StoreType36(r, raw->m_pBytes);
            EXPECT_EQ(r.wLowerNonCritical, kVoltageLimits[0]);
            EXPECT_EQ(r.wUpperNonCritical, kVoltageLimits[1]);
            EXPECT_EQ(r.wLowerCritical, 0x8000);
            EXPECT_EQ(r.wUpperNonRecoverable, 0x8000);
            break;
        }
        case 27:
        {
            CSMBios_TYPE27 r;
            data.StoreType27(r, raw->m_pBytes);
            EXPECT_EQ(r.wNominalSpeed, 0x8000);
            EXPECT_EQ(r.wTemperatureProbeHandle, 0xFFFF);
            break;
        }
        }
    }
}
