#include "PortIo.h"

#include "SysRoot.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

PortIo::~PortIo()
{
    if (m_fd != -1)
        close(m_fd);
}

bool PortIo::initialise()
{
    if (m_bOpen)
        return true;
    const int fd = open(QelSys::SysPath("/dev/port").c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    m_fd = fd;
    m_bOpen = true;
    return true;
}

// pread/pwrite position and transfer in one system call, so an access costs exactly one.
bool PortIo::outb(uint16_t port, uint8_t value)
{
    if (!m_bOpen)
        return false;
    ssize_t written;
    do
        written = pwrite(m_fd, &value, 1, static_cast<off_t>(port));
    while (written < 0 && errno == EINTR);
    return written == 1;
}

uint8_t PortIo::inb(uint16_t port)
{
    if (!m_bOpen)
        return 0;
    uint8_t value = 0;
    ssize_t got;
    do
        got = pread(m_fd, &value, 1, static_cast<off_t>(port));
    while (got < 0 && errno == EINTR);
    return got == 1 ? value : 0;
}
