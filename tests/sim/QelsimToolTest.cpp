// qelsim as a user runs it: a detached server that other processes use until `down`, every
// shipped profile shown by qelsensors, and the errors for what cannot work.
#include "Profile.h"
#include "RunProgram.h"
#include "SimulatedMachine.h"
#include "TempSysRoot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using QelTest::BuiltProgram;
using QelTest::ProgramResult;
using QelTest::RunProgram;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

namespace
{
ProgramResult Qelsim(const std::vector<std::string>& args)
{
    return RunProgram(BuiltProgram("sim/qelsim"), args);
}

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

// Takes a detached machine down even when the test that started it fails.
class DetachedRoot
{
public:
    explicit DetachedRoot(const QelTest::TempSysRoot& parent) : m_path(parent.Path() + "/machine") {}
    ~DetachedRoot()
    {
        if (Exists(m_path))
            Qelsim({"down", m_path});
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

class ShippedMachine : public ::testing::TestWithParam<std::string>
{
};

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The size of the one structure at the start of bytes: formatted area, then strings up to the
// double NUL; 0 when the bytes end first.
size_t StructureSize(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() < 4 || bytes[1] < 4 || bytes[1] > bytes.size())
        return 0;
    for (size_t at = bytes[1]; at + 1 < bytes.size(); ++at)
        if (bytes[at] == 0 && bytes[at + 1] == 0)
            return at + 2;
    return 0;
}
}  // namespace

namespace
{
// Wren split by `qelsim blobs` into dir and put back together under root at the usual addresses:
// the structure files in the order listed, and the log area's file.
void Reassemble(const QelTest::TempSysRoot& root, const std::string& dir, std::vector<std::string>& files,
                std::string& area)
{
    const ProgramResult r = Qelsim({"blobs", "wren", dir});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    files = Lines(r.out);
    ASSERT_GE(files.size(), 3u);
    // The listing is the table order, and so is the order of the names (the way a script globs).
    EXPECT_TRUE(std::is_sorted(files.begin(), files.end() - 1));
    area = files.back();
    ASSERT_THAT(area, HasSubstr("/event-log-0x000e6010.bin"));
    files.pop_back();

    std::vector<uint8_t> table;
    for (const std::string& file : files)
    {
        const std::vector<uint8_t> bytes = ReadBytes(file);
        EXPECT_EQ(StructureSize(bytes), bytes.size()) << file << " is not exactly one structure";
        EXPECT_GE(bytes[2] | bytes[3] << 8, 0xE000) << file;
        EXPECT_THAT(file, HasSubstr("-type" + std::to_string(bytes[0]) + ".bin"));
        table.insert(table.end(), bytes.begin(), bytes.end());
    }
    const std::vector<uint8_t> first = ReadBytes(files.front());
    EXPECT_EQ(first[0], 0) << "BIOS Information first: the library takes the model from it";
    const std::vector<uint8_t> end = QelImage::MakeEndOfTable(0xFFFE).Encode();
    table.insert(table.end(), end.begin(), end.end());

    QelImage::MachineImage image;
    image.SetRawTable(table);
    image.PutBytes(0x000E6010, ReadBytes(area));
    root.Install(image);
}
}  // namespace

// QEMU takes one structure per -smbios file= and lays them out in command-line order before its
// own; the listed files, put back together at the usual addresses, must be the same machine.
TEST(QelsimBlobs, OneStructurePerFileMakeTheMachineAgainWithItsHandlesMoved)
{
    QelTest::TempSysRoot root;
    const std::string dir = root.Path() + "/blobs";
    std::vector<std::string> files;
    std::string area;
    ASSERT_NO_FATAL_FAILURE(Reassemble(root, dir, files, area));

    // Every reference between structures moved with the handles: the chip's sensors are found
    // (the EC's driver starts without a port device).
    const ProgramResult smbios =
        RunProgram(BuiltProgram("tools/qelsensors"), {"smbios", "--json", "--sysroot", root.Path()});
    ASSERT_EQ(smbios.exitCode, 0) << smbios.err;
    const nlohmann::json doc = nlohmann::json::parse(smbios.out);
    EXPECT_EQ(doc["bios"]["version"], "M7WR0103");
    EXPECT_EQ(doc["structures"][0]["handle"], 0xE000);
    EXPECT_EQ(doc["entryPoint"]["structuresFound"], files.size() + 1);
    ASSERT_EQ(doc["managementDevices"].size(), 1u);
    EXPECT_EQ(doc["managementDevices"][0]["sensors"].size(), 8u);

    // Another machine into the same directory leaves nothing of the first behind.
    const ProgramResult again = Qelsim({"blobs", QEL_SOURCE_DIR "/tests/realkernel/profiles/falcon-rtc.json",
                                        dir, "--handle-base", "0x100"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_FALSE(Exists(area));
    EXPECT_THAT(again.out, HasSubstr("/event-log-0x08000000.bin\n"));
    size_t inDirectory = 0;
    if (DIR* d = opendir(dir.c_str()))
    {
        while (const dirent* entry = readdir(d))
            inDirectory += entry->d_name[0] != '.';
        closedir(d);
    }
    EXPECT_EQ(inDirectory, Lines(again.out).size());
    const std::vector<uint8_t> bios = ReadBytes(Lines(again.out).front());
    ASSERT_GE(bios.size(), 4u);
    EXPECT_EQ(bios[2] | bios[3] << 8, 0x100);

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"blobs", "wren"},
          std::vector<std::string>{"blobs", "wren", dir, "--handle-base", "x"}})
        EXPECT_EQ(Qelsim(args).exitCode, 2) << testing::PrintToString(args);
    const ProgramResult crowded = Qelsim({"blobs", "wren", dir, "--handle-base", "0xF001"});
    EXPECT_EQ(crowded.exitCode, 1);
    EXPECT_THAT(crowded.err, HasSubstr("leaves no room"));
}

