// qelsensors on served machines, as a technician or a monitoring script runs it: the sensor table
// against what the library reads in-process, JSON that parses, the exit status of each outcome,
// and failures that name what failed and what to do.
#include "Capture.h"
#include "MachineImage.h"
#include "RunProgram.h"
#include "SampleMachine.h"
#include "SimulatedMachine.h"
#include "TempSysRoot.h"
#include "chip.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using QelTest::ProgramResult;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::json;

namespace
{
ProgramResult Qelsensors(const std::vector<std::string>& args)
{
    return QelTest::RunProgram(QelTest::BuiltProgram("tools/qelsensors"), args);
}

ProgramResult OnMachine(const QelTest::SimulatedMachine& machine, std::vector<std::string> args)
{
    args.push_back("--sysroot");
    args.push_back(machine.Root());
    return Qelsensors(args);
}

QelSim::Profile Shipped(const std::string& name)
{
    return QelSim::LoadProfile(QelSim::FindProfile(name));
}

Json Parse(const ProgramResult& r)
{
    try
    {
        return Json::parse(r.out);
    }
    catch (const Json::exception& e)
    {
        ADD_FAILURE() << "not JSON (" << e.what() << "):\n" << r.out;
        return Json();
    }
}

// The line of the sensor table that names the sensor.
std::string LineOf(const std::string& out, const std::string& name)
{
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.compare(0, name.size() + 3, "  " + name + ":") == 0)
            return line;
    return "<no line for " + name + ">";
}

// Runs the tool as an unprivileged user, the way a technician who forgot sudo would.
ProgramResult AsNobody(const std::vector<std::string>& args)
{
    return QelTest::RunProgramAsNobody(QelTest::BuiltProgram("tools/qelsensors"), args);
}

class SensorsTool : public QelTest::SimulatedMachineTest
{
protected:
    // The machine before goes first: its system root, on the way out, restores QEL_SYSROOT to what
    // it found, which must not be undone after the new one has set it.
    QelTest::SimulatedMachine& BringUp(const QelSim::Profile& profile)
    {
        m_machine.reset();
        m_machine.reset(new QelTest::SimulatedMachine(profile));
        return *m_machine;
    }
    QelTest::SimulatedMachine& BringUp(const std::string& name) { return BringUp(Shipped(name)); }
};
}  // namespace

TEST_F(SensorsTool, ShowsEverySensorAsTheLibraryReadsIt)
{
    for (const char* name : {"falcon", "ambercoral"})
    {
        SCOPED_TRACE(name);
        QelTest::SimulatedMachine& machine = BringUp(name);
        const ProgramResult r = OnMachine(machine, {});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const QelSim::ChipProfile& board = machine.Profile().chips[0];
        char title[96];
        snprintf(title, sizeof(title), "%s  (device 0, I/O port 0x%04X)\n", board.board.description.c_str(),
                 board.board.address);
        EXPECT_EQ(r.out.compare(0, strlen(title), title), 0) << r.out;
        EXPECT_THAT(r.out,
                    AllOf(Not(HasSubstr("link count")), Not(HasSubstr("phys_mem")), Not(HasSubstr("API:"))));

        // Each sensor's line: the reading the library gives in-process, in volts with three
        // decimals, whole degrees or RPM, and "ok" on these machines.
        CChip chip;
        QelTest::CaptureStdout([&] { ASSERT_EQ(chip.Initialise(), SS_SUCCESS); });
        CSensorHandleList handles;
        ASSERT_EQ(chip.EnumerateSensorHandles(handles), SS_SUCCESS);
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), static_cast<long>(handles.size()) + 1);
        for (SENSOR_HANDLE h : handles)
        {
            CSensorInformation info;
            CSensorReading reading;
            reading.Translate = 1;
            ASSERT_EQ(chip.GetSensorInformation(h, info), SS_SUCCESS);
            ASSERT_EQ(chip.ReadSensor(h, reading), SS_SUCCESS);
            const int32_t value = static_cast<int32_t>(reading.CurrentReading);
            char shown[32];
            if (info.BaseUnits == 5)
                snprintf(shown, sizeof(shown), " %.3f V ", value / 1000.0);
            else if (info.BaseUnits == 2)
                snprintf(shown, sizeof(shown), " %d °C ", value);
            else
                snprintf(shown, sizeof(shown), " %d RPM ", value);
            EXPECT_THAT(LineOf(r.out, info.Description), AllOf(HasSubstr(shown), HasSubstr(" ok ")));
        }
        // A voltage with both limits of two levels, and a temperature with upper ones only.
        EXPECT_THAT(LineOf(r.out, "+12V"),
                    HasSubstr("(non-critical 11.400..12.600 V, critical 10.800..13.200 V)"));
        EXPECT_THAT(LineOf(r.out, "CPU Temperature"),
                    HasSubstr("(non-critical <= 85 °C, critical <= 95 °C, fatal <= 105 °C)"));
        EXPECT_THAT(LineOf(r.out, "VBAT"), HasSubstr("(non-critical >= 2.700 V, critical >= 2.500 V)"));
    }
}

