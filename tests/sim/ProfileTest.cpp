// Machine profiles: what a bad one is told, and that every shipped one describes a machine the
// library recognises, with sensors that point at registers its chip holds.
#include "Profile.h"
#include "POSSystem.h"
#include "PortBus.h"
#include "RawSMBios.h"
#include "SMBiosChipData.h"
#include "SMBiosMachineData.h"
#include "SMBiosSensorData.h"
#include "SuperIoModel.h"
#include "TempSysRoot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>

using namespace QelSim;
using ::testing::HasSubstr;

namespace
{
const char kValid[] = R"({
  "machine": "AmberCoral",
  "bios": {"vendor": "AMI", "version": "K4AC0205", "releaseDate": "10/19/2020"},
  "firmware": "legacy",
  "chips": [{
    "kind": "NCT6796D", "configPort": "0x2E", "monitorBase": "0x0A20",
    "banks": {"4": {"0x80": "0x71", "0xC0": [4, 186]}},
    "description": "Nuvoton NCT6796D",
    "sensors": [
      {"kind": "voltage", "description": "Vcore", "oem": "0x04000080",
       "thresholds": {"lowerCritical": 600, "upperCritical": 1550}},
      {"kind": "fan", "description": "System Fan", "oem": "0x040000C0", "nominal": 1200}
    ]
  }]
})";

std::string Edit(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << "the test's template has no " << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

std::string ErrorOf(const std::string& json)
{
    try
    {
        ParseProfile(json, "test");
    }
    catch (const ProfileError& e)
    {
        return e.what();
    }
    return "(accepted)";
}

// The model query that answers for each machine the profiles name.
bool (CPOSSystem::*ModelQuery(const std::string& machine))() const
{
    static const std::pair<const char*, bool (CPOSSystem::*)() const> kQueries[] = {
        {"CedarHi", &CPOSSystem::IsCedarHi},     {"Osprey", &CPOSSystem::IsOsprey},
        {"Fenwick", &CPOSSystem::IsFenwick},     {"JetIvory", &CPOSSystem::IsJetIvory},
        {"LarchMoss", &CPOSSystem::IsLarchMoss}, {"AmberCoral", &CPOSSystem::IsAmberCoral},
        {"Wren", &CPOSSystem::IsWren},           {"Falcon", &CPOSSystem::IsFalcon},
    };
    for (const auto& q : kQueries)
        if (machine == q.first)
            return q.second;
    return nullptr;
}

// The chip kind each Type 34 description promises to the driver that the description selects.
std::string KindFor(const std::string& description)
{
    static const std::pair<const char*, const char*> kDescriptions[] = {
        {"Nuvoton W83627DHG-P", "W83627DHG-P"},
        {"Nuvoton W83627DHG-PT", "W83627DHG-PT"},
        {"Nuvoton NCT6106D", "NCT6106D"},
        {"Nuvoton NCT6776F", "NCT6776F"},
        {"Nuvoton NCT6793D", "NCT6793D"},
        {"Nuvoton NCT6796D", "NCT6796D"},
        {"IT 5571", "IT5571"},
        {"ITE IT5571", "IT5571"},
    };
    for (const auto& d : kDescriptions)
        if (description == d.first)
            return d.second;
    return "";
}

// One register as a driver reaches it on the wire: the Super I/O's monitor base from its
// configuration space, then bank and index; or the EC's index/data pair.
uint8_t ReadOverTheWire(PortBus& bus, const ChipProfile& chip, uint8_t bank, uint8_t reg)
{
    if (chip.family == ChipProfile::Family::ItEc)
    {
        bus.Write(chip.port, reg);
        return bus.Read(chip.port + 1);
    }
    const uint16_t ef = chip.port;
    auto get = [&](uint8_t index)
    {
        bus.Write(ef, index);
        return bus.Read(ef + 1);
    };
    bus.Write(ef, 0x87);
    bus.Write(ef, 0x87);
    bus.Write(ef, 0x07);
    bus.Write(ef + 1, 0x0B);
    const uint16_t base = static_cast<uint16_t>((get(0x60) << 8 | get(0x61)) & 0xFFF8);
    bus.Write(ef, 0xAA);
    bus.Write(base + 5, 0x4E);
    bus.Write(base + 6, bank);
    bus.Write(base + 5, reg);
    return bus.Read(base + 6);
}

class ShippedProfile : public ::testing::TestWithParam<std::string>
{
protected:
    void SetUp() override { profile = LoadProfile(GetParam()); }
    Profile profile;
};

std::string ProfileName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param.substr(info.param.find_last_of('/') + 1);
    return name.substr(0, name.find('.'));
}
}  // namespace

