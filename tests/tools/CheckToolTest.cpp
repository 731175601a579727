// qelsensors check as a poller runs it: output that a strict reader of the plugin guidelines
// accepts on every shipped till, the exit status of each state, the same judgement from the
// metrics service's kept readings (as nobody, fresh and stale), and a timeout that ends the check.
#include "RunProgram.h"
#include "SimulatedMachine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <sys/stat.h>

using QelTest::ProgramResult;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Json = nlohmann::json;

namespace
{
ProgramResult OnMachine(const QelTest::SimulatedMachine& machine, std::vector<std::string> args)
{
    args.insert(args.begin(), {"--sysroot", machine.Root()});
    return QelTest::RunProgram(QelTest::BuiltProgram("tools/qelsensors"), args);
}

// A plugin's output by the guidelines: "NAME STATE - text" first, long output after it, and
// performance data after the first '|', items 'label'=value[UOM];warn;crit;min;max.
struct PluginOutput
{
    std::string state;
    std::string text;
    std::map<std::string, std::string> values;  // by label
};

PluginOutput ParsePlugin(const ProgramResult& r)
{
    static const std::regex kFirst("^QELSENSORS (OK|WARNING|CRITICAL|UNKNOWN) - ([^|\n]+)");
    static const std::string kNumber = "-?[0-9]+(\\.[0-9]+)?";
    static const std::string kRange = "(@?((~|" + kNumber + ")?:)?(" + kNumber + ")?)";
    static const std::regex kItem("^'([^'=]+)'=(" + kNumber + "|U)(s|ms|us|%|B|KB|MB|TB|c)?(;" + kRange +
                                  "(;" + kRange + "(;(" + kNumber + ")?(;(" + kNumber + ")?)?)?)?)?$");
    PluginOutput out;
    std::smatch m;
    const std::string first = r.out.substr(0, r.out.find('\n'));
    EXPECT_TRUE(std::regex_search(first, m, kFirst)) << r.out;
    if (m.empty())
        return out;
    out.state = m[1];
    out.text = m[2];
    const int codes[] = {0, 1, 2, 3};
    const char* words[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
    for (int i = 0; i < 4; ++i)
        if (out.state == words[i])
        {
            EXPECT_EQ(r.exitCode, codes[i]) << "the exit status decides the state";
        }
    const size_t bar = r.out.find('|');
    if (bar == std::string::npos)
        return out;
    // Items are separated by blanks and line ends; a quoted label may hold blanks.
    std::istringstream rest(r.out.substr(bar + 1));
    std::string token, item;
    while (rest >> token)
    {
        item += (item.empty() ? "" : " ") + token;
        if (std::count(item.begin(), item.end(), '\'') % 2 != 0 || item.find('=') == std::string::npos)
            continue;
        EXPECT_TRUE(std::regex_match(item, m, kItem)) << "no valid performance data: " << item;
        if (!m.empty())
        {
            EXPECT_TRUE(out.values.emplace(m[1], m[2]).second) << "label twice: " << item;
        }
        item.clear();
    }
    EXPECT_EQ(item, "") << "unfinished item";
    return out;
}

class CheckTool : public QelTest::SimulatedMachineTest
{
};
}  // namespace

// Every shipped till: valid output, one performance item per sensor with the value the sensor
// table reads, the state the table's worst status gives, and the same result from the readings
// the metrics service keeps; the event log's check likewise.
TEST_F(CheckTool, EveryShippedTillGivesValidPluginOutput)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    const std::map<std::string, std::string> kStates = {{"ok", "OK"},
                                                        {"warning", "WARNING"},
                                                        {"critical", "CRITICAL"},
                                                        {"fatal", "CRITICAL"},
                                                        {"error", "UNKNOWN"}};
    const std::vector<std::string> profiles = QelSim::ShippedProfiles();
    ASSERT_GE(profiles.size(), 8u);
    for (const std::string& name : profiles)
    {
        SCOPED_TRACE(name);
        QelTest::SimulatedMachine& machine = BringUp(name);
        machine.SysRoot().WriteFile("/etc/tarn/sensor.conf", "NvmeReadings=1\n");
        const Json doc = Json::parse(OnMachine(machine, {"--json"}).out);
        const ProgramResult direct = OnMachine(machine, {"check"});
        const PluginOutput plugin = ParsePlugin(direct);
        EXPECT_EQ(plugin.state, kStates.at(doc["status"])) << direct.out;
        std::vector<Json> sensors;
        for (const Json& chip : doc["chips"])
            sensors.insert(sensors.end(), chip["sensors"].begin(), chip["sensors"].end());
        if (doc.contains("ssds"))
            sensors.insert(sensors.end(), doc["ssds"].begin(), doc["ssds"].end());
        EXPECT_EQ(plugin.values.size(), sensors.size()) << direct.out;
        for (const Json& s : sensors)
        {
            const auto found = plugin.values.find(s["name"]);
            if (found == plugin.values.end())
                ADD_FAILURE() << "no performance data for " << s["name"];
            else if (s["value"].is_null())
                EXPECT_EQ(found->second, "U") << s["name"];
            else
                EXPECT_DOUBLE_EQ(std::stod(found->second), s["value"].get<double>()) << s["name"];
        }

        const std::string state = machine.Root() + "/kept.json";
        const ProgramResult metrics = OnMachine(machine, {"metrics", "--state", state});
        EXPECT_EQ(metrics.err, "");
        const ProgramResult kept = OnMachine(machine, {"check", "--state", state});
        EXPECT_EQ(kept.out, direct.out);
        EXPECT_EQ(kept.exitCode, direct.exitCode);

        // Every event of the shipped logs is newer than 100000 days.
        const Json sel = Json::parse(OnMachine(machine, {"sel", "--json"}).out);
        std::string worst = "OK";
        for (const std::string line : sel["events"])
            if (line.find(":Error:") != std::string::npos)
                worst = "CRITICAL";
            else if (line.find(":Warning:") != std::string::npos && worst == "OK")
                worst = "WARNING";
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"check", "--sel", "--since", "100000d"},
              std::vector<std::string>{"check", "--sel", "--since", "100000d", "--state", state}})
        {
            const ProgramResult log = OnMachine(machine, args);
            const PluginOutput logPlugin = ParsePlugin(log);
            EXPECT_EQ(logPlugin.state, worst) << log.out;
            EXPECT_EQ(logPlugin.values.size(), 2u) << log.out;
        }
        // Nothing in the logs is from the last hour.
        EXPECT_EQ(ParsePlugin(OnMachine(machine, {"check", "--sel", "--since", "1h"})).state, "OK");
    }
}

