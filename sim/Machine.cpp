#include "Machine.h"

#include "CaptureMachine.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <ftw.h>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace QelSim
{
using namespace QelImage;

namespace
{
[[noreturn]] void FailErrno(const std::string& what, const std::string& path)
{
    throw std::runtime_error(what + " " + path + ": " + strerror(errno));
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return remove(path) == 0 || errno == ENOENT ? 0 : -1;
}

// Removes a tree without descending into other file systems (a mount left behind stays).
bool RemoveTree(const std::string& path)
{
    return nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT) == 0 || errno == ENOENT;
}

std::vector<std::unique_ptr<NvmeController>> ControllersOf(const std::vector<SsdProfile>& ssds)
{
    std::vector<std::unique_ptr<NvmeController>> controllers;
    for (const SsdProfile& ssd : ssds)
        controllers.push_back(std::make_unique<NvmeController>(ssd));
    return controllers;
}

std::vector<NvmeController*> Pointers(const std::vector<std::unique_ptr<NvmeController>>& controllers)
{
    std::vector<NvmeController*> pointers;
    for (const auto& controller : controllers)
        pointers.push_back(controller.get());
    return pointers;
}

// Points ROOT/dev/NAME at the file of the same name in the mount, replacing what was there.
void LinkDevice(const std::string& root, const std::string& name)
{
    const std::string path = root + "/dev/" + name;
    if (unlink(path.c_str()) != 0 && errno != ENOENT)
        FailErrno("cannot replace", path);
    if (symlink(("../run/qelsim/" + name).c_str(), path.c_str()) != 0)
        FailErrno("cannot create", path);
}

// The NVMe device links a previous machine under the same root left behind.
void RemoveNvmeLinks(const std::string& root)
{
    DIR* dir = opendir((root + "/dev").c_str());
    if (dir == nullptr)
        return;
    while (const dirent* entry = readdir(dir))
    {
        const std::string name = entry->d_name;
        const std::string path = root + "/dev/" + name;
        char target[64];
        const ssize_t length = readlink(path.c_str(), target, sizeof(target) - 1);
        if (name.compare(0, 4, "nvme") == 0 && length > 0 &&
            std::string(target, static_cast<size_t>(length)).compare(0, 14, "../run/qelsim/") == 0)
            unlink(path.c_str());
    }
    closedir(dir);
}

bool IsMountPoint(const std::string& path, bool* answering)
{
    struct stat here, parent;
    *answering = false;
    if (stat(path.c_str(), &here) != 0)
        return errno == ENOTCONN;  // a FUSE mount whose server died
    if (stat((path + "/..").c_str(), &parent) != 0)
        return false;
    *answering = here.st_dev != parent.st_dev;
    return *answering;
}
}  // namespace

RootPaths::RootPaths(const std::string& directory)
    : root(directory), mountPoint(directory + "/run/qelsim"), pidFile(directory + "/run/qelsim.pid"),
      marker(directory + "/run/qelsim.machine"), devPort(directory + "/dev/port")
{
}

RootState StateOf(const std::string& root)
{
    struct stat st;
    if (stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return RootState::Missing;
    const RootPaths paths(root);
    bool answering = false;
    if (IsMountPoint(paths.mountPoint, &answering))
        return answering ? RootState::Served : RootState::Abandoned;
    return access(paths.marker.c_str(), F_OK) == 0 ? RootState::Down : RootState::Foreign;
}

Machine::Machine(const Profile& profile, const std::string& root)
    : m_paths(root), m_ssds(ControllersOf(profile.ssds)), m_mount(m_bus, m_paths.mountPoint, Pointers(m_ssds))
{
    const MachineImage image = BuildImage(profile);
    AttachChips(profile, m_bus);
    const std::string ioports = IoportsText(profile);
    if (profile.lockedDown)
        m_mount.LockDown();
    const auto write = [&image, &ioports, &profile](const std::string& dir)
    {
        image.Write(dir);
        WriteKernelFiles(profile, image, dir);
        if (profile.lockedDown)
            LinkDevice(dir, "mem");
        WriteFile(dir + "/proc/ioports", ioports);
    };
    BringUp(profile.name, profile.machine, write);
}

Machine::Machine(const QelCapture::Capture& capture, const std::string& name, const std::string& root)
    : m_paths(root), m_ssds(ControllersOf(CapturedSsds(capture))),
      m_mount(m_bus, m_paths.mountPoint, Pointers(m_ssds))
{
    AttachCapturedChips(capture, m_bus);
    const auto write = [&capture](const std::string& dir)
    {
        QelCapture::WriteMemory(capture, dir);
        if (!capture.sensorConf)
            return;
        WriteFile(dir + "/etc/tarn/sensor.conf", *capture.sensorConf);
    };
    BringUp(name, "captured " + capture.model + " (BIOS " + capture.biosVersion + ")", write);
}

void Machine::BringUp(const std::string& name, const std::string& machine,
                      const std::function<void(const std::string&)>& writeMemory)
{
    const std::string& root = m_paths.root;
    const RootState state = StateOf(root);
    if (state == RootState::Served)
        throw std::runtime_error(root + " is already served (" + m_paths.mountPoint +
                                 " is mounted); take it down first with 'qelsim down " + root + "'");
    if (state == RootState::Abandoned)
        throw std::runtime_error(root + " has a mount left by a server that is gone (" + m_paths.mountPoint +
                                 "); clear it with 'qelsim down " + root + "'");
    const std::string unavailable = FuseMount::Unavailable();
    if (!unavailable.empty())
        throw std::runtime_error(unavailable);

    // Everything under sys is the machine's: a previous one under the same root may have been
    // UEFI, locked down or had a kernel driver bound.
    RemoveTree(root + "/sys");
    writeMemory(root);
    for (const char* dir : {"/etc/tarn", "/var/log/tarn", "/run/qelsim"})
        MakeDirectories(root + dir);
    std::ofstream(m_paths.marker, std::ios::trunc) << name << "\n" << machine << "\n";
    LinkDevice(root, "port");
    RemoveNvmeLinks(root);
    for (const std::unique_ptr<NvmeController>& controller : m_ssds)
    {
        const SsdProfile& ssd = controller->Profile();
        LinkDevice(root, ssd.device);
        for (uint32_t nsid = 1; nsid <= ssd.namespaces; ++nsid)
            LinkDevice(root, ssd.device + "n" + std::to_string(nsid));
    }

    m_mount.Mount();
}

Machine::~Machine()
{
    m_mount.Stop();
}

void ForceUnmount(const std::string& root)
{
    const RootPaths paths(root);
    if (umount2(paths.mountPoint.c_str(), MNT_DETACH) == 0 || errno == EINVAL || errno == ENOENT)
        return;
    // Without the privilege, the set-uid helper may still do it for the user who mounted.
    const pid_t pid = fork();
    if (pid == 0)
    {
        execlp("fusermount3", "fusermount3", "-u", "-z", paths.mountPoint.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("cannot unmount " + paths.mountPoint);
}

void RemoveRoot(const std::string& root)
{
    switch (StateOf(root))
    {
    case RootState::Missing:
        return;
    case RootState::Foreign:
        throw std::runtime_error(root + " is not a simulated machine (no " + RootPaths(root).marker + ")");
    case RootState::Served:
    case RootState::Abandoned:
        throw std::runtime_error(root + " is still mounted at " + RootPaths(root).mountPoint);
    case RootState::Down:
        break;
    }
    if (!RemoveTree(root))
        FailErrno("cannot remove", root);
}
}  // namespace QelSim