TEST(Profile, ErrorsNameTheField)
{
    struct Case
    {
        std::string json;
        std::string message;
    };
    const Case cases[] = {
        {"{\"machine\": ", "not valid JSON"},
        // Valid syntax, but a number no double holds: the parser's range error is a profile error too.
        {"99.0e9999", "not valid JSON"},
        {Edit(kValid, "\"nominal\": 1200", "\"nominal\": 1e400"), "not valid JSON"},
        {Edit(kValid, "\"bios\"", "\"BIOS\""), "BIOS: unknown field"},
        {Edit(kValid, "\"firmware\": \"legacy\"", "\"firmware\": \"bios\""),
         "firmware: expected \"uefi\" or"},
        {Edit(kValid, "\"NCT6796D\", \"configPort\"", "\"NCT6795D\", \"configPort\""),
         "chips[0].kind: unknown chip \"NCT6795D\""},
        {Edit(kValid, "\"configPort\": \"0x2E\"", "\"configPort\": \"0x2F\""),
         "chips[0].configPort: a Super I/O"},
        {Edit(kValid, "\"configPort\": \"0x2E\", ", ""), "chips[0].configPort: missing"},
        {Edit(kValid, "\"0x04000080\"", "\"0x0400008G\""), "chips[0].sensors[0].oem: expected a number"},
        {Edit(kValid, "\"kind\": \"fan\"", "\"kind\": \"current\""), "chips[0].sensors[1].kind: expected"},
        {Edit(kValid, "\"0x80\": \"0x71\"", "\"0x80\": 256"),
         "chips[0].banks.4.0x80: expected a number from 0 to 0xFF"},
        {Edit(kValid, "\"0x80\": \"0x71\"", "\"0x180\": 1"), "chips[0].banks.4.0x180: expected a number"},
        {Edit(kValid, "[4, 186]", "[4, 186, -1]"), "chips[0].banks.4.0xC0[2]: expected a number"},
        {Edit(kValid, "\"upperCritical\"", "\"upperCritcal\""),
         "chips[0].sensors[0].thresholds.upperCritcal: unknown field"},
        {Edit(kValid, "\"nominal\": 1200", "\"resolution\": 10"),
         "chips[0].sensors[1].resolution: not a field of a fan"},
        {Edit(kValid, "\"monitorBase\": \"0x0A20\",", "\"monitorBase\": \"0x0A20\", \"indexPort\": 1,"),
         "chips[0].indexPort: unknown field"},
        {Edit(kValid, "\"version\": \"K4AC0205\"", "\"version\": \"K\""),
         "bios.version: the first two characters"},
        {Edit(kValid, "\"chips\": [{",
              "\"chips\": [{\"kind\": \"IT5571\", \"indexPort\": \"0x2F\", \"description\": "
              "\"IT 5571\", \"sensors\": []}, {"),
         "chips[1]: port 0x2F is taken by chips[0]"},
    };
    for (const Case& c : cases)
        EXPECT_THAT(ErrorOf(c.json), HasSubstr(c.message)) << c.json;
    const std::string ssd = R"({"serial": "S1", "model": "M", "firmware": "F", "temperature": 30})";
    const auto withSsds = [&](const std::string& ssds)
    { return Edit(kValid, "\"firmware\"", "\"ssds\": [" + ssds + "], \"firmware\""); };
    const Case ssdCases[] = {
        {withSsds(Edit(ssd, "\"S1\"", "\"123456789012345678901\"")), "ssds[0].serial: at most 20 characters"},
        {withSsds(Edit(ssd, "30}", "30, \"device\": \"nvme0n1\"}")),
         "ssds[0].device: expected a controller name"},
        {withSsds(ssd + ", " + Edit(ssd, "30}", "30, \"device\": \"nvme0\"}")),
         "ssds[1].device: \"nvme0\" is named twice"},
        {withSsds(Edit(ssd, "30", "-274")),
         "ssds[0].temperature: expected a whole number from -273 to 65262"},
        {withSsds(Edit(ssd, "30}", "30, \"fail\": \"always\"}")), "ssds[0].fail: expected \"identify\""},
        {withSsds(Edit(ssd, ", \"temperature\": 30", "")), "ssds[0].temperature: missing"},
    };
    for (const Case& c : ssdCases)
        EXPECT_THAT(ErrorOf(c.json), HasSubstr(c.message)) << c.json;
}

