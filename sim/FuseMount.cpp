#define FUSE_USE_VERSION 35
#include "FuseMount.h"

#include <fuse_lowlevel.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <set>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace QelSim
{
namespace
{
enum class FileKind
{
    Port,
    Stats,
    Accesses,
    NvmeDevice,       // a controller (nsid 0) or one of its namespaces
    NvmeTemperature,  // a controller's composite temperature, in degrees Celsius, as text
    Mem,              // a locked-down kernel's /dev/mem: never opens
};

struct Node
{
    fuse_ino_t ino;
    std::string name;
    mode_t mode;
    off_t size;
    FileKind kind;
    size_t controller = 0;  // the NVMe files'
    uint32_t nsid = 0;
};

// Attributes and names never change while mounted.
constexpr double kCacheSeconds = 3600.0;

// The signal that wakes a background loop blocked in its read of /dev/fuse.
constexpr int kWakeSignal = SIGUSR2;

// The files of a mount: the port bus's, then each NVMe controller's.
std::vector<Node> NodesFor(const std::vector<NvmeController*>& controllers)
{
    // The size of `port` covers every port, so the kernel passes accesses at any of them on.
    std::vector<Node> nodes = {
        {2, "port", S_IFREG | 0600, kPortCount, FileKind::Port},
        {3, "stats", S_IFREG | 0644, 0, FileKind::Stats},
        {4, "accesses", S_IFREG | 0444, 0, FileKind::Accesses},
    };
    for (size_t i = 0; i < controllers.size(); ++i)
    {
        const std::string device = controllers[i]->Profile().device;
        fuse_ino_t ino = nodes.back().ino + 1;
        nodes.push_back({ino++, device, S_IFREG | 0600, 0, FileKind::NvmeDevice, i, 0});
        nodes.push_back({ino++, device + ".temperature", S_IFREG | 0644, 0, FileKind::NvmeTemperature, i, 0});
        for (uint32_t nsid = 1; nsid <= controllers[i]->Profile().namespaces; ++nsid)
            nodes.push_back({ino++, device + "n" + std::to_string(nsid), S_IFREG | 0600, 0,
                             FileKind::NvmeDevice, i, nsid});
    }
    return nodes;
}
}  // namespace

// What the request handlers reach through the session's user data. Text files are snapshots
// taken at open and kept here by handle; a release the kernel sends after the loop stopped never
// arrives, so whatever is left goes with the mount.
struct FuseContext
{
    FuseContext(PortBus& portBus, std::vector<NvmeController*> ssds)
        : bus(portBus), controllers(std::move(ssds)), nodes(NodesFor(controllers))
    {
    }
    PortBus& bus;
    std::vector<NvmeController*> controllers;
    std::vector<Node> nodes;
    std::map<uint64_t, std::string> snapshots;
    uint64_t nextHandle = 1;
    bool lockedDown = false;  // the port and mem devices refuse to open, as under kernel lockdown

    const Node* Find(fuse_ino_t ino) const
    {
        for (const Node& node : nodes)
            if (node.ino == ino)
                return &node;
        return nullptr;
    }
};

namespace
{
FuseContext& ContextOf(fuse_req_t req)
{
    return *static_cast<FuseContext*>(fuse_req_userdata(req));
}

struct stat AttributesOf(const Node* node)
{
    static const time_t mounted = time(nullptr);
    struct stat st
    {
    };
    st.st_uid = getuid();
    st.st_gid = getgid();
    st.st_atime = st.st_mtime = st.st_ctime = mounted;
    if (node == nullptr)
    {
        st.st_ino = FUSE_ROOT_ID;
        st.st_mode = S_IFDIR | 0755;
        st.st_nlink = 2;
        return st;
    }
    st.st_ino = node->ino;
    st.st_mode = node->mode;
    st.st_nlink = 1;
    st.st_size = node->size;
    return st;
}

bool IsText(FileKind kind)
{
    return kind == FileKind::Stats || kind == FileKind::Accesses || kind == FileKind::NvmeTemperature;
}

std::string Snapshot(const FuseContext& context, const Node& node)
{
    switch (node.kind)
    {
    case FileKind::Stats:
        return FormatStats(context.bus);
    case FileKind::Accesses:
        return FormatAccesses(context.bus.Accesses());
    case FileKind::NvmeTemperature:
        return std::to_string(context.controllers[node.controller]->Temperature()) + "\n";
    default:
        return "";
    }
}

// "42", "-5\n": degrees Celsius that a controller's composite temperature word can carry.
bool ParseTemperature(const std::string& text, int& celsius)
{
    char* end = nullptr;
    errno = 0;
    const long value = strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || errno != 0)
        return false;
    while (*end == ' ' || *end == '\n')
        ++end;
    if (*end != '\0' || value < -NvmeController::kKelvinAtZeroCelsius ||
        value > 0xFFFF - NvmeController::kKelvinAtZeroCelsius)
        return false;
    celsius = static_cast<int>(value);
    return true;
}

void Lookup(fuse_req_t req, fuse_ino_t parent, const char* name)
{
    if (parent == FUSE_ROOT_ID)
    {
        for (const Node& node : ContextOf(req).nodes)
        {
            if (node.name == name)
            {
                fuse_entry_param entry{};
                entry.ino = node.ino;
                entry.attr = AttributesOf(&node);
                entry.attr_timeout = kCacheSeconds;
                entry.entry_timeout = kCacheSeconds;
                fuse_reply_entry(req, &entry);
                return;
            }
        }
    }
    fuse_reply_err(req, ENOENT);
}

void GetAttr(fuse_req_t req, fuse_ino_t ino, fuse_file_info*)
{
    const Node* node = ContextOf(req).Find(ino);
    if (ino != FUSE_ROOT_ID && node == nullptr)
    {
        fuse_reply_err(req, ENOENT);
        return;
    }
    const struct stat st = AttributesOf(node);
    fuse_reply_attr(req, &st, kCacheSeconds);
}

// Truncation (a shell's `>`) changes nothing; the sizes are fixed.
void SetAttr(fuse_req_t req, fuse_ino_t ino, struct stat*, int, fuse_file_info* fi)
{
    GetAttr(req, ino, fi);
}

void ReadDir(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info*)
{
    if (ino != FUSE_ROOT_ID)
    {
        fuse_reply_err(req, ENOTDIR);
        return;
    }
    std::string listing;
    auto add = [&](const char* name, const Node* node)
    {
        const struct stat st = AttributesOf(node);
        const size_t length = fuse_add_direntry(req, nullptr, 0, name, nullptr, 0);
        const size_t at = listing.size();
        listing.resize(at + length);
        fuse_add_direntry(req, &listing[at], length, name, &st, static_cast<off_t>(at + length));
    };
    add(".", nullptr);
    add("..", nullptr);
    for (const Node& node : ContextOf(req).nodes)
        add(node.name.c_str(), &node);
    if (off < 0 || static_cast<size_t>(off) >= listing.size())
        fuse_reply_buf(req, nullptr, 0);
    else
        fuse_reply_buf(req, listing.data() + off, std::min(size, listing.size() - off));
}

void Open(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi)
{
    const Node* node = ContextOf(req).Find(ino);
    if (node == nullptr)
    {
        fuse_reply_err(req, ino == FUSE_ROOT_ID ? EISDIR : ENOENT);
        return;
    }
    // What a locked-down kernel answers the opener of /dev/mem and /dev/port.
    if (node->kind == FileKind::Mem || (node->kind == FileKind::Port && ContextOf(req).lockedDown))
    {
        fuse_reply_err(req, EPERM);
        return;
    }
    const int access = fi->flags & O_ACCMODE;
    if (node->kind == FileKind::Accesses && access != O_RDONLY)
    {
        fuse_reply_err(req, EACCES);
        return;
    }
    fi->direct_io = 1;
    fi->keep_cache = 0;
    fi->fh = 0;
    // A text file is a snapshot taken at open, so a reader sees one consistent state.
    FuseContext& context = ContextOf(req);
    if (IsText(node->kind) && access != O_WRONLY)
    {
        fi->fh = context.nextHandle++;
        context.snapshots[fi->fh] = Snapshot(context, *node);
    }
    if (fuse_reply_open(req, fi) != 0)
        context.snapshots.erase(fi->fh);
}

void Release(fuse_req_t req, fuse_ino_t, fuse_file_info* fi)
{
    ContextOf(req).snapshots.erase(fi->fh);
    fuse_reply_err(req, 0);
}

// The caller of an access, as the kernel tells it (the thread's id).
Accessor AccessorOf(fuse_req_t req)
{
    return static_cast<Accessor>(fuse_req_ctx(req)->pid);
}

void Read(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info* fi)
{
    const Node* node = ContextOf(req).Find(ino);
    if (node == nullptr || off < 0)
    {
        fuse_reply_err(req, EINVAL);
        return;
    }
    FuseContext& context = ContextOf(req);
    if (node->kind == FileKind::NvmeDevice)
    {
        fuse_reply_err(req, EINVAL);  // a controller answers ioctls only
        return;
    }
    if (node->kind != FileKind::Port)
    {
        const auto text = context.snapshots.find(fi->fh);
        if (text == context.snapshots.end() || static_cast<size_t>(off) >= text->second.size())
            fuse_reply_buf(req, nullptr, 0);
        else
            fuse_reply_buf(req, text->second.data() + off, std::min(size, text->second.size() - off));
        return;
    }
    const size_t count = off >= static_cast<off_t>(kPortCount) ? 0 : std::min<size_t>(size, kPortCount - off);
    char bytes[256];
    std::unique_ptr<char[]> large;
    char* buffer = bytes;
    if (count > sizeof(bytes))
    {
        large.reset(new char[count]);
        buffer = large.get();
    }
    const Accessor who = AccessorOf(req);
    for (size_t i = 0; i < count; ++i)
    {
        if (context.bus.Fails(static_cast<uint16_t>(off + i)))
        {
            fuse_reply_err(req, EIO);
            return;
        }
        buffer[i] = static_cast<char>(context.bus.Read(static_cast<uint16_t>(off + i), who));
    }
    fuse_reply_buf(req, buffer, count);
}

void Write(fuse_req_t req, fuse_ino_t ino, const char* buf, size_t size, off_t off, fuse_file_info*)
{
    const Node* node = ContextOf(req).Find(ino);
    if (node == nullptr || off < 0)
    {
        fuse_reply_err(req, EINVAL);
        return;
    }
    PortBus& bus = ContextOf(req).bus;
    if (node->kind == FileKind::Stats)
    {
        bus.ResetStats();
        fuse_reply_write(req, size);
        return;
    }
    if (node->kind == FileKind::NvmeTemperature)
    {
        int celsius = 0;
        if (!ParseTemperature(std::string(buf, size), celsius))
        {
            fuse_reply_err(req, EINVAL);
            return;
        }
        ContextOf(req).controllers[node->controller]->SetTemperature(celsius);
        fuse_reply_write(req, size);
        return;
    }
    if (node->kind != FileKind::Port)
    {
        fuse_reply_err(req, EACCES);
        return;
    }
    if (off >= static_cast<off_t>(kPortCount))
    {
        fuse_reply_err(req, ENOSPC);
        return;
    }
    const size_t count = std::min<size_t>(size, kPortCount - off);
    const Accessor who = AccessorOf(req);
    for (size_t i = 0; i < count; ++i)
    {
        if (bus.Fails(static_cast<uint16_t>(off + i)))
        {
            fuse_reply_err(req, EIO);
            return;
        }
        bus.Write(static_cast<uint16_t>(off + i), static_cast<uint8_t>(buf[i]), who);
    }
    fuse_reply_write(req, count);
}

// The NVMe driver's pass-through requests. FUSE passes an ioctl's argument structure in and out,
// as its encoded size and direction say; the data buffer a command points at lies in the
// caller's memory and is written there directly.
void Ioctl(fuse_req_t req, fuse_ino_t ino, unsigned int cmd, void*, fuse_file_info*, unsigned flags,
           const void* in, size_t inSize, size_t)
{
    FuseContext& context = ContextOf(req);
    const Node* node = context.Find(ino);
    if (node == nullptr || node->kind != FileKind::NvmeDevice || (flags & FUSE_IOCTL_COMPAT) != 0)
    {
        fuse_reply_err(req, ENOTTY);
        return;
    }
    if (cmd == NVME_IOCTL_ID)
    {
        // A controller is no namespace; a captured one answers as it did on the till.
        const std::shared_ptr<const RecordedNvme>& recorded =
            context.controllers[node->controller]->Profile().recorded;
        if (node->nsid == 0 && recorded != nullptr && recorded->nsid >= 0)
            fuse_reply_ioctl(req, recorded->nsid, nullptr, 0);
        else if (node->nsid == 0)
            fuse_reply_err(req, ENOTTY);
        else
            fuse_reply_ioctl(req, static_cast<int>(node->nsid), nullptr, 0);
        return;
    }
    if (cmd != NVME_IOCTL_ADMIN_CMD || inSize < sizeof(nvme_admin_cmd))
    {
        fuse_reply_err(req, ENOTTY);
        return;
    }
    nvme_admin_cmd command;
    memcpy(&command, in, sizeof(command));
    if (node->nsid != 0 && command.nsid == 0)
        command.nsid = node->nsid;
    std::vector<uint8_t> data;
    const int status = context.controllers[node->controller]->Execute(command, data);
    if (status < 0)
    {
        fuse_reply_err(req, -status);
        return;
    }
    const size_t length = std::min<size_t>(data.size(), command.data_len);
    if (length > 0)
    {
        iovec local{data.data(), length};
        iovec remote{reinterpret_cast<void*>(static_cast<uintptr_t>(command.addr)), length};
        const ssize_t written = process_vm_writev(fuse_req_ctx(req)->pid, &local, 1, &remote, 1, 0);
        if (written < 0 || static_cast<size_t>(written) != length)
        {
            fuse_reply_err(req, EFAULT);
            return;
        }
    }
    fuse_reply_ioctl(req, status, &command, sizeof(command));
}

const fuse_lowlevel_ops kOperations = []
{
    fuse_lowlevel_ops ops{};
    ops.lookup = Lookup;
    ops.getattr = GetAttr;
    ops.setattr = SetAttr;
    ops.readdir = ReadDir;
    ops.open = Open;
    ops.release = Release;
    ops.read = Read;
    ops.write = Write;
    ops.ioctl = Ioctl;
    return ops;
}();

// libfuse reports mount failures through its log; collect them for the exception's text.
std::mutex g_logMutex;
std::string* g_capturedLog = nullptr;

void LogToCapture(enum fuse_log_level, const char* format, va_list args)
{
    char text[512];
    vsnprintf(text, sizeof(text), format, args);
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (g_capturedLog != nullptr)
        *g_capturedLog += text;
    else
        fputs(text, stderr);
}

std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// Mounts served by a thread of this process. A thread of the same process that is blocked in a
// request when the process exits would wait for an answer from a server thread that is already
// gone, and the process could never finish exiting; so at exit every such mount is unmounted
// with MNT_FORCE first, which aborts the connection and fails the requests still waiting.
std::mutex g_servedMutex;
std::set<std::string>* g_served = nullptr;

void AbortServedMounts()
{
    std::lock_guard<std::mutex> lock(g_servedMutex);
    if (g_served == nullptr)
        return;
    for (const std::string& mountPoint : *g_served)
        umount2(mountPoint.c_str(), MNT_FORCE | MNT_DETACH);
    g_served->clear();
}

void RegisterServed(const std::string& mountPoint)
{
    std::lock_guard<std::mutex> lock(g_servedMutex);
    if (g_served == nullptr)
    {
        g_served = new std::set<std::string>;  // outlives every static destructor
        atexit(AbortServedMounts);
    }
    g_served->insert(mountPoint);
}

void UnregisterServed(const std::string& mountPoint)
{
    std::lock_guard<std::mutex> lock(g_servedMutex);
    if (g_served != nullptr)
        g_served->erase(mountPoint);
}

void WakeHandler(int) {}

void InstallWakeHandler()
{
    static std::once_flag once;
    std::call_once(once,
                   []
                   {
                       struct sigaction action
                       {
                       };
                       action.sa_handler = WakeHandler;
                       sigemptyset(&action.sa_mask);
                       action.sa_flags = 0;  // no SA_RESTART: the loop's read must return EINTR
                       sigaction(kWakeSignal, &action, nullptr);
                   });
}
}  // namespace

