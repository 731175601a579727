// A simulated machine brought up under a system root:
//
//   ROOT/dev/mem              the physical memory image (SMBIOS, later the event-log area)
//   ROOT/sys/firmware/efi/    on a UEFI machine, with the systab that announces SMBIOS
//   ROOT/dev/port          -> ../run/qelsim/port
//   ROOT/dev/nvme0         -> ../run/qelsim/nvme0      for each NVMe SSD, and its namespaces
//   ROOT/dev/nvme0n1       -> ../run/qelsim/nvme0n1
//   ROOT/run/qelsim/          the FUSE mount that serves the chip models
//   ROOT/run/qelsim.pid       the pid of the serving process
//   ROOT/run/qelsim.machine   marks the directory as a simulated machine (names its profile)
//   ROOT/etc/tarn, ROOT/var/log/tarn   for the libraries' configuration and log
//
// Point QEL_SYSROOT (or qelsensors --sysroot) at ROOT and the unchanged libraries see the machine.
#pragma once

#include "CaptureFile.h"
#include "FuseMount.h"
#include "PortBus.h"
#include "Profile.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace QelSim
{
struct RootPaths
{
    explicit RootPaths(const std::string& root);
    std::string root;
    std::string mountPoint;
    std::string pidFile;
    std::string marker;
    std::string devPort;
};

enum class RootState
{
    Missing,    // no such directory
    Foreign,    // a directory, but not a simulated machine
    Down,       // a machine whose port file system is not mounted
    Served,     // mounted and answering
    Abandoned,  // mounted, but its server is gone
};
RootState StateOf(const std::string& root);

class Machine
{
public:
    // Writes the system root (created when missing) and mounts its port file system. Throws
    // ProfileError for a profile that cannot be built, std::runtime_error for everything else
    // (no FUSE, a root that is already served, a directory that cannot be written).
    Machine(const Profile& profile, const std::string& root);
    // A captured till (name: the capture's file name, for the marker): its memory as captured,
    // its chips answering with the captured registers, its SSDs with the captured data.
    Machine(const QelCapture::Capture& capture, const std::string& name, const std::string& root);
    // Stops serving and unmounts; the files stay until RemoveRoot.
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    PortBus& Bus() { return m_bus; }
    // The NVMe SSDs, in the order of the profile.
    const std::vector<std::unique_ptr<NvmeController>>& Ssds() const { return m_ssds; }
    const RootPaths& Paths() const { return m_paths; }

    void Serve(bool handleSignals) { m_mount.Serve(handleSignals); }
    void ServeInBackground() { m_mount.ServeInBackground(); }
    void Stop() { m_mount.Stop(); }

private:
    // Writes the root, with a device for each SSD controller, and mounts; writeMemory puts dev/mem
    // (and the UEFI files) under it.
    void BringUp(const std::string& name, const std::string& machine,
                 const std::function<void(const std::string&)>& writeMemory);

    RootPaths m_paths;
    PortBus m_bus;
    std::vector<std::unique_ptr<NvmeController>> m_ssds;
    FuseMount m_mount;
};

// Removes a machine's root. Throws std::runtime_error when the directory is not a simulated
// machine or its port file system is still mounted.
void RemoveRoot(const std::string& root);
// Detaches the mount of a root whose server is gone.
void ForceUnmount(const std::string& root);
}  // namespace QelSim
