// The FUSE file system that stands in for the machine's device files.
//
//   port      a one-byte pread/pwrite at offset P is an access to I/O port P (a longer transfer
//             covers consecutive ports, as /dev/port does); opened with direct I/O, so every
//             access reaches the port bus and none is answered from the page cache
//   stats     the bus's counters as text; any write clears them and the access record
//   accesses  the kept accesses, one per line
//
//   nvme0     an NVMe controller, for each SSD of the machine: answers the NVMe driver's
//             pass-through ioctls (NVME_IOCTL_ID, NVME_IOCTL_ADMIN_CMD), writing the data of a
//             command into the caller's buffer
//   nvme0n1   each of its namespaces, likewise
//   nvme0.temperature   its composite temperature in degrees Celsius; write a number to change it
//
// The loop is single-threaded, so the accesses of all processes are serialised the way the port
// bus of a real machine serialises them.
#pragma once

#include "NvmeController.h"
#include "PortBus.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

struct fuse_session;

namespace QelSim
{
struct FuseContext;

class FuseMount
{
public:
    FuseMount(PortBus& bus, std::string mountPoint, std::vector<NvmeController*> controllers = {});
    ~FuseMount();
    FuseMount(const FuseMount&) = delete;
    FuseMount& operator=(const FuseMount&) = delete;

    // Empty when this process can mount FUSE file systems through the device; otherwise why not.
    static std::string Unavailable(const std::string& device = "/dev/fuse");

    // Mounts on the (existing, empty) directory; throws std::runtime_error with the reason.
    void Mount();
    // Serves in the calling thread until Stop, an unmount from outside or, with handleSignals,
    // SIGINT, SIGTERM or SIGHUP. The mount stays until Stop.
    void Serve(bool handleSignals);
    // Serves on a thread of its own.
    void ServeInBackground();
    // Before Mount: "port" and a "mem" file refuse every open with EPERM, as a kernel locked
    // down under Secure Boot refuses /dev/port and /dev/mem.
    void LockDown();
    // Stops serving and unmounts (lazily, so files still open elsewhere only fail from now on).
    void Stop();

private:
    std::unique_ptr<FuseContext> m_context;
    std::string m_mountPoint;
    fuse_session* m_session = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_serving{false};
};
}  // namespace QelSim
