#include "SimulatedMachine.h"

#include "FuseMount.h"

namespace QelTest
{
std::string FuseUnavailable()
{
    return QelSim::FuseMount::Unavailable();
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
