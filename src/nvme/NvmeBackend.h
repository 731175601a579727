// Where the NVMe module's admin commands go: the Linux driver's pass-through ioctls on the device
// files below the system root, unless another backend is installed (the capture's, which passes
// every command through and keeps the answers). Internal: nothing of it leaves libqelsensors.
#pragma once

#include "NvmeIoctl.h"

#include <memory>
#include <string>

// One open NVMe device file.
class NvmeChannel
{
public:
    virtual ~NvmeChannel() = default;
    // NVME_IOCTL_ID: the namespace id of a namespace device; -1 with errno set otherwise.
    virtual int NamespaceId() = 0;
    // NVME_IOCTL_ADMIN_CMD: 0 done, above 0 the status the controller ended the command with,
    // below 0 not sent (errno set). The data goes to and comes from cmd.addr.
    virtual int Admin(nvme_admin_cmd& cmd) = 0;
};

class NvmeBackend
{
public:
    virtual ~NvmeBackend() = default;
    // The device at devPath, the machine's path ("/dev/nvme0"); null with errno set when it
    // cannot be opened.
    virtual std::unique_ptr<NvmeChannel> Open(const std::string& devPath) = 0;
};

// The backend the module opens devices through now.
NvmeBackend& CurrentNvmeBackend();
// Puts backend behind every later Open (null: the device files again) and returns what was
// installed before (null for the device files).
NvmeBackend* InstallNvmeBackend(NvmeBackend* backend);
