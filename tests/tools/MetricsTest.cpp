// qelsensors metrics: the text format as Prometheus parses it (each family announced once, its
// samples together, label values escaped), nothing published that was not read, the event log
// counted by type and severity, and the file node_exporter reads replaced at once.
#include "Metrics.h"
#include "RunProgram.h"
#include "SimulatedMachine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <dirent.h>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>

using QelTest::ProgramResult;
using QelTool::Level;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::json;

namespace
{
// The samples of an exposition by series ("name{labels}"), after checking its layout: every family
// has one HELP and one TYPE line before its samples, and its samples follow each other.
std::map<std::string, std::string> Samples(const std::string& text)
{
    std::map<std::string, std::string> samples;
    std::set<std::string> announced, finished;
    std::string current;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
    {
        if (line.rfind("# HELP ", 0) == 0)
        {
            const std::string family = line.substr(7, line.find(' ', 7) - 7);
            EXPECT_TRUE(announced.insert(family).second) << "announced twice: " << family;
            if (!current.empty())
                finished.insert(current);
            current = family;
            continue;
        }
        if (line.rfind("# TYPE " + current + " ", 0) == 0)
            continue;
        const size_t space = line.rfind(' ');
        EXPECT_NE(space, std::string::npos) << line;
        const std::string series = line.substr(0, space);
        const std::string family = series.substr(0, series.find('{'));
        EXPECT_EQ(family, current) << "sample outside its family: " << line;
        EXPECT_EQ(finished.count(family), 0u) << "family split: " << line;
        EXPECT_TRUE(samples.emplace(series, line.substr(space + 1)).second) << "duplicate: " << line;
    }
    return samples;
}

// The value of a series, or "<missing>" with a failure that names it.
std::string At(const std::map<std::string, std::string>& samples, const std::string& series)
{
    const auto found = samples.find(series);
    if (found != samples.end())
        return found->second;
    ADD_FAILURE() << "no series " << series;
    return "<missing>";
}

QelTool::SensorView Sensor(SENSOR_HANDLE handle, const std::string& name, uint16_t baseUnits,
                           int32_t unitModifier, int32_t reading)
{
    QelTool::SensorView s;
    s.handle = handle;
    s.info.Description = name;
    s.info.BaseUnits = baseUnits;
    s.info.UnitModifier = unitModifier;
    s.reading = reading;
    s.level = Level::Ok;
    return s;
}

std::string Series(const std::string& family, const std::string& chip, const std::string& sensor,
                   const std::string& handle)
{
    return family + "{chip=\"" + chip + "\",sensor=\"" + sensor + "\",handle=\"" + handle + "\"}";
}

// An event as the decoder gives it; no time when year is 0.
SELogEvent Event(uint8_t type, std::optional<uint8_t> severity, uint16_t year = 0, uint8_t month = 1,
                 uint8_t day = 1, uint8_t hour = 0, uint8_t minute = 0, uint8_t second = 0)
{
    SELogEvent event;
    event.type = type;
    event.severity = severity;
    if (year != 0)
        event.time = SELogTime{year, month, day, hour, minute, second};
    return event;
}

QelTool::EventLogReading Log(std::vector<SELogEvent> events)
{
    QelTool::EventLogReading log;
    log.events = std::move(events);
    return log;
}
}  // namespace

