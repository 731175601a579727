// Many readers of one till at once, as our packages run them: the provider inside an object
// manager under request load, the metrics timer's command, a technician's qelsensors and a capture.
// Each must publish what the chip holds, and the chip must never see one reader's register access
// inside another's.
#include "PortIo.h"
#include "ProviderTestSupport.h"
#include "RunProgram.h"
#include "chip.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace ProviderTest;
using QelTest::ProgramResult;

namespace
{
ProgramResult Qelsensors(const std::vector<std::string>& args)
{
    return QelTest::RunProgram(QelTest::BuiltProgram("tools/qelsensors"), args);
}

// The readings of the tool's JSON document: each sensor's name, reading and status.
std::string JsonReadings(const std::string& document)
{
    const nlohmann::json parsed = nlohmann::json::parse(document, nullptr, false);
    if (parsed.is_discarded() || !parsed.contains("chips"))
        return "unparsable: " + document.substr(0, 200);
    std::string readings;
    for (const auto& chip : parsed["chips"])
        for (const auto& sensor : chip["sensors"])
            readings +=
                sensor["name"].dump() + "=" + sensor["reading"].dump() + " " + sensor["status"].dump() + "\n";
    return readings;
}

// The exposition without the one line that changes from scrape to scrape.
std::string MetricsReadings(const std::string& exposition)
{
    std::istringstream lines(exposition);
    std::string line;
    std::string kept;
    while (std::getline(lines, line))
        if (line.rfind("qel_scrape_duration_seconds", 0) != 0)
            kept += line + "\n";
    return kept;
}

std::map<std::string, int64_t> ProviderReadings(const Reply& reply)
{
    std::map<std::string, int64_t> readings;
    for (const Instance& instance : reply.instances)
        if (const Value* reading = instance.Property("CurrentReading"))
            readings[NameOf(instance)] = reading->sint;
    return readings;
}

// One reader, again and again until the end: how often it read, and how often what it published
// differed from what it published alone.
struct Loop
{
    int runs = 0;
    int wrong = 0;
    std::string firstWrong;

    void Note(bool right, const std::string& what)
    {
        ++runs;
        if (right)
            return;
        if (wrong++ == 0)
            firstWrong = what;
    }
};

class ReadersTest : public ProviderFixture, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(ReadersTest, ReadersAtOnceEachPublishWhatTheChipHoldsAndNoSequenceIsBroken)
{
    Host& host = Start(GetParam());
    const std::string root = Machine().Root();
    QelSim::PortBus& bus = Machine().Bus();

    // What each reader publishes alone.
    const Reply alone = host.EnumerateInstances(kNameSpace, kSensorClass);
    ASSERT_EQ(alone.rc, CMPI_RC_OK);
    const std::map<std::string, int64_t> served = ProviderReadings(alone);
    const ProgramResult json = Qelsensors({"--json", "--sysroot", root});
    const ProgramResult metrics = Qelsensors({"metrics", "--sysroot", root});
    ASSERT_EQ(JsonReadings(json.out).find("unparsable"), std::string::npos) << json.err;
    ASSERT_FALSE(MetricsReadings(metrics.out).empty()) << metrics.err;
    const std::vector<std::vector<uint8_t>> registers = bus.DeviceContents();
    bus.ResetStats();

    Loop provider;
    Loop tool;
    Loop exposition;
    int captureExit = -1;
    // Six seconds, and at least two passes of each program however slow the machine (a sanitizer
    // build on a busy one); the provider answers until both have finished.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(6);
    const auto limit = end + std::chrono::seconds(80);
    std::atomic<int> programs{2};
    const auto until = [&](Loop& loop, const std::function<std::pair<bool, std::string>()>& once)
    {
        const bool program = &loop != &provider;
        for (;;)
        {
            const auto now = std::chrono::steady_clock::now();
            if (program ? (now >= end && loop.runs >= 2) || now >= limit : programs == 0)
                break;
            const auto result = once();
            loop.Note(result.first, result.second);
        }
        if (program)
            --programs;
    };
    std::vector<std::thread> readers;
    readers.emplace_back(
        [&]
        {
            until(provider,
                  [&]
                  {
                      // A busy broker, not a spinning one: some hundred requests a second.
                      std::this_thread::sleep_for(std::chrono::milliseconds(2));
                      const Reply reply = host.EnumerateInstances(kNameSpace, kSensorClass);
                      return std::make_pair(reply.rc == CMPI_RC_OK && ProviderReadings(reply) == served,
                                            "rc " + std::to_string(reply.rc));
                  });
        });
    readers.emplace_back(
        [&]
        {
            until(tool,
                  [&]
                  {
                      const ProgramResult run = Qelsensors({"--json", "--sysroot", root});
                      const std::string readings = JsonReadings(run.out);
                      return std::make_pair(run.exitCode == json.exitCode &&
                                                readings == JsonReadings(json.out),
                                            readings + run.err);
                  });
        });
    readers.emplace_back(
        [&]
        {
            until(exposition,
                  [&]
                  {
                      const ProgramResult run = Qelsensors({"metrics", "--sysroot", root});
                      const std::string readings = MetricsReadings(run.out);
                      return std::make_pair(run.exitCode == metrics.exitCode &&
                                                readings == MetricsReadings(metrics.out),
                                            readings + run.err);
                  });
        });
    readers.emplace_back(
        [&]
        {
            QelTest::TempSysRoot dir;
            captureExit = Qelsensors({"capture", dir.Path() + "/till.capture", "--sysroot", root}).exitCode;
        });
    for (std::thread& reader : readers)
        reader.join();

