// `qelsensors cim` as a technician runs it: instances as MOF text or JSON on standard output, the
// CMPI status of a failed request on standard error, and never a debug line of the libraries
// among its output.
#include "ProviderTestSupport.h"
#include "RunProgram.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <sstream>

using namespace ProviderTest;
using QelTest::ProgramResult;
using ::testing::HasSubstr;
using ::testing::Not;

namespace
{
class CimToolTest : public ProviderFixture
{
protected:
    void SetUp() override
    {
        ProviderFixture::SetUp();
        if (IsSkipped())
            return;
        m_machine.reset(new QelTest::SimulatedMachine("falcon"));
        sensors = SensorCount(Machine().Profile());
    }

    ProgramResult Cim(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"cim"});
        args.insert(args.end(), {"--sysroot", Machine().Root()});
        return QelTest::RunProgram(QelTest::BuiltProgram("tools/qelsensors"), args);
    }

    size_t sensors = 0;
};

size_t Occurrences(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// Lines the libraries print on their own; none belongs in the tool's output.
void ExpectNoLibraryLines(const std::string& out)
{
    for (const char* line : {"Logger created", "link count=", "CONSTRUCTOR", "DESTRUCTOR",
                             "now=", "provider=", "SensorProvider_Create_InstanceMI"})
        EXPECT_THAT(out, Not(HasSubstr(line)));
}

TEST_F(CimToolTest, EnumerateShowsMofInstances)
{
    const ProgramResult result = Cim({"enumerate", kSensorClass});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(Occurrences(result.out, "instance of PXT_NumericSensor\n{\n"), sensors);
    EXPECT_EQ(Occurrences(result.out, "\n};\n"), sensors);
    EXPECT_THAT(result.out, HasSubstr("// root/cimv2:PXT_NumericSensor.Name=\"Vcore(00000021)\"\n"));
    EXPECT_THAT(result.out,
                HasSubstr("    SystemName = \"Kestrel POS Sensor Drivers and System Event Log\";\n"));
    EXPECT_THAT(result.out, HasSubstr("    IsLinear = TRUE;\n"));
    ExpectNoLibraryLines(result.out);

    const ProgramResult names = Cim({"enumerate-names", kSensorClass});
    EXPECT_EQ(names.exitCode, 0);
    EXPECT_EQ(Occurrences(names.out, "root/cimv2:PXT_NumericSensor.Name=\""), sensors);

    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    const ProgramResult log = Cim({"get", kLogClass, kLogName});
    EXPECT_EQ(log.exitCode, 0);
    EXPECT_THAT(log.out, HasSubstr("    LogLines = {\n        \"Log Area Reset/Cleared:"));
    ExpectNoLibraryLines(log.out);
}

TEST_F(CimToolTest, JsonDocumentsCarryTypedValues)
{
    const ProgramResult result = Cim({"get", kSensorClass, "CPU Temperature(00000030)", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const nlohmann::json document = nlohmann::json::parse(result.out);
    EXPECT_EQ(document["status"]["code"], 0);
    const nlohmann::json& properties = document["instance"]["properties"];
    EXPECT_EQ(properties["Name"], "CPU Temperature(00000030)");
    EXPECT_TRUE(properties["IsLinear"].is_boolean());
    EXPECT_TRUE(properties["CurrentReading"].is_number_integer());
    EXPECT_FALSE(properties.contains("LowerThresholdCritical"));  // unknown: left out

    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    const ProgramResult repeated =
        Cim({"enumerate", kLogClass, "--json", "--repeat", "3", "--interval", "0"});
    ASSERT_EQ(repeated.exitCode, 0) << repeated.err;
    // Three documents, one per request, one after the other.
    size_t documents = 0;
    std::istringstream stream(repeated.out);
    while ((stream >> std::ws).peek() != EOF)
    {
        nlohmann::json doc;
        stream >> doc;
        EXPECT_EQ(doc["round"], static_cast<int>(documents + 1));
        EXPECT_EQ(doc["instances"][0]["properties"]["LogLines"].size(), 9u);
        ++documents;
    }
    EXPECT_EQ(documents, 3u);
}

TEST_F(CimToolTest, SsdSensorsThroughTheTool)
{
    Machine().SysRoot().WriteFile("/etc/tarn/sensor.conf", "NvmeReadings=1\n");
    const ProgramResult names = Cim({"enumerate-names", kSensorClass});
    ASSERT_EQ(names.exitCode, 0) << names.err;
    EXPECT_EQ(Occurrences(names.out, "SSD"), 2u) << names.out;

    // Another process reads the SSD: its data comes back through the kernel into that process.
    Machine().Ssd(0).SetTemperature(52);
    const ProgramResult one = Cim({"get", kSensorClass, "SSD1 Temperature(00000001)", "--json"});
    ASSERT_EQ(one.exitCode, 0) << one.err;
    const nlohmann::json properties = nlohmann::json::parse(one.out)["instance"]["properties"];
    EXPECT_EQ(properties["CurrentReading"], 52);
    EXPECT_EQ(properties["UpperThresholdCritical"], 84);
    EXPECT_EQ(properties["DeviceID"], "1");
}

TEST_F(CimToolTest, FailuresShowTheCmpiStatus)
{
    const ProgramResult wrongClass = Cim({"enumerate", "pxt_numericsensor"});
    EXPECT_EQ(wrongClass.exitCode, 1);
    EXPECT_EQ(wrongClass.out, "");
    EXPECT_THAT(wrongClass.err, HasSubstr("CMPI status 5 (CMPI_RC_ERR_INVALID_CLASS)"));

    const ProgramResult wrongNamespace =
        Cim({"enumerate-names", kSensorClass, "--namespace", "root/interop"});
    EXPECT_EQ(wrongNamespace.exitCode, 1);
    EXPECT_THAT(wrongNamespace.err, HasSubstr("CMPI status 3 (CMPI_RC_ERR_INVALID_NAMESPACE)"));

    const ProgramResult absent = Cim({"get", kSensorClass, "Vcore", "--json"});
    EXPECT_EQ(absent.exitCode, 1);
    const nlohmann::json document = nlohmann::json::parse(absent.out);
    EXPECT_EQ(document["status"]["code"], 6);
    EXPECT_EQ(document["status"]["name"], "CMPI_RC_ERR_NOT_FOUND");
    EXPECT_TRUE(document["instance"].is_null());

    const ProgramResult noProvider = Cim({"enumerate", kSensorClass, "--provider", "/nonexistent/libx.so"});
    EXPECT_EQ(noProvider.exitCode, 1);
    EXPECT_THAT(noProvider.err, HasSubstr("cannot load the provider"));

    for (const std::vector<std::string>& usage : {std::vector<std::string>{},
                                                  {"enumerate"},
                                                  {"get", kSensorClass},
                                                  {"list", kSensorClass},
                                                  {"enumerate", kSensorClass, "--repeat", "0"},
                                                  {"enumerate", kSensorClass, "--bogus"}})
        EXPECT_EQ(Cim(usage).exitCode, 2);
}

TEST_F(CimToolTest, UnsupportedMachineAnswersMethodNotAvailable)
{
    QelSim::Profile profile = QelSim::LoadProfile(QelSim::FindProfile("falcon"));
    profile.bios.version = "ZZ990101";
    Machine().SysRoot().Install(QelSim::BuildImage(profile));
    const ProgramResult result = Cim({"enumerate", kSensorClass});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("CMPI status 16 (CMPI_RC_ERR_METHOD_NOT_AVAILABLE)"));
}

// A table broken the ways real firmware breaks it (an OEM structure first, a BIOS Information too
// short for its release bytes, AMI's length on the Management Device, a structure shorter than
// its header with a made-up chip behind it): the till is still recognised and every sensor is
// served, by the tool and through the provider; the made-up chip is never driven.
TEST_F(CimToolTest, TillWithBrokenFirmwareTableIsServedWhole)
{
    QelSim::Profile profile = Machine().Profile();
    profile.firmwareDefects = true;
    Machine().SysRoot().Install(QelSim::BuildImage(profile));

    const ProgramResult names = Cim({"enumerate-names", kSensorClass});
    EXPECT_EQ(names.exitCode, 0) << names.err;
    EXPECT_EQ(Occurrences(names.out, std::string(kSensorClass) + ".Name="), sensors);

    const std::string tool = QelTest::BuiltProgram("tools/qelsensors");
    EXPECT_EQ(QelTest::RunProgram(tool, {"--sysroot", Machine().Root()}).exitCode, 0);
    const ProgramResult smbios =
        QelTest::RunProgram(tool, {"smbios", "--json", "--sysroot", Machine().Root()});
    ASSERT_EQ(smbios.exitCode, 0) << smbios.err;
    const nlohmann::json doc = nlohmann::json::parse(smbios.out);
    EXPECT_EQ(doc["structures"][0]["type"], 218);
    EXPECT_EQ(doc["bios"]["version"], profile.bios.version);
    EXPECT_TRUE(doc["bios"]["biosRelease"].is_null());
    EXPECT_FALSE(doc["bios"]["machineModel"].is_null());
    ASSERT_EQ(doc["managementDevices"].size(), profile.chips.size());
    for (size_t i = 0; i < profile.chips.size(); ++i)
        EXPECT_EQ(doc["managementDevices"][i]["description"], profile.chips[i].board.description);
    EXPECT_EQ(doc["unclaimedSensors"].size(), 0u);
}

TEST_F(CimToolTest, VerboseShowsTheProviderTraceOnStandardError)
{
    const ProgramResult result = Cim({"enumerate-names", kLogClass, "--verbose"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "root/cimv2:PXT_SystemEventLog.Name=\"Kestrel POS System Event Log\"\n");
    EXPECT_THAT(result.err, HasSubstr("CONSTRUCTOR\n"));
    EXPECT_THAT(result.err, HasSubstr("drvEnumInstanceNames - provider="));
    EXPECT_THAT(result.err, HasSubstr("DESTRUCTOR\n"));
}
}  // namespace
