// A simulated machine served by this process: a profile brought up in a fresh temporary system
// root (QEL_SYSROOT points at it), its port file system served by a thread, and all of it taken
// down again when the object goes, also when the test that made it fails.
#pragma once

#include "Machine.h"
#include "Profile.h"
#include "Requires.h"
#include "TempSysRoot.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace QelTest
{
class SimulatedMachine
{
public:
    // profile: a path, or the name of a shipped profile ("falcon").
    explicit SimulatedMachine(const std::string& profile, int logLevel = 4);
    explicit SimulatedMachine(const QelSim::Profile& profile, int logLevel = 4);
    ~SimulatedMachine();
    SimulatedMachine(const SimulatedMachine&) = delete;
    SimulatedMachine& operator=(const SimulatedMachine&) = delete;

    const std::string& Root() const { return m_root.Path(); }
    const QelSim::Profile& Profile() const { return m_profile; }
    TempSysRoot& SysRoot() { return m_root; }
    QelSim::PortBus& Bus() { return m_machine->Bus(); }
    // The NVMe controllers, in the order of the profile.
    QelSim::NvmeController& Ssd(size_t index) { return *m_machine->Ssds().at(index); }
    // Stops serving and unmounts now; the root's files stay until the object goes.
    void Stop() { m_machine->Stop(); }

private:
    TempSysRoot m_root;
    QelSim::Profile m_profile;
    std::unique_ptr<QelSim::Machine> m_machine;  // declared last: unmounted before the root goes
};

// A test with a machine; skipped where FUSE cannot be mounted.
class SimulatedMachineTest : public ::testing::Test
{
protected:
    void SetUp() override { QEL_REQUIRE_FUSE(); }
    void TearDown() override { m_machine.reset(); }

    SimulatedMachine& BringUp(const std::string& profile)
    {
        // The old machine goes first: its root puts QEL_SYSROOT back when it is destroyed.
        m_machine.reset();
        m_machine.reset(new SimulatedMachine(profile));
        return *m_machine;
    }

    std::unique_ptr<SimulatedMachine> m_machine;
};
}  // namespace QelTest
