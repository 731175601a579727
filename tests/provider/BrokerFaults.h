// Broker faults for the provider's tests: while a BrokerFaults lives, the host's broker fails the
// calls it is told to, with status 1 and a message, as an object manager reports a failure. It
// interposes on the broker's function tables, so the broker that qelsensors ships knows nothing
// of it. One at a time.
#pragma once

#include "CimBroker.h"

#include <atomic>
#include <mutex>
#include <string>

namespace ProviderTest
{
class BrokerFaults
{
public:
    explicit BrokerFaults(QelCim::Broker& broker);
    ~BrokerFaults();
    BrokerFaults(const BrokerFaults&) = delete;
    BrokerFaults& operator=(const BrokerFaults&) = delete;

    // The call fails once it has succeeded `successes` more times; -1 turns the fault off.
    void FailNewInstanceAfter(int successes) { m_newInstance = successes; }
    void FailNewObjectPathAfter(int successes) { m_newObjectPath = successes; }
    void FailNewArrayAfter(int successes) { m_newArray = successes; }
    // setProperty of this property fails ("" for none).
    void FailSetProperty(const std::string& name);

private:
    struct Interposed;

    // True when the call may go through; uses up one success of a budget that is not -1.
    static bool Take(std::atomic<int>& budget);
    bool SetPropertyFails(const char* name);
    CMPIStatus Failure(const std::string& message) const;

    CMPIBroker* m_handle;
    const CMPIBrokerEncFT* m_original;
    CMPIBrokerEncFT m_interposed;
    std::atomic<int> m_newInstance{-1};
    std::atomic<int> m_newObjectPath{-1};
    std::atomic<int> m_newArray{-1};
    std::mutex m_mutex;  // guards m_failingProperty
    std::string m_failingProperty;
};
}  // namespace ProviderTest
