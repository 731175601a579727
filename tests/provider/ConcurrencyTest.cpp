// Requests from several threads at once, as an object manager makes them: every answer complete
// and right, and the chip never sees two register reads interleaved.
#include "ProviderTestSupport.h"

#include <atomic>
#include <chrono>
#include <dlfcn.h>
#include <functional>
#include <thread>

using namespace ProviderTest;

namespace
{
class ConcurrencyTest : public ProviderFixture
{
};

// A register read is a fixed sequence of accesses; another reader's access anywhere inside one
// shows here. The EC's is two: write the register's number to the index port, read the data port.
// A banked Nuvoton read is four: select the bank register, write the bank, select the register,
// read it.
std::string FirstBrokenTransaction(const std::vector<QelSim::PortAccess>& accesses,
                                   const QelSim::ChipProfile& chip)
{
    const bool ec = chip.family == QelSim::ChipProfile::Family::ItEc;
    const uint16_t index = ec ? chip.port : static_cast<uint16_t>(chip.monitorBase + 5);
    const uint16_t data = static_cast<uint16_t>(index + 1);
    const auto is = [&](size_t i, uint16_t port, bool write)
    { return i < accesses.size() && accesses[i].port == port && accesses[i].write == write; };
    const size_t length = ec ? 2 : 4;
    for (size_t i = 0; i < accesses.size(); i += length)
    {
        const bool ok = ec ? is(i, index, true) && is(i + 1, data, false)
                           : is(i, index, true) && accesses[i].value == 0x4E && is(i + 1, data, true) &&
                                 is(i + 2, index, true) && is(i + 3, data, false);
        if (!ok)
            return "at access " + std::to_string(i) + ": " + QelSim::FormatAccess(accesses[i]);
    }
    return std::string();
}

// The Falcon's controller wants a millisecond before each access, so a refresh takes long enough
// for the other threads to run into it.
TEST_F(ConcurrencyTest, ParallelRequestsAreCompleteAndNeverInterleaveRegisterReads)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    Host& host = Start("falcon");
    const QelSim::ChipProfile& chip = Machine().Profile().chips.at(0);

    const Reply baseline = host.EnumerateInstances(kNameSpace, kSensorClass);
    ASSERT_EQ(baseline.rc, CMPI_RC_OK);
    const size_t sensors = baseline.instances.size();
    ASSERT_EQ(sensors, SensorCount(Machine().Profile()));

    const uint64_t mark = Machine().Bus().Mark();
    std::atomic<int> requests{0};
    std::atomic<int> wrong{0};
    std::vector<int> rounds(4, 0);
    std::vector<std::thread> threads;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(3300);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(
            [&, t]
            {
                while (std::chrono::steady_clock::now() < end)
                {
                    const Reply all = host.EnumerateInstances(kNameSpace, kSensorClass);
                    bool right =
                        all.rc == CMPI_RC_OK && all.doneCount == 1 && all.instances.size() == sensors;
                    for (size_t i = 0; right && i < sensors; ++i)
                        right = NameOf(all.instances[i]) == NameOf(baseline.instances[i]) &&
                                all.instances[i].Property("CurrentReading")->sint ==
                                    baseline.instances[i].Property("CurrentReading")->sint;
                    // Gets of single sensors, each thread its own sequence, refresh them out of
                    // the enumerations' order, so that reads of different sensors fall due at once.
                    const size_t pick =
                        (static_cast<size_t>(t) * 3 + static_cast<size_t>(rounds[t])) % sensors;
                    const Reply one =
                        host.GetInstance(kNameSpace, kSensorClass, NameOf(baseline.instances[pick]));
                    right = right && one.rc == CMPI_RC_OK && one.doneCount == 1 &&
                            one.instances.size() == 1 &&
                            NameOf(one.instances[0]) == NameOf(baseline.instances[pick]) &&
                            one.instances[0].Property("CurrentReading")->sint ==
                                baseline.instances[pick].Property("CurrentReading")->sint;
                    // Now and then the other requests.
                    if (++rounds[t] % 16 == 0)
                    {
                        const Reply names = host.EnumerateInstanceNames(kNameSpace, kSensorClass);
                        right = right && names.rc == CMPI_RC_OK && names.paths.size() == sensors;
                        const Reply log = host.EnumerateInstances(kNameSpace, kLogClass);
                        right = right && log.rc == CMPI_RC_OK && log.instances.size() == 1;
                    }
                    ++requests;
                    wrong += right ? 0 : 1;
                }
            });
    for (std::thread& thread : threads)
        thread.join();

    EXPECT_EQ(wrong, 0);
    EXPECT_GT(requests, 40);
    const std::vector<QelSim::PortAccess> accesses = Machine().Bus().AccessesSince(mark);
    // Three seconds of requests refresh every sensor at least three times.
    EXPECT_GE(accesses.size(), 3 * 2 * sensors);
    ASSERT_EQ(accesses.front().sequence, mark + 1) << "the bus record lost accesses";
    EXPECT_EQ(FirstBrokenTransaction(accesses, chip), "");
}

// The factory and the three requests each hold the library's lock for their whole length: while
// someone else holds it (the exported __drv_synch), they wait.
TEST_F(ConcurrencyTest, FactoryAndRequestsWaitForTheProviderLock)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    Host& host = Start("falcon");
    void* library = dlopen(ProviderPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr);
    auto synch = reinterpret_cast<void (*)()>(dlsym(library, "__drv_synch"));
    auto unsynch = reinterpret_cast<void (*)()>(dlsym(library, "__drv_unsynch"));
    ASSERT_TRUE(synch != nullptr && unsynch != nullptr);

    const std::string sensor = NameOf(host.EnumerateInstances(kNameSpace, kSensorClass).instances.at(0));
    const std::vector<std::function<bool()>> calls = {
        [&] { return host.EnumerateInstanceNames(kNameSpace, kSensorClass).Ok(); },
        [&] { return host.EnumerateInstances(kNameSpace, kSensorClass).Ok(); },
        [&] { return host.EnumerateInstances(kNameSpace, kLogClass).Ok(); },
        [&] { return host.GetInstance(kNameSpace, kSensorClass, sensor).Ok(); },
        [&] { return host.CreateMI().rc == CMPI_RC_OK; },
    };
    for (size_t i = 0; i < calls.size(); ++i)
    {
        SCOPED_TRACE(i);
        synch();
        std::atomic<bool> done{false};
        bool ok = false;
        std::thread caller(
            [&]
            {
                ok = calls[i]();
                done = true;
            });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_FALSE(done);
        unsynch();
        caller.join();
        EXPECT_TRUE(ok);
    }
    dlclose(library);
}
}  // namespace