TEST(Profile, SsdsAreNamedByPositionUnlessTheyNameThemselves)
{
    const std::string json =
        Edit(kValid, "\"firmware\"",
             R"("ssds": [{"serial": "A", "model": "M", "firmware": "F", "temperature": "-20"},)"
             R"( {"device": "nvme5", "serial": "B", "model": "M", "firmware": "F",)"
             R"(  "temperature": 45, "overThreshold": 80, "underThreshold": -10, "namespaces": 2,)"
             R"(  "fail": "health"}], "firmware")");
    const Profile profile = ParseProfile(json, "test");
    ASSERT_EQ(profile.ssds.size(), 2u);
    EXPECT_EQ(profile.ssds[0].device, "nvme0");
    EXPECT_EQ(profile.ssds[0].temperature, -20);
    EXPECT_EQ(profile.ssds[0].namespaces, 1u);
    EXPECT_EQ(profile.ssds[0].failure, SsdProfile::Failure::None);
    EXPECT_EQ(profile.ssds[1].device, "nvme5");
    EXPECT_EQ(profile.ssds[1].overThreshold, 80);
    EXPECT_EQ(profile.ssds[1].underThreshold, -10);
    EXPECT_EQ(profile.ssds[1].namespaces, 2u);
    EXPECT_EQ(profile.ssds[1].failure, SsdProfile::Failure::Health);
}

TEST(Profile, NumbersRegistersAndRevisionAreReadAsWritten)
{
    const std::string json =
        Edit(Edit(kValid, "\"monitorBase\": \"0x0A20\"", "\"monitorBase\": 2592, \"revision\": 7"),
             "\"oem\": \"0x040000C0\"", "\"oem\": \"67109056\"");
    const Profile profile = ParseProfile(json, "test");
    ASSERT_EQ(profile.chips.size(), 1u);
    const ChipProfile& chip = profile.chips[0];
    EXPECT_EQ(chip.monitorBase, 0x0A20);
    EXPECT_EQ(chip.deviceId, 0xD427);
    EXPECT_EQ(chip.board.address, 0x0A20u);
    EXPECT_EQ(chip.board.sensors[1].oem, 0x040000C0u);
    EXPECT_EQ(chip.banks.at(4).at(0xC0), 4);
    EXPECT_EQ(chip.banks.at(4).at(0xC1), 186);
    ASSERT_TRUE(chip.board.sensors[0].thresholds.has_value());
    EXPECT_EQ((*chip.board.sensors[0].thresholds)[2], 600);
    EXPECT_EQ((*chip.board.sensors[0].thresholds)[0], kUnknownWord);
}

TEST(Profile, AnEventLogNamesItsProbeByDescription)
{
    const std::string withLog =
        Edit(kValid, "\"firmware\"",
             "\"eventLog\": {\"sample\": {\"probe\": \"PROBE\"}, \"status\": 3}, \"firmware\"");
    const Profile profile = ParseProfile(withLog, "test");
    ASSERT_TRUE(profile.eventLog.has_value());
    EXPECT_EQ(profile.eventLog->status, 3);
    EXPECT_EQ(profile.eventLog->address, kSampleEventLogAddress);
    try
    {
        BuildImage(profile);
        FAIL() << "a log naming no sensor was built";
    }
    catch (const ProfileError& e)
    {
        EXPECT_EQ(e.Field(), "eventLog.sample.probe");
    }
    EXPECT_THAT(ErrorOf(Edit(kValid, "\"firmware\"", "\"eventLog\": {\"records\": []}, \"firmware\"")),
                HasSubstr("eventLog.records: unknown field"));
}

TEST(Profile, LoadNamesTheFileAndFindsShippedProfilesByName)
{
    EXPECT_THAT(ErrorOf("[]"), HasSubstr("expected an object"));
    try
    {
        LoadProfile("/nonexistent/qel.json");
        FAIL();
    }
    catch (const ProfileError& e)
    {
        EXPECT_THAT(e.what(), HasSubstr("/nonexistent/qel.json"));
    }
    EXPECT_EQ(FindProfile("falcon"), ProfileDirectory() + "/falcon.json");
    EXPECT_EQ(FindProfile("./mine.json"), "./mine.json");
}

TEST(Profile, EveryChipDriverHasAShippedMachine)
{
    std::set<std::string> descriptions;
    for (const std::string& path : ShippedProfiles())
        for (const ChipProfile& chip : LoadProfile(path).chips)
            descriptions.insert(chip.board.description);
    for (const char* needed : {"Nuvoton W83627DHG-P", "Nuvoton NCT6106D", "Nuvoton NCT6776F",
                               "Nuvoton NCT6793D", "Nuvoton NCT6796D", "IT 5571", "ITE IT5571"})
        EXPECT_EQ(descriptions.count(needed), 1u) << needed;
}

