// A sensor is read from the chip at most once a second: requests in between are answered from the
// stored reading. Counted on the simulator's port bus.
#include "PXT_NumericSensor.h"
#include "ProviderTestSupport.h"

#include <chrono>
#include <climits>
#include <thread>

using namespace ProviderTest;

namespace
{
uint64_t PortReads(QelTest::SimulatedMachine& machine)
{
    return machine.Bus().Stats().reads;
}

void Sleep(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

class ThrottleTest : public ProviderFixture
{
};

TEST_F(ThrottleTest, ReadsOncePerSecondAtMost)
{
    Host& host = Start("falcon");
    const size_t sensors = SensorCount(Machine().Profile());

    // Start-up read every sensor; a request right after it reads none again.
    uint64_t before = PortReads(Machine());
    ASSERT_EQ(host.EnumerateInstances(kNameSpace, kSensorClass).instances.size(), sensors);
    EXPECT_EQ(PortReads(Machine()) - before, 0u);

    Sleep(1000);
    before = PortReads(Machine());
    const Reply first = host.EnumerateInstances(kNameSpace, kSensorClass);
    const uint64_t perRound = PortReads(Machine()) - before;
    EXPECT_GE(perRound, sensors);  // every sensor once, a fan takes two bytes

    // 1000 ms later every sensor is read again, exactly as much.
    Sleep(1000);
    before = PortReads(Machine());
    const Reply second = host.EnumerateInstances(kNameSpace, kSensorClass);
    EXPECT_EQ(PortReads(Machine()) - before, perRound);

    // 300 ms later nothing is read; gets and enumerations alike are served from the stored values.
    Sleep(300);
    before = PortReads(Machine());
    const Reply third = host.EnumerateInstances(kNameSpace, kSensorClass);
    const Reply one = host.GetInstance(kNameSpace, kSensorClass, NameOf(first.instances.at(0)));
    EXPECT_EQ(PortReads(Machine()) - before, 0u);
    ASSERT_EQ(third.instances.size(), sensors);
    for (size_t i = 0; i < sensors; ++i)
        EXPECT_EQ(third.instances[i].Property("CurrentReading")->sint,
                  second.instances[i].Property("CurrentReading")->sint);
    EXPECT_EQ(one.instances.at(0).Property("CurrentReading")->sint,
              first.instances.at(0).Property("CurrentReading")->sint);
    EXPECT_GE(Logged("SensorProvider::UpdateReading - No need to update sensor 0x00000021 yet"), 2u);
}

// The event log is not throttled: each request reads the machine's memory again, so it shows a
// change at once (InstancesTest), and each costs the same.
TEST_F(ThrottleTest, EventLogIsFetchedOnEveryRequest)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    Host& host = Start("falcon");
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(host.GetInstance(kNameSpace, kLogClass, kLogName).rc, CMPI_RC_OK);
    EXPECT_EQ(Logged("SensorProvider::GetSystemEventLog"), 3u);
}

timeval At(time_t seconds, suseconds_t microseconds)
{
    timeval t;
    t.tv_sec = seconds;
    t.tv_usec = microseconds;
    return t;
}

TEST(SensorThrottle, IntervalBoundaries)
{
    EXPECT_EQ(PXT_NumericSensor::tvdiff_ms(At(11, 0), At(10, 0)), 1000);
    EXPECT_EQ(PXT_NumericSensor::tvdiff_ms(At(10, 999999), At(10, 0)), 999);
    EXPECT_EQ(PXT_NumericSensor::tvdiff_ms(At(11, 1), At(10, 999999)), 0);

    PXT_NumericSensor sensor(1);
    ASSERT_TRUE(sensor.needsReadingAt(At(1000, 500000)));   // far from construction: read
    EXPECT_FALSE(sensor.needsReadingAt(At(1000, 800000)));  // 300 ms
    EXPECT_FALSE(sensor.needsReadingAt(At(1001, 499999)));  // 999 ms
    EXPECT_TRUE(sensor.needsReadingAt(At(1001, 500000)));   // exactly 1000 ms
    EXPECT_FALSE(sensor.needsReadingAt(At(1001, 600000)));  // measured from that reading

    sensor.setUpdateInterval(100);
    EXPECT_EQ(sensor.getUpdateInterval(), 500);
    sensor.setUpdateInterval(10000);
    EXPECT_EQ(sensor.getUpdateInterval(), 2500);
}

// A clock set back (by NTP after a wrong RTC, by a technician) must not freeze the readings until
// it has caught up; a sensor left unread for weeks must not wrap round to "just read".
TEST(SensorThrottle, ClockSetBackOrLongGapStillReads)
{
    PXT_NumericSensor sensor(1);
    ASSERT_TRUE(sensor.needsReadingAt(At(2000000000, 0)));
    EXPECT_TRUE(sensor.needsReadingAt(At(1700000000, 0)));  // ten years back
    EXPECT_FALSE(sensor.needsReadingAt(At(1700000000, 200000)));
    EXPECT_TRUE(sensor.needsReadingAt(At(1700000000 + 25 * 86400, 0)));  // 25 days: over 2^31 ms
    EXPECT_EQ(PXT_NumericSensor::tvdiff_ms(At(1700000000 + 25 * 86400, 0), At(1700000000, 0)), INT_MAX);
}
}  // namespace