TEST(MetricsFormat, ReadingsAndLimitsInBaseUnitsAndNothingThatWasNotRead)
{
    QelTool::MachineReadings machine;
    QelTool::ChipView chip;
    chip.description = "Nuvoton NCT6796D";
    chip.kernelDriver = "nct6775";  // read through the kernel's driver on a locked-down till
    chip.smbiosFromSysfs = true;
    QelTool::SensorView vcore = Sensor(0x10021, "Vcore", 5, -3, 904);
    vcore.info.LowerThresholdCritical = 600;
    vcore.info.UpperThresholdCritical = 1550;
    vcore.level = Level::Ok;
    QelTool::SensorView fan = Sensor(0x10036, "CPU Fan", 19, 0, 0);  // a stopped fan really reads 0
    fan.info.LowerThresholdCritical = 400;
    fan.level = Level::Critical;
    QelTool::SensorView temp = Sensor(0x10030, "CPU Temperature", 2, 0, -3);
    QelTool::SensorView unread = Sensor(0x10024, "+5V", 5, -3, 0);
    unread.level = Level::Error;
    unread.status = SS_HWMON_ERROR;
    unread.info.UpperThresholdCritical = 5500;
    QelTool::SensorView odd = Sensor(0x10040, "Intrusion", 0, 0, 1);  // no base unit to publish in
    chip.sensors = {vcore, fan, temp, unread, odd};
    machine.chips.push_back(chip);

    const auto samples =
        Samples(QelTool::MetricsText(machine, Log({}), {"Falcon", "K5FC0107", "9.9.9"}, 0.25));
    const std::string c = "Nuvoton NCT6796D";
    const std::map<std::string, std::string> expected = {
        {"qel_up", "1"},
        {"qel_machine_info{model=\"Falcon\",bios_version=\"K5FC0107\",version=\"9.9.9\"}", "1"},
        {"qel_chip_info{chip=\"" + c + "\",read_from=\"kernel:nct6775\",smbios_from=\"sysfs\"}", "1"},
        {Series("qel_sensor_volts", c, "Vcore", "0x00010021"), "0.904"},
        {Series("qel_sensor_lower_critical_volts", c, "Vcore", "0x00010021"), "0.600"},
        {Series("qel_sensor_upper_critical_volts", c, "Vcore", "0x00010021"), "1.550"},
        {Series("qel_fan_rpm", c, "CPU Fan", "0x00010036"), "0"},
        {Series("qel_fan_lower_critical_rpm", c, "CPU Fan", "0x00010036"), "400"},
        {Series("qel_sensor_celsius", c, "CPU Temperature", "0x00010030"), "-3"},
        {Series("qel_sensor_status", c, "Vcore", "0x00010021"), "0"},
        {Series("qel_sensor_status", c, "CPU Fan", "0x00010036"), "2"},
        {Series("qel_sensor_status", c, "CPU Temperature", "0x00010030"), "0"},
        {Series("qel_sensor_status", c, "Intrusion", "0x00010040"), "0"},
        {Series("qel_sensor_read_error", c, "Vcore", "0x00010021"), "0"},
        {Series("qel_sensor_read_error", c, "CPU Fan", "0x00010036"), "0"},
        {Series("qel_sensor_read_error", c, "CPU Temperature", "0x00010030"), "0"},
        {Series("qel_sensor_read_error", c, "+5V", "0x00010024"), "1"},
        {Series("qel_sensor_read_error", c, "Intrusion", "0x00010040"), "0"},
        {"qel_sel_up", "1"},
        {"qel_scrape_duration_seconds", "0.250000"},
    };
    // Exactly these: no value, status or limit for the sensor that was not read, no unknown limit.
    EXPECT_EQ(samples, expected);
}

TEST(MetricsFormat, AMachineOrLogThatCouldNotBeReadIsSaidSoAndNothingElse)
{
    QelTool::MachineReadings machine;
    machine.failure = QelTool::Failure{"cannot open /dev/port", std::nullopt};
    QelTool::EventLogReading log = Log({Event(0x17, 'I', 2022, 3, 1, 8, 0, 12)});
    log.failure = QelTool::Failure{"reading the event log area needs root", std::nullopt};
    const auto samples = Samples(QelTool::MetricsText(machine, log, {"", "", "9.9.9"}, 0.5));
    const std::map<std::string, std::string> expected = {
        {"qel_up", "0"},
        {"qel_machine_info{version=\"9.9.9\"}", "1"},  // model and BIOS unknown: left out
        {"qel_sel_up", "0"},
        {"qel_scrape_duration_seconds", "0.500000"},
    };
    EXPECT_EQ(samples, expected);
}