TEST_P(ShippedProfile, TheLibraryRecognisesTheMachineAndReadsItsBoard)
{
    QelTest::TempSysRoot root;
    root.Install(BuildImage(profile));
    CRawSMBios raw;
    ASSERT_TRUE(raw.Initialise());

    CSMBiosMachineData machine;
    ASSERT_TRUE(machine.Initialise(raw));
    EXPECT_EQ(machine.m_Type00.strVersion, profile.bios.version);
    CPOSSystem::s_instance.SetBiosVersion(machine.m_Type00.strVersion);
    const auto query = ModelQuery(profile.machine);
    ASSERT_NE(query, nullptr) << "no model called " << profile.machine;
    EXPECT_TRUE((CPOSSystem::s_instance.*query)()) << profile.bios.version << " is not a " << profile.machine;

    CSMBiosChipData chips;
    ASSERT_TRUE(chips.Initialise(raw));
    ASSERT_EQ(chips.m_vDevices.size(), profile.chips.size());
    for (size_t i = 0; i < profile.chips.size(); ++i)
    {
        const ChipProfile& chip = profile.chips[i];
        const CSMBios_TYPE34& device = *chips.m_vDevices[i];
        EXPECT_EQ(device.strDescription, chip.board.description);
        EXPECT_EQ(KindFor(device.strDescription).substr(0, 6), chip.kind.substr(0, 6))
            << "the description selects a driver for another chip";
        EXPECT_EQ(device.byAddressType, 3);
        if (chip.family == ChipProfile::Family::ItEc)
        {
            EXPECT_EQ(device.dwAddress, chip.port) << "the EC driver takes its index port from SMBIOS";
        }

        CSMBiosSensorData sensors(device.wHandle);
        ASSERT_TRUE(sensors.Initialise(raw));
        ASSERT_EQ(sensors.m_vThisChipSensors.size(), chip.board.sensors.size());
        for (size_t s = 0; s < chip.board.sensors.size(); ++s)
        {
            const BoardSensor& expected = chip.board.sensors[s];
            const CSMBios_Sensor& read = *sensors.m_vThisChipSensors[s];
            EXPECT_EQ(read.strDescription, expected.name);
            EXPECT_EQ(read.dwOEMDefined, expected.oem) << expected.name;
            EXPECT_EQ(read.wUpperCritical, expected.thresholds ? (*expected.thresholds)[3] : kUnknownWord);
        }
    }
}

TEST_P(ShippedProfile, EverySensorPointsAtARegisterItsChipHolds)
{
    PortBus bus;
    AttachChips(profile, bus);
    for (const ChipProfile& chip : profile.chips)
    {
        for (const BoardSensor& sensor : chip.board.sensors)
        {
            const uint8_t bank = chip.family == ChipProfile::Family::SuperIo ? sensor.oem >> 24 : 0;
            const uint8_t reg = sensor.oem & 0xFF;
            const auto inBank = chip.banks.find(bank);
            EXPECT_TRUE(inBank != chip.banks.end() && inBank->second.count(reg) == 1)
                << sensor.name << " points at bank " << int(bank) << " register " << int(reg)
                << ", which the profile leaves empty";
            EXPECT_NE(ReadOverTheWire(bus, chip, bank, reg), 0) << sensor.name;
        }
    }
}

TEST_P(ShippedProfile, ThresholdsAreOrderedAroundTheNominalValue)
{
    for (const ChipProfile& chip : profile.chips)
    {
        for (const BoardSensor& sensor : chip.board.sensors)
        {
            if (!sensor.thresholds)
                continue;
            const Thresholds& t = *sensor.thresholds;
            const std::optional<uint16_t> nominal = sensor.kind == BoardSensor::Kind::Cooling
                                                        ? sensor.cooling.nominalSpeed
                                                        : sensor.probe.nominal;
            // Lower non-recoverable, critical, non-critical, nominal, then the upper ones.
            std::vector<uint16_t> ladder = {t[4], t[2], t[0]};
            if (nominal)
                ladder.push_back(*nominal);
            for (uint16_t upper : {t[1], t[3], t[5]})
                ladder.push_back(upper);
            uint16_t previous = 0;
            for (uint16_t value : ladder)
            {
                if (value == kUnknownWord)
                    continue;
                EXPECT_LE(previous, value) << sensor.name;
                previous = value;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedProfile, ::testing::ValuesIn(ShippedProfiles()), ProfileName);
