// SSD discovery, identity, thresholds and temperatures through the NVMe driver's pass-through
// ioctl, against the simulator's controllers (FUSE files answering the same ioctls).
#include "NvmeSsd.h"
#include "SimulatedMachine.h"
#include "SmartIo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <cerrno>
#include <memory>

namespace
{
using QelSim::SsdProfile;

SsdProfile Ssd(const std::string& device, const std::string& serial, int temperature, int over = 70,
               int under = -5)
{
    SsdProfile ssd;
    ssd.device = device;
    ssd.serial = serial;
    ssd.model = "TARN NV256 PCIe SSD";
    ssd.firmware = "2B2QFXO7";
    ssd.temperature = temperature;
    ssd.overThreshold = over;
    ssd.underThreshold = under;
    return ssd;
}

QelSim::Profile FalconWith(std::vector<SsdProfile> ssds)
{
    QelSim::Profile profile = QelSim::LoadProfile(QelSim::FindProfile("falcon"));
    profile.ssds = std::move(ssds);
    return profile;
}

class NvmeSsdTest : public ::testing::Test
{
protected:
    void SetUp() override { QEL_REQUIRE_FUSE(); }

    QelTest::SimulatedMachine& BringUp(std::vector<SsdProfile> ssds)
    {
        m_machine.reset();
        m_machine.reset(new QelTest::SimulatedMachine(FalconWith(std::move(ssds))));
        return *m_machine;
    }