FuseMount::FuseMount(PortBus& bus, std::string mountPoint, std::vector<NvmeController*> controllers)
    : m_context(new FuseContext(bus, std::move(controllers))), m_mountPoint(std::move(mountPoint))
{
}

FuseMount::~FuseMount()
{
    Stop();
}

std::string FuseMount::Unavailable(const std::string& device)
{
    struct stat st;
    if (stat(device.c_str(), &st) != 0)
        return device + " is missing: this machine (or container) offers no FUSE device (load the fuse "
                        "module, or give the container the device and CAP_SYS_ADMIN)";
    if (access(device.c_str(), R_OK | W_OK) != 0)
        return device + " cannot be opened for reading and writing: " + strerror(errno);
    return "";
}

void FuseMount::Mount()
{
    if (m_session != nullptr)
        throw std::logic_error("FuseMount: already mounted");
    const std::string why = Unavailable();
    if (!why.empty())
        throw std::runtime_error(why);

    std::string log;
    {
        std::lock_guard<std::mutex> lock(g_logMutex);
        g_capturedLog = &log;
    }
    fuse_set_log_func(LogToCapture);
    const char* argv[] = {"qelsim", "-o", "fsname=qelsim,subtype=qelsim"};
    fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(argv));
    m_session = fuse_session_new(&args, &kOperations, sizeof(kOperations), m_context.get());
    fuse_opt_free_args(&args);  // parsing may have replaced the vector with one of its own
    bool mounted = m_session != nullptr && fuse_session_mount(m_session, m_mountPoint.c_str()) == 0;
    {
        std::lock_guard<std::mutex> lock(g_logMutex);
        g_capturedLog = nullptr;
    }
    if (!mounted)
    {
        if (m_session != nullptr)
            fuse_session_destroy(m_session);
        m_session = nullptr;
        throw std::runtime_error("cannot mount " + m_mountPoint + (log.empty() ? "" : ": " + Trimmed(log)));
    }
}

