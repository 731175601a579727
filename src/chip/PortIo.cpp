#include "PortIo.h"

#include "PortBackend.h"
#include "PortTurn.h"
#include "SysRoot.h"
#include "log.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
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

    int TakeTurn(unsigned boundMs) override { return PortTurn::Take(m_fd, boundMs); }
    void GiveTurn() override { PortTurn::Give(m_fd); }

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

    std::optional<PortClaim> KernelClaim(uint16_t first, uint16_t last) override
    {
        // No such file (a machine image without one): no driver has said anything.
        std::ifstream in(QelSys::SysPath("/proc/ioports"));
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return FindKernelClaim(text, first, last);
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

std::optional<PortClaim> KernelClaimOf(const char* accessName, uint32_t first, uint32_t last)
{
    if (first > last || last > 0xFFFF)
        return std::nullopt;
    std::optional<PortClaim> claim =
        CurrentPortBackend().KernelClaim(static_cast<uint16_t>(first), static_cast<uint16_t>(last));
    if (claim)
        Log(LOG_ERROR,
            "%s::initialise - the kernel's %s driver holds ports 0x%04x-0x%04x; leaving the chip to it",
            accessName, claim->driver.c_str(), claim->first, claim->last);
    return claim;
}

PortIo::PortIo() = default;
PortIo::~PortIo() = default;

bool PortIo::initialise()
{
    if (m_channel == nullptr)
    {
        errno = 0;
        m_channel = CurrentPortBackend().Open();
        m_openError = m_channel == nullptr ? errno : 0;
    }
    return m_channel != nullptr;
}

bool PortIo::outb(uint16_t port, uint8_t value)
{
    if (m_turnError != 0)
    {
        Fail(m_turnError, true);
        return false;
    }
    errno = 0;
    if (m_channel != nullptr && m_channel->Write(port, value))
        return true;
    Fail(errno, false);
    return false;
}

uint8_t PortIo::inb(uint16_t port)
{
    uint8_t value = 0;
    if (m_turnError != 0)
    {
        Fail(m_turnError, true);
        return 0;
    }
    errno = 0;
    if (m_channel != nullptr && m_channel->Read(port, value))
        return value;
    Fail(errno, false);
    return 0;
}

void PortIo::beginSequence()
{
    if (m_depth++ > 0 || m_channel == nullptr)
        return;
    // Once a holder has been seen hanging, the next sequences do not each wait the whole bound
    // again: a start-up or a request would otherwise take that long for every register.
    m_turnWaitMs = m_turnStalled ? PortTurn::kStalledBoundMs : PortTurn::kBoundMs;
    m_turnError = m_channel->TakeTurn(m_turnWaitMs);
    m_turnStalled = m_turnError == ETIMEDOUT;
}

void PortIo::endSequence()
{
    if (m_depth == 0 || --m_depth > 0)
        return;
    if (m_channel != nullptr && m_turnError == 0)
        m_channel->GiveTurn();
    m_turnError = 0;
}

void PortIo::Fail(int error, bool turn)
{
    if (m_error != 0)
        return;
    // A transfer of no byte sets no errno: it is an I/O error all the same.
    m_error = m_channel == nullptr ? EBADF : (error != 0 ? error : EIO);
    m_errorIsTurn = turn;
}

std::string PortIo::failure() const
{
    if (m_error == 0)
        return "";
    if (m_channel == nullptr)
        return "the port device is not open";
    if (!m_errorIsTurn)
        return strerror(m_error);
    if (m_error == ETIMEDOUT)
        return "waited " + std::to_string(m_turnWaitMs) +
               " ms for the turn at the ports, which another process kept";
    return std::string("cannot take the turn at the ports: ") + strerror(m_error);
}
