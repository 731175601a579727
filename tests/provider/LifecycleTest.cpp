// Load, factory, cleanup and unload as an object manager drives them, including a start-up that
// fails: the MI is returned all the same and refuses every request until a cleanup and a new
// factory call.
#include "Capture.h"
#include "ProviderTestSupport.h"

#include <gmock/gmock.h>

#include <unistd.h>

using namespace ProviderTest;
using ::testing::ContainsRegex;
using ::testing::ElementsAre;
using ::testing::MatchesRegex;

namespace
{
class LifecycleTest : public ProviderFixture
{
protected:
    // A request made straight through an MI the host has already let go of.
    Reply EnumerateThrough(CMPIInstanceMI* mi)
    {
        QelCim::Broker& broker = m_host->GetBroker();
        QelCim::Broker::RequestScope scope(broker);
        QelCim::Result result;
        const CMPIStatus status = mi->ft->enumerateInstances(
            mi, broker.Context(), result.Handle(),
            QelCim::NewObjectPath(broker, QelCim::MakePath(kNameSpace, kSensorClass)), nullptr);
        Reply reply;
        static_cast<QelCim::Collected&>(reply) = result.Data();
        reply.rc = status.rc;
        return reply;
    }
};

TEST_F(LifecycleTest, FailedStartUpRefusesRequestsUntilCleanupAndNewFactoryCall)
{
    const QelSim::Profile falcon = QelSim::LoadProfile(QelSim::FindProfile("falcon"));
    QelSim::Profile unknown = falcon;
    unknown.bios.version = "ZZ990101";  // no model of the table
    Host& host = Start(unknown);
    CMPIInstanceMI* mi = host.MI();
    ASSERT_NE(mi, nullptr);
    EXPECT_EQ(Logged("SensorProvider::initialize - Initialise Service Driver failed - sscode=0x0000000e"),
              1u);
    EXPECT_EQ(Logged("SensorProvider created and initialised"), 0u);

    const std::vector<Reply> refused = {host.EnumerateInstanceNames(kNameSpace, kSensorClass),
                                        host.EnumerateInstances(kNameSpace, kSensorClass),
                                        host.GetInstance(kNameSpace, kSensorClass, "Vcore(00000021)"),
                                        host.EnumerateInstances(kNameSpace, kLogClass),
                                        host.GetInstance(kNameSpace, kLogClass, kLogName),
                                        // Not even the namespace is looked at.
                                        host.EnumerateInstances("root/other", "Other")};
    for (const Reply& reply : refused)
    {
        EXPECT_EQ(reply.rc, CMPI_RC_ERR_METHOD_NOT_AVAILABLE);
        EXPECT_EQ(reply.doneCount, 0);
        EXPECT_TRUE(reply.paths.empty() && reply.instances.empty());
    }
    EXPECT_EQ(Logged("drvEnumInstances - provider not initialised - is the kernel driver loaded?"), 3u);
    EXPECT_EQ(Logged("drvEnumInstanceNames - provider not initialised - is the kernel driver loaded?"), 1u);

    // A second factory call hands back the same MI and does not start again.
    ASSERT_EQ(host.CreateMI().rc, CMPI_RC_OK);
    EXPECT_EQ(host.MI(), mi);
    EXPECT_EQ(Logged("SensorProvider::initialise"), 1u);
    EXPECT_EQ(host.EnumerateInstances(kNameSpace, kSensorClass).rc, CMPI_RC_ERR_METHOD_NOT_AVAILABLE);

    // Cleanup deletes the provider: the MI stays callable and refuses.
    ASSERT_EQ(host.Cleanup(false).rc, CMPI_RC_OK);
    EXPECT_EQ(Logged("SensorProvider - provider destroyed"), 1u);
    EXPECT_EQ(EnumerateThrough(mi).rc, CMPI_RC_ERR_METHOD_NOT_AVAILABLE);

    // The machine is now one the library knows; a new factory call starts afresh and serves.
    Machine().SysRoot().Install(QelSim::BuildImage(falcon));
    ASSERT_EQ(host.CreateMI().rc, CMPI_RC_OK);
    EXPECT_EQ(host.MI(), mi);
    EXPECT_EQ(Logged("SensorProvider::initialise"), 2u);
    EXPECT_EQ(Logged("SensorProvider created and initialised"), 1u);
    const Reply served = host.EnumerateInstances(kNameSpace, kSensorClass);
    EXPECT_EQ(served.rc, CMPI_RC_OK);
    EXPECT_EQ(served.doneCount, 1);
    EXPECT_EQ(served.instances.size(), SensorCount(falcon));
}

TEST_F(LifecycleTest, SecondFactoryCallKeepsTheRunningProvider)
{
    Host& host = Start("ambercoral");
    CMPIInstanceMI* mi = host.MI();
    const Reply before = host.EnumerateInstanceNames(kNameSpace, kSensorClass);
    ASSERT_EQ(host.CreateMI().rc, CMPI_RC_OK);
    EXPECT_EQ(host.MI(), mi);
    EXPECT_STREQ(mi->ft->miName, "instanceSensorProvider");
    EXPECT_EQ(mi->ft->ftVersion, 100);
    EXPECT_EQ(mi->ft->miVersion, 100);
    const Reply after = host.EnumerateInstanceNames(kNameSpace, kSensorClass);
    EXPECT_EQ(after.paths.size(), before.paths.size());
    EXPECT_EQ(Logged("SensorProvider::initialise"), 1u);
    EXPECT_EQ(Logged("SensorProvider::constructor"), 1u);
    const std::vector<std::string> log = Machine().SysRoot().LogMessages();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& m)
                            { return m.rfind("Kestrel POS Sensor Drivers for Linux ", 0) == 0; }),
              2);
}

// What the provider writes to standard error over one load/unload cycle.
TEST_F(LifecycleTest, LoadFactoryCleanupUnloadTrace)
{
    m_machine.reset(new QelTest::SimulatedMachine("falcon"));
    QelTest::FdCapture capture(STDERR_FILENO);
    std::string error;
    {
        Host host;
        ASSERT_TRUE(host.Load(ProviderPath(), error)) << error;
        ASSERT_EQ(host.CreateMI().rc, CMPI_RC_OK);
        host.EnumerateInstanceNames(kNameSpace, kLogClass);
        ASSERT_EQ(host.Cleanup(false).rc, CMPI_RC_OK);
        ASSERT_TRUE(host.Unload(error)) << error;
    }
    const std::vector<std::string> lines = QelTest::SplitLines(capture.Finish());
    const std::string pid = std::to_string(getpid());
    EXPECT_THAT(lines, ElementsAre("CONSTRUCTOR",
                                   MatchesRegex("SensorProvider_Create_InstanceMI, broker=0x[0-9a-f]+, "
                                                "version=1"),
                                   "SensorProvider_Create_InstanceMI - pid=" + pid,
                                   MatchesRegex("drvEnumInstanceNames - provider=0x[0-9a-f]+"),
                                   MatchesRegex("drvInstanceCleanup - provider=0x[0-9a-f]+, terminating=0"),
                                   "DESTRUCTOR"));
}
}  // namespace
