// qelsensors capture where it cannot read the till, and --from-dump on real firmware tables and on
// files that are no capture: the tool's usual messages, and never a file left behind.
#include "CaptureFile.h"
#include "MachineImage.h"
#include "RunProgram.h"
#include "SMBiosTables.h"
#include "SampleMachine.h"
#include "SimulatedMachine.h"
#include "TempSysRoot.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <dirent.h>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using QelTest::ProgramResult;
using Json = nlohmann::json;

namespace
{
const std::string kTool = "tools/qelsensors";

ProgramResult Qelsensors(const std::vector<std::string>& args)
{
    return QelTest::RunProgram(QelTest::BuiltProgram(kTool), args);
}

// The tool as an unprivileged user, the way a technician who forgot sudo runs it.
ProgramResult AsNobody(const std::vector<std::string>& args)
{
    return QelTest::RunProgramAsNobody(QelTest::BuiltProgram(kTool), args);
}

// The names in a directory, but . and ..
std::vector<std::string> Entries(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str()))
    {
        while (const dirent* entry = readdir(dir))
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A directory anyone may write to, for the captures of the tests.
struct OutputDirectory
{
    OutputDirectory()
    {
        char name[] = "/tmp/qel-capture-XXXXXX";
        path = mkdtemp(name);
        chmod(path.c_str(), 01777);
    }
    ~OutputDirectory() { QelTest::RemoveTree(path); }
    std::string path;
};

struct Header
{
    unsigned handle, type, length;
    bool operator==(const Header& o) const
    {
        return handle == o.handle && type == o.type && length == o.length;
    }
};

std::ostream& operator<<(std::ostream& out, const Header& h)
{
    return out << "{handle " << h.handle << ", type " << h.type << ", length " << h.length << "}";
}

// dmidecode's reading of a corpus table: its version line, and each structure's header with the
// "\tName: value" lines of its body (nested list lines left out).
struct DmiStructure
{
    Header header{};
    std::map<std::string, std::string> fields;
};

struct DmiReading
{
    std::string version;  // as "SMBIOS 3.2.0 present." says it
    std::string fixedUp;  // the version before dmidecode's own fix-up ("2.31 -> 2.3"), if it made one
    std::vector<DmiStructure> structures;
};

DmiReading ReadDmidecode(const std::string& text)
{
    DmiReading r;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
    {
        Header h{};
        char version[32] = "", before[32] = "";
        if (sscanf(line.c_str(), "Handle 0x%x, DMI type %u, %u bytes", &h.handle, &h.type, &h.length) == 3)
            r.structures.push_back({h, {}});
        else if (sscanf(line.c_str(), "SMBIOS %31s present.", version) == 1)
            r.version = version;
        else if (sscanf(line.c_str(), "SMBIOS version fixup (%31s ->", before) == 1)
            r.fixedUp = before;
        else if (!r.structures.empty() && line.size() > 1 && line[0] == '\t' && line[1] != '\t')
        {
            const size_t colon = line.find(": ");
            if (colon != std::string::npos)
                r.structures.back().fields[line.substr(1, colon - 1)] = line.substr(colon + 2);
        }
    }
    return r;
}

const std::string kNotPrinted = "(not printed)";

std::string Printed(const DmiStructure& s, const std::string& field)
{
    const auto it = s.fields.find(field);
    return it == s.fields.end() ? kNotPrinted : it->second;
}

using QelTest::Format;

// A value of the JSON document in dmidecode's words: its unit and precision, "Unknown" for null.
std::string Measured(const Json& value, const char* format, double scale = 1)
{
    return value.is_null() ? "Unknown" : Format(format, value.get<double>() * scale);
}

// The words of enumerated fields; the tool says "undefined" where dmidecode says out of spec.
std::string Word(const Json& value)
{
    std::string word = value.get<std::string>();
    if (word == "undefined")
        return "<out of spec>";
    std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::tolower(c); });
    return word;
}

std::string Word(const std::string& printed)
{
    return Word(Json(printed));
}

// A threshold as dmidecode prints it: the structure's signed word in the sensor's own unit.
std::string Threshold(const Json& value, const std::string& kind)
{
    if (value.is_null())
        return kNotPrinted;
    const double scale = kind == "voltage" ? 1000 : kind == "temperature" ? 10 : 1;
    return std::to_string(static_cast<long>(std::lround(value.get<double>() * scale)));
}
// A string as dmidecode prints it.
std::string AsDmidecode(const Json& value)
{
    std::string s = value.is_string() ? value.get<std::string>() : "";
    if (s.empty())
        return "Not Specified";
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            c = '.';
    return s;
}
}  // namespace