// The log's limit events still name their sensor after the handles moved.
TEST(QelsimBlobs, TheReassembledLogNamesTheSensorsOfItsLimitEvents)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    QelTest::TempSysRoot root;
    std::vector<std::string> files;
    std::string area;
    ASSERT_NO_FATAL_FAILURE(Reassemble(root, root.Path() + "/blobs", files, area));
    const ProgramResult sel = RunProgram(BuiltProgram("tools/qelsensors"), {"sel", "--sysroot", root.Path()});
    ASSERT_EQ(sel.exitCode, 0) << sel.err;
    EXPECT_THAT(sel.out, AllOf(HasSubstr("Type 15 handle    0xE010\n"), HasSubstr("Events (9)\n"),
                               HasSubstr(":HWMON:CPU Temperature transitioned from within-limit")));
}

TEST(Qelsim, ADetachedServerServesOtherProcessesUntilTakenDown)
{
    QEL_REQUIRE_FUSE();
    QelTest::TempSysRoot parent;
    DetachedRoot root(parent);
    const std::string pidFile = parent.Path() + "/qelsim.pid";

    const ProgramResult up = Qelsim({"up", "falcon", root.Path(), "--detach", "--pidfile", pidFile});
    ASSERT_EQ(up.exitCode, 0) << up.err;
    EXPECT_THAT(up.out, HasSubstr("serving"));
    EXPECT_NE(atoi(QelTest::ReadTextFile(pidFile).c_str()), 0);

    // This process is not the server: its accesses go through the kernel to the daemon.
    {
        const int fd = open((root.Path() + "/dev/port").c_str(), O_RDWR);
        ASSERT_GE(fd, 0) << strerror(errno);
        uint8_t value = 0x90;
        EXPECT_EQ(pwrite(fd, &value, 1, 0x0A00), 1);
        EXPECT_EQ(pread(fd, &value, 1, 0x0A01), 1);
        EXPECT_EQ(value, 0x2D);
        close(fd);
    }
    const ProgramResult stats = Qelsim({"stats", root.Path(), "--accesses", "--reset"});
    EXPECT_EQ(stats.exitCode, 0) << stats.err;
    EXPECT_THAT(stats.out, AllOf(HasSubstr("IT5571 at 0x0A00"), HasSubstr("1 w 0x0a00 0x90\n"),
                                 HasSubstr("2 r 0x0a01 0x2d\n")));
    EXPECT_THAT(Qelsim({"stats", root.Path()}).out, HasSubstr("reads     0"));

    // The SSDs answer other processes too (their data is written into the caller), and their
    // temperature can be changed from outside.
    std::ofstream(root.Path() + "/etc/tarn/sensor.conf") << "NvmeReadings=1\n";
    EXPECT_EQ(Qelsim({"ssd", root.Path(), "nvme1"}).out, "nvme1 41\n");
    EXPECT_EQ(Qelsim({"ssd", root.Path(), "nvme1", "60"}).exitCode, 0);
    EXPECT_EQ(Qelsim({"ssd", root.Path(), "nvme1"}).out, "nvme1 60\n");
    EXPECT_EQ(Qelsim({"ssd", root.Path(), "nvme1", "hot"}).exitCode, 2);
    EXPECT_EQ(Qelsim({"ssd", root.Path(), "nvme7"}).exitCode, 1);
    const ProgramResult sensors = RunProgram(BuiltProgram("tools/qelsensors"), {"--sysroot", root.Path()});
    EXPECT_EQ(sensors.exitCode, 0) << sensors.err;
    EXPECT_THAT(sensors.out, AllOf(HasSubstr("SSD1 Temperature(00000001):"), HasSubstr(" 60 °C")));

    const ProgramResult again = Qelsim({"up", "wren", root.Path()});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_THAT(again.err, AllOf(HasSubstr("already served"), HasSubstr("qelsim down " + root.Path())));

    const ProgramResult down = Qelsim({"down", root.Path()});
    EXPECT_EQ(down.exitCode, 0) << down.err;
    EXPECT_FALSE(Exists(root.Path()));
    EXPECT_FALSE(Exists(pidFile)) << "the server did not shut down by itself";
}

