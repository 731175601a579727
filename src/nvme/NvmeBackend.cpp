#include "NvmeBackend.h"

#include "SysRoot.h"

#include <atomic>
#include <fcntl.h>
#include <unistd.h>

namespace
{
class DeviceChannel : public NvmeChannel
{
public:
    explicit DeviceChannel(int fd) : m_fd(fd) {}
    ~DeviceChannel() override { close(m_fd); }
    DeviceChannel(const DeviceChannel&) = delete;
    DeviceChannel& operator=(const DeviceChannel&) = delete;

    int NamespaceId() override { return ioctl(m_fd, NVME_IOCTL_ID); }
    int Admin(nvme_admin_cmd& cmd) override { return ioctl(m_fd, NVME_IOCTL_ADMIN_CMD, &cmd); }

private:
    int m_fd;
};

class DeviceBackend : public NvmeBackend
{
public:
    std::unique_ptr<NvmeChannel> Open(const std::string& devPath) override
    {
        const int fd = open(QelSys::SysPath(devPath).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return nullptr;
        return std::make_unique<DeviceChannel>(fd);
    }
};

DeviceBackend g_devices;
std::atomic<NvmeBackend*> g_installed{nullptr};
}  // namespace

NvmeBackend& CurrentNvmeBackend()
{
    NvmeBackend* installed = g_installed.load();
    return installed != nullptr ? *installed : g_devices;
}

NvmeBackend* InstallNvmeBackend(NvmeBackend* backend)
{
    return g_installed.exchange(backend);
}