TEST_F(SensorsTool, JsonParsesAndCarriesWhatTheTableShows)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    QelTest::SimulatedMachine& machine = BringUp("falcon");
    const QelSim::ChipProfile& board = machine.Profile().chips[0];

    // The libraries' lines go to standard error under --verbose; standard output stays JSON.
    const ProgramResult r = OnMachine(machine, {"--json", "--verbose"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_THAT(r.err, HasSubstr("pagemask="));
    const Json doc = Parse(r);
    EXPECT_EQ(doc["schema"], 1);
    EXPECT_EQ(doc["status"], "ok");
    ASSERT_EQ(doc["chips"].size(), 1u);
    const Json& chip = doc["chips"][0];
    EXPECT_EQ(chip["description"], board.board.description);
    EXPECT_EQ(chip["address"], board.board.address);
    ASSERT_EQ(chip["sensors"].size(), board.board.sensors.size());
    for (const Json& s : chip["sensors"])
    {
        SCOPED_TRACE(s.dump());
        EXPECT_EQ(s["handle"], s["smbiosHandle"]);  // device 0
        EXPECT_EQ(s["status"], "ok");
        const int modifier = s["unitModifier"];
        EXPECT_DOUBLE_EQ(s["value"].get<double>(), s["reading"].get<int>() * std::pow(10.0, modifier));
    }
    const Json& twelve = chip["sensors"][3];
    EXPECT_EQ(twelve["name"], "+12V");
    EXPECT_EQ(twelve["unit"], "Volts");
    EXPECT_EQ(twelve["limits"],
              Json::parse(R"({"lowerNonCritical": 11.4, "upperNonCritical": 12.6, "lowerCritical": 10.8,
                              "upperCritical": 13.2, "lowerFatal": null, "upperFatal": null})"));
    EXPECT_EQ(chip["sensors"][7]["unit"], "RPM");
    EXPECT_EQ(chip["sensors"][7]["type"], "tachometer");

    const Json sel = Parse(OnMachine(machine, {"sel", "--json"}));
    EXPECT_EQ(sel["sensorNames"], true);
    EXPECT_EQ(sel["location"]["length"], 4096);
    ASSERT_EQ(sel["events"].size(), 9u);
    EXPECT_THAT(sel["events"][5].get<std::string>(),
                HasSubstr(":HWMON:CPU Temperature transitioned from within-limit to out-of-limit"));

    const Json smbios = Parse(OnMachine(machine, {"smbios", "--json"}));
    EXPECT_EQ(smbios["bios"]["version"], machine.Profile().bios.version);
    ASSERT_EQ(smbios["managementDevices"].size(), 1u);
    EXPECT_EQ(smbios["managementDevices"][0]["sensors"].size(), board.board.sensors.size());
    EXPECT_EQ(smbios["managementDevices"][0]["sensors"][3]["thresholds"]["upperCritical"], 13.2);
}

TEST_F(SensorsTool, TheWorstReadingDecidesTheExitStatus)
{
    // Falcon's Vcore, with its limits moved around the reading the library gives.
    const QelSim::Profile falcon = Shipped("falcon");
    ASSERT_EQ(falcon.chips[0].board.sensors[0].name, "Vcore");
    QelTest::SimulatedMachine& machine = BringUp(falcon);
    CChip chip;
    CSensorHandleList handles;
    CSensorReading reading;
    reading.Translate = 1;
    QelTest::CaptureStdout([&] { ASSERT_EQ(chip.Initialise(), SS_SUCCESS); });
    ASSERT_EQ(chip.EnumerateSensorHandles(handles), SS_SUCCESS);
    ASSERT_EQ(chip.ReadSensor(handles.front(), reading), SS_SUCCESS);
    const uint16_t v = static_cast<uint16_t>(reading.CurrentReading);  // millivolts
    ASSERT_GT(v, 100);

    struct Case
    {
        QelSim::Thresholds limits;  // lower/upper non-critical, critical, non-recoverable
        int exitCode;
        const char* word;
    };
    const uint16_t u = QelSim::kUnknownWord;
    const Case cases[] = {
        {{uint16_t(v - 50), v, uint16_t(v - 100), uint16_t(v + 50), u, u},
         0,
         "ok"},  // at a limit is within it
        {{uint16_t(v - 50), uint16_t(v - 1), uint16_t(v - 100), uint16_t(v + 50), u, u}, 3, "warning"},
        {{uint16_t(v + 2), uint16_t(v + 50), uint16_t(v + 1), uint16_t(v + 100), u, u}, 4, "critical"},
        {{u, uint16_t(v - 30), u, uint16_t(v - 20), u, uint16_t(v - 1)}, 5, "fatal"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.word);
        QelSim::Profile profile = falcon;
        profile.chips[0].board.sensors[0].thresholds = c.limits;
        machine.SysRoot().Install(QelSim::BuildImage(profile));
        const ProgramResult text = OnMachine(machine, {});
        EXPECT_EQ(text.exitCode, c.exitCode) << text.err;
        EXPECT_THAT(LineOf(text.out, "Vcore"), HasSubstr(std::string(" ") + c.word + " "));
        const ProgramResult json = OnMachine(machine, {"--json"});
        EXPECT_EQ(json.exitCode, c.exitCode);
        const Json doc = Parse(json);
        EXPECT_EQ(doc["status"], c.word);
        EXPECT_EQ(doc["chips"][0]["sensors"][0]["status"], c.word);
        EXPECT_EQ(doc["chips"][0]["sensors"][1]["status"], "ok");
    }
}

// A chip whose ports stop answering is never shown with made-up readings: each of its sensors is an
// error and the exit status says the machine could not be read; the chip's own start (its
// configuration ports) is not what failed.
TEST_F(SensorsTool, SensorsWhosePortsFailAreErrorsNotZeros)
{
    for (const char* name : {"ambercoral", "falcon"})
    {
        SCOPED_TRACE(name);
        QelTest::SimulatedMachine& machine = BringUp(name);
        const QelSim::ChipProfile& chip = machine.Profile().chips.at(0);
        // The hardware monitor's index/data pair: base + 5 and + 6, or the EC's own pair.
        const uint16_t index =
            chip.family == QelSim::ChipProfile::Family::SuperIo ? uint16_t(chip.monitorBase + 5) : chip.port;
        machine.Bus().FailPorts(index, uint16_t(index + 1));

        const ProgramResult text = OnMachine(machine, {});
        EXPECT_EQ(text.exitCode, 1) << text.out << text.err;
        const std::string first = chip.board.sensors.at(0).name;
        EXPECT_THAT(LineOf(text.out, first), AllOf(HasSubstr(" error "), HasSubstr("(no reading: ")));
        const Json doc = Parse(OnMachine(machine, {"--json"}));
        EXPECT_EQ(doc["status"], "error");
        for (const Json& sensor : doc["chips"][0]["sensors"])
        {
            EXPECT_EQ(sensor["status"], "error") << sensor["name"];
            EXPECT_TRUE(sensor["reading"].is_null()) << sensor["name"];
            EXPECT_EQ(sensor["error"]["status"], SS_HWMON_ERROR) << sensor["name"];
        }

        machine.Bus().ClearFailingPorts();
        EXPECT_NE(OnMachine(machine, {}).exitCode, 1);
    }
}

TEST_F(SensorsTool, FalconShowsItsSsdTemperaturesWhenSwitchedOn)
{
    QelTest::SimulatedMachine& machine = BringUp("falcon");
    // Off without the sensor configuration: no group, no "ssds" in the document.
    ProgramResult r = OnMachine(machine, {});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, Not(HasSubstr("NVMe SSDs")));
    EXPECT_FALSE(Parse(OnMachine(machine, {"--json"})).contains("ssds"));

    machine.SysRoot().WriteFile("/etc/tarn/sensor.conf", "NvmeReadings=1\n");
    r = OnMachine(machine, {});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const size_t group = r.out.find("\nNVMe SSDs\n");
    ASSERT_NE(group, std::string::npos) << r.out;
    EXPECT_THAT(r.out.substr(group),
                AllOf(HasSubstr("SSD1 Temperature(00000001):"), HasSubstr("SSD2 Temperature(00000002):")));
    EXPECT_THAT(LineOf(r.out, "SSD1 Temperature(00000001)"),
                AllOf(HasSubstr(" 38 °C"), HasSubstr(" ok "), HasSubstr("(critical -5..84 °C)")));

    // Hotter than its over-temperature threshold: critical, and the exit status says so.
    machine.Ssd(1).SetTemperature(90);
    r = OnMachine(machine, {"--json"});
    EXPECT_EQ(r.exitCode, 4);
    const Json doc = Parse(r);
    EXPECT_EQ(doc["status"], "critical");
    ASSERT_EQ(doc["ssds"].size(), 2u);
    const Json& ssd = doc["ssds"][1];
    EXPECT_EQ(ssd["name"], "SSD2 Temperature(00000002)");
    EXPECT_EQ(ssd["device"], "/dev/nvme1");
    EXPECT_EQ(ssd["model"], "TARN NV512 PCIe SSD");  // without the blanks that pad it
    EXPECT_EQ(ssd["serial"], "S4EUNX0N967890");
    EXPECT_EQ(ssd["reading"], 90);
    EXPECT_EQ(ssd["unit"], "Degrees C");
    EXPECT_EQ(ssd["limits"]["upperCritical"], 82);
    EXPECT_EQ(ssd["limits"]["lowerCritical"], -5);
    EXPECT_TRUE(ssd["limits"]["upperNonCritical"].is_null());
    EXPECT_EQ(ssd["status"], "critical");
    EXPECT_EQ(doc["ssds"][0]["status"], "ok");
}

