// How CChip starts, fails and refuses, on simulated machines (in this process, without a mount):
// the model check before any hardware, a management device without driver, a log that cannot be
// read, handles that name no device, a second and a concurrent Initialise, and a retry after a
// failure.
#include "Capture.h"
#include "ChipDevice.h"
#include "ChipManager.h"
#include "ChipStartReport.h"
#include "InProcessMachine.h"
#include "Requires.h"
#include "chip.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

namespace
{
QelSim::Profile Shipped(const std::string& name)
{
    return QelSim::LoadProfile(QelSim::FindProfile(name));
}

// Falcon's EC and AmberCoral's Super I/O on one board, the second described as secondDescription;
// the sample log's limit events name probe.
QelSim::Profile TwoChips(const std::string& secondDescription, const std::string& probe = "CPU Temperature")
{
    const auto read = [](const std::string& name)
    {
        std::ifstream in(QelSim::FindProfile(name));
        std::stringstream text;
        text << in.rdbuf();
        return nlohmann::json::parse(text.str());
    };
    nlohmann::json falcon = read("falcon");
    nlohmann::json second = read("ambercoral")["chips"][0];
    second["description"] = secondDescription;
    falcon["chips"].push_back(second);
    falcon["eventLog"]["sample"]["probe"] = probe;
    return QelSim::ParseProfile(falcon.dump(), "two-chips");
}

uint64_t Accesses(QelTest::InProcessMachine& machine)
{
    const QelSim::PortStats stats = machine.Bus().Stats();
    return stats.reads + stats.writes;
}

long CountMessages(QelTest::InProcessMachine& machine, const std::string& text)
{
    const std::vector<std::string> messages = machine.SysRoot().LogMessages();
    return std::count_if(messages.begin(), messages.end(),
                         [&](const std::string& m) { return m.find(text) != std::string::npos; });
}

SENSOR_STATUS Initialise(CChip& chip)
{
    SENSOR_STATUS status = SS_INTERNAL_ERROR;
    QelTest::CaptureStdout([&] { status = chip.Initialise(); });
    return status;
}

std::vector<SENSOR_HANDLE> Handles(CChip& chip)
{
    CSensorHandleList list;
    EXPECT_EQ(chip.EnumerateSensorHandles(list), SS_SUCCESS);
    return std::vector<SENSOR_HANDLE>(list.begin(), list.end());
}

class ChipStart : public QelTest::InProcessMachineTest
{
};
}  // namespace

TEST_F(ChipStart, AnUnknownModelFailsBeforeAnyHardwareOrManagementDevice)
{
    QelSim::Profile profile = Shipped("ambercoral");
    profile.bios.version = "XX0101";
    QelTest::InProcessMachine& machine = BringUp(profile);

    CChip chip;
    CSensorReading reading;
    EXPECT_EQ(chip.ReadSensor(0x21, reading), SS_NOT_INITIALISED);
    EXPECT_EQ(Initialise(chip), SS_UNSUPPORTED_SYSTEM);
    EXPECT_EQ(machine.Bus().Mark(), 0u) << QelSim::FormatAccesses(machine.Bus().Accesses());
    EXPECT_EQ(CountMessages(machine, "CChipManager::Initialise - Kestrel System with Bios Version XX0101 Not "
                                     "supported at this time"),
              1);
    EXPECT_EQ(CountMessages(machine, "CSMBiosChipData Constructed"), 0);
    EXPECT_EQ(CountMessages(machine, "CSMBiosChipData::StoreType34"), 0);
    EXPECT_EQ(CountMessages(machine, "CChipDeviceFactory"), 0);
    EXPECT_EQ(StartReportOf(chip).reached, ChipStartReport::Step::Model);
    EXPECT_EQ(StartReportOf(chip).status, SS_UNSUPPORTED_SYSTEM);
    EXPECT_TRUE(StartReportOf(chip).devices.empty());

    // Still not initialised: every query is refused, and nothing reaches the chip.
    CSensorHandleList list;
    CSensorInformation info;
    CSystemEventLog log;
    EXPECT_EQ(chip.EnumerateSensorHandles(list), SS_NOT_INITIALISED);
    EXPECT_EQ(chip.GetSensorInformation(0x21, info), SS_NOT_INITIALISED);
    EXPECT_EQ(chip.ReadSensor(0x21, reading), SS_NOT_INITIALISED);
    EXPECT_EQ(chip.GetSystemEventLog(log), SS_NOT_INITIALISED);
    EXPECT_TRUE(list.empty() && log.LogLines.empty());
    EXPECT_EQ(machine.Bus().Mark(), 0u);
}