TEST(Qelsim, ProblemsAreNamedAndNothingIsTouched)
{
    QelTest::TempSysRoot parent;
    const std::string bad = parent.Path() + "/bad.json";
    std::string profile = QelTest::ReadTextFile(QelSim::FindProfile("fenwick"));
    profile.replace(profile.find("\"oem\": \"0x00000005\""), 19, "\"oem\": \"five\"");
    parent.WriteFile("/bad.json", profile);

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"up", bad, parent.Path() + "/machine"},
          std::vector<std::string>{"check", bad}})
    {
        const ProgramResult r = Qelsim(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_THAT(r.err, AllOf(HasSubstr("chips[0].sensors[1].oem"), HasSubstr(bad)));
    }
    EXPECT_FALSE(Exists(parent.Path() + "/machine"));

    // A directory that is no simulated machine is left alone, whatever is asked.
    const ProgramResult down = Qelsim({"down", parent.Path()});
    EXPECT_EQ(down.exitCode, 1);
    EXPECT_THAT(down.err, HasSubstr("is not a simulated machine"));
    EXPECT_TRUE(Exists(bad));
    EXPECT_THAT(Qelsim({"stats", parent.Path()}).err, HasSubstr("is not being served"));
    EXPECT_EQ(Qelsim({"down", parent.Path() + "/none"}).exitCode, 1);

    const std::vector<std::vector<std::string>> usage = {
        {"up", "falcon"},
        {"up", "falcon", "a", "b"},
        {"up", "falcon", "a", "--pidfile"},
        {"down"},
        {"stats", "a", "--all"},
        {"port", "a"},
        {"port", "a", "0x10000"},
        {"port", "a", "0x2e=0x100"},
        {"check"},
    };
    for (const auto& args : usage)
    {
        const ProgramResult r = Qelsim(args);
        EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(args);
        EXPECT_THAT(r.err, HasSubstr("usage: qelsim")) << testing::PrintToString(args);
    }
}

TEST_P(ShippedMachine, ComesUpAndQelsensorsShowsItsBoard)
{
    QEL_REQUIRE_FUSE();
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    QelTest::SimulatedMachine machine(GetParam());
    const QelSim::Profile& profile = machine.Profile();

    const ProgramResult r =
        RunProgram(BuiltProgram("tools/qelsensors"), {"smbios", "--sysroot", machine.Root()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, AllOf(HasSubstr("  Version           " + profile.bios.version + "\n"),
                             HasSubstr(profile.uefi ? "UEFI system table" : "legacy BIOS segment")));
    size_t sensors = 0;
    for (const QelSim::ChipProfile& chip : profile.chips)
    {
        EXPECT_THAT(r.out, HasSubstr(chip.board.description));
        sensors += chip.board.sensors.size();
    }
    EXPECT_EQ(Count(r.out, "  Management Device\n"), profile.chips.size());
    EXPECT_EQ(Count(r.out, "  Management Device Component\n"), sensors);

    // Its event log is in place and names its probe.
    ASSERT_TRUE(profile.eventLog.has_value());
    const ProgramResult sel =
        RunProgram(BuiltProgram("tools/qelsensors"), {"sel", "--sysroot", machine.Root()});
    ASSERT_EQ(sel.exitCode, 0) << sel.err;
    EXPECT_THAT(sel.out, AllOf(HasSubstr("Events (9)\n"), HasSubstr("System Limit Exceeded:")));

    // The chip answers on the ports the profile gives it.
    const int fd = open((machine.Root() + "/dev/port").c_str(), O_RDWR);
    ASSERT_GE(fd, 0) << strerror(errno);
    for (const QelSim::ChipProfile& chip : profile.chips)
    {
        uint8_t id[2] = {};
        const uint8_t key = 0x87;
        if (chip.family == QelSim::ChipProfile::Family::SuperIo)
        {
            for (uint8_t index : {key, key, uint8_t(0x20)})
                ASSERT_EQ(pwrite(fd, &index, 1, chip.port), 1);
            ASSERT_EQ(pread(fd, &id[0], 1, chip.port + 1), 1);
            const uint8_t low = 0x21;
            ASSERT_EQ(pwrite(fd, &low, 1, chip.port), 1);
            ASSERT_EQ(pread(fd, &id[1], 1, chip.port + 1), 1);
            EXPECT_EQ(id[0] << 8 | id[1], chip.deviceId);
        }
        else
        {
            const uint8_t reg = chip.board.sensors.front().oem & 0xFF;
            ASSERT_EQ(pwrite(fd, &reg, 1, chip.port), 1);
            ASSERT_EQ(pread(fd, &id[0], 1, chip.port + 1), 1);
            EXPECT_EQ(id[0], chip.banks.at(0).at(reg));
        }
    }
    close(fd);
    EXPECT_THAT(QelTest::ReadTextFile(machine.Root() + "/run/qelsim/stats"), Not(HasSubstr("reads     0 ")));
}

INSTANTIATE_TEST_SUITE_P(Profiles, ShippedMachine, ::testing::ValuesIn(QelSim::ShippedProfiles()),
                         [](const ::testing::TestParamInfo<std::string>& test)
                         {
                             const std::string name = test.param.substr(test.param.find_last_of('/') + 1);
                             return name.substr(0, name.find('.'));
                         });
