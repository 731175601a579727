// The provider as an object manager runs it: libqelsensors loaded by the CMPI host of qelsensors
// (dlopen, factory, requests, cleanup, dlclose) against a simulated machine served by this
// process.
#pragma once

#include "CimHost.h"
#include "SimulatedMachine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace ProviderTest
{
using QelCim::Host;
using QelCim::Instance;
using QelCim::Reply;
using QelCim::Value;

constexpr char kNameSpace[] = "root/cimv2";
constexpr char kSensorClass[] = "PXT_NumericSensor";
constexpr char kLogClass[] = "PXT_SystemEventLog";
constexpr char kLogName[] = "Kestrel POS System Event Log";

inline std::string ProviderPath()
{
    return QEL_PROVIDER_PATH;
}

// A loaded provider whose factory has run; false (with a test failure) when it cannot be loaded.
inline bool LoadProvider(Host& host)
{
    std::string error;
    if (!host.Load(ProviderPath(), error))
    {
        ADD_FAILURE() << "cannot load " << ProviderPath() << ": " << error;
        return false;
    }
    const CMPIStatus status = host.CreateMI();
    EXPECT_EQ(status.rc, CMPI_RC_OK);
    return host.MI() != nullptr;
}

inline size_t SensorCount(const QelSim::Profile& profile)
{
    size_t count = 0;
    for (const QelSim::ChipProfile& chip : profile.chips)
        count += chip.board.sensors.size();
    return count;
}

inline std::string NameOf(const Instance& instance)
{
    const Value* name = instance.Property("Name");
    return name != nullptr ? name->text : std::string();
}

class ProviderFixture : public ::testing::Test
{
protected:
    void SetUp() override { QEL_REQUIRE_FUSE(); }
    void TearDown() override
    {
        m_host.reset();  // cleanup and dlclose before the machine goes
        m_machine.reset();
    }

    // Brings the machine up (with the sensor configuration, when one is given), then loads the
    // provider and calls its factory.
    Host& Start(const QelSim::Profile& profile, const std::string& sensorConfig = "")
    {
        m_machine.reset(new QelTest::SimulatedMachine(profile));
        if (!sensorConfig.empty())
            m_machine->SysRoot().WriteFile("/etc/tarn/sensor.conf", sensorConfig);
        m_host.reset(new Host);
        LoadProvider(*m_host);
        return *m_host;
    }
    Host& Start(const std::string& profile)
    {
        return Start(QelSim::LoadProfile(QelSim::FindProfile(profile)));
    }

    QelTest::SimulatedMachine& Machine() { return *m_machine; }

    // How often the log holds exactly this message.
    size_t Logged(const std::string& message) const
    {
        const std::vector<std::string> messages = m_machine->SysRoot().LogMessages();
        return static_cast<size_t>(std::count(messages.begin(), messages.end(), message));
    }

    std::unique_ptr<QelTest::SimulatedMachine> m_machine;
    std::unique_ptr<Host> m_host;
};
}  // namespace ProviderTest