TEST_F(ChipStart, AManagementDeviceWithoutDriverFailsTheStartAndARetryNumbersFromDeviceZero)
{
    // The second description has a trailing blank: no driver takes it.
    const QelSim::Profile broken = TwoChips("Nuvoton NCT6796D ");
    QelTest::InProcessMachine& machine = BringUp(broken);
    CChip chip;
    EXPECT_EQ(Initialise(chip), SS_NO_DRIVER);
    // The first device had started.
    EXPECT_EQ(CountMessages(machine, "IT5571_v2::Initialise - Initialised Ok"), 1);
    EXPECT_EQ(CountMessages(machine, "CChipManager::Initialise - Adding chip device"), 1);
    EXPECT_EQ(CountMessages(machine, "No description name found for driver Nuvoton NCT6796D "), 1);
    CSensorHandleList none;
    EXPECT_EQ(chip.EnumerateSensorHandles(none), SS_NOT_INITIALISED);
    // The report names both devices and says which one stopped the start, and why.
    {
        const ChipStartReport& report = StartReportOf(chip);
        EXPECT_EQ(report.reached, ChipStartReport::Step::Devices);
        ASSERT_EQ(report.devices.size(), 2u);
        EXPECT_EQ(report.devices[0].device, 0u);
        EXPECT_EQ(report.devices[0].board.strDescription, broken.chips[0].board.description);
        EXPECT_TRUE(report.devices[0].hasDriver);
        EXPECT_EQ(report.devices[0].status, SS_SUCCESS);
        EXPECT_EQ(report.devices[1].device, 1u);
        EXPECT_EQ(report.devices[1].board.strDescription, "Nuvoton NCT6796D ");
        EXPECT_FALSE(report.devices[1].hasDriver);
        EXPECT_EQ(report.devices[1].status, SS_NO_DRIVER);
    }

    // The BIOS is fixed; the same CChip starts, and its devices are numbered as on a first start.
    const QelSim::Profile fixed = TwoChips("Nuvoton NCT6796D");
    machine.SysRoot().Install(QelSim::BuildImage(fixed));
    ASSERT_EQ(Initialise(chip), SS_SUCCESS);
    EXPECT_EQ(StartReportOf(chip).reached, ChipStartReport::Step::Started);
    EXPECT_EQ(StartReportOf(chip).devices.size(), 2u);  // the retry's, not the failure's as well
    const std::vector<SENSOR_HANDLE> handles = Handles(chip);
    std::vector<uint32_t> devices;
    for (SENSOR_HANDLE h : handles)
        devices.push_back(DeviceIndexOf(h));
    const size_t first = fixed.chips[0].board.sensors.size();
    const size_t second = fixed.chips[1].board.sensors.size();
    ASSERT_EQ(devices.size(), first + second);
    EXPECT_TRUE(std::all_of(devices.begin(), devices.begin() + first, [](uint32_t d) { return d == 0; }));
    EXPECT_TRUE(std::all_of(devices.begin() + first, devices.end(), [](uint32_t d) { return d == 1; }));
    for (SENSOR_HANDLE h : handles)
    {
        CSensorReading reading;
        reading.Translate = 1;
        EXPECT_EQ(chip.ReadSensor(h, reading), SS_SUCCESS) << std::hex << h;
    }
}