TEST_F(SensorsTool, ALibraryStatusIsNamedAndExitsWithOne)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    QelSim::Profile unknown = Shipped("falcon");
    unknown.bios.version = "XX0101";
    QelTest::SimulatedMachine& machine = BringUp(unknown);
    ProgramResult r = OnMachine(machine, {});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err,
                AllOf(HasSubstr("qelsensors sensors: cannot read the sensors: unsupported system (14)"),
                      HasSubstr("BIOS version \"XX0101\" belongs to no supported point-of-sale model")));
    EXPECT_EQ(r.out, "");
    const Json error = Parse(OnMachine(machine, {"--json"}))["error"];
    EXPECT_EQ(error["status"], 14);
    EXPECT_EQ(error["statusName"], "unsupported system");

    // The log still reads without the chips; its limit events then name the probe by handle.
    r = OnMachine(machine, {"sel"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out,
                AllOf(HasSubstr("Sensor names      none: the chips did not start, unsupported system (14)"),
                      HasSubstr(":HWMON: - Probe (0x")));

    // A management device whose description no driver takes, named by its handle.
    QelSim::Profile noDriver = Shipped("ambercoral");
    noDriver.chips[0].board.description = "Nuvoton NCT6796";
    BringUp(noDriver);
    r = OnMachine(*m_machine, {});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err,
                AllOf(HasSubstr("no driver (4)"),
                      HasSubstr("management device 0x0020 (\"Nuvoton NCT6796\") names a chip the library "
                                "has no driver for")));
}

