// The port layer and the Super I/O access: one system call per port access, the probe and
// leave sequences the chips see, what a register read costs, and the failure paths of a
// machine without "/dev/port", with a chip that is not there or not set up. The chips are the
// simulator's models on a port bus behind PortIo, in this process.
#include "DriverTestSupport.h"
#include "InProcessMachine.h"
#include "NuvotonChips.h"
#include "PortBackend.h"
#include "PortIo.h"
#include "TempSysRoot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using ::testing::Contains;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace
{
// The sanitizer runtimes make system calls of their own (type checks write to a pipe).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

// Read and write system calls of the calling thread.
uint64_t ThreadSystemCalls()
{
    char text[512] = {};
    const int fd = open("/proc/thread-self/io", O_RDONLY | O_CLOEXEC);
    const ssize_t n = fd < 0 ? -1 : read(fd, text, sizeof(text) - 1);
    if (fd >= 0)
        close(fd);
    uint64_t total = 0;
    for (const char* key : {"syscr: ", "syscw: "})
        if (const char* at = n > 0 ? strstr(text, key) : nullptr)
            total += strtoull(at + strlen(key), nullptr, 10);
    return total;
}

// The calls run() makes, less what counting them costs.
template <class Run>
uint64_t SystemCallsOf(Run run)
{
    const uint64_t a = ThreadSystemCalls(), b = ThreadSystemCalls();
    run();
    return (ThreadSystemCalls() - b) - (b - a);
}

std::vector<std::string> Formatted(const std::vector<QelSim::PortAccess>& accesses)
{
    std::vector<std::string> lines;
    for (const QelSim::PortAccess& access : accesses)
        lines.push_back(QelSim::FormatAccess(access));
    return lines;
}

// The accesses of a configuration-port probe where no chip answers (the bus floats high).
std::vector<std::string> FailedProbe(const std::string& ef, const std::string& data)
{
    return {"w " + ef + " 0x87 -",   "w " + ef + " 0x87 -", "w " + ef + " 0x20 -",
            "r " + data + " 0xff -", "w " + ef + " 0x21 -", "r " + data + " 0xff -",
            "w " + ef + " 0xaa -",   "w " + ef + " 0x02 -", "w " + data + " 0x02 -"};
}

QelSim::Profile Shipped(const std::string& name)
{
    return QelSim::LoadProfile(QelSim::FindProfile(name));
}

class SuperIoOnMachine : public QelTest::InProcessMachineTest
{
protected:
    std::vector<std::string> Log() const { return m_machine->SysRoot().LogMessages(); }
};
}  // namespace