void FuseMount::Serve(bool handleSignals)
{
    if (m_session == nullptr)
        throw std::logic_error("FuseMount: not mounted");
    if (handleSignals && fuse_set_signal_handlers(m_session) != 0)
        throw std::runtime_error("cannot install the signal handlers");
    fuse_session_loop(m_session);
    if (handleSignals)
        fuse_remove_signal_handlers(m_session);
}

void FuseMount::ServeInBackground()
{
    if (m_session == nullptr)
        throw std::logic_error("FuseMount: not mounted");
    InstallWakeHandler();
    RegisterServed(m_mountPoint);
    m_serving = true;
    m_thread = std::thread(
        [this]
        {
            fuse_session_loop(m_session);
            m_serving = false;
        });
}

void FuseMount::LockDown()
{
    m_context->lockedDown = true;
    m_context->nodes.push_back({m_context->nodes.back().ino + 1, "mem", S_IFREG | 0400, 0, FileKind::Mem});
}

void FuseMount::Stop()
{
    if (m_session == nullptr)
        return;
    fuse_session_exit(m_session);
    if (m_thread.joinable())
    {
        // The loop checks the exit flag between requests; a signal ends the read it may be
        // blocked in. Repeat it, since it can land just before the loop enters that read.
        while (m_serving)
        {
            pthread_kill(m_thread.native_handle(), kWakeSignal);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        m_thread.join();
    }
    UnregisterServed(m_mountPoint);
    fuse_session_unmount(m_session);
    fuse_session_destroy(m_session);
    m_session = nullptr;
    m_context->snapshots.clear();
}
}  // namespace QelSim
