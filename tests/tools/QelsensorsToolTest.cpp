// qelsim and qelsensors as a user runs them: exit codes, messages, and a clean standard output.
#include "BuildInfo.h"
#include "MachineImage.h"
#include "RunProgram.h"
#include "SampleMachine.h"
#include "SensorStructures.h"
#include "TempSysRoot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <sys/stat.h>

using QelTest::BuiltProgram;
using QelTest::ProgramResult;
using QelTest::RunProgram;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

namespace
{
ProgramResult Qelsim(const std::vector<std::string>& args)
{
    return RunProgram(BuiltProgram("sim/qelsim"), args);
}

ProgramResult Qelsensors(const std::vector<std::string>& args)
{
    return RunProgram(BuiltProgram("tools/qelsensors"), args);
}

class ToolTest : public ::testing::Test
{
protected:
    QelTest::TempSysRoot root;  // logs every level, so stray library output would show
};

// The chips and sensors of `qelsensors smbios` as a reader finds them: one entry per "Management
// device" section, one per "Sensor" header under it, each with the lines that follow it.
struct SensorView
{
    std::string handle;
    std::string kind;
    std::string name;
    std::string text;
};

struct DeviceView
{
    std::string header;  // after "Management device "
    std::string text;
    std::vector<SensorView> sensors;
};

std::vector<DeviceView> Devices(const std::string& out)
{
    std::vector<DeviceView> devices;
    bool inDevice = false;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
    {
        const std::string devicePrefix = "Management device 0x";
        if (line.compare(0, devicePrefix.size(), devicePrefix) == 0)
        {
            devices.push_back({line.substr(devicePrefix.size() - 2), "", {}});
            inDevice = true;
        }
        else if (line.empty() || line[0] != ' ')
        {
            inDevice = false;
        }
        else if (inDevice && line.compare(0, 9, "  Sensor ") == 0)
        {
            SensorView sensor;
            std::istringstream words(line);
            std::string word;
            words >> word >> sensor.handle >> sensor.kind >> std::ws;
            std::getline(words, sensor.name);
            devices.back().sensors.push_back(sensor);
        }
        else if (inDevice && !devices.back().sensors.empty())
        {
            devices.back().sensors.back().text += line + "\n";
        }
        else if (inDevice)
        {
            devices.back().text += line + "\n";
        }
    }
    return devices;
}

// The value on the line of text whose label is label, blanks collapsed: the tool keeps labels
// and values two blanks apart, so "  non-critical     11.400 V      12.600 V" has the label
// "non-critical" and the value "11.400 V 12.600 V".
std::string Field(const std::string& text, const std::string& label)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
    {
        const size_t start = line.find_first_not_of(' ');
        const size_t gap = line.find("  ", start);
        if (start == std::string::npos || gap == std::string::npos ||
            line.substr(start, gap - start) != label)
            continue;
        std::istringstream words(line.substr(gap));
        std::string value;
        for (std::string word; words >> word;)
            value += (value.empty() ? "" : " ") + word;
        return value;
    }
    return "<no " + label + ">";
}

const SensorView* FindSensor(const DeviceView& device, const std::string& name)
{
    for (const SensorView& s : device.sensors)
        if (s.name == name)
            return &s;
    return nullptr;
}

std::vector<std::pair<std::string, std::string>> KindsAndNames(const DeviceView& device)
{
    std::vector<std::pair<std::string, std::string>> result;
    for (const SensorView& s : device.sensors)
        result.emplace_back(s.kind, s.name);
    return result;
}

// In the order of QelSim::BoardSensor::Kind.
const char* const kKindWords[] = {"voltage", "cooling", "temperature"};

std::string Hex32(uint32_t value)
{
    char text[16];
    snprintf(text, sizeof(text), "0x%08x", value);
    return text;
}

uint16_t Negative(int value)
{
    return static_cast<uint16_t>(value);
}
}  // namespace

TEST_F(ToolTest, SmbiosShowsTheSampleMachineAndNothingElse)
{
    for (bool efi : {false, true})
    {
        SCOPED_TRACE(efi ? "UEFI" : "legacy");
        std::vector<std::string> args = {"sample", root.Path()};
        if (efi)
            args.push_back("--efi");
        ASSERT_EQ(Qelsim(args).exitCode, 0);

        const ProgramResult r = Qelsensors({"smbios", "--sysroot", root.Path()});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const QelImage::MachineImage image = QelSim::SampleMachine(efi);
        char address[32];
        snprintf(address, sizeof(address), "0x%08X", image.TableAddress());
        EXPECT_THAT(r.out,
                    AllOf(HasSubstr("  Version           2.8\n"), HasSubstr(address),
                          HasSubstr("  Checksum          ok\n"),
                          HasSubstr("  Vendor            American Megatrends Inc.\n"),
                          HasSubstr("  Version           " + QelSim::SampleBiosInformation().version + "\n"),
                          HasSubstr("  Release date      03/14/2022\n"),
                          HasSubstr("  0x0002     2      15  Base Board Information\n"),
                          HasSubstr("  0x0020    34      11  Management Device\n"),
                          HasSubstr("   127       4  End Of Table\n")));
        EXPECT_THAT(r.out, AllOf(Not(HasSubstr("pagemask")), Not(HasSubstr("phys_mem")),
                                 Not(HasSubstr("Logger created")), Not(HasSubstr("link count"))));
        EXPECT_EQ(r.err, "");
        root.Remove("/sys");
    }
}