TEST(PortIo, OneSystemCallPerAccessAtThePortsOffsetAndNothingWithoutTheDevice)
{
    QelTest::TempSysRoot root;
    PortIo missing;
    EXPECT_FALSE(missing.initialise());
    EXPECT_EQ(SystemCallsOf([&] { EXPECT_EQ(missing.inb(0x2F), 0); }), 0u);
    EXPECT_FALSE(missing.outb(0x2E, 0x87));

    std::string bytes(0x400, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    ASSERT_EQ(mkdir(root.PathOf("/dev").c_str(), 0755), 0);
    root.WriteFile("/dev/port", bytes);
    PortIo port;
    ASSERT_TRUE(port.initialise());
    // A first access may cost the loader (or a sanitizer's interceptor) calls of its own.
    port.inb(0x2E);
    uint8_t value = 0;
    EXPECT_EQ(SystemCallsOf([&] { value = port.inb(0x2F); }), 1u);
    EXPECT_EQ(value, static_cast<uint8_t>(0x2F * 7));
    EXPECT_EQ(SystemCallsOf([&] { EXPECT_TRUE(port.outb(0x80, 0x5A)); }), 1u);
    EXPECT_EQ(QelTest::ReadTextFile(root.PathOf("/dev/port"))[0x80], 0x5A);
    EXPECT_EQ(port.inb(0xFFFF), 0) << "nothing transferred beyond the device's end";
}

namespace
{
// A port space whose opens and transfers fail on demand; a failed read still fills in a byte.
class Flaky : public PortBackend, public PortChannel
{
public:
    bool open = true, transfer = true;
    std::unique_ptr<PortChannel> Open() override
    {
        struct Forward : PortChannel
        {
            explicit Forward(Flaky& to) : m_to(to) {}
            bool Read(uint16_t port, uint8_t& value) override { return m_to.Read(port, value); }
            bool Write(uint16_t port, uint8_t value) override { return m_to.Write(port, value); }
            Flaky& m_to;
        };
        return open ? std::make_unique<Forward>(*this) : nullptr;
    }
    bool Read(uint16_t, uint8_t& value) override
    {
        value = 0x5A;
        return transfer;
    }
    bool Write(uint16_t, uint8_t) override { return transfer; }
};
}  // namespace

TEST(PortIo, AnInstalledBackendServesLaterOpensAndItsFailuresReadAsTheDevicesDo)
{
    QelTest::TempSysRoot root;
    ASSERT_EQ(mkdir(root.PathOf("/dev").c_str(), 0755), 0);
    root.WriteFile("/dev/port", std::string(0x100, '\x11'));
    PortIo before;
    ASSERT_TRUE(before.initialise());

    Flaky flaky;
    PortBackend* previous = InstallPortBackend(&flaky);
    EXPECT_EQ(previous, nullptr);
    EXPECT_EQ(&CurrentPortBackend(), &flaky);
    EXPECT_EQ(before.inb(0x2F), 0x11) << "an open PortIo keeps its device";
    PortIo port;
    ASSERT_TRUE(port.initialise());
    EXPECT_EQ(port.inb(0x2F), 0x5A);
    EXPECT_TRUE(port.outb(0x2E, 0x87));
    flaky.transfer = false;
    EXPECT_EQ(port.inb(0x2F), 0) << "a byte that was not transferred reads 0";
    EXPECT_FALSE(port.outb(0x2E, 0x87));
    flaky.open = false;
    PortIo refused;
    EXPECT_FALSE(refused.initialise());
    EXPECT_EQ(refused.inb(0x2F), 0);
    EXPECT_FALSE(refused.outb(0x2E, 0x87));

    InstallPortBackend(previous);
    flaky.open = flaky.transfer = true;
    PortIo after;
    ASSERT_TRUE(after.initialise());
    EXPECT_EQ(after.inb(0x2F), 0x11);
    EXPECT_EQ(port.inb(0x2F), 0x5A) << "and so does one opened through the backend";
}

TEST_F(SuperIoOnMachine, ProbeFindsTheChipReadsItsBaseAndLeavesConfigurationMode)
{
    QelTest::InProcessMachine& machine = BringUp(Shipped("ambercoral"));
    NCT6796DSioIo sio;
    ASSERT_TRUE(sio.m_Port.initialise());
    const uint64_t mark = machine.Bus().Mark();
    ASSERT_EQ(sio.getDevice(0xD420, 0x2E), 0);
    EXPECT_THAT(Formatted(machine.Bus().AccessesSince(mark)),
                ElementsAreArray({"w 0x002e 0x87", "w 0x002e 0x87", "w 0x002e 0x20", "r 0x002f 0xd4",
                                  "w 0x002e 0x21", "r 0x002f 0x23",  // revision 3 is ignored
                                  "w 0x002e 0x07", "w 0x002f 0x0b", "w 0x002e 0x60", "r 0x002f 0x0a",
                                  "w 0x002e 0x61", "r 0x002f 0x20", "w 0x002e 0x30", "r 0x002f 0x01",
                                  "w 0x002e 0xaa", "w 0x002e 0x02", "w 0x002f 0x02"}));
    EXPECT_EQ(sio.m_wDeviceId, 0xD420);
    EXPECT_EQ(sio.m_wRegBase, 0x0A25);
    EXPECT_THAT(Log(), Contains("NCT6796DSioIo::getDevice - Super-I/O already enabled."));
}

TEST_F(SuperIoOnMachine, ChipOnTheSecondPortIsFoundAfterTheFirstProbeLeftAgain)
{
    for (const char* profile : {"larchmoss", "osprey"})
    {
        SCOPED_TRACE(profile);
        QelTest::InProcessMachine& machine = BringUp(Shipped(profile));
        ASSERT_EQ(DriverTest::StartDriver(machine.Profile()).status, SS_SUCCESS);
        const std::vector<std::string> seen = Formatted(machine.Bus().Accesses());
        const std::vector<std::string> first = FailedProbe("0x002e", "0x002f");
        ASSERT_GT(seen.size(), first.size());
        EXPECT_EQ(std::vector<std::string>(seen.begin(), seen.begin() + first.size()), first);
        EXPECT_EQ(seen[first.size()], "w 0x004e 0x87");
    }
}

TEST_F(SuperIoOnMachine, Nct6106LeavesWithoutTheKey)
{
    QelTest::InProcessMachine& machine = BringUp(Shipped("fenwick"));
    ASSERT_EQ(DriverTest::StartDriver(machine.Profile()).status, SS_SUCCESS);
    const std::vector<std::string> seen = Formatted(machine.Bus().Accesses());
    const auto leave = std::find(seen.begin(), seen.end(), "w 0x002f 0x02");
    ASSERT_NE(leave, seen.end());
    EXPECT_EQ(*(leave - 1), "w 0x002e 0x02");
    EXPECT_THAT(seen, Not(Contains("w 0x002e 0xaa")));
    EXPECT_THAT(Log(), Contains("Nct6106SioIo::initialise - init ok, reg_base=0x0a25"));
}

TEST_F(SuperIoOnMachine, InactiveMonitorIsSwitchedOnAndThenReads)
{
    QelSim::Profile profile = Shipped("ambercoral");
    profile.chips[0].monitorActive = false;
    BringUp(profile);
    DriverTest::Driver driver = DriverTest::StartDriver(profile);
    ASSERT_EQ(driver.status, SS_SUCCESS);
    EXPECT_THAT(
        Log(),
        Contains("NCT6796DSioIo::getDevice - Forcibly enabling Super-I/O. Sensors probably unusable."));
    std::list<uint16_t> handles;
    driver.device->GetSensorHandles(handles);
    CSensorReading reading;
    ASSERT_EQ(driver.device->ReadSensor(handles.front(), reading), SS_SUCCESS);
    EXPECT_EQ(reading.CurrentReading, 0x71u * 8) << "Vcore, bank 4 register 0x80";
}

TEST_F(SuperIoOnMachine, ZeroBaseOrAnotherChipFailsTheDriverWithHardwareMonitorError)
{
    QelSim::Profile profile = Shipped("jetivory");
    profile.chips[0].monitorBase = 0;
    BringUp(profile);
    EXPECT_EQ(DriverTest::StartDriver(profile).status, SS_HWMON_ERROR);
    EXPECT_THAT(Log(), Contains("NCT6776SioIo::getDevice - port base is 0 - bad device port"));
    EXPECT_THAT(Log(),
                Contains(StartsWith("NCT6776::Initialise - failed to initialise HW Monitor driver 0x")));

    // An NCT6796D driver on a board whose Super I/O is an NCT6106D: both ports probed, both left.
    QelTest::InProcessMachine& machine = BringUp(Shipped("fenwick"));
    CRawSMBios raw;
    CSMBiosChipData chips;
    ASSERT_TRUE(raw.Initialise() && chips.Initialise(raw));
    NCT6796D driver(nullptr, "Nuvoton NCT6796D", chips.m_vDevices[0]->dwAddress, 3,
                    chips.m_vDevices[0]->wHandle);
    EXPECT_EQ(driver.Initialise(raw), SS_HWMON_ERROR);
    EXPECT_FALSE(driver.m_bInit);
    const std::vector<std::string> seen = Formatted(machine.Bus().Accesses());
    EXPECT_THAT(seen, Contains("w 0x002e 0xaa"));
    const std::vector<std::string> second = FailedProbe("0x004e", "0x004f");
    ASSERT_GE(seen.size(), second.size());
    EXPECT_EQ(std::vector<std::string>(seen.end() - second.size(), seen.end()), second);
    EXPECT_THAT(Log(), Contains("NCT6796DSioIo::getDevice - Unknown device 0xc450 on EF Reg 0x002e"));
}

TEST_F(SuperIoOnMachine, InitialiseDumpsTheChipsBanks)
{
    for (const auto& c : {std::make_pair("ambercoral", 11u), {"cedarhi", 4u}})
    {
        SCOPED_TRACE(c.first);
        QelTest::InProcessMachine& machine = BringUp(Shipped(c.first));
        ASSERT_EQ(DriverTest::StartDriver(machine.Profile()).status, SS_SUCCESS);
        const uint16_t index = static_cast<uint16_t>(machine.Profile().chips[0].monitorBase + 5);
        std::map<unsigned, unsigned> selected;
        const std::vector<QelSim::PortAccess> accesses = machine.Bus().Accesses();
        for (size_t i = 0; i + 1 < accesses.size(); ++i)
            if (accesses[i].write && accesses[i].port == index && accesses[i].value == 0x4E &&
                accesses[i + 1].write && accesses[i + 1].port == index + 1)
                ++selected[accesses[i + 1].value];
        ASSERT_EQ(selected.size(), c.second);
        for (const auto& bank : selected)
            EXPECT_EQ(bank.second, 256u) << "bank " << bank.first;
        // One multi-line message per bank.
        const std::string log = QelTest::ReadTextFile(machine.SysRoot().PathOf("/var/log/tarn/tarn.log"));
        EXPECT_THAT(log, HasSubstr("\nBank " + std::to_string(c.second - 1) + "\n"));
        EXPECT_THAT(log, Not(HasSubstr("\nBank " + std::to_string(c.second) + "\n")));
    }
}

// With the ports in-process and logging off, a reading makes no system call of its own: through
// "/dev/port" its cost is then one call per access (see PortIo above).
TEST_F(SuperIoOnMachine, EachRegisterByteCostsFourAccessesAndNoOtherSystemCall)
{
    QelTest::InProcessMachine& machine = BringUp(Shipped("ambercoral"), 0);
    DriverTest::Driver driver = DriverTest::StartDriver(machine.Profile());
    ASSERT_EQ(driver.status, SS_SUCCESS);
    std::list<uint16_t> handles;
    driver.device->GetSensorHandles(handles);
    for (uint16_t handle : handles)
    {
        const size_t bytes =
            driver.device->m_Sensors.Get(handle)->dwSensorType == SENSOR_KIND_COOLING ? 2 : 1;
        const uint64_t mark = machine.Bus().Mark();
        CSensorReading reading;
        reading.Translate = 1;
        const uint64_t calls =
            SystemCallsOf([&] { EXPECT_EQ(driver.device->ReadSensor(handle, reading), SS_SUCCESS); });
        const std::vector<std::string> seen = Formatted(machine.Bus().AccessesSince(mark));
        ASSERT_EQ(seen.size(), 4 * bytes) << handle;
        EXPECT_EQ(calls, kSanitized ? calls : 0u);
        EXPECT_EQ(seen[0], "w 0x0a25 0x4e");
        EXPECT_EQ(seen[1], "w 0x0a26 0x04");
        EXPECT_THAT(seen[3], StartsWith("r 0x0a26 "));
    }
}

TEST_F(SuperIoOnMachine, IteRegisterByteIsTwoAccessesAndTheSecondGenerationWaits)
{
    QelTest::InProcessMachine& machine = BringUp(Shipped("falcon"));
    DriverTest::Driver driver = DriverTest::StartDriver(machine.Profile());
    ASSERT_EQ(driver.status, SS_SUCCESS);
    std::list<uint16_t> handles;
    driver.device->GetSensorHandles(handles);
    ASSERT_EQ(driver.device->m_Sensors.Get(handles.front())->dwSensorType, SENSOR_KIND_VOLTAGE);

    const uint64_t mark = machine.Bus().Mark();
    const auto start = std::chrono::steady_clock::now();
    CSensorReading reading;
    ASSERT_EQ(driver.device->ReadSensor(handles.front(), reading), SS_SUCCESS);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4))
        << "1 ms before each access";
    EXPECT_THAT(Formatted(machine.Bus().AccessesSince(mark)),
                ElementsAreArray({"w 0x0a00 0x95", "r 0x0a01 0x01", "w 0x0a00 0x96", "r 0x0a01 0x33"}));
}

