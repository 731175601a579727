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

#include <dirent.h>
#include <fstream>
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

// dmidecode's reading of a corpus table: its structures and the first BIOS Information's fields.
std::vector<Header> DmidecodeHeaders(const std::string& text, std::map<std::string, std::string>& bios)
{
    std::vector<Header> headers;
    std::istringstream lines(text);
    bool inBios = false;
    for (std::string line; std::getline(lines, line);)
    {
        Header h{};
        if (sscanf(line.c_str(), "Handle 0x%x, DMI type %u, %u bytes", &h.handle, &h.type, &h.length) == 3)
        {
            headers.push_back(h);
            inBios = false;
        }
        else if (line == "BIOS Information" && bios.empty())
            inBios = true;
        else if (inBios)
            for (const char* field : {"Vendor", "Version", "Release Date"})
                if (line.rfind("\t" + std::string(field) + ": ", 0) == 0)
                    bios[field] = line.substr(strlen(field) + 3);
    }
    return headers;
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

    // Without root: what `qelsensors` says without root (the served machine's devices are root's).
    const ProgramResult nobody = AsNobody({"capture", file, "--sysroot", till.Root()});
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
    std::array<uint8_t, QelCapture::kEntryPointSize> entry{};
    memcpy(entry.data(), "_SM_", 4);
    entry[0x05] = 0x1F;
    entry[0x06] = 2;
    entry[0x07] = 8;
    memcpy(entry.data() + 0x10, "_DMI_", 5);
    entry[0x16] = 8;
    std::vector<uint8_t> dump = QelCapture::DmiDump(entry, {0x7F, 0x04, 0x00, 0x00, 0x00, 0x00});
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

// Each real table, as dmidecode dumped it, decodes through --from-dump without root, with the
// structures and BIOS information dmidecode read from it.
TEST_P(CorpusFromDump, DecodesAsDmidecodeDid)
{
    const std::string name = GetParam();
    const std::string corpus = QelTest::CorpusDirectory();
    const ProgramResult r = AsNobody({"smbios", "--json", "--from-dump", corpus + "/dumps/" + name + ".bin"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Json doc = Json::parse(r.out);

    std::map<std::string, std::string> bios;
    const std::vector<Header> expected =
        DmidecodeHeaders(QelTest::ReadTextFile(corpus + "/dmidecode/" + name + ".txt"), bios);
    ASSERT_FALSE(expected.empty()) << "no dmidecode reading for " << name;
    // dmidecode lists the entry point's count of whole structures; the walk may go on past them.
    ASSERT_GE(doc["structures"].size(), expected.size());
    std::vector<Header> headers;
    for (size_t i = 0; i < expected.size(); ++i)
    {
        const Json& s = doc["structures"][i];
        headers.push_back(
            {s["handle"].get<unsigned>(), s["type"].get<unsigned>(), s["length"].get<unsigned>()});
    }
    EXPECT_EQ(headers, expected);
    if (expected.front().type == 0)
    {
        EXPECT_EQ(AsDmidecode(doc["bios"]["vendor"]), bios["Vendor"]);
        EXPECT_EQ(AsDmidecode(doc["bios"]["version"]), bios["Version"]);
        EXPECT_EQ(AsDmidecode(doc["bios"]["releaseDate"]), bios["Release Date"]);
    }
}

INSTANTIATE_TEST_SUITE_P(Dumps, CorpusFromDump, ::testing::ValuesIn(QelTest::CorpusDumps()),
                         [](const ::testing::TestParamInfo<std::string>& test)
                         { return QelTest::CorpusTestName(test.param); });
