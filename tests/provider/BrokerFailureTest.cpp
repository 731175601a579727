// A broker call that fails ends the request with status 1: the instances already returned stay
// returned, returnDone still comes once, and the log says what happened.
#include "BrokerFaults.h"
#include "ProviderTestSupport.h"

#include <memory>

using namespace ProviderTest;

namespace
{
class BrokerFailureTest : public ProviderFixture
{
protected:
    void SetUp() override
    {
        ProviderFixture::SetUp();
        if (IsSkipped())
            return;
        Start("falcon");
        sensors = SensorCount(Machine().Profile());
        m_faults.reset(new BrokerFaults(m_host->GetBroker()));
    }
    void TearDown() override
    {
        m_faults.reset();
        ProviderFixture::TearDown();
    }

    BrokerFaults& Broker() { return *m_faults; }

    std::unique_ptr<BrokerFaults> m_faults;

    size_t sensors = 0;
};

void ExpectFailedButCompleted(const Reply& reply)
{
    EXPECT_EQ(reply.rc, CMPI_RC_ERR_FAILED);
    EXPECT_FALSE(reply.hasMessage);  // the provider never sets a message
    EXPECT_EQ(reply.doneCount, 1);
    EXPECT_FALSE(reply.returnedAfterDone);
}

TEST_F(BrokerFailureTest, NewInstanceFailingEndsTheEnumeration)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    Broker().FailNewInstanceAfter(0);
    const Reply none = m_host->EnumerateInstances(kNameSpace, kSensorClass);
    ExpectFailedButCompleted(none);
    EXPECT_TRUE(none.instances.empty());
    EXPECT_EQ(Logged("SensorProvider::enumerateInstances - CMPIStatus 1, newInstance failed (test fault)"),
              1u);
    EXPECT_EQ(Logged("SensorProvider::enumerateInstances - No instances found"), 1u);

    // Failing part-way: what was returned stays, and "No instances found" is not claimed.
    Broker().FailNewInstanceAfter(3);
    const Reply some = m_host->EnumerateInstances(kNameSpace, kSensorClass);
    ExpectFailedButCompleted(some);
    EXPECT_EQ(some.instances.size(), 3u);
    EXPECT_EQ(Logged("SensorProvider::enumerateInstances - No instances found"), 1u);

    Broker().FailNewInstanceAfter(0);
    const Reply log = m_host->EnumerateInstances(kNameSpace, kLogClass);
    ExpectFailedButCompleted(log);
    EXPECT_EQ(Logged("SensorProvider::enumerateInstances - No instances found"), 2u);

    const Reply get = m_host->GetInstance(kNameSpace, kLogClass, kLogName);
    ExpectFailedButCompleted(get);
    EXPECT_EQ(Logged("SensorProvider::getInstance - CMPIStatus 1, newInstance failed (test fault)"), 1u);
    EXPECT_EQ(Logged("SensorProvider::getInstance - No instance found"), 1u);

    // The broker recovers, and so does the provider.
    Broker().FailNewInstanceAfter(-1);
    EXPECT_EQ(m_host->EnumerateInstances(kNameSpace, kSensorClass).instances.size(), sensors);
}

TEST_F(BrokerFailureTest, SetPropertyFailingAbandonsTheInstance)
{
    Broker().FailSetProperty("CurrentReading");
    const Reply sensorsReply = m_host->EnumerateInstances(kNameSpace, kSensorClass);
    ExpectFailedButCompleted(sensorsReply);
    EXPECT_TRUE(sensorsReply.instances.empty());
    EXPECT_EQ(Logged("SensorProvider::enumerateInstances - CMPIStatus 1, setProperty CurrentReading failed "
                     "(test fault)"),
              1u);
    EXPECT_EQ(Logged("SensorProvider::enumerateInstances - No instances found"), 1u);

    const Reply names = m_host->EnumerateInstanceNames(kNameSpace, kSensorClass);  // sets no property
    EXPECT_EQ(names.rc, CMPI_RC_OK);
    const Reply get = m_host->GetInstance(kNameSpace, kSensorClass, names.paths.at(2).Key("Name")->text);
    ExpectFailedButCompleted(get);
    EXPECT_TRUE(get.instances.empty());
    EXPECT_EQ(Logged("SensorProvider::getInstance - No instance found"), 1u);

    Broker().FailSetProperty("LogLines");
    ExpectFailedButCompleted(m_host->GetInstance(kNameSpace, kLogClass, kLogName));
    EXPECT_EQ(m_host->EnumerateInstances(kNameSpace, kSensorClass).rc, CMPI_RC_OK);
}

TEST_F(BrokerFailureTest, PathAndArrayFailures)
{
    Broker().FailNewObjectPathAfter(0);
    const Reply names = m_host->EnumerateInstanceNames(kNameSpace, kSensorClass);
    ExpectFailedButCompleted(names);
    EXPECT_TRUE(names.paths.empty());
    EXPECT_EQ(Logged("SensorProvider::enumerateInstanceNames - No instances found"), 1u);
    ExpectFailedButCompleted(m_host->EnumerateInstanceNames(kNameSpace, kLogClass));
    EXPECT_EQ(Logged("SensorProvider::enumerateInstanceNames - No instances found"), 2u);

    Broker().FailNewObjectPathAfter(2);
    const Reply partial = m_host->EnumerateInstanceNames(kNameSpace, kSensorClass);
    ExpectFailedButCompleted(partial);
    EXPECT_EQ(partial.paths.size(), 2u);
    EXPECT_EQ(Logged("SensorProvider::enumerateInstanceNames - No instances found"), 2u);

    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    Broker().FailNewObjectPathAfter(-1);
    Broker().FailNewArrayAfter(0);
    const Reply log = m_host->EnumerateInstances(kNameSpace, kLogClass);
    ExpectFailedButCompleted(log);
    EXPECT_TRUE(log.instances.empty());
    EXPECT_EQ(Logged("SensorProvider::enumerateInstances - CMPIStatus 1, newArray failed (test fault)"), 1u);
}
}  // namespace
