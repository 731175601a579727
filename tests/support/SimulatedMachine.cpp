#include "SimulatedMachine.h"

#include "FuseMount.h"

#include <unistd.h>

namespace QelTest
{
std::string FuseUnavailable()
{
    const std::string why = QelSim::FuseMount::Unavailable();
    if (why.empty())
        return "";
    if (access("/dev/fuse", F_OK) != 0)
        return "needs /dev/fuse, which this machine does not offer";
    if (geteuid() != 0)
        return "needs root to mount FUSE (/dev/fuse is not open to this user)";
    return "needs a FUSE mount: " + why;
}

SimulatedMachine::SimulatedMachine(const std::string& profile, int logLevel)
    : SimulatedMachine(QelSim::LoadProfile(QelSim::FindProfile(profile)), logLevel)
{
}

SimulatedMachine::SimulatedMachine(const QelSim::Profile& profile, int logLevel)
    : m_root(logLevel), m_profile(profile), m_machine(new QelSim::Machine(profile, m_root.Path()))
{
    m_machine->ServeInBackground();
}

SimulatedMachine::~SimulatedMachine()
{
    m_machine.reset();
}
}  // namespace QelTest