    printf("[ readers  ] %s: %d provider requests, %d tool runs, %d metrics runs; wrong: %d, %d, %d\n",
           GetParam(), provider.runs, tool.runs, exposition.runs, provider.wrong, tool.wrong,
           exposition.wrong);
    EXPECT_EQ(provider.wrong, 0) << provider.firstWrong;
    EXPECT_EQ(tool.wrong, 0) << tool.firstWrong;
    EXPECT_EQ(exposition.wrong, 0) << exposition.firstWrong;
    EXPECT_GE(tool.runs, 2);
    EXPECT_GE(exposition.runs, 2);
    EXPECT_EQ(captureExit, 0);
    for (const auto& device : bus.Devices())
        EXPECT_EQ(device->BrokenSequences(), 0u) << device->Name();
    // Nothing any reader wrote landed anywhere but in the index, bank and device selections.
    EXPECT_EQ(bus.DeviceContents(), registers);
}

INSTANTIATE_TEST_SUITE_P(NuvotonAndIte, ReadersTest, ::testing::Values("ambercoral", "wren"));

// A process that holds the turn and then hangs makes the others' readings fail after the bound
// (and the next ones at once), never wait for ever and never give a value; killed, even in the middle of a
// sequence, it holds nobody up any more.
TEST(Turns, AHungHolderFailsReadingsWithinTheBoundAndAKilledOneBlocksNobody)
{
    QEL_REQUIRE_FUSE();
    QelTest::SimulatedMachine machine("ambercoral");
    const QelSim::ChipProfile& nct = machine.Profile().chips.at(0);
    CChip chip;
    ASSERT_EQ(chip.Initialise(), SS_SUCCESS);
    CSensorHandleList handles;
    ASSERT_EQ(chip.EnumerateSensorHandles(handles), SS_SUCCESS);
    const SENSOR_HANDLE vcore = handles.front();
    CSensorReading before;
    before.Translate = 1;
    ASSERT_EQ(chip.ReadSensor(vcore, before), SS_SUCCESS);

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0)
    {
        PortIo port;
        if (!port.initialise())
            _exit(1);
        PortIo::Sequence turn(port);
        port.outb(static_cast<uint16_t>(nct.monitorBase + 5), 0x4E);  // half a register read
        const char byte = 1;
        if (write(ready[1], &byte, 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    ASSERT_GT(holder, 0);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    close(ready[1]);

    const auto timed = [&chip, vcore](CSensorReading& reading)
    {
        reading.Translate = 1;
        const auto start = std::chrono::steady_clock::now();
        const SENSOR_STATUS status = chip.ReadSensor(vcore, reading);
        return std::make_pair(
            status, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    };
    CSensorReading hung;
    const auto waited = timed(hung);
    EXPECT_EQ(waited.first, SS_HWMON_ERROR);
    EXPECT_GE(waited.second, 1.9);
    EXPECT_LT(waited.second, 4.0);
    bool said = false;
    for (const std::string& message : machine.SysRoot().LogMessages())
        said = said || message.find("waited 2000 ms for the turn at the ports") != std::string::npos;
    EXPECT_TRUE(said) << "no log line says what the reading waited for";
    // The holder has been seen hanging: the next reading does not wait the whole bound again.
    CSensorReading again;
    const auto stalled = timed(again);
    EXPECT_EQ(stalled.first, SS_HWMON_ERROR);
    EXPECT_LT(stalled.second, 0.5);

    kill(holder, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(holder, &status, 0), holder);
    CSensorReading after;
    const auto quick = timed(after);
    EXPECT_EQ(quick.first, SS_SUCCESS);
    EXPECT_LT(quick.second, 0.5);
    EXPECT_EQ(after.CurrentReading, before.CurrentReading);
}

// A chip whose ports a kernel driver holds is left to the driver: not one access reaches it. It is
// read through the driver's hwmon device; where the driver registered none, the technician is told
// which driver has the chip.
TEST(Turns, AChipAKernelDriverHoldsIsNotTouched)
{
    QEL_REQUIRE_FUSE();
    QelSim::Profile profile = QelSim::LoadProfile(QelSim::FindProfile("ambercoral"));
    profile.chips.at(0).kernelDriver = "nct6775";
    QelTest::SimulatedMachine machine(profile);
    const ProgramResult through = Qelsensors({"--sysroot", machine.Root()});
    EXPECT_EQ(through.exitCode, 0) << through.err;
    EXPECT_NE(through.out.find("read through the kernel's nct6775 driver"), std::string::npos) << through.out;
    ASSERT_EQ(system(("rm -r " + machine.Root() + "/sys/class/hwmon").c_str()), 0);
    const ProgramResult run = Qelsensors({"--sysroot", machine.Root()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("the kernel's nct6775 driver owns this chip (ports 0x0a25-0x0a26)"),
              std::string::npos)
        << run.err;
    const QelSim::PortStats stats = machine.Bus().Stats();
    EXPECT_EQ(stats.reads + stats.writes, 0u);
}
}  // namespace
