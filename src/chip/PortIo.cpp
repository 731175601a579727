#include "PortIo.h"

#include "PortBackend.h"
#include "SysRoot.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{
// pread/pwrite position and transfer in one system call, so an access costs exactly one.
class DevPortChannel : public PortChannel
{
public:
    explicit DevPortChannel(int fd) : m_fd(fd) {}
    ~DevPortChannel() override { close(m_fd); }
    DevPortChannel(const DevPortChannel&) = delete;
    DevPortChannel& operator=(const DevPortChannel&) = delete;

    bool Read(uint16_t port, uint8_t& value) override
    {
        ssize_t got;
        do
            got = pread(m_fd, &value, 1, static_cast<off_t>(port));
        while (got < 0 && errno == EINTR);
        return got == 1;
    }

    bool Write(uint16_t port, uint8_t value) override
    {
        ssize_t written;
        do
            written = pwrite(m_fd, &value, 1, static_cast<off_t>(port));
        while (written < 0 && errno == EINTR);
        return written == 1;
    }

private:
    const int m_fd;
};

class DevPort : public PortBackend
{
public:
    std::unique_ptr<PortChannel> Open() override
    {
        const int fd = open(QelSys::SysPath("/dev/port").c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return nullptr;
        return std::make_unique<DevPortChannel>(fd);
    }
};

DevPort g_devPort;
std::atomic<PortBackend*> g_installed{nullptr};
}  // namespace

PortBackend& CurrentPortBackend()
{
    PortBackend* installed = g_installed.load();
    return installed != nullptr ? *installed : g_devPort;
}

PortBackend* InstallPortBackend(PortBackend* backend)
{
    return g_installed.exchange(backend);
}

PortIo::PortIo() = default;
PortIo::~PortIo() = default;

bool PortIo::initialise()
{
    if (m_channel == nullptr)
        m_channel = CurrentPortBackend().Open();
    return m_channel != nullptr;
}

bool PortIo::outb(uint16_t port, uint8_t value)
{
    errno = 0;
    if (m_channel != nullptr && m_channel->Write(port, value))
        return true;
    Fail();
    return false;
}

uint8_t PortIo::inb(uint16_t port)
{
    uint8_t value = 0;
    errno = 0;
    if (m_channel != nullptr && m_channel->Read(port, value))
        return value;
    Fail();
    return 0;
}

void PortIo::Fail()
{
    if (m_error != 0)
        return;
    // A transfer of no byte sets no errno: it is an I/O error all the same.
    m_error = m_channel == nullptr ? EBADF : (errno != 0 ? errno : EIO);
}

std::string PortIo::failure() const
{
    if (m_error == 0)
        return "";
    return m_channel == nullptr ? "the port device is not open" : strerror(m_error);
}