TEST(MetricsFormat, SsdsAreTemperaturesWithTheirThresholdsAndIdentity)
{
    QelTool::MachineReadings machine;
    machine.ssds.emplace();
    SsdDevice ssd;
    ssd.m_devPath = "/dev/nvme0";
    ssd.m_model = "TARN NV256 PCIe SSD   ";
    ssd.m_serial = "S4EUNX0N912345";
    ssd.m_fwRev = "2B2QFXO7";
    machine.ssds->devices = {ssd, ssd};
    machine.ssds->devices[1].m_devPath = "/dev/nvme1";
    QelTool::SensorView hot = Sensor(0, "SSD1 Temperature(00000001)", 2, 0, 90);
    hot.info.UpperThresholdCritical = 84;
    hot.info.LowerThresholdCritical = -5;
    hot.level = Level::Critical;
    QelTool::SensorView silent = Sensor(1, "SSD2 Temperature(00000002)", 2, 0, 0);
    silent.level = Level::Error;
    machine.ssds->sensors = {hot, silent};

    const auto samples = Samples(QelTool::MetricsText(machine, Log({}), {}, 0));
    const std::string c = "NVMe SSD";
    EXPECT_EQ(At(samples, Series("qel_sensor_celsius", c, "SSD1 Temperature(00000001)", "0x00000000")), "90");
    EXPECT_EQ(At(samples,
                 Series("qel_sensor_upper_critical_celsius", c, "SSD1 Temperature(00000001)", "0x00000000")),
              "84");
    EXPECT_EQ(At(samples,
                 Series("qel_sensor_lower_critical_celsius", c, "SSD1 Temperature(00000001)", "0x00000000")),
              "-5");
    EXPECT_EQ(At(samples, Series("qel_sensor_status", c, "SSD1 Temperature(00000001)", "0x00000000")), "2");
    EXPECT_EQ(At(samples,
                 "qel_ssd_info{chip=\"NVMe SSD\",sensor=\"SSD1 Temperature(00000001)\",handle=\"0x00000000\","
                 "device=\"/dev/nvme0\",model=\"TARN NV256 PCIe SSD\",serial=\"S4EUNX0N912345\","
                 "firmware=\"2B2QFXO7\"}"),
              "1");
    // The drive that did not answer has no temperature, not 0.
    EXPECT_EQ(At(samples, Series("qel_sensor_read_error", c, "SSD2 Temperature(00000002)", "0x00000001")),
              "1");
    EXPECT_EQ(samples.count(Series("qel_sensor_celsius", c, "SSD2 Temperature(00000002)", "0x00000001")), 0u);
}

TEST(MetricsFormat, LabelValuesFromFirmwareAreEscaped)
{
    QelTool::MachineReadings machine;
    QelTool::ChipView chip;
    chip.description = "Board \"B\\2\"";
    chip.sensors = {Sensor(1, "Line\nbreak", 5, -3, 1000)};
    machine.chips.push_back(chip);
    const std::string text = QelTool::MetricsText(machine, Log({}), {}, 0);
    EXPECT_THAT(text, HasSubstr("qel_sensor_volts{chip=\"Board \\\"B\\\\2\\\"\",sensor=\"Line\\nbreak\","
                                "handle=\"0x00000001\"} 1.000\n"));
    Samples(text);
}

TEST(MetricsFormat, EventsCountByTypeAndSeverityWithTheirNewestTime)
{
    struct Case
    {
        SELogEvent event;
        const char* type;
        const char* severity;
        int64_t time;  // -1: none
    } const cases[] = {
        {Event(0x17, 'I', 2022, 3, 1, 8, 0, 12), "System boot", "information", 1646121612},
        {Event(0x08, 'W', 2022, 3, 1, 8, 0, 15), "POST Error", "warning", 1646121615},
        {Event(0x06, 'E', 2022, 4, 12, 23, 59, 59), "Software NMI", "error", 1649807999},
        {Event(0x10, 0x07, 1999, 12, 31, 23, 59, 59), "System Limit Exceeded", "unknown", 946684799},
        {Event(0x04, std::nullopt, 2022, 5, 2, 10, 0, 0), "Bus time-out", "none", 1651485600},
        {Event(0x42, std::nullopt, 2022, 5, 2, 10, 0, 0), "Unknown(0x42)", "none", 1651485600},
        // Counted without a time where the record gives none.
        {Event(0x17, 'I'), "System boot", "information", -1},
        {Event(0x10, std::nullopt), "System Limit Exceeded", "none", -1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.type);
        const QelTool::SelEvent event = QelTool::SelEventOf(c.event);
        EXPECT_EQ(event.type, c.type);
        EXPECT_EQ(event.severity, c.severity);
        EXPECT_EQ(event.time.value_or(-1), c.time);
    }

    const auto samples = Samples(QelTool::MetricsText(
        {},
        Log({Event(0x17, 'I', 2022, 3, 9, 7, 58, 51), Event(0x17, 'I', 2022, 3, 1, 8, 0, 12),
             Event(0x17, 'I'), Event(0x06, 'E', 2022, 4, 12, 23, 59, 59)}),
        {}, 0));
    EXPECT_EQ(At(samples, "qel_sel_events_total{type=\"System boot\",severity=\"information\"}"), "3");
    EXPECT_EQ(At(samples, "qel_sel_events_total{type=\"Software NMI\",severity=\"error\"}"), "1");
    // The newest, not the last listed.
    EXPECT_EQ(
        At(samples, "qel_sel_last_event_timestamp_seconds{type=\"System boot\",severity=\"information\"}"),
        "1646812731");
}

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