    std::unique_ptr<QelTest::SimulatedMachine> m_machine;
};

TEST_F(NvmeSsdTest, FindsEachControllerWithItsIdentityAndThresholds)
{
    // 58 °C is the 331 K (0x014B) threshold, 70 °C the 343 K (0x0157) composite temperature.
    BringUp({Ssd("nvme0", "S4EUNX0N912345", 70, 58, -5), Ssd("nvme1", "S4EUNX0N967890", 41, 82, 0)});
    NvmeSsd nvme;
    ASSERT_TRUE(nvme.scanNVMeDevices());
    const std::vector<SsdDevice> ssds = nvme.getSsdList();
    // The namespaces nvme0n1 and nvme1n1 beside them are not taken for controllers.
    ASSERT_EQ(ssds.size(), 2u);

    EXPECT_EQ(ssds[0].m_drive, "nvme0");
    EXPECT_EQ(ssds[0].m_devPath, "/dev/nvme0");
    // Fixed-length fields, as the controller pads them.
    EXPECT_EQ(ssds[0].m_serial, "S4EUNX0N912345      ");
    EXPECT_EQ(ssds[0].m_model, "TARN NV256 PCIe SSD                     ");
    EXPECT_EQ(ssds[0].m_fwRev, "2B2QFXO7");
    EXPECT_EQ(ssds[0].m_overTempThreshold, 58);
    EXPECT_EQ(ssds[0].m_underTempThreshold, -5);
    EXPECT_TRUE(ssds[0].m_bValid);
    EXPECT_EQ(ssds[1].m_devPath, "/dev/nvme1");
    EXPECT_EQ(ssds[1].m_serial.substr(0, 14), "S4EUNX0N967890");
    EXPECT_EQ(ssds[1].m_overTempThreshold, 82);
    EXPECT_EQ(ssds[1].m_underTempThreshold, 0);

    EXPECT_EQ(nvme.getSsdTemperature(0), 70);
    EXPECT_EQ(nvme.getSsdTemperature(1), 41);
    // Read afresh on every call.
    m_machine->Ssd(1).SetTemperature(47);
    EXPECT_EQ(nvme.getSsdTemperature(1), 47);
    // A position the list does not have.
    EXPECT_EQ(nvme.getSsdTemperature(2), 0);
    EXPECT_EQ(nvme.getSsdTemperature(-1), 0);
}

TEST_F(NvmeSsdTest, ReadsEachSsdAtThePathItWasFoundAt)
{
    // The only SSD is nvme1: list position 0 must not be read from /dev/nvme0, which is not there.
    BringUp({Ssd("nvme1", "S4EUNX0N967890", 52)});
    NvmeSsd nvme;
    ASSERT_TRUE(nvme.scanNVMeDevices());
    ASSERT_EQ(nvme.getSsdList().size(), 1u);
    EXPECT_EQ(nvme.getSsdList()[0].m_devPath, "/dev/nvme1");
    EXPECT_EQ(nvme.getSsdTemperature(0), 52);
}

TEST_F(NvmeSsdTest, SkipsControllersThatCannotBeRead)
{
    SsdProfile noIdentity = Ssd("nvme0", "BROKEN0", 30);
    noIdentity.failure = SsdProfile::Failure::Identify;
    SsdProfile noThresholds = Ssd("nvme1", "BROKEN1", 30);
    noThresholds.failure = SsdProfile::Failure::Threshold;
    SsdProfile noHealth = Ssd("nvme2", "NOHEALTH", 30);
    noHealth.failure = SsdProfile::Failure::Health;
    QelTest::SimulatedMachine& machine =
        BringUp({noIdentity, noThresholds, noHealth, Ssd("nvme3", "GOOD", 36)});
    // A device file that is no controller at all: the ioctls fail on it.
    machine.SysRoot().WriteFile("/dev/nvme4", "not a device");

    NvmeSsd nvme;
    ASSERT_TRUE(nvme.scanNVMeDevices());
    const std::vector<SsdDevice> ssds = nvme.getSsdList();
    ASSERT_EQ(ssds.size(), 2u);
    EXPECT_EQ(ssds[0].m_devPath, "/dev/nvme2");
    EXPECT_EQ(ssds[1].m_devPath, "/dev/nvme3");
    // A controller whose health log cannot be read gives 0 degrees.
    EXPECT_EQ(nvme.getSsdTemperature(0), 0);
    EXPECT_EQ(nvme.getSsdTemperature(1), 36);

    const std::vector<std::string> log = machine.SysRoot().LogMessages();
    const auto logged = [&](const std::string& message)
    { return std::count(log.begin(), log.end(), message); };
    EXPECT_EQ(logged("SmartIo::nvme_read_identify - NVME_IOCTL_ADMIN_CMD failed: Input/output error"), 1);
    EXPECT_EQ(logged("NvmeSsd::getIdentifyNVMeData - error reading Under Temperature Threshold"), 1);
    EXPECT_EQ(
        logged("SmartIo::nvme_read_identify - NVME_IOCTL_ADMIN_CMD failed: Inappropriate ioctl for device"),
        1);
    EXPECT_EQ(logged("SmartIo::getIdentifyNVMeData - nvme_read_identify failed"), 2);
}

TEST_F(NvmeSsdTest, FindsNothingWithoutControllers)
{
    QelTest::SimulatedMachine& machine = BringUp({});
    // Namespaces and controllers numbered from 10 on are not matched.
    machine.SysRoot().WriteFile("/dev/nvme0n1", "");
    machine.SysRoot().WriteFile("/dev/nvme10", "");
    NvmeSsd nvme;
    EXPECT_FALSE(nvme.scanNVMeDevices());
    EXPECT_TRUE(nvme.getSsdList().empty());
    EXPECT_EQ(nvme.getSsdTemperature(0), 0);
}

TEST_F(NvmeSsdTest, NamespaceDeviceIsIdentifiedThroughItsOwnNamespace)
{
    BringUp({Ssd("nvme0", "S4EUNX0N912345", 40)});
    // The controller is no namespace; its namespace device says which it is.
    const std::unique_ptr<NvmeChannel> controller = CurrentNvmeBackend().Open("/dev/nvme0");
    const std::unique_ptr<NvmeChannel> name_space = CurrentNvmeBackend().Open("/dev/nvme0n1");
    ASSERT_NE(controller, nullptr);
    ASSERT_NE(name_space, nullptr);
    errno = 0;
    EXPECT_EQ(controller->NamespaceId(), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_EQ(name_space->NamespaceId(), 1);

    // A namespace the controller does not have: the command ends with a status (and no data),
    // which is a failure although no error number comes with it.
    std::vector<uint8_t> data(4096, 0xAA);
    EXPECT_FALSE(SmartIo::nvme_read_identify(*controller, 2, 0, data.data(), 4096));
    EXPECT_EQ(data[0], 0);  // zeroed before the command
    EXPECT_TRUE(SmartIo::nvme_read_identify(*controller, 1, 0, data.data(), 4096));

    IdentifyData identity;
    ASSERT_TRUE(SmartIo::getIdentifyNVMeData("/dev/nvme0n1", identity));
    EXPECT_EQ(identity.m_nsid, 1);
    IdentifyData missing;
    EXPECT_FALSE(SmartIo::getIdentifyNVMeData("/dev/nvme7", missing));
}

TEST(NvmeSsd, KelvinToCelsius)
{
    EXPECT_EQ(NvmeSsd::kelvinToCelsius(0x0157), 70);
    EXPECT_EQ(NvmeSsd::kelvinToCelsius(0x014B), 58);
    EXPECT_EQ(NvmeSsd::kelvinToCelsius(273), 0);
    EXPECT_EQ(NvmeSsd::kelvinToCelsius(268), -5);
}

// The answers taken apart as the controller's bytes lie: little-endian words at their offsets,
// only the low 16 bits of a threshold result, a temperature below 0 °C cut to 16 bits.
TEST(NvmeSsd, AnswersAreReadFromTheirOffsets)
{
    std::vector<uint8_t> log(512, 0xEE);
    log[1] = 0x57;
    log[2] = 0x01;
    EXPECT_EQ(NvmeSsd::compositeTemperature(log.data()), 70);
    log[1] = 0x0C;  // 268 K
    log[2] = 0x01;
    EXPECT_EQ(NvmeSsd::compositeTemperature(log.data()), 0xFFFB);

    EXPECT_EQ(SmartIo::thresholdCelsius(0xABCD0157), 70);
    EXPECT_EQ(SmartIo::thresholdCelsius(0), -273);

    std::vector<uint8_t> controller(4096, 0);
    const std::string text = "SERIAL-0123456789ABCMODEL";
    std::copy(text.begin(), text.end(), controller.begin() + 4);
    controller[516] = 1;
    controller[519] = 2;
    IdentifyData data;
    SmartIo::takeControllerIdentity(controller.data(), data);
    EXPECT_EQ(data.m_serial, "SERIAL-0123456789ABC");
    EXPECT_EQ(data.m_model, std::string("MODEL") + std::string(35, '\0'));
    EXPECT_EQ(data.m_fwRev, std::string(8, '\0'));
    EXPECT_EQ(SmartIo::namespaceCount(controller.data()), 0x02000001u);
}
}  // namespace
