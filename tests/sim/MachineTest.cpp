// A machine served through FUSE: other processes and this one reach the chip models through
// dev/port exactly as the library does, with plain pread/pwrite.
#include "FuseMount.h"
#include "RunProgram.h"
#include "SimulatedMachine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using QelSim::PortAccess;
using QelTest::BuiltProgram;
using QelTest::ProgramResult;
using QelTest::RunProgram;
using ::testing::AllOf;
using ::testing::HasSubstr;

namespace
{
// A descriptor on the machine's dev/port, as the library opens it.
class DevPort
{
public:
    explicit DevPort(const std::string& root) : m_fd(open((root + "/dev/port").c_str(), O_RDWR | O_CLOEXEC))
    {
    }
    ~DevPort()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    uint8_t In(uint16_t port) const
    {
        uint8_t value = 0;
        EXPECT_EQ(pread(m_fd, &value, 1, port), 1) << "port " << port << ": " << strerror(errno);
        return value;
    }
    void Out(uint16_t port, uint8_t value) const
    {
        EXPECT_EQ(pwrite(m_fd, &value, 1, port), 1) << "port " << port << ": " << strerror(errno);
    }

private:
    int m_fd;
};

class MachineTest : public QelTest::SimulatedMachineTest
{
};
}  // namespace

TEST(FuseMount, SaysWhyItCannotMountWithoutTheDevice)
{
    EXPECT_THAT(QelSim::FuseMount::Unavailable("/nonexistent/fuse"),
                AllOf(HasSubstr("/nonexistent/fuse is missing"), HasSubstr("no FUSE device")));
}

TEST_F(MachineTest, AChildProcessProbesTheChipThroughDevPort)
{
    QelTest::SimulatedMachine& machine = BringUp("ambercoral");
    const uint64_t mark = machine.Bus().Mark();
    const std::vector<std::string> accesses = {
        "0x2f",  // before the key: floating
        "0x2e=0x87",   "0x2e=0x87",   "0x2e=0x20",   "0x2f",        "0x2e=0x21", "0x2f",  // device ID
        "0x2e=0x07",   "0x2f=0x0b",   "0x2e=0x60",   "0x2f",        "0x2e=0x61", "0x2f",  // monitor base
        "0x2e=0xaa",   "0x0a25=0x4e", "0x0a26=0x04", "0x0a25=0x91", "0x0a26",  // bank 4, register 0x91
        "0x0a25=0x80", "0x0a26=0x55"};
    std::vector<std::string> args = {"port", machine.Root()};
    args.insert(args.end(), accesses.begin(), accesses.end());
    const ProgramResult r = RunProgram(BuiltProgram("sim/qelsim"), args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "0x002f 0xff\n0x002f 0xd4\n0x002f 0x23\n0x002f 0x0a\n0x002f 0x20\n0x0a26 0x30\n");

    // The model saw exactly the child's accesses, one each, in its order.
    const std::vector<PortAccess> seen = machine.Bus().AccessesSince(mark);
    ASSERT_EQ(seen.size(), accesses.size());
    for (size_t i = 0; i < accesses.size(); ++i)
    {
        const bool write = accesses[i].find('=') != std::string::npos;
        EXPECT_EQ(seen[i].write, write) << i;
        EXPECT_EQ(seen[i].port, std::stoul(accesses[i].substr(0, accesses[i].find('=')), nullptr, 16)) << i;
    }
    // And the child's last write changed the register for everyone.
    machine.Bus().Write(0x0A25, 0x80);
    EXPECT_EQ(machine.Bus().Read(0x0A26), 0x55);
}

TEST_F(MachineTest, EveryReadAndWriteReachesTheModel)
{
    QelTest::SimulatedMachine& machine = BringUp("falcon");
    DevPort port(machine.Root());
    ASSERT_TRUE(port.IsOpen()) << strerror(errno);
    const uint64_t mark = machine.Bus().Mark();

    port.Out(0x0A00, 0x90);
    EXPECT_EQ(port.In(0x0A01), 0x2D);
    EXPECT_EQ(port.In(0x0A01), 0x2D);  // a second read is a second access, not a cached byte
    EXPECT_EQ(port.In(0x0080), 0xFF);
    EXPECT_EQ(machine.Bus().AccessesSince(mark).size(), 4u);

    // A longer transfer covers consecutive ports, as /dev/port does; the space ends at 0xFFFF.
    uint8_t bytes[3] = {};
    EXPECT_EQ(pread(port.Fd(), bytes, 3, 0x09FF), 3);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0x90);
    EXPECT_EQ(bytes[2], 0x2D);
    EXPECT_EQ(pread(port.Fd(), bytes, 2, 0xFFFF), 1);
    EXPECT_EQ(pread(port.Fd(), bytes, 1, 0x10000), 0);
    EXPECT_NE(pwrite(port.Fd(), bytes, 1, 0x10000), 1);

    const QelSim::PortStats stats = machine.Bus().Stats();
    EXPECT_EQ(stats.reads, 7u);
    EXPECT_EQ(stats.writes, 1u);
    EXPECT_EQ(stats.perPort.at(0x0A01).reads, 3u);
}

TEST_F(MachineTest, StatsAndAccessFilesShowTheRecordAndAWriteClearsIt)
{
    QelTest::SimulatedMachine& machine = BringUp("wren");
    {
        DevPort port(machine.Root());
        port.Out(0x0A00, 0x90);
        port.In(0x0A01);
        port.In(0x1234);
    }
    const std::string mount = machine.Root() + "/run/qelsim";
    EXPECT_THAT(QelTest::ReadTextFile(mount + "/stats"),
                AllOf(HasSubstr("IT5571 at 0x0A00"), HasSubstr("reads     2 (1 undecoded)"),
                      HasSubstr("writes    1 (0 undecoded)"), HasSubstr("0x0a01        1          0")));
    EXPECT_EQ(QelTest::ReadTextFile(mount + "/accesses"),
              "1 w 0x0a00 0x90\n2 r 0x0a01 0x2f\n3 r 0x1234 0xff -\n");

    {
        const int fd = open((mount + "/stats").c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(write(fd, "x", 1), 1);
        close(fd);
    }
    EXPECT_EQ(machine.Bus().Stats().reads, 0u);
    EXPECT_EQ(QelTest::ReadTextFile(mount + "/accesses"), "");
}

TEST_F(MachineTest, TearDownDoesNotWaitForFilesLeftOpen)
{
    QelTest::SimulatedMachine& machine = BringUp("jetivory");
    const std::string root = machine.Root();
    DevPort port(root);
    ASSERT_TRUE(port.IsOpen());
    port.In(0x2E);

    m_machine.reset();  // would hang if the loop waited for the descriptor
    uint8_t value = 0;
    EXPECT_EQ(pread(port.Fd(), &value, 1, 0x2F), -1) << "a port read answered after the machine went";
    struct stat st;
    EXPECT_NE(stat(root.c_str(), &st), 0) << root << " was left behind";
}

TEST_F(MachineTest, ASecondMachineOnAServedRootIsRefused)
{
    QelTest::SimulatedMachine& machine = BringUp("osprey");
    try
    {
        QelSim::Machine second(machine.Profile(), machine.Root());
        FAIL() << "two servers on one root";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_THAT(e.what(), AllOf(HasSubstr("already served"), HasSubstr("qelsim down")));
    }
    // The first still serves.
    DevPort port(machine.Root());
    port.Out(0x4E, 0x87);
    port.Out(0x4E, 0x87);
    port.Out(0x4E, 0x20);
    EXPECT_EQ(port.In(0x4F), 0xB0);
}