TEST(CaptureTool, FailsWithTheUsualMessagesAndLeavesNoFile)
{
    QEL_REQUIRE_FUSE();
    QelTest::SimulatedMachine till("falcon", 1);
    OutputDirectory out;
    const std::string file = out.path + "/till.capture";

    // Without root: what `qelsensors` says without root (the served machine's devices are root's;
    // its memory is closed to its owner too while this runs, as the owner may be running it).
    const std::string mem = till.Root() + "/dev/mem";
    struct stat memStat;
    ASSERT_EQ(stat(mem.c_str(), &memStat), 0);
    ASSERT_EQ(chmod(mem.c_str(), 0), 0);
    const ProgramResult nobody = AsNobody({"capture", file, "--sysroot", till.Root()});
    ASSERT_EQ(chmod(mem.c_str(), memStat.st_mode & 07777), 0);
    EXPECT_EQ(nobody.exitCode, 1);
    EXPECT_NE(nobody.err.find("needs root"), std::string::npos) << nobody.err;
    EXPECT_EQ(Entries(out.path), std::vector<std::string>());

    // Without the port device: the chips cannot be read, and that is a failure, not a capture of zeros.
    till.Stop();
    const ProgramResult noPort = Qelsensors({"capture", file, "--sysroot", till.Root()});
    EXPECT_EQ(noPort.exitCode, 1);
    EXPECT_NE(noPort.err.find("qelsensors capture: cannot open " + till.Root() + "/dev/port"),
              std::string::npos)
        << noPort.err;
    EXPECT_NE(noPort.err.find("qelsim up PROFILE"), std::string::npos) << noPort.err;
    EXPECT_EQ(Entries(out.path), std::vector<std::string>());

    // Without the memory device.
    QelTest::TempSysRoot empty;
    const ProgramResult noMem = Qelsensors({"capture", file, "--sysroot", empty.Path()});
    EXPECT_EQ(noMem.exitCode, 1);
    EXPECT_NE(noMem.err.find("qelsensors capture: cannot open " + empty.Path() + "/dev/mem"),
              std::string::npos)
        << noMem.err;
    EXPECT_EQ(Entries(out.path), std::vector<std::string>());
}