// Without "/dev/port" the driver still starts, but no reading is made up: each read fails.
TEST(DriverFailure, WithoutDevPortInitialiseSucceedsAndEveryReadFails)
{
    for (const auto& c : {std::make_pair("ambercoral", "NCT6796DSioIo"), {"falcon", "IT5571_SioIo_v2"}})
    {
        SCOPED_TRACE(c.first);
        QelTest::TempSysRoot root;
        const QelSim::Profile profile = Shipped(c.first);
        root.Install(QelSim::BuildImage(profile));
        DriverTest::Driver driver = DriverTest::StartDriver(profile);
        ASSERT_EQ(driver.status, SS_SUCCESS);
        std::list<uint16_t> handles;
        driver.device->GetSensorHandles(handles);
        ASSERT_FALSE(handles.empty());
        for (uint16_t handle : handles)
        {
            CSensorReading reading;
            reading.CurrentReading = 12345;
            reading.Translate = 1;
            EXPECT_EQ(driver.device->ReadSensor(handle, reading), SS_HWMON_ERROR);
            EXPECT_EQ(reading.CurrentReading, 12345u);
        }
        EXPECT_THAT(root.LogMessages(),
                    Contains(std::string(c.second) + "::readRegByte - internal error - not initialised"));
        EXPECT_THAT(root.LogMessages(), Contains(HasSubstr("::ReadSensor - sensor 0x")));
    }
}

