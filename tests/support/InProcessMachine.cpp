#include "InProcessMachine.h"

#include <cerrno>

#include "MachineImage.h"

namespace QelTest
{
namespace
{
// Every access transfers: the bus answers an undecoded read with the floating value, as the
// port file system does.
class BusChannel : public PortChannel
{
public:
    explicit BusChannel(std::shared_ptr<QelSim::PortBus> bus) : m_bus(std::move(bus)) {}
    bool Read(uint16_t port, uint8_t& value) override
    {
        if (m_bus->Fails(port))
        {
            errno = EIO;
            return false;
        }
        value = m_bus->Read(port);
        return true;
    }
    bool Write(uint16_t port, uint8_t value) override
    {
        if (m_bus->Fails(port))
        {
            errno = EIO;
            return false;
        }
        m_bus->Write(port, value);
        return true;
    }

private:
    std::shared_ptr<QelSim::PortBus> m_bus;
};
}  // namespace

std::unique_ptr<PortChannel> BusPorts::Backend::Open()
{
    return std::make_unique<BusChannel>(m_bus);
}

BusPorts::BusPorts(std::shared_ptr<QelSim::PortBus> bus)
    : m_backend(std::move(bus)), m_previous(InstallPortBackend(&m_backend))
{
}

BusPorts::~BusPorts()
{
    InstallPortBackend(m_previous);
}

InProcessMachine::InProcessMachine(const std::string& profile, int logLevel)
    : InProcessMachine(QelSim::LoadProfile(QelSim::FindProfile(profile)), logLevel)
{
}

InProcessMachine::InProcessMachine(const QelSim::Profile& profile, int logLevel)
    : m_root(logLevel), m_profile(profile), m_bus(std::make_shared<QelSim::PortBus>()), m_ports(m_bus)
{
    m_root.Install(QelSim::BuildImage(profile));
    QelSim::AttachChips(profile, *m_bus);
}
}  // namespace QelTest
