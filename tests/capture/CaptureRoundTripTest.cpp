// A till captured and replayed: every shipped profile served, captured with `qelsensors capture`,
// the capture served again, and everything the tool and the provider show of the two compared; and
// the capture's SMBIOS part read by Debian's dmidecode as it reads the till's memory.
#include "CaptureFile.h"
#include "Machine.h"
#include "RunProgram.h"
#include "SimulatedMachine.h"
#include "TempSysRoot.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using QelTest::ProgramResult;

namespace
{
ProgramResult Qelsensors(std::vector<std::string> args, const std::string& root)
{
    args.push_back("--sysroot");
    args.push_back(root);
    return QelTest::RunProgram(QelTest::BuiltProgram("tools/qelsensors"), args);
}

std::string NameOf(const std::string& path)
{
    const std::string file = path.substr(path.find_last_of('/') + 1);
    return file.substr(0, file.find('.'));
}

std::vector<std::string> ProfileNames()
{
    std::vector<std::string> names;
    for (const std::string& path : QelSim::ShippedProfiles())
        names.push_back(NameOf(path));
    return names;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A capture served in-process, as `qelsim up CAPTURE ROOT` serves it.
struct Replay
{
    explicit Replay(const std::string& file)
    {
        const std::vector<uint8_t> bytes = ReadBytes(file);
        machine.reset(new QelSim::Machine(QelCapture::DecodeCapture(bytes.data(), bytes.size()), "capture",
                                          root.Path()));
        machine->ServeInBackground();
    }
    QelTest::TempSysRoot root;
    std::unique_ptr<QelSim::Machine> machine;
};

// What dmidecode prints of the structures, from the first one on (the lines before say where it
// read the table from).
std::string Structures(const std::string& dmidecode)
{
    const size_t first = dmidecode.find("Handle 0x");
    return first == std::string::npos ? "" : dmidecode.substr(first);
}

bool HaveDmidecode()
{
    return access("/usr/sbin/dmidecode", X_OK) == 0;
}

// The till's memory as legacy firmware would lay it out: its own table where it is, and the entry
// point it announces (through the UEFI system table, which dmidecode cannot be pointed at) copied
// into the BIOS segment, where `dmidecode --dev-mem` looks for it.
std::string LegacyMemory(const std::string& root, const std::string& path)
{
    const std::string mem = root + "/dev/mem";
    std::ifstream systab(root + "/sys/firmware/efi/systab");
    if (!systab)
        return mem;
    uint64_t address = 0;
    for (std::string line; std::getline(systab, line);)
        if (line.rfind("SMBIOS=", 0) == 0)
            address = std::stoull(line.substr(7), nullptr, 16);
    std::ifstream in(mem, std::ios::binary);
    std::vector<char> entry(32);
    in.seekg(static_cast<std::streamoff>(address));
    in.read(entry.data(), 32);
    uint32_t table = 0;
    uint16_t length = 0;
    memcpy(&table, &entry[0x18], 4);
    memcpy(&length, &entry[0x16], 2);
    std::vector<char> bytes(length);
    in.seekg(table);
    in.read(bytes.data(), length);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(ftruncate(fd, table + length), 0);
    EXPECT_EQ(pwrite(fd, entry.data(), 32, 0xF0000), 32);
    EXPECT_EQ(pwrite(fd, bytes.data(), length, table), length);
    close(fd);
    return path;
}

class CaptureRoundTrip : public ::testing::TestWithParam<std::string>
{
protected:
    void SetUp() override { QEL_REQUIRE_FUSE(); }
};
}  // namespace

TEST_P(CaptureRoundTrip, TheReplayShowsWhatTheTillShowed)
{
    QelTest::SimulatedMachine till(GetParam(), 1);
    const std::string file = till.Root() + "/till.capture";
    const ProgramResult captured = Qelsensors({"capture", file}, till.Root());
    ASSERT_EQ(captured.exitCode, 0) << captured.err;
    EXPECT_EQ(captured.out, "");
    EXPECT_NE(captured.err.find("wrote " + file), std::string::npos) << captured.err;

    // The capture's port accesses are those of one `qelsensors` on the same till, writes above all.
    {
        QelTest::SimulatedMachine twin(GetParam(), 1);
        ASSERT_NE(Qelsensors({}, twin.Root()).exitCode, -1);
        EXPECT_EQ(till.Bus().Stats().writes, twin.Bus().Stats().writes);
        EXPECT_EQ(till.Bus().Stats().reads, twin.Bus().Stats().reads);
    }

    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();  // sel, and the provider's log, on the till
    Replay replay(file);
    const std::vector<std::vector<std::string>> commands = {
        {},
        {"--json"},
        {"sel"},
        {"sel", "--json"},
        {"smbios"},
        {"smbios", "--json"},
        {"cim", "enumerate", "PXT_NumericSensor"},
        {"cim", "enumerate", "PXT_SystemEventLog"},
    };
    for (const std::vector<std::string>& command : commands)
    {
        std::string shown;
        for (const std::string& word : command)
            shown += word + " ";
        SCOPED_TRACE("qelsensors " + shown);
        const ProgramResult original = Qelsensors(command, till.Root());
        const ProgramResult replayed = Qelsensors(command, replay.root.Path());
        EXPECT_FALSE(original.out.empty());
        EXPECT_EQ(replayed.out, original.out);
        EXPECT_EQ(replayed.exitCode, original.exitCode);
    }

    // Decoded without a till (and without serving anything), SMBIOS and the log are the same too.
    for (const char* command : {"smbios", "sel"})
    {
        SCOPED_TRACE(command);
        const ProgramResult original = Qelsensors({command}, till.Root());
        const ProgramResult decoded =
            QelTest::RunProgram(QelTest::BuiltProgram("tools/qelsensors"), {command, "--from-dump", file});
        EXPECT_EQ(decoded.out, original.out) << decoded.err;
        EXPECT_EQ(decoded.exitCode, 0);
    }
}

TEST_P(CaptureRoundTrip, DmidecodeReadsTheSmbiosPartAsItReadsTheTill)
{
    if (!HaveDmidecode())
        GTEST_SKIP() << "dmidecode is not installed (Debian package dmidecode)";
    QelTest::SimulatedMachine till(GetParam(), 1);
    const std::string file = till.Root() + "/till.capture";
    ASSERT_EQ(Qelsensors({"capture", file}, till.Root()).exitCode, 0);

    const std::vector<uint8_t> bytes = ReadBytes(file);
    std::vector<uint8_t> dump;
    for (const QelCapture::TarMember& member : QelCapture::ReadTar(bytes.data(), bytes.size()))
        if (member.name == "smbios/dmi.bin")
            dump = member.data;
    ASSERT_FALSE(dump.empty());
    const std::string dumpFile = till.Root() + "/dmi.bin";
    WriteBytes(dumpFile, dump);

    const std::string memory = LegacyMemory(till.Root(), till.Root() + "/legacy-mem");
    const ProgramResult fromDump = QelTest::RunProgram("/usr/sbin/dmidecode", {"--from-dump", dumpFile});
    const ProgramResult fromTill = QelTest::RunProgram("/usr/sbin/dmidecode", {"--dev-mem", memory});
    ASSERT_EQ(fromDump.exitCode, 0) << fromDump.err;
    ASSERT_EQ(fromTill.exitCode, 0) << fromTill.err;
    EXPECT_NE(Structures(fromTill.out), "");
    EXPECT_EQ(Structures(fromDump.out), Structures(fromTill.out));

    // And the file is the one dmidecode itself dumps, byte for byte.
    const std::string reference = till.Root() + "/reference.bin";
    ASSERT_EQ(
        QelTest::RunProgram("/usr/sbin/dmidecode", {"--dev-mem", memory, "--dump-bin", reference}).exitCode,
        0);
    EXPECT_EQ(ReadBytes(reference), dump);
}

INSTANTIATE_TEST_SUITE_P(Shipped, CaptureRoundTrip, ::testing::ValuesIn(ProfileNames()),
                         [](const ::testing::TestParamInfo<std::string>& test) { return test.param; });
