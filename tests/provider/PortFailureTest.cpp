// The provider never publishes a reading that was not taken: when the till's ports stop answering
// while it is loaded, a request that needs a reading ends with status 1 and the log says which
// sensor failed; once the ports answer again, so does the provider.
#include "ProviderTestSupport.h"

#include <chrono>
#include <thread>
#include <unistd.h>

using namespace ProviderTest;

namespace
{
class PortFailureTest : public ProviderFixture
{
protected:
    size_t LoggedContaining(const std::string& text) const
    {
        const std::vector<std::string> messages = m_machine->SysRoot().LogMessages();
        return static_cast<size_t>(std::count_if(messages.begin(), messages.end(),
                                                 [&](const std::string& m)
                                                 { return m.find(text) != std::string::npos; }));
    }

    // Past the update interval, so the next request reads the chips again.
    static void Throttled() { std::this_thread::sleep_for(std::chrono::milliseconds(1100)); }
};
}  // namespace

TEST_F(PortFailureTest, PortsFailingWhileLoadedFailTheRequestsThatReadThem)
{
    Host& host = Start("ambercoral");
    const Reply first = host.EnumerateInstances(kNameSpace, kSensorClass);
    ASSERT_TRUE(first.Ok());
    ASSERT_FALSE(first.instances.empty());
    const std::string name = NameOf(first.instances.at(0));

    Machine().Bus().FailPorts(0, 0xFFFF);
    Throttled();
    const Reply enumerated = host.EnumerateInstances(kNameSpace, kSensorClass);
    EXPECT_EQ(enumerated.rc, CMPI_RC_ERR_FAILED);
    EXPECT_TRUE(enumerated.instances.empty());
    EXPECT_EQ(enumerated.doneCount, 1);
    const Reply got = host.GetInstance(kNameSpace, kSensorClass, name);
    EXPECT_EQ(got.rc, CMPI_RC_ERR_FAILED);
    EXPECT_TRUE(got.instances.empty());
    EXPECT_GE(LoggedContaining("SensorProvider::UpdateReading - failed to read sensor"), 2u);
    EXPECT_GE(LoggedContaining("not read: Input/output error"), 1u);
    // Names need no reading.
    EXPECT_TRUE(host.EnumerateInstanceNames(kNameSpace, kSensorClass).Ok());

    Machine().Bus().ClearFailingPorts();
    const Reply again = host.EnumerateInstances(kNameSpace, kSensorClass);
    EXPECT_TRUE(again.Ok());
    EXPECT_EQ(again.instances.size(), first.instances.size());

    // The port server goes away altogether: the open port device fails every access.
    Machine().Stop();
    Throttled();
    const Reply stopped = host.EnumerateInstances(kNameSpace, kSensorClass);
    EXPECT_EQ(stopped.rc, CMPI_RC_ERR_FAILED);
    EXPECT_TRUE(stopped.instances.empty());
}

// Without a port device the chip library still starts, but the provider's first readings fail: it
// publishes nothing rather than zeros, and says why.
TEST_F(PortFailureTest, APortDeviceThatCannotBeOpenedPublishesNoReading)
{
    QelSim::Profile profile = QelSim::LoadProfile(QelSim::FindProfile("falcon"));
    m_machine.reset(new QelTest::SimulatedMachine(profile));
    ASSERT_EQ(unlink((m_machine->Root() + "/dev/port").c_str()), 0);
    m_host.reset(new Host);
    ASSERT_TRUE(LoadProvider(*m_host));

    const Reply enumerated = m_host->EnumerateInstances(kNameSpace, kSensorClass);
    EXPECT_EQ(enumerated.rc, CMPI_RC_ERR_METHOD_NOT_AVAILABLE);
    EXPECT_TRUE(enumerated.instances.empty());
    EXPECT_EQ(Logged("SensorProvider::initSensorProvider - ReadSensor failed, sscode=0x00000005"), 1u);
    EXPECT_GE(LoggedContaining("::readRegByte - internal error - not initialised"), 1u);
}