std::string ValueText(const Json& value)
{
    std::ostringstream text;
    text << value.get<double>();
    return text.str();
}

// The value of a series, as a number printed the way ValueText prints JSON numbers.
std::string NumberText(const std::string& value)
{
    std::ostringstream text;
    if (value == "<missing>")
        return value;
    text << std::stod(value);
    return text.str();
}

class MetricsTool : public QelTest::SimulatedMachineTest
{
};
}  // namespace

// Every shipped till: each sensor the table shows has its reading, limits and status in the
// metrics, and the exit status is the table's.
TEST_F(MetricsTool, EveryShippedTillPublishesWhatTheSensorTableShows)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    const std::vector<std::string> profiles = QelSim::ShippedProfiles();
    ASSERT_GE(profiles.size(), 8u);
    for (const std::string& name : profiles)
    {
        SCOPED_TRACE(name);
        QelTest::SimulatedMachine& machine = BringUp(name);
        machine.SysRoot().WriteFile("/etc/tarn/sensor.conf", "NvmeReadings=1\n");
        const ProgramResult json = OnMachine(machine, {"--json"});
        const ProgramResult metrics = OnMachine(machine, {"metrics"});
        EXPECT_EQ(metrics.exitCode, json.exitCode) << metrics.err;
        const auto samples = Samples(metrics.out);
        EXPECT_EQ(At(samples, "qel_up"), "1");
        EXPECT_EQ(At(samples, "qel_sel_up"), "1");
        const Json doc = Json::parse(json.out);
        static const std::map<std::string, std::pair<std::string, std::string>> kFamilies = {
            {"Volts", {"qel_sensor", "volts"}},
            {"Degrees C", {"qel_sensor", "celsius"}},
            {"RPM", {"qel_fan", "rpm"}}};
        static const std::map<std::string, int> kStatus = {
            {"ok", 0}, {"warning", 1}, {"critical", 2}, {"fatal", 3}};
        size_t checked = 0;
        const auto check = [&](const std::string& chip, const Json& s, SENSOR_HANDLE handle)
        {
            char handleText[16];
            snprintf(handleText, sizeof(handleText), "0x%08X", handle);
            const std::string sensor = s["name"];
            EXPECT_EQ(At(samples, Series("qel_sensor_status", chip, sensor, handleText)),
                      std::to_string(kStatus.at(s["status"])));
            ++checked;
            const auto unit = kFamilies.find(s["unit"]);
            if (unit == kFamilies.end())
            {
                // No base unit to publish it in: its status and read error alone.
                size_t series = 0;
                for (const auto& sample : samples)
                    series += sample.first.find(",handle=\"" + std::string(handleText) + "\"}") !=
                              std::string::npos;
                EXPECT_EQ(series, 2u) << sensor;
                return;
            }
            const auto& family = unit->second;
            EXPECT_EQ(
                NumberText(At(samples, Series(family.first + "_" + family.second, chip, sensor, handleText))),
                ValueText(s["value"]))
                << sensor;
            for (const auto& [limit, bound] :
                 std::map<std::string, std::string>{{"lowerCritical", "lower_critical"},
                                                    {"upperCritical", "upper_critical"},
                                                    {"upperNonCritical", "upper_non_critical"}})
            {
                const std::string series =
                    Series(family.first + "_" + bound + "_" + family.second, chip, sensor, handleText);
                if (s["limits"][limit].is_null())
                    EXPECT_EQ(samples.count(series), 0u) << series;
                else
                    EXPECT_EQ(NumberText(At(samples, series)), ValueText(s["limits"][limit])) << series;
            }
        };
        for (const Json& chip : doc["chips"])
            for (const Json& s : chip["sensors"])
                check(chip["description"], s, s["handle"]);
        if (doc.contains("ssds"))
            for (size_t i = 0; i < doc["ssds"].size(); ++i)
                check("NVMe SSD", doc["ssds"][i], static_cast<SENSOR_HANDLE>(i));
        EXPECT_GT(checked, 3u);
    }
}