TEST_F(ToolTest, VerboseSendsTheLibraryLinesToStandardError)
{
    ASSERT_EQ(Qelsim({"sample", root.Path()}).exitCode, 0);
    const ProgramResult r = Qelsensors({"smbios", "--verbose", "--sysroot", root.Path()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_THAT(r.err, HasSubstr("pagemask=0x"));
    EXPECT_THAT(r.out, AllOf(HasSubstr("BIOS information"), Not(HasSubstr("pagemask"))));
}

TEST_F(ToolTest, FailuresSayWhatFailedAndExitWithOne)
{
    struct Case
    {
        const char* name;
        QelImage::MachineImage image;
        std::string message;
    };
    QelImage::MachineImage noEntryPoint = QelSim::SampleMachine(false);
    noEntryPoint.Entry().place = QelImage::EntryPointPlace::None;
    QelImage::MachineImage badChecksum = QelSim::SampleMachine(false);
    badChecksum.Entry().checksumDelta = 3;
    QelImage::MachineImage shortMemory = QelSim::SampleMachine(false);
    shortMemory.SetTableAddress(0x00200000).SetMemorySize(0x100000);
    const Case cases[] = {
        {"no entry point", noEntryPoint, "no '_SM_' anchor in the BIOS segment"},
        {"bad checksum", badChecksum, "fails its checksum"},
        {"table outside memory", shortMemory, "cannot map the structure table (address 0x00200000"},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        root.Install(k.image);
        const ProgramResult r = Qelsensors({"smbios", "--sysroot", root.Path()});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_THAT(r.err, HasSubstr(k.message));
        EXPECT_EQ(r.out, "");
    }

    root.Remove("/dev/mem");
    const ProgramResult r = Qelsensors({"smbios", "--sysroot", root.Path()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err,
                AllOf(HasSubstr("cannot open " + root.Path() + "/dev/mem"), HasSubstr("qelsim sample")));
}

TEST_F(ToolTest, BadUsageExitsWithTwo)
{
    // Without a command qelsensors shows the sensors, so an empty command line is no misuse.
    const std::vector<std::vector<std::string>> qelsensors = {
        {"nonsense"},
        {"smbios", "extra"},
        {"smbios", "--sysroot"},
        {"smbios", "--sysroot", "/nonexistent/qel"},
    };
    for (const auto& args : qelsensors)
    {
        const ProgramResult r = Qelsensors(args);
        EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(args);
        EXPECT_THAT(r.err, HasSubstr("usage: qelsensors")) << testing::PrintToString(args);
    }
    const std::vector<std::vector<std::string>> qelsim = {
        {}, {"nonsense"}, {"sample"}, {"sample", "a", "b"}, {"sample", root.Path(), "--uefi"},
    };
    for (const auto& args : qelsim)
    {
        const ProgramResult r = Qelsim(args);
        EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(args);
        EXPECT_THAT(r.err, HasSubstr("usage: qelsim")) << testing::PrintToString(args);
    }
    EXPECT_EQ(Qelsensors({"--help"}).exitCode, 0);
    EXPECT_EQ(Qelsim({"--help"}).exitCode, 0);
}

// Each subcommand's --help is its own usage, on standard output with status 0, wherever the option
// stands and whatever else is on the line (a --help never runs the command).
TEST_F(ToolTest, EverySubcommandAnswersHelpWithItsOwnUsage)
{
    const std::vector<std::vector<std::string>> qelsensors = {
        {"sensors", "--help"},         {"sel", "--help"}, {"smbios", "-h"}, {"cim", "--help"},
        {"cim", "get", "X", "--help"},
    };
    for (const auto& args : qelsensors)
    {
        const ProgramResult r = Qelsensors(args);
        EXPECT_EQ(r.exitCode, 0) << testing::PrintToString(args) << r.err;
        EXPECT_THAT(r.out, HasSubstr("usage: qelsensors " + (args[0] == "sensors" ? "[sensors]" : args[0])))
            << testing::PrintToString(args);
        EXPECT_EQ(r.err, "") << testing::PrintToString(args);
    }
    for (const std::string command : {"sample", "check", "up", "down", "stats", "blobs", "port", "ssd"})
    {
        // With a ROOT that must not be touched: help is answered before anything is done.
        const ProgramResult r = Qelsim({command, root.Path() + "/untouched", "--help"});
        EXPECT_EQ(r.exitCode, 0) << command << r.err;
        EXPECT_THAT(r.out, HasSubstr("usage: qelsim " + command + " ")) << command;
        struct stat st;
        EXPECT_NE(stat((root.Path() + "/untouched").c_str(), &st), 0) << command;
    }
}

TEST_F(ToolTest, BothToolsShowTheProjectVersion)
{
    for (const ProgramResult& r : {Qelsensors({"--version"}), Qelsim({"--version"})})
    {
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_THAT(r.out, testing::EndsWith(" " QEL_VERSION "\n"));
    }
}

TEST_F(ToolTest, SmbiosShowsTheSampleBoardInUnits)
{
    ASSERT_EQ(Qelsim({"sample", root.Path()}).exitCode, 0);
    const ProgramResult r = Qelsensors({"smbios", "--sysroot", root.Path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out,
                HasSubstr("  Machine model     Falcon (K5), hardware monitor driver internal_it5571\n"));

    const std::vector<QelSim::BoardChip> board = QelSim::SampleBoard();
    const std::vector<DeviceView> devices = Devices(r.out);
    ASSERT_EQ(devices.size(), 1u) << r.out;
    const DeviceView& ec = devices[0];
    EXPECT_THAT(ec.header, HasSubstr(": ITE IT5571"));
    EXPECT_EQ(Field(ec.text, "Address"), "0x00000A00");
    EXPECT_EQ(Field(ec.text, "Address type"), "3 (I/O port)");

    std::vector<std::pair<std::string, std::string>> expected;
    for (const QelSim::BoardSensor& sensor : board[0].sensors)
        expected.emplace_back(kKindWords[static_cast<int>(sensor.kind)], sensor.name);
    EXPECT_EQ(KindsAndNames(ec), expected);
    for (size_t i = 0; i < ec.sensors.size() && i < board[0].sensors.size(); ++i)
        EXPECT_EQ(Field(ec.sensors[i].text, "OEM word"), Hex32(board[0].sensors[i].oem))
            << ec.sensors[i].name;

    // Millivolts, tenths of a degree (signed) and RPM, each with its unknown limits left out.
    const SensorView* twelve = FindSensor(ec, "12V");
    const SensorView* vcore = FindSensor(ec, "Vcore");
    const SensorView* battery = FindSensor(ec, "VBAT");
    const SensorView* cpu = FindSensor(ec, "CPU Temperature");
    const SensorView* system = FindSensor(ec, "System Temperature");
    const SensorView* fan = FindSensor(ec, "CPU Fan");
    ASSERT_TRUE(twelve && vcore && battery && cpu && system && fan);
    EXPECT_EQ(Field(twelve->text, "non-critical"), "11.400 V 12.600 V");
    EXPECT_EQ(Field(vcore->text, "Thresholds"), "none");
    EXPECT_EQ(Field(battery->text, "critical"), "2.500 V -");
    EXPECT_EQ(Field(cpu->text, "non-critical"), "- 85.0 deg C");
    EXPECT_EQ(Field(system->text, "critical"), "-5.0 deg C 70.0 deg C");
    EXPECT_EQ(Field(system->text, "Range"), "-40.0 deg C to 127.0 deg C");
    EXPECT_EQ(Field(fan->text, "non-critical"), "800 RPM 5200 RPM");
    EXPECT_EQ(Field(fan->text, "Nominal speed"), "2800 RPM");
    EXPECT_EQ(Field(fan->text, "Temperature probe"), cpu->handle + " (CPU Temperature)");
}

TEST_F(ToolTest, SmbiosShowsEachSensorUnderItsOwnChipOnly)
{
    using Kind = QelSim::BoardSensor::Kind;
    QelImage::BiosInformation bios = QelSim::SampleBiosInformation();
    bios.version = "M7 WREN 2.01";
    QelImage::MachineImage image;
    image.Add(QelImage::MakeBiosInformation(bios));

    QelSim::BoardChip nuvoton;
    nuvoton.description = "Nuvoton NCT6796D";
    nuvoton.address = 0x0A20;
    QelSim::BoardSensor minus12;
    minus12.kind = Kind::Voltage;
    minus12.name = "-12V";
    minus12.oem = 0x04000080;
    minus12.thresholds = QelSim::Thresholds{Negative(-12600), Negative(-11400),     Negative(-13200),
                                            Negative(-10800), QelSim::kUnknownWord, QelSim::kUnknownWord};
    QelSim::BoardSensor systin;
    systin.kind = Kind::Temperature;
    systin.name = "SYSTIN";
    nuvoton.sensors = {minus12, systin};

    QelSim::BoardChip ite;
    ite.description = "ITE IT5571";
    ite.address = 0x0A00;
    ite.addressType = 5;
    QelSim::BoardSensor fan;
    fan.kind = Kind::Cooling;
    fan.name = "SYS FAN";
    fan.oem = 0xA3;
    fan.cooling.temperatureProbe = 0x0080;  // the chip's second temperature probe, added below
    fan.thresholds = QelSim::Thresholds{1000, 30000, 700, 36000, 400, 40000};  // above a signed word
    ite.sensors = {fan};
    const std::vector<QelSim::BoardHandles> handles = QelSim::AddBoard(image, {nuvoton, ite}, 0x0040);

    // Two more probes of the ITE chip whose components come in the opposite order, a probe whose
    // component names no chip, and a chip without sensors.
    QelSim::ProbeFields probe;
    probe.description = "probe text the component replaces";
    image.Add(QelSim::MakeProbe(28, 0x0080, probe))
        .Add(QelSim::MakeProbe(28, 0x0081, probe))
        .Add(QelSim::MakeProbe(26, 0x0082, probe))
        .Add(QelSim::MakeComponent(0x0083, "Second", handles[1].device, 0x0081, QelSim::kNoHandle))
        .Add(QelSim::MakeComponent(0x0084, "First", handles[1].device, 0x0080, QelSim::kNoHandle))
        .Add(QelSim::MakeComponent(0x0085, "Orphan", QelSim::kNoHandle, 0x0082, QelSim::kNoHandle))
        .Add(QelSim::MakeManagementDevice(0x0086, "Spare", 0x01, 0x0C00, QelSim::kAddressTypeIoPort));
    root.Install(image);

    const ProgramResult r = Qelsensors({"smbios", "--sysroot", root.Path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("  Machine model     Wren (M7), hardware monitor driver internal_it5571\n"));
    // The probe whose component names no chip is under none of them: it follows them, under its
    // own description.
    EXPECT_THAT(r.out, Not(HasSubstr("Orphan")));
    const size_t unclaimed = r.out.find("\nProbes and cooling devices no management device claims\n");
    ASSERT_NE(unclaimed, std::string::npos) << r.out;
    const std::string line = "  Sensor 0x0082     voltage      probe text the component replaces\n";
    const size_t at = r.out.find(line, unclaimed);
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("probe text"), at + line.find("probe text"));
    const std::vector<DeviceView> devices = Devices(r.out);
    ASSERT_EQ(devices.size(), 3u) << r.out;

    using Sensors = std::vector<std::pair<std::string, std::string>>;
    EXPECT_THAT(devices[0].header, HasSubstr(": Nuvoton NCT6796D"));
    EXPECT_EQ(KindsAndNames(devices[0]), (Sensors{{"voltage", "-12V"}, {"temperature", "SYSTIN"}}));
    EXPECT_EQ(Field(devices[0].sensors[0].text, "non-critical"), "-12.600 V -11.400 V");
    EXPECT_EQ(Field(devices[0].sensors[0].text, "non-recoverable"), "- -");
    EXPECT_EQ(Field(devices[0].sensors[0].text, "OEM word"), "0x04000080");
    EXPECT_EQ(Field(devices[0].sensors[1].text, "Thresholds"), "none");

    EXPECT_THAT(devices[1].header, HasSubstr(": ITE IT5571"));
    EXPECT_EQ(Field(devices[1].text, "Address type"), "5 (SM Bus)");
    EXPECT_EQ(KindsAndNames(devices[1]),
              (Sensors{{"cooling", "SYS FAN"}, {"temperature", "Second"}, {"temperature", "First"}}));
    EXPECT_EQ(Field(devices[1].sensors[0].text, "non-recoverable"), "400 RPM 40000 RPM");
    EXPECT_EQ(Field(devices[1].sensors[0].text, "Temperature probe"), "0x0080 (First)");

    EXPECT_THAT(devices[2].header, HasSubstr(": Spare"));
    EXPECT_EQ(Field(devices[2].text, "Sensors"), "none");
    EXPECT_EQ(r.err, "");
}

TEST_F(ToolTest, SmbiosSaysWhenTheModelIsUnknownAndNoChipIsListed)
{
    QelImage::BiosInformation bios = QelSim::SampleBiosInformation();
    bios.version = "k5 falcon 1.05";  // machine types are upper case
    QelImage::MachineImage image;
    image.Add(QelImage::MakeBiosInformation(bios));
    root.Install(image);

    const ProgramResult r = Qelsensors({"smbios", "--sysroot", root.Path()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, AllOf(HasSubstr("  Machine model     unsupported\n"),
                             HasSubstr("Management devices\n  none in the table\n")));
}