TEST_F(SensorsTool, WithoutAServedMachineOrRootTheToolSaysWhatToDo)
{
    QelTest::TempSysRoot root;
    // Nothing there at all.
    ProgramResult r = Qelsensors({"--sysroot", root.Path()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, AllOf(HasSubstr("cannot open " + root.Path() + "/dev/mem: No such file or directory"),
                             HasSubstr("qelsim up PROFILE " + root.Path())));
    // A machine image whose ports nobody serves: the chips would all read 0.
    root.Install(QelSim::SampleMachine(false));
    r = Qelsensors({"sensors", "--sysroot", root.Path()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, AllOf(HasSubstr("cannot open " + root.Path() + "/dev/port"),
                             HasSubstr("is no served machine: bring one up with 'qelsim up PROFILE")));
    EXPECT_EQ(r.out, "");

    // Not root: physical memory is root's alone (closed to its owner too, who may be running this).
    ASSERT_EQ(chmod(root.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(root.PathOf("/dev/mem").c_str(), 0), 0);
    for (const char* command : {"sensors", "smbios", "sel"})
    {
        r = AsNobody({command, "--sysroot", root.Path()});
        EXPECT_EQ(r.exitCode, 1) << command << ": " << r.err;
        EXPECT_THAT(r.err, AllOf(HasSubstr("cannot open " + root.Path() + "/dev/mem: Permission denied"),
                                 HasSubstr("needs root: run qelsensors as root")))
            << command;
    }
}

TEST(SensorsToolUsage, BadUsageExitsWithTwo)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"sensors", "extra"}, {"--bogus"}, {"sel", "--json", "extra"}, {"--json", "nonsense"}})
    {
        const ProgramResult r = Qelsensors(args);
        EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(args);
        EXPECT_THAT(r.err, HasSubstr("usage: qelsensors")) << testing::PrintToString(args);
        EXPECT_EQ(r.out, "");
    }
    const ProgramResult help = Qelsensors({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out, AllOf(HasSubstr("sensors"), HasSubstr("--json"), HasSubstr("exit status")));
}