// Ports that stop answering while the driver is in use fail its readings, each logged with its
// register and the error; once the ports answer again, every sensor reads as before.
TEST(DriverFailure, APortThatFailsMidUseFailsOnlyTheReadingsThatNeedIt)
{
    for (const char* name : {"ambercoral", "falcon"})
    {
        SCOPED_TRACE(name);
        QelTest::InProcessMachine machine(name);
        DriverTest::Driver driver = DriverTest::StartDriver(machine.Profile());
        ASSERT_EQ(driver.status, SS_SUCCESS);
        std::list<uint16_t> handles;
        driver.device->GetSensorHandles(handles);
        ASSERT_FALSE(handles.empty());
        std::map<uint16_t, uint64_t> before;
        for (uint16_t handle : handles)
        {
            CSensorReading reading;
            reading.Translate = 1;
            ASSERT_EQ(driver.device->ReadSensor(handle, reading), SS_SUCCESS);
            before[handle] = reading.CurrentReading;
        }

        machine.Bus().FailPorts(0, 0xFFFF);
        for (uint16_t handle : handles)
        {
            CSensorReading reading;
            reading.Translate = 1;
            EXPECT_EQ(driver.device->ReadSensor(handle, reading), SS_HWMON_ERROR) << handle;
        }
        EXPECT_THAT(machine.SysRoot().LogMessages(), Contains(HasSubstr("not read: Input/output error")));

        machine.Bus().ClearFailingPorts();
        for (uint16_t handle : handles)
        {
            CSensorReading reading;
            reading.Translate = 1;
            ASSERT_EQ(driver.device->ReadSensor(handle, reading), SS_SUCCESS);
            EXPECT_EQ(reading.CurrentReading, before[handle]) << handle;
        }
    }
}

