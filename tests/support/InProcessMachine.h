// A simulated machine without a mount: the profile's image written into a fresh temporary system
// root and its chip models on a port bus that PortIo reaches in-process. Needs neither root nor
// /dev/fuse. Only the library objects linked into the test program see the bus; other programs and
// the shared libraries go through dev/port and need a SimulatedMachine.
#pragma once

#include "PortBackend.h"
#include "PortBus.h"
#include "Profile.h"
#include "TempSysRoot.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace QelTest
{
// Puts a port bus behind PortIo for the object's life; the backend that was there before comes
// back when it goes. Channels opened meanwhile keep the bus alive.
class BusPorts
{
public:
    explicit BusPorts(std::shared_ptr<QelSim::PortBus> bus);
    ~BusPorts();
    BusPorts(const BusPorts&) = delete;
    BusPorts& operator=(const BusPorts&) = delete;

private:
    class Backend : public PortBackend
    {
    public:
        explicit Backend(std::shared_ptr<QelSim::PortBus> bus) : m_bus(std::move(bus)) {}
        std::unique_ptr<PortChannel> Open() override;

    private:
        std::shared_ptr<QelSim::PortBus> m_bus;
    };

    Backend m_backend;
    PortBackend* m_previous;
};

class InProcessMachine
{
public:
    // profile: a path, or the name of a shipped profile ("falcon").
    explicit InProcessMachine(const std::string& profile, int logLevel = 4);
    explicit InProcessMachine(const QelSim::Profile& profile, int logLevel = 4);
    InProcessMachine(const InProcessMachine&) = delete;
    InProcessMachine& operator=(const InProcessMachine&) = delete;

    const std::string& Root() const { return m_root.Path(); }
    const QelSim::Profile& Profile() const { return m_profile; }
    TempSysRoot& SysRoot() { return m_root; }
    QelSim::PortBus& Bus() { return *m_bus; }

private:
    TempSysRoot m_root;
    QelSim::Profile m_profile;
    std::shared_ptr<QelSim::PortBus> m_bus;
    BusPorts m_ports;
};

class InProcessMachineTest : public ::testing::Test
{
protected:
    void TearDown() override { m_machine.reset(); }

    InProcessMachine& BringUp(const QelSim::Profile& profile, int logLevel = 4)
    {
        // The old machine goes first: its root and its ports put back what they found.
        m_machine.reset();
        m_machine.reset(new InProcessMachine(profile, logLevel));
        return *m_machine;
    }
    InProcessMachine& BringUp(const std::string& profile)
    {
        return BringUp(QelSim::LoadProfile(QelSim::FindProfile(profile)));
    }

    std::unique_ptr<InProcessMachine> m_machine;
};
}  // namespace QelTest