TEST_F(ChipStart, OnlyTheFirstDeviceNamesTheProbesOfLimitEvents)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    // The log's probe is a sensor of the second chip: the manager looks in the first device only.
    BringUp(TwoChips("Nuvoton NCT6796D", "CPU Fan"));
    CChipManager manager;
    SENSOR_STATUS status = SS_INTERNAL_ERROR;
    QelTest::CaptureStdout([&] { status = manager.Initialise(); });
    ASSERT_EQ(status, SS_SUCCESS);
    ASSERT_EQ(manager.m_vChipDevices.size(), 2u);

    std::list<uint16_t> first;
    std::list<uint16_t> second;
    manager.m_vChipDevices[0]->GetSensorHandles(first);
    manager.m_vChipDevices[1]->GetSensorHandles(second);
    ASSERT_FALSE(first.empty() || second.empty());
    EXPECT_NE(manager.GetRawSensorFromFirstChipDevice(first.front()), nullptr);
    EXPECT_EQ(manager.GetRawSensorFromFirstChipDevice(second.back()), nullptr);

    CSystemEventLog log;
    QelTest::CaptureStdout([&] { status = manager.GetSystemEventLog(log); });
    ASSERT_EQ(status, SS_SUCCESS);
    EXPECT_THAT(log.LogLines, Contains(HasSubstr(":HWMON: - Probe (0x")));
    EXPECT_THAT(log.LogLines, Not(Contains(HasSubstr("CPU Fan transitioned"))));
}

TEST_F(ChipStart, AnUnreadableLogLeavesTheSensorsWorking)
{
    // The Type 15 structure points beyond the end of physical memory.
    QelSim::Profile profile = Shipped("falcon");
    profile.eventLog->address = 0x7FFF0000;
    QelTest::InProcessMachine& machine = BringUp(profile);
    QelImage::MachineImage image = QelSim::BuildImage(profile);
    image.SetMemorySize(0x40000000);
    machine.SysRoot().Install(image);

    CChip chip;
    ASSERT_EQ(Initialise(chip), SS_SUCCESS);
    EXPECT_EQ(CountMessages(machine, "CChipManager::Initialise - m_EventLogContainer.Initialise failed "
                                     "sscode=0x0000000f"),
              1);
    EXPECT_EQ(CountMessages(machine, " --- Policy is to continue with Sensors only"), 1);
    const std::vector<SENSOR_HANDLE> handles = Handles(chip);
    EXPECT_EQ(handles.size(), profile.chips[0].board.sensors.size());
    for (SENSOR_HANDLE h : handles)
    {
        CSensorInformation info;
        CSensorReading reading;
        reading.Translate = 1;
        EXPECT_EQ(chip.GetSensorInformation(h, info), SS_SUCCESS);
        EXPECT_EQ(chip.ReadSensor(h, reading), SS_SUCCESS);
    }
    // The container never came up: the log answers "not initialised", and stays untouched; the
    // report keeps where the start-up's reading stopped.
    CSystemEventLog log;
    log.LogLines = {"kept"};
    EXPECT_EQ(chip.GetSystemEventLog(log), SS_NOT_INITIALISED);
    EXPECT_EQ(log.LogLines, std::vector<std::string>{"kept"});
    const EventLogReport& report = StartReportOf(chip).eventLog;
    EXPECT_EQ(report.reached, EventLogReport::Step::Area);
    ASSERT_TRUE(report.type15.has_value());
    EXPECT_EQ(report.type15->AccessMethodAddress.PhysicalAddr32, 0x7FFF0000u);
}