TEST(DriverFailure, WrongAddressTypeOrForeignSensorsAreSmbiosErrors)
{
    QelTest::TempSysRoot root;
    CRawSMBios notRead;
    NCT6796D wrongType(nullptr, "Nuvoton NCT6796D", 0x0A20, 4, 0x20);
    EXPECT_EQ(wrongType.Initialise(notRead), SS_SMBIOS_ERROR);
    EXPECT_THAT(root.LogMessages(),
                Contains("NCT6796D::Initialise - Address Type 0x4, expecting Address Type 0x3 (IO Port)"));

    root.Install(QelSim::BuildImage(Shipped("ambercoral")));
    CRawSMBios raw;
    CSMBiosChipData chips;
    ASSERT_TRUE(raw.Initialise() && chips.Initialise(raw));
    NCT6796D elsewhere(nullptr, "Nuvoton NCT6796D", 0x0A20, 3,
                       static_cast<uint16_t>(chips.m_vDevices[0]->wHandle + 1));
    EXPECT_EQ(elsewhere.Initialise(raw), SS_SMBIOS_ERROR);
}

// A management device address beyond the port space would be cut to 16 bits and reach another
// device's ports; the ITE driver refuses it.
TEST(DriverFailure, IteIndexPortOutsideThePortSpaceIsRefused)
{
    QelTest::TempSysRoot root;
    QelSim::Profile profile = Shipped("wren");
    profile.chips[0].board.address = 0x00010A00;
    root.Install(QelSim::BuildImage(profile));
    EXPECT_EQ(DriverTest::StartDriver(profile).status, SS_HWMON_ERROR);
    EXPECT_THAT(root.LogMessages(), Contains(HasSubstr("IT5571_SioIo::initialise - index port 0x00010a00")));
}
