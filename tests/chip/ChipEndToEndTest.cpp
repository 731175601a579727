// Every shipped machine through CChip, as the CIM provider uses it: the handle list, each
// sensor's description and readings against what the profile implies, and the event log with its
// limit events naming their sensor.
#include "Capture.h"
#include "ChipManager.h"
#include "ExpectedChip.h"
#include "SimulatedMachine.h"
#include "chip.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

using ::testing::ElementsAreArray;

namespace
{
// The handles the machine's BIOS gives its chips and sensors, as the simulator lays them out.
std::vector<QelSim::BoardHandles> BoardHandles(const QelSim::Profile& profile)
{
    std::vector<QelSim::BoardChip> board;
    for (const QelSim::ChipProfile& chip : profile.chips)
        board.push_back(chip.board);
    QelImage::MachineImage scratch;
    return QelSim::AddBoard(scratch, board);
}

// The sample till log, with the limit events as they read when the probe is (or is not) known.
std::vector<std::string> SampleLogLines(const std::string& probe)
{
    const auto limit = [&](const char* time, const char* severity, const char* change, int count, int reading)
    {
        return std::string("System Limit Exceeded:2022-06-14:") + time + ":" + severity + ":HWMON:" + probe +
               " transitioned from " + change + " condition - Multiple-event count=" + std::to_string(count) +
               ":Snapshot reading " + std::to_string(reading);
    };
    return {"Log Area Reset/Cleared:2022-03-01:08.00.00:Information:BIOS::",
            "System boot:2022-03-01:08.00.12:Information:BIOS::",
            "POST Error:2022-03-09:07.58.40:Warning:POST:CMOS Battery Failure; CMOS Time Not Set::",
            "System boot:2022-03-09:07.58.51:Information:BIOS::",
            "Hard-disk information:2022-03-09:07.58.53:Information:SATA:Hard Disk 0:SSD 128GB SMART OK",
            limit("13.05.20", "Error", "within-limit to out-of-limit", 1, 4650),
            limit("13.09.02", "Information", "out-of-limit to within-limit", 3, 2210),
            "Single-bit ECC memory error:2022-07-02:18.44.07:Warning:MEMORY::",
            "System boot:2022-07-03:07.59.30:Information:BIOS::"};
}

void ExpectSameInformation(const CSensorInformation& actual, const CSensorInformation& expected)
{
    EXPECT_EQ(actual.Description, expected.Description);
    EXPECT_EQ(actual.SensorType, expected.SensorType);
    EXPECT_EQ(actual.OtherSensorTypeDescription, expected.OtherSensorTypeDescription);
    EXPECT_EQ(actual.BaseUnits, expected.BaseUnits);
    EXPECT_EQ(actual.UnitModifier, expected.UnitModifier);
    EXPECT_EQ(actual.RateUnits, expected.RateUnits);
    EXPECT_EQ(actual.Hysteresis, expected.Hysteresis);
    EXPECT_EQ(actual.IsLinear, expected.IsLinear);
    EXPECT_EQ(actual.MaxReadable, expected.MaxReadable);
    EXPECT_EQ(actual.MinReadable, expected.MinReadable);
    EXPECT_EQ(actual.NominalReading, expected.NominalReading);
    EXPECT_EQ(actual.Accuracy, expected.Accuracy);
    EXPECT_EQ(actual.Resolution, expected.Resolution);
    EXPECT_EQ(actual.LowerThresholdNonCritical, expected.LowerThresholdNonCritical);
    EXPECT_EQ(actual.UpperThresholdNonCritical, expected.UpperThresholdNonCritical);
    EXPECT_EQ(actual.LowerThresholdCritical, expected.LowerThresholdCritical);
    EXPECT_EQ(actual.UpperThresholdCritical, expected.UpperThresholdCritical);
    EXPECT_EQ(actual.LowerThresholdFatal, expected.LowerThresholdFatal);
    EXPECT_EQ(actual.UpperThresholdFatal, expected.UpperThresholdFatal);
}

class EveryMachine : public ::testing::TestWithParam<std::string>
{
protected:
    void SetUp() override
    {
        QEL_REQUIRE_FUSE();
        machine.reset(new QelTest::SimulatedMachine(GetParam()));
    }

    std::unique_ptr<QelTest::SimulatedMachine> machine;
};

std::string ProfileName(const ::testing::TestParamInfo<std::string>& info)
{
    const size_t slash = info.param.find_last_of('/');
    const std::string file = info.param.substr(slash + 1);
    return file.substr(0, file.find('.'));
}
}  // namespace