TEST(CaptureTool, AFileThatCannotBeWrittenIsAFailureBeforeTheTillIsTouched)
{
    QEL_REQUIRE_FUSE();
    QelTest::SimulatedMachine till("wren", 1);
    const ProgramResult r =
        Qelsensors({"capture", till.Root() + "/no/such/dir/till.capture", "--sysroot", till.Root()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot create a file in " + till.Root() + "/no/such/dir/"), std::string::npos)
        << r.err;
    EXPECT_EQ(till.Bus().Mark(), 0u) << "the chips were read for a capture that could not be written";
}

TEST(CaptureTool, ReplacesAnOldCaptureOnlyWithAWholeOne)
{
    QEL_REQUIRE_FUSE();
    QelTest::SimulatedMachine till("cedarhi", 1);
    OutputDirectory out;
    const std::string file = out.path + "/till.capture";
    std::ofstream(file) << "the capture of yesterday";
    ASSERT_EQ(Qelsensors({"capture", file, "--sysroot", till.Root()}).exitCode, 0);
    EXPECT_EQ(Entries(out.path), std::vector<std::string>{"till.capture"});
    // It holds the till's serial numbers: its owner's alone, as a file and once unpacked.
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(QelTest::ReadTextFile(file).substr(100, 7), "0000600") << "the first member's mode";
    const ProgramResult smbios = Qelsensors({"smbios", "--from-dump", file});
    EXPECT_EQ(smbios.exitCode, 0) << smbios.err;
    // The capture's own progress goes to standard error, one line a step.
    const ProgramResult again = Qelsensors({"capture", file, "--sysroot", till.Root()});
    EXPECT_NE(again.err.find("qelsensors capture: starting the chips and reading every sensor once\n"),
              std::string::npos)
        << again.err;
}

TEST(CaptureTool, FromDumpRefusesWhatIsNoCaptureAndNoDump)
{
    OutputDirectory out;
    const std::string text = out.path + "/notes.txt";
    std::ofstream(text) << "the till beeps at start, twice, then the fan runs at full speed";
    for (const char* command : {"smbios", "sel"})
    {
        SCOPED_TRACE(command);
        const ProgramResult r = Qelsensors({command, "--from-dump", text});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(std::string("qelsensors ") + command + ": " + text +
                             ": neither a capture (a tar archive) nor a dmidecode dump"),
                  std::string::npos)
            << r.err;
        const ProgramResult missing = Qelsensors({command, "--from-dump"});
        EXPECT_EQ(missing.exitCode, 2);
    }
    // A dump the library refuses: its message, and a hint that does not send the reader to the
    // log of a root that is gone.
    std::array<uint8_t, QelImage::kEntryPointSize> entry{};
    memcpy(entry.data(), "_SM_", 4);
    entry[0x05] = 0x1F;
    entry[0x06] = 2;
    entry[0x07] = 8;
    memcpy(entry.data() + 0x10, "_DMI_", 5);
    entry[0x16] = 8;
    std::vector<uint8_t> dump = QelImage::WriteDump(entry, {0x7F, 0x04, 0x00, 0x00, 0x00, 0x00});
    dump.resize(0x28, 0);
    dump[0x04] ^= 0x01;
    const std::string bad = out.path + "/bad.bin";
    std::ofstream(bad, std::ios::binary)
        .write(reinterpret_cast<const char*>(dump.data()), static_cast<std::streamsize>(dump.size()));
    const ProgramResult refused = Qelsensors({"smbios", "--from-dump", bad});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("checksum"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find(bad + " was decoded in a temporary system root, removed again"),
              std::string::npos)
        << refused.err;

    // Nothing of the private roots stays behind.
    for (const std::string& name : Entries("/tmp"))
        EXPECT_NE(name.rfind("qelsensors-dump.", 0), 0u) << name;
}

TEST(CaptureTool, SelFromADmidecodeDumpSaysItHasNoLog)
{
    const std::vector<std::string> dumps = QelTest::CorpusDumps();
    if (dumps.empty())
        GTEST_SKIP() << "no dumps under " << QelTest::CorpusDirectory() << ": the real tables were not read";
    const ProgramResult r =
        AsNobody({"sel", "--from-dump", QelTest::CorpusDirectory() + "/dumps/" + dumps[0] + ".bin"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("holds no event-log area"), std::string::npos) << r.err;
}

class CorpusFromDump : public ::testing::TestWithParam<std::string>
{
};

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusFromDump);

namespace
{
uint16_t HandleField(const DmiStructure& s, const std::string& field)
{
    const std::string text = Printed(s, field);
    return text == kNotPrinted ? 0xFFFF : static_cast<uint16_t>(strtoul(text.c_str(), nullptr, 16));
}

// dmidecode's word for a string number past the set is the tool's empty string.
std::string Normalised(const std::string& printed)
{
    return printed == "<BAD INDEX>" ? "Not Specified" : printed;
}

bool IsSensor(const DmiStructure& s)
{
    return s.header.type >= 26 && s.header.type <= 28;
}

const DmiStructure* FindOf(const DmiReading& dmi, unsigned handle, bool (*is)(const DmiStructure&))
{
    for (const DmiStructure& s : dmi.structures)
        if (s.header.handle == handle && is(s))
            return &s;
    return nullptr;
}

// A probe or cooling device of the tool's document against dmidecode's structure.
void ExpectSensorAsDmidecode(const Json& j, const DmiStructure& s)
{
    SCOPED_TRACE(Format("sensor 0x%04X", s.header.handle));
    const std::string kind = j["kind"];
    EXPECT_EQ(Format("0x%08X", j["oem"].get<unsigned>()), Printed(s, "OEM-specific Information"));
    EXPECT_EQ(Word(j["status"]), Word(Printed(s, "Status")));
    if (kind == "cooling")
    {
        EXPECT_EQ(Word(j["deviceType"]), Word(Printed(s, "Type")));
        const unsigned group = j["unitGroup"];
        EXPECT_EQ(group == 0 ? kNotPrinted : std::to_string(group), Printed(s, "Cooling Unit Group"));
        if (Printed(s, "Nominal Speed") != kNotPrinted)
        {
            EXPECT_EQ(j["nominal"].is_null() ? "Unknown Or Non-rotating"
                                             : Format("%u rpm", j["nominal"].get<unsigned>()),
                      Printed(s, "Nominal Speed"));
        }
        EXPECT_EQ(j["temperatureProbe"].is_null() ? kNotPrinted
                                                  : Format("0x%04X", j["temperatureProbe"].get<unsigned>()),
                  Printed(s, "Temperature Probe Handle"));
        return;
    }
    const bool volts = kind == "voltage";
    const char* value = volts ? "%.3f V" : "%.1f deg C";
    EXPECT_EQ(Word(j["location"]), Word(Printed(s, "Location")));
    EXPECT_EQ(Measured(j["maximum"], value), Printed(s, "Maximum Value"));
    EXPECT_EQ(Measured(j["minimum"], value), Printed(s, "Minimum Value"));
    EXPECT_EQ(Measured(j["tolerance"], value), Printed(s, "Tolerance"));
    EXPECT_EQ(Measured(j["resolution"], volts ? "%.1f mV" : "%.3f deg C", volts ? 1000 : 1),
              Printed(s, "Resolution"));
    EXPECT_EQ(Measured(j["accuracyPercent"], "%.2f%%"), Printed(s, "Accuracy"));
    if (Printed(s, "Nominal Value") != kNotPrinted)
    {
        EXPECT_EQ(Measured(j["nominal"], value), Printed(s, "Nominal Value"));
    }
}

// What a device's sensors end up with, read from dmidecode's text: each component that names the
// device ties a probe or cooling device to it, names it and, where its Threshold Data exists,
// gives it those limits.
struct Tied
{
    std::vector<unsigned> order;  // in component order, as often as named
    std::map<unsigned, std::pair<std::string, const DmiStructure*>> state;  // name, limits
};

Tied Associate(const DmiReading& dmi, unsigned device)
{
    Tied tied;
    for (const DmiStructure& component : dmi.structures)
    {
        if (component.header.type != 35 || HandleField(component, "Management Device Handle") != device)
            continue;
        const unsigned sensor = HandleField(component, "Component Handle");
        if (FindOf(dmi, sensor, IsSensor) == nullptr)
            continue;
        tied.order.push_back(sensor);
        auto& state = tied.state[sensor];
        state.first = Normalised(Printed(component, "Description"));
        if (const DmiStructure* limits = FindOf(dmi, HandleField(component, "Threshold Handle"),
                                                [](const DmiStructure& s) { return s.header.type == 36; }))
            state.second = limits;
    }
    return tied;
}

const std::pair<const char*, const char*> kThresholds[] = {
    {"lowerNonCritical", "Lower Non-critical Threshold"},
    {"upperNonCritical", "Upper Non-critical Threshold"},
    {"lowerCritical", "Lower Critical Threshold"},
    {"upperCritical", "Upper Critical Threshold"},
    {"lowerNonRecoverable", "Lower Non-recoverable Threshold"},
    {"upperNonRecoverable", "Upper Non-recoverable Threshold"}};

// "16 MB" and the like, in KiB.
uint64_t KiB(const std::string& printed)
{
    unsigned long long size = 0;
    char unit[8] = "";
    sscanf(printed.c_str(), "%llu %7s", &size, unit);
    return size << (unit == std::string("GB") ? 20 : unit == std::string("MB") ? 10 : 0);
}

// "3.2.0" -> "3.2"
std::string MajorMinor(const std::string& version)
{
    const size_t second = version.find('.', version.find('.') + 1);
    return version.substr(0, second);
}
}  // namespace

// Each real table, as dmidecode dumped it, decodes through --from-dump without root, and says
// what dmidecode says on every field both show: the entry point's version, the structures, the
// BIOS information, the management devices and every probe and cooling device, claimed or not,
// with the names and limits of their components.
TEST_P(CorpusFromDump, DecodesAsDmidecodeDid)
{
    const std::string name = GetParam();
    const std::string corpus = QelTest::CorpusDirectory();
    const ProgramResult r = AsNobody({"smbios", "--json", "--from-dump", corpus + "/dumps/" + name + ".bin"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Json doc = Json::parse(r.out);
    const DmiReading dmi = ReadDmidecode(QelTest::ReadTextFile(corpus + "/dmidecode/" + name + ".txt"));
    ASSERT_FALSE(dmi.structures.empty()) << "no dmidecode reading for " << name;

    // The one known difference: dmidecode fixes some versions up (2.31 -> 2.3); the tool shows
    // what the entry point says.
    EXPECT_EQ(doc["entryPoint"]["version"], dmi.fixedUp.empty() ? MajorMinor(dmi.version) : dmi.fixedUp);

    std::vector<Header> headers, expected;
    for (const Json& s : doc["structures"])
        headers.push_back(
            {s["handle"].get<unsigned>(), s["type"].get<unsigned>(), s["length"].get<unsigned>()});
    for (const DmiStructure& s : dmi.structures)
        expected.push_back(s.header);
    EXPECT_EQ(headers, expected);

    // The first BIOS Information, wherever it stands.
    const auto bios = std::find_if(dmi.structures.begin(), dmi.structures.end(),
                                   [](const DmiStructure& s) { return s.header.type == 0; });
    ASSERT_NE(bios, dmi.structures.end());
    {
        SCOPED_TRACE("BIOS information");
        const Json& b = doc["bios"];
        EXPECT_EQ(AsDmidecode(b["vendor"]), Printed(*bios, "Vendor"));
        EXPECT_EQ(AsDmidecode(b["version"]), Printed(*bios, "Version"));
        EXPECT_EQ(AsDmidecode(b["releaseDate"]), Printed(*bios, "Release Date"));
        if (Printed(*bios, "Address") != kNotPrinted)
        {
            EXPECT_EQ(Format("0x%04X0", b["startSegment"].get<unsigned>()), Printed(*bios, "Address"));
        }
        if (!b["romSizeKiB"].is_null())
        {
            EXPECT_EQ(b["romSizeKiB"].get<uint64_t>(), KiB(Printed(*bios, "ROM Size")));
        }
        for (const auto& release : {std::make_pair("biosRelease", "BIOS Revision"),
                                    std::make_pair("firmwareRelease", "Firmware Revision")})
            EXPECT_EQ(b[release.first].is_null() ? kNotPrinted : b[release.first].get<std::string>(),
                      Printed(*bios, release.second));
    }

    std::set<unsigned> shown, sensors;
    for (const Json& device : doc["managementDevices"])
    {
        SCOPED_TRACE(Format("management device 0x%04X", device["handle"].get<unsigned>()));
        const DmiStructure* s =
            FindOf(dmi, device["handle"], [](const DmiStructure& d) { return d.header.type == 34; });
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(AsDmidecode(device["description"]), Normalised(Printed(*s, "Description")));
        EXPECT_EQ(Format("0x%08X", device["address"].get<unsigned>()), Printed(*s, "Address"));

        const Tied tied = Associate(dmi, device["handle"]);
        std::vector<unsigned> handles;
        for (const Json& sensor : device["sensors"])
            handles.push_back(sensor["handle"]);
        ASSERT_EQ(handles, tied.order);
        for (const Json& sensor : device["sensors"])
        {
            const unsigned handle = sensor["handle"];
            ExpectSensorAsDmidecode(sensor, *FindOf(dmi, handle, IsSensor));
            const auto& state = tied.state.at(handle);
            EXPECT_EQ(AsDmidecode(sensor["name"]), state.first);
            for (const auto& limit : kThresholds)
                EXPECT_EQ(Threshold(sensor["thresholds"][limit.first], sensor["kind"]),
                          state.second != nullptr ? Printed(*state.second, limit.second) : kNotPrinted)
                    << limit.first << Format(" of sensor 0x%04X", handle);
            shown.insert(handle);
        }
    }
    for (const Json& sensor : doc["unclaimedSensors"])
    {
        const DmiStructure* s = FindOf(dmi, sensor["handle"], IsSensor);
        ASSERT_NE(s, nullptr);
        ExpectSensorAsDmidecode(sensor, *s);
        if (sensor["kind"] != "cooling")
        {
            EXPECT_EQ(AsDmidecode(sensor["name"]), Normalised(Printed(*s, "Description")));
        }
        shown.insert(sensor["handle"].get<unsigned>());
    }
    // Every probe and cooling device of the table, claimed or not.
    for (const DmiStructure& s : dmi.structures)
        if (IsSensor(s))
            sensors.insert(s.header.handle);
    EXPECT_EQ(shown, sensors);
}

INSTANTIATE_TEST_SUITE_P(Dumps, CorpusFromDump, ::testing::ValuesIn(QelTest::CorpusDumps()),
                         [](const ::testing::TestParamInfo<std::string>& test)
                         { return QelTest::CorpusTestName(test.param); });