// A chip whose ports fail and an SSD that stops answering are read errors, never a 0; they come
// back with their readings.
TEST_F(MetricsTool, WhatCouldNotBeReadIsAnErrorNotAZero)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    QelTest::SimulatedMachine& machine = BringUp("ambercoral");
    const QelSim::ChipProfile& chip = machine.Profile().chips.at(0);
    machine.Bus().FailPorts(uint16_t(chip.monitorBase + 5), uint16_t(chip.monitorBase + 6));
    ProgramResult r = OnMachine(machine, {"metrics"});
    EXPECT_EQ(r.exitCode, 1);
    const std::string first = chip.board.sensors.at(0).name;
    EXPECT_THAT(r.err, HasSubstr("sensor \"" + first + "\" (handle 0x"));
    auto samples = Samples(r.out);
    size_t errors = 0;
    for (const auto& [series, value] : samples)
    {
        EXPECT_THAT(series, AllOf(Not(HasSubstr("qel_sensor_volts{")), Not(HasSubstr("qel_sensor_celsius{")),
                                  Not(HasSubstr("qel_fan_rpm{")), Not(HasSubstr("qel_sensor_status{"))));
        if (series.rfind("qel_sensor_read_error{", 0) == 0)
            errors += value == "1";
    }
    EXPECT_EQ(errors, chip.board.sensors.size());
    machine.Bus().ClearFailingPorts();
    r = OnMachine(machine, {"metrics"});
    EXPECT_NE(r.exitCode, 1) << r.err;
    EXPECT_THAT(r.out, AllOf(HasSubstr("qel_sensor_volts{"), Not(HasSubstr("} 1\nqel_sensor_read_error"))));

    // The Falcon's second SSD has a SMART log that cannot be read: the provider would say 0 degrees.
    QelSim::Profile falcon = QelSim::LoadProfile(QelSim::FindProfile("falcon"));
    falcon.ssds.at(1).failure = QelSim::SsdProfile::Failure::Health;
    m_machine.reset();
    m_machine.reset(new QelTest::SimulatedMachine(falcon));
    m_machine->SysRoot().WriteFile("/etc/tarn/sensor.conf", "NvmeReadings=1\n");
    r = OnMachine(*m_machine, {"metrics"});
    EXPECT_EQ(r.exitCode, 1);
    samples = Samples(r.out);
    EXPECT_EQ(
        At(samples, Series("qel_sensor_read_error", "NVMe SSD", "SSD2 Temperature(00000002)", "0x00000001")),
        "1");
    EXPECT_EQ(
        samples.count(Series("qel_sensor_celsius", "NVMe SSD", "SSD2 Temperature(00000002)", "0x00000001")),
        0u);
    EXPECT_EQ(
        At(samples, Series("qel_sensor_celsius", "NVMe SSD", "SSD1 Temperature(00000001)", "0x00000000")),
        "38");
    const Json doc = Json::parse(OnMachine(*m_machine, {"--json"}).out);
    EXPECT_EQ(doc["ssds"][1]["status"], "error");
    EXPECT_TRUE(doc["ssds"][1]["reading"].is_null());
}

TEST_F(MetricsTool, OutputReplacesTheFileAtOnceReadableByAll)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    QelTest::SimulatedMachine& machine = BringUp("falcon");
    const std::string dir = machine.Root() + "/textfile";
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    const std::string file = dir + "/qelsensors.prom";
    for (int round = 0; round < 2; ++round)
    {
        const ProgramResult r = OnMachine(machine, {"metrics", "--output", file});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "");
    }
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    std::ifstream in(file);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(Samples(content.str()).at("qel_up"), "1");
    // Nothing left beside it.
    std::vector<std::string> entries;
    DIR* d = opendir(dir.c_str());
    for (dirent* e; (e = readdir(d)) != nullptr;)
        if (e->d_name[0] != '.' || (std::string(e->d_name) != "." && std::string(e->d_name) != ".."))
            entries.push_back(e->d_name);
    closedir(d);
    EXPECT_EQ(entries, std::vector<std::string>{"qelsensors.prom"});

    // A directory that is not there: the usual failure, and no file.
    const ProgramResult r = OnMachine(machine, {"metrics", "--output", dir + "/missing/qelsensors.prom"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("qelsensors metrics: cannot create a file in " + dir + "/missing/"));
}

TEST(MetricsToolUsage, BadUsageExitsWithTwo)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"metrics", "extra"}, {"metrics", "--output"}, {"metrics", "--json"}, {"--json", "metrics"}})
    {
        const ProgramResult r = Qelsensors(args);
        EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(args);
        EXPECT_THAT(r.err, HasSubstr("usage: qelsensors metrics")) << testing::PrintToString(args);
        EXPECT_EQ(r.out, "");
    }
}