TEST_P(EveryMachine, SensorsReadWhatTheRegistersHold)
{
    const QelSim::Profile& profile = machine->Profile();
    CChip chip;
    SENSOR_STATUS status = SS_INTERNAL_ERROR;
    QelTest::CaptureStdout([&] { status = chip.Initialise(); });
    ASSERT_EQ(status, SS_SUCCESS);

    // Device index in the upper half, the sensors of each device in ascending SMBIOS handle order;
    // the list is appended to.
    const std::vector<QelSim::BoardHandles> board = BoardHandles(profile);
    std::vector<SENSOR_HANDLE> expected = {0xDEADBEEF};
    for (size_t d = 0; d < board.size(); ++d)
    {
        std::vector<uint16_t> sorted = board[d].sensors;
        std::sort(sorted.begin(), sorted.end());
        for (uint16_t h : sorted)
            expected.push_back(static_cast<SENSOR_HANDLE>(d << 16 | h));
    }
    CSensorHandleList handles;
    handles.push_back(0xDEADBEEF);
    ASSERT_EQ(chip.EnumerateSensorHandles(handles), SS_SUCCESS);
    EXPECT_THAT(handles, ElementsAreArray(expected));

    for (size_t d = 0; d < profile.chips.size(); ++d)
    {
        const QelSim::ChipProfile& chipProfile = profile.chips[d];
        const ChipExpect::Driver driver =
            ChipExpect::DriverFor(chipProfile.board.description, profile.machine, chipProfile);
        for (size_t s = 0; s < chipProfile.board.sensors.size(); ++s)
        {
            const QelSim::BoardSensor& sensor = chipProfile.board.sensors[s];
            SCOPED_TRACE(profile.name + ": " + sensor.name);
            const SENSOR_HANDLE handle = static_cast<SENSOR_HANDLE>(d << 16 | board[d].sensors[s]);
            const ChipExpect::Expected e = ChipExpect::ExpectedSensor(driver, sensor);

            CSensorInformation info;
            ASSERT_EQ(chip.GetSensorInformation(handle, info), SS_SUCCESS);
            ExpectSameInformation(info, e.info);

            CSensorReading translated;
            translated.Translate = 1;
            ASSERT_EQ(chip.ReadSensor(handle, translated), SS_SUCCESS);
            EXPECT_EQ(translated.CurrentReading, e.translated);
            CSensorReading raw;
            raw.Translate = 0;
            ASSERT_EQ(chip.ReadSensor(handle, raw), SS_SUCCESS);
            EXPECT_EQ(raw.CurrentReading, e.raw);
        }
    }
}

TEST_P(EveryMachine, LimitEventsNameTheirSensorOnceTheManagerIsUp)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    const QelSim::Profile& profile = machine->Profile();
    ASSERT_TRUE(profile.eventLog.has_value()) << "every shipped till has the sample log";

    // The probe the log's limit events name, and its handle.
    const std::vector<QelSim::BoardHandles> board = BoardHandles(profile);
    std::string units;
    uint16_t probeHandle = 0;
    for (size_t d = 0; d < profile.chips.size() && units.empty(); ++d)
        for (size_t s = 0; s < profile.chips[d].board.sensors.size(); ++s)
            if (profile.chips[d].board.sensors[s].name == profile.eventLog->probe && units.empty())
            {
                using Kind = QelSim::BoardSensor::Kind;
                const Kind kind = profile.chips[d].board.sensors[s].kind;
                units = kind == Kind::Voltage ? " mV " : kind == Kind::Cooling ? " RPM " : " degrees C ";
                probeHandle = board[d].sensors[s];
            }
    ASSERT_FALSE(units.empty());

    // The decoding inside Initialise runs before the manager is initialised and names the probe by
    // handle; every later request reaches the sensor through the manager.
    CChipManager manager;
    SENSOR_STATUS status = SS_INTERNAL_ERROR;
    QelTest::CaptureStdout([&] { status = manager.Initialise(); });
    ASSERT_EQ(status, SS_SUCCESS);
    CSystemEventLog first;
    manager.m_EventLogContainer.CopyEventLogInformation(first);
    char byHandle[32];
    snprintf(byHandle, sizeof(byHandle), " - Probe (0x%04x)", probeHandle);
    EXPECT_THAT(first.LogLines, ElementsAreArray(SampleLogLines(byHandle)));

    CSystemEventLog later;
    QelTest::CaptureStdout([&] { status = manager.GetSystemEventLog(later); });
    ASSERT_EQ(status, SS_SUCCESS);
    std::vector<std::string> named = SampleLogLines(profile.eventLog->probe);
    named[5] += units;
    named[6] += units;
    EXPECT_THAT(later.LogLines, ElementsAreArray(named));

    // Through the facade: the same, and the header values of the sample log.
    CChip chip;
    CSystemEventLog log;
    log.LogLines = {"kept"};
    QelTest::CaptureStdout(
        [&]
        {
            ASSERT_EQ(chip.Initialise(), SS_SUCCESS);
            ASSERT_EQ(chip.GetSystemEventLog(log), SS_SUCCESS);
        });
    named.insert(named.begin(), "kept");
    EXPECT_THAT(log.LogLines, ElementsAreArray(named));
    EXPECT_EQ(log.LogValid, (profile.eventLog->status & 1) != 0);
    EXPECT_EQ(log.LogFull, (profile.eventLog->status & 2) != 0);
    EXPECT_EQ(log.LogMultipleEventTimeWindow, 60);
    EXPECT_EQ(log.LogMultipleEventCountIncrement, 1);
}

INSTANTIATE_TEST_SUITE_P(Shipped, EveryMachine, ::testing::ValuesIn(QelSim::ShippedProfiles()), ProfileName);