// The states of one sensor: the BIOS limits by default, -w/-c ranges for the chosen sensors, a
// fan slowed below its critical limit named first, an unreadable sensor UNKNOWN with no value,
// and arguments that name nothing or no range UNKNOWN.
TEST_F(CheckTool, ExitStatusFollowsLimitsRangesAndFailures)
{
    QEL_REQUIRE_ROOT("the check reads the till itself only as root (other users read the kept readings)");
    QelTest::SimulatedMachine& machine = BringUp("falcon");
    const QelSim::ChipProfile& chip = machine.Profile().chips.at(0);
    const QelSim::BoardSensor* fan = nullptr;
    for (const QelSim::BoardSensor& s : chip.board.sensors)
        if (s.kind == QelSim::BoardSensor::Kind::Cooling && fan == nullptr)
            fan = &s;
    ASSERT_NE(fan, nullptr);
    const std::string name = fan->name;
    const ProgramResult healthy = OnMachine(machine, {"check", "--sensor", name});
    ASSERT_EQ(healthy.exitCode, 0) << healthy.out;
    const std::string rpm = ParsePlugin(healthy).values[name];

    struct Case
    {
        std::vector<std::string> args;
        int exitCode;
        std::string says;
    };
    const std::string above = std::to_string(std::stoi(rpm) + 1) + ":";
    const Case cases[] = {
        {{"-c", rpm + ":"}, 0, "within its limits"},  // the end of a range is within it
        {{"-w", above}, 1, "outside the warning range " + above},
        {{"-c", "@0:" + rpm}, 2, "inside the critical range @0:" + rpm},
        {{"-w", "~:0", "-c", "~:100000"}, 1, "outside the warning range ~:0"},
        {{"-c", "10:1"}, 3, "bad arguments: '10:1' is no range"},
        {{"--chip", "No Such Chip"}, 3, "no chip named 'No Such Chip'"},
    };
    for (const Case& c : cases)
    {
        std::vector<std::string> args = {"check", "--sensor", name};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProgramResult r = OnMachine(machine, args);
        SCOPED_TRACE(r.out);
        ParsePlugin(r);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_THAT(r.out, HasSubstr(c.says));
    }
    EXPECT_EQ(OnMachine(machine, {"check", "--sensor", "No Such Sensor"}).exitCode, 3);

    // 300 rpm, below the fan's critical limit (the driver floors so slow a fan to 0): CRITICAL,
    // the fan named first, its reading what the sensor table reads.
    const uint8_t reg = static_cast<uint8_t>(fan->oem & 0xFF);
    machine.Bus().Write(chip.port, reg);
    machine.Bus().Write(uint16_t(chip.port + 1), 0x01);
    machine.Bus().Write(chip.port, uint8_t(reg + 1));
    machine.Bus().Write(uint16_t(chip.port + 1), 0x2C);
    const Json doc = Json::parse(OnMachine(machine, {"--json"}).out);
    std::string slow;
    for (const Json& s : doc["chips"][0]["sensors"])
        if (s["name"] == name)
            slow = std::to_string(s["value"].get<int>());
    ProgramResult r = OnMachine(machine, {"check"});
    PluginOutput plugin = ParsePlugin(r);
    EXPECT_EQ(r.exitCode, 2) << r.out;
    EXPECT_THAT(plugin.text, StartsWith(name + " " + slow + " RPM below its critical limit "));
    EXPECT_THAT(plugin.text, HasSubstr(" (7 of 8 sensors fine)"));
    EXPECT_EQ(plugin.values[name], slow);

    // A chip whose ports fail: every one of its sensors UNKNOWN, U in the performance data.
    machine.Bus().FailPorts(chip.port, uint16_t(chip.port + 1));
    r = OnMachine(machine, {"check"});
    plugin = ParsePlugin(r);
    EXPECT_EQ(r.exitCode, 3) << r.out;
    EXPECT_THAT(plugin.text, HasSubstr("not read: hardware monitor error (5)"));
    EXPECT_EQ(plugin.values[name], "U");
}