TEST_F(ChipStart, HandlesThatNameNoSensorAreInvalidAndTouchNoChip)
{
    QelTest::InProcessMachine& machine = BringUp("ambercoral");
    CChip chip;
    ASSERT_EQ(Initialise(chip), SS_SUCCESS);
    const SENSOR_HANDLE valid = Handles(chip).front();

    // One device: index 1 is past the end; 0xFFFF far past it.
    for (SENSOR_HANDLE handle : {MakeSensorHandle(1, SmbiosHandleOf(valid)), SENSOR_HANDLE{0xFFFF0001}})
    {
        const uint64_t mark = machine.Bus().Mark();
        CSensorInformation info;
        CSensorReading reading;
        EXPECT_EQ(chip.GetSensorInformation(handle, info), SS_INVALID_HANDLE);
        EXPECT_EQ(chip.ReadSensor(handle, reading), SS_INVALID_HANDLE);
        EXPECT_EQ(machine.Bus().Mark(), mark);
    }
    EXPECT_EQ(CountMessages(machine, "CChipManager::ReadSensor - No device for Handle"), 2);
    EXPECT_EQ(CountMessages(machine, "CChipManager::GetSensorInformation - No device for Handle"), 2);

    // The right device, but no sensor of its own with that SMBIOS handle.
    CSensorReading reading;
    EXPECT_EQ(chip.ReadSensor(MakeSensorHandle(0, 0x0001), reading), SS_INVALID_HANDLE);
}

TEST_F(ChipStart, ASecondInitialiseReadsNeitherSmbiosNorTheChip)
{
    QelTest::InProcessMachine& machine = BringUp("ambercoral");
    CChip chip;
    ASSERT_EQ(Initialise(chip), SS_SUCCESS);
    const long tables = CountMessages(machine, "CRawSMBios Constructed");
    // One table for the whole start-up: the event log's first decoding takes the same copy.
    EXPECT_EQ(tables, 1);
    const uint64_t mark = machine.Bus().Mark();
    ASSERT_GT(mark, 0u);

    machine.SysRoot().Remove("/dev/mem");
    std::string printed;
    SENSOR_STATUS status = SS_INTERNAL_ERROR;
    printed = QelTest::CaptureStdout([&] { status = chip.Initialise(); });
    EXPECT_EQ(status, SS_SUCCESS);
    EXPECT_EQ(QelTest::LibraryDebugLines(printed), std::vector<std::string>());
    EXPECT_EQ(CountMessages(machine, "CRawSMBios Constructed"), tables);
    EXPECT_EQ(machine.Bus().Mark(), mark);
    EXPECT_FALSE(Handles(chip).empty());
}

TEST_F(ChipStart, ConcurrentInitialiseStartsTheManagerOnce)
{
    QelTest::InProcessMachine& machine = BringUp("ambercoral");
    // What one start costs on the bus.
    uint64_t before = Accesses(machine);
    {
        CChip reference;
        ASSERT_EQ(Initialise(reference), SS_SUCCESS);
    }
    const uint64_t oneStart = Accesses(machine) - before;
    const long started = CountMessages(machine, "CChipManager::Initialise - Initialised Ok");

    CChip chip;
    constexpr int kThreads = 8;
    std::atomic<int> ready{0};
    std::vector<SENSOR_STATUS> statuses(kThreads, SS_INTERNAL_ERROR);
    before = Accesses(machine);
    QelTest::CaptureStdout(
        [&]
        {
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t)
                threads.emplace_back(
                    [&, t]
                    {
                        ++ready;
                        while (ready.load() < kThreads)
                            std::this_thread::yield();
                        statuses[t] = chip.Initialise();
                    });
            for (std::thread& thread : threads)
                thread.join();
        });
    EXPECT_EQ(statuses, std::vector<SENSOR_STATUS>(kThreads, SS_SUCCESS));
    EXPECT_EQ(CountMessages(machine, "CChipManager::Initialise - Initialised Ok"), started + 1);
    EXPECT_EQ(Accesses(machine) - before, oneStart);
    EXPECT_EQ(Handles(chip).size(), machine.Profile().chips[0].board.sensors.size());
}