// As nobody, the check reads the readings the metrics service kept under the system root: the
// root's own result while they are fresh, UNKNOWN once they are older than --max-age.
TEST_F(CheckTool, AsNobodyTheKeptReadingsAndTheirAge)
{
    QEL_REQUIRE_ROOT("running as nobody");
    QelTest::SimulatedMachine& machine = BringUp("ambercoral");
    ASSERT_EQ(chmod(machine.Root().c_str(), 0755), 0);
    const std::string path = machine.Root() + "/var/lib/qelsensors/readings.json";
    std::filesystem::create_directories(machine.Root() + "/var/lib/qelsensors");
    const ProgramResult asRoot = OnMachine(machine, {"check"});
    const auto asNobody = [&](std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--sysroot", machine.Root(), "check"});
        return QelTest::RunProgramAsNobody(QelTest::BuiltProgram("tools/qelsensors"), args);
    };
    ProgramResult r = asNobody({});
    EXPECT_EQ(r.exitCode, 3) << r.out;
    EXPECT_THAT(r.out, HasSubstr("cannot read the last readings, " + path));

    ASSERT_EQ(OnMachine(machine, {"metrics", "--state", path}).exitCode, 0);
    r = asNobody({});
    EXPECT_EQ(r.out, asRoot.out);
    EXPECT_EQ(r.exitCode, 0);

    std::ifstream in(path);
    Json kept = Json::parse(in);
    kept["time"] = kept["time"].get<int64_t>() - 200;
    machine.SysRoot().WriteFile("/var/lib/qelsensors/readings.json", kept.dump());
    r = asNobody({});
    EXPECT_EQ(r.exitCode, 3) << r.out;
    EXPECT_THAT(r.out, HasSubstr("s old, beyond the limit of 120 s (--max-age)"));
    EXPECT_EQ(asNobody({"--max-age", "300"}).exitCode, 0);
}

// A till that does not answer in time (another reader holds the turn at the ports and hangs):
// UNKNOWN with its line at the timeout, long before the readings would have failed one by one.
TEST_F(CheckTool, TimeoutIsUnknownAndEndsTheCheck)
{
    QEL_REQUIRE_ROOT("the check reads the till itself only as root (other users read the kept readings)");
    QelTest::SimulatedMachine& machine = BringUp("falcon");
    const int port = open((machine.Root() + "/dev/port").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(port, 0);
    struct flock turn = {};
    turn.l_type = F_WRLCK;
    turn.l_whence = SEEK_SET;
    turn.l_start = 0;
    turn.l_len = 1;
    ASSERT_EQ(fcntl(port, F_OFD_SETLK, &turn), 0);
    const auto start = std::chrono::steady_clock::now();
    const ProgramResult r = OnMachine(machine, {"check", "-t", "1"});
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    close(port);
    EXPECT_EQ(r.exitCode, 3) << r.out;
    EXPECT_EQ(
        r.out,
        "QELSENSORS UNKNOWN - no result within the timeout of 1 s (-t): the till did not answer in time\n");
    EXPECT_LT(took, 3.0);
}
