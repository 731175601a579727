// qelsim: builds and serves a simulated point-of-sale machine under a system root.
#include "BuildInfo.h"
#include "CaptureFile.h"
#include "Machine.h"
#include "Profile.h"
#include "SampleMachine.h"
#include "SuperIoModel.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Command
{
    const char* name;
    const char* arguments;
    const char* summary;
    int (*run)(const std::vector<std::string>& args);
};

int UsageError(const char* command, const std::string& message);
bool ParseNumber(const std::string& text, unsigned long max, unsigned long* value);

int Fail(const char* command, const std::string& message)
{
    fprintf(stderr, "qelsim %s: %s\n", command, message.c_str());
    return kExitFailure;
}

// Splits options (with their values) from the positional arguments.
struct Arguments
{
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
    std::string error;

    bool Has(const std::string& name) const
    {
        for (const auto& o : options)
            if (o.first == name)
                return true;
        return false;
    }
    std::string Value(const std::string& name) const
    {
        for (const auto& o : options)
            if (o.first == name)
                return o.second;
        return "";
    }
};

Arguments Parse(const std::vector<std::string>& args, const std::vector<std::string>& flags,
                const std::vector<std::string>& valued)
{
    Arguments parsed;
    for (size_t i = 0; i < args.size(); ++i)
    {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0)
        {
            parsed.positional.push_back(arg);
            continue;
        }
        bool known = false;
        for (const std::string& f : flags)
            if (arg == f)
            {
                parsed.options.emplace_back(arg, "");
                known = true;
            }
        for (const std::string& v : valued)
            if (arg == v)
            {
                if (i + 1 >= args.size())
                {
                    parsed.error = arg + " needs a value";
                    return parsed;
                }
                parsed.options.emplace_back(arg, args[++i]);
                known = true;
            }
        if (!known)
        {
            parsed.error = "unknown option " + arg;
            return parsed;
        }
    }
    return parsed;
}

std::string Absolute(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[4096];
    if (getcwd(cwd, sizeof(cwd)) == nullptr)
        return path;
    return std::string(cwd) + "/" + path;
}

std::string ReadFile(const std::string& path, bool* ok)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    *ok = static_cast<bool>(in);
    return text.str();
}

bool WritePidFile(const std::string& path, pid_t pid)
{
    std::ofstream out(path, std::ios::trunc);
    out << pid << "\n";
    return static_cast<bool>(out);
}

int RunSample(const std::vector<std::string>& args)
{
    const Arguments a = Parse(args, {"--efi"}, {});
    if (!a.error.empty())
        return UsageError("sample", a.error);
    if (a.positional.empty())
        return UsageError("sample", "ROOT missing");
    if (a.positional.size() > 1)
        return UsageError("sample", "more than one ROOT given");
    const std::string& root = a.positional[0];
    const bool efi = a.Has("--efi");
    try
    {
        QelSim::SampleMachine(efi).Write(root);
    }
    catch (const std::exception& e)
    {
        return Fail("sample", e.what());
    }
    printf("sample %s machine written to %s (use QEL_SYSROOT=%s)\n", efi ? "UEFI" : "legacy BIOS",
           root.c_str(), root.c_str());
    return kExitOk;
}

int RunCheck(const std::vector<std::string>& args)
{
    const Arguments a = Parse(args, {}, {});
    if (!a.error.empty())
        return UsageError("check", a.error);
    if (a.positional.empty())
        return UsageError("check", "PROFILE missing");
    int status = kExitOk;
    for (const std::string& name : a.positional)
    {
        try
        {
            const QelSim::Profile profile = QelSim::LoadProfile(QelSim::FindProfile(name));
            QelSim::BuildImage(profile);
            QelSim::PortBus bus;
            QelSim::AttachChips(profile, bus);
            printf("%s: %s, BIOS %s (%s)\n", profile.name.c_str(), profile.machine.c_str(),
                   profile.bios.version.c_str(), profile.uefi ? "UEFI" : "legacy BIOS");
            for (size_t i = 0; i < profile.chips.size(); ++i)
                printf("  %s, \"%s\", %zu sensors\n", bus.Devices()[i]->Name().c_str(),
                       profile.chips[i].board.description.c_str(), profile.chips[i].board.sensors.size());
            for (const QelSim::SsdProfile& ssd : profile.ssds)
                printf("  NVMe SSD %s: \"%s\", %d °C\n", ssd.device.c_str(), ssd.model.c_str(),
                       ssd.temperature);
        }
        catch (const std::exception& e)
        {
            status = Fail("check", e.what());
        }
    }
    return status;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool IsBlobName(const std::string& name)
{
    const auto ends = [&](const char* suffix)
    {
        return name.size() >= strlen(suffix) &&
               name.compare(name.size() - strlen(suffix), strlen(suffix), suffix) == 0;
    };
    return ends(".bin") && (name.compare(0, 7, "smbios-") == 0 || name.compare(0, 10, "event-log-") == 0);
}

// The machine's firmware pieces for a firmware that builds the table itself (QEMU's -smbios
// file=, one structure per file) and a loader that places the event-log area at its address.
int RunBlobs(const std::vector<std::string>& args)
{
    const Arguments a = Parse(args, {}, {"--handle-base"});
    if (!a.error.empty())
        return UsageError("blobs", a.error);
    if (a.positional.size() != 2)
        return UsageError("blobs", a.positional.size() < 2 ? "PROFILE and DIR needed" : "too many arguments");
    unsigned long handleBase = 0xE000;
    if (a.Has("--handle-base") && !ParseNumber(a.Value("--handle-base"), 0xFFFF, &handleBase))
        return UsageError("blobs", "bad handle base '" + a.Value("--handle-base") + "'");
    const std::string& dir = a.positional[1];
    try
    {
        const QelSim::Profile profile = QelSim::LoadProfile(QelSim::FindProfile(a.positional[0]));
        QelImage::MachineImage image = QelSim::BuildImage(profile, static_cast<uint16_t>(handleBase));
        if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
            return Fail("blobs", "cannot create " + dir + ": " + strerror(errno));
        // Files of an earlier run would otherwise join this machine's table.
        if (DIR* d = opendir(dir.c_str()))
        {
            while (const dirent* entry = readdir(d))
                if (IsBlobName(entry->d_name))
                    unlink((dir + "/" + entry->d_name).c_str());
            closedir(d);
        }
        std::vector<std::string> written;
        const std::vector<QelImage::Structure>& structures = image.Structures();
        for (size_t i = 0; i < structures.size(); ++i)
        {
            char name[64];
            snprintf(name, sizeof(name), "smbios-%03zu-type%u.bin", i, structures[i].type);
            if (!WriteBytes(dir + "/" + name, structures[i].Encode()))
                return Fail("blobs", std::string("cannot write ") + dir + "/" + name);
            written.push_back(name);
        }
        if (profile.eventLog)
            for (const auto& piece : image.PlacedBytes())
                if (piece.first == profile.eventLog->address)
                {
                    char name[64];
                    snprintf(name, sizeof(name), "event-log-0x%08llx.bin",
                             static_cast<unsigned long long>(piece.first));
                    if (!WriteBytes(dir + "/" + name, piece.second))
                        return Fail("blobs", std::string("cannot write ") + dir + "/" + name);
                    written.push_back(name);
                }
        for (const std::string& name : written)
            printf("%s/%s\n", dir.c_str(), name.c_str());
    }
    catch (const std::exception& e)
    {
        return Fail("blobs", e.what());
    }
    return kExitOk;
}

// The detached server tells the waiting parent how start-up went: "ok" or the error text.
void Report(int fd, const std::string& message)
{
    if (fd < 0)
        return;
    ssize_t ignored = write(fd, message.data(), message.size());
    (void)ignored;
    close(fd);
}

bool IsCapture(const std::string& path)
{
    uint8_t header[QelCapture::kTarBlock];
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const ssize_t n = read(fd, header, sizeof(header));
    close(fd);
    return n == static_cast<ssize_t>(sizeof(header)) && QelCapture::LooksLikeTar(header, sizeof(header));
}

int Serve(const std::string& profilePath, const std::string& root, const std::string& pidFile, int reportFd,
          bool lockedDown)
{
    std::unique_ptr<QelSim::Machine> machine;
    try
    {
        // A capture is known by its content (a tar archive), whatever its name.
        std::string title;
        if (IsCapture(profilePath))
        {
            const std::vector<uint8_t> bytes =
                QelCapture::ReadFileBytes(profilePath, QelCapture::kMaxCaptureSize);
            QelCapture::Capture capture;
            try
            {
                capture = QelCapture::DecodeCapture(bytes.data(), bytes.size());
            }
            catch (const QelCapture::CaptureError& e)
            {
                throw std::runtime_error(profilePath + ": not served: " + e.what());
            }
            const std::string name = profilePath.substr(profilePath.find_last_of('/') + 1);
            if (lockedDown)
                throw std::runtime_error("--locked-down serves a profile, not a capture");
            mkdir(root.c_str(), 0755);
            machine.reset(new QelSim::Machine(capture, name, root));
            title = "the capture " + name + " (" + capture.model + ", BIOS " + capture.biosVersion +
                    ", taken " + capture.time + ")";
        }
        else
        {
            QelSim::Profile profile = QelSim::LoadProfile(profilePath);
            profile.lockedDown = profile.lockedDown || lockedDown;
            mkdir(root.c_str(), 0755);
            machine.reset(new QelSim::Machine(profile, root));
            title = profile.machine + " (" + profile.name + ")";
        }
        const QelSim::RootPaths& paths = machine->Paths();
        if (!WritePidFile(paths.pidFile, getpid()) || (!pidFile.empty() && !WritePidFile(pidFile, getpid())))
            throw std::runtime_error("cannot write the pid file " +
                                     (pidFile.empty() ? paths.pidFile : pidFile));
        if (reportFd < 0)
        {
            printf("serving %s at %s\n  QEL_SYSROOT=%s, or qelsensors --sysroot %s\n"
                   "  stop with Ctrl-C; remove with 'qelsim down %s'\n",
                   title.c_str(), root.c_str(), root.c_str(), root.c_str(), root.c_str());
            fflush(stdout);
        }
    }
    catch (const std::exception& e)
    {
        machine.reset();
        if (reportFd >= 0)
        {
            Report(reportFd, e.what());
            return kExitFailure;
        }
        return Fail("up", e.what());
    }
    Report(reportFd, "ok");
    machine->Serve(true);
    const std::string ownPid = machine->Paths().pidFile;
    machine.reset();
    unlink(ownPid.c_str());
    if (!pidFile.empty())
        unlink(pidFile.c_str());
    return kExitOk;
}

int RunUp(const std::vector<std::string>& args)
{
    const Arguments a = Parse(args, {"--detach", "--locked-down"}, {"--pidfile"});
    if (!a.error.empty())
        return UsageError("up", a.error);
    if (a.positional.size() != 2)
        return UsageError("up", a.positional.size() < 2 ? "PROFILE (or CAPTURE) and ROOT needed"
                                                        : "too many arguments");
    const std::string profile = Absolute(QelSim::FindProfile(a.positional[0]));
    const std::string root = Absolute(a.positional[1]);
    const std::string pidFile = a.Has("--pidfile") ? Absolute(a.Value("--pidfile")) : "";
    if (!a.Has("--detach"))
        return Serve(profile, root, pidFile, -1, a.Has("--locked-down"));

    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return Fail("up", std::string("pipe: ") + strerror(errno));
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        return Fail("up", std::string("fork: ") + strerror(errno));
    if (pid == 0)
    {
        close(pipeFds[0]);
        setsid();
        if (chdir("/") != 0)
            _exit(kExitFailure);
        // The server's own messages (libfuse's among them) go to a log beside the mount.
        mkdir(root.c_str(), 0755);
        mkdir((root + "/run").c_str(), 0755);
        const int log =
            open((root + "/run/qelsim.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (null >= 0)
            dup2(null, STDIN_FILENO);
        if (log >= 0)
        {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        _exit(Serve(profile, root, pidFile, pipeFds[1], a.Has("--locked-down")));
    }
    close(pipeFds[1]);
    std::string message;
    char buffer[512];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof(buffer))) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            message.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    if (message != "ok")
    {
        int status = 0;
        waitpid(pid, &status, 0);
        return Fail("up", message.empty() ? "the server ended before it was ready" : message);
    }
    printf("serving %s at %s (pid %d); stop with 'qelsim down %s'\n", profile.c_str(), root.c_str(),
           static_cast<int>(pid), root.c_str());
    return kExitOk;
}

// The pid of a live qelsim serving the root, or 0.
pid_t ServerOf(const QelSim::RootPaths& paths)
{
    bool ok = false;
    const std::string text = ReadFile(paths.pidFile, &ok);
    const pid_t pid = ok ? static_cast<pid_t>(atoi(text.c_str())) : 0;
    if (pid <= 0)
        return 0;
    // A stale pid file may name an unrelated process by now; only a qelsim is signalled.
    const std::string cmdline = ReadFile("/proc/" + std::to_string(pid) + "/cmdline", &ok);
    if (!ok || cmdline.find("qelsim") == std::string::npos)
        return 0;
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat", &ok);
    const size_t close = stat.rfind(')');
    if (!ok || close == std::string::npos || stat.compare(close, 3, ") Z") == 0)
        return 0;
    return pid;
}

int RunDown(const std::vector<std::string>& args)
{
    const Arguments a = Parse(args, {}, {});
    if (!a.error.empty())
        return UsageError("down", a.error);
    if (a.positional.size() != 1)
        return UsageError("down", a.positional.empty() ? "ROOT missing" : "more than one ROOT given");
    const std::string root = Absolute(a.positional[0]);
    const QelSim::RootPaths paths(root);
    const QelSim::RootState state = QelSim::StateOf(root);
    if (state == QelSim::RootState::Missing)
        return Fail("down", root + ": no such directory");
    if (state == QelSim::RootState::Foreign)
        return Fail("down", root + " is not a simulated machine (no " + paths.marker + "); not touching it");

    if (const pid_t pid = ServerOf(paths))
    {
        kill(pid, SIGTERM);
        for (int i = 0; i < 1000 && ServerOf(paths) == pid; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (ServerOf(paths) == pid)
            return Fail("down", "the server (pid " + std::to_string(pid) + ") does not stop");
    }
    try
    {
        const QelSim::RootState now = QelSim::StateOf(root);
        if (now == QelSim::RootState::Served || now == QelSim::RootState::Abandoned)
            QelSim::ForceUnmount(root);
        QelSim::RemoveRoot(root);
    }
    catch (const std::exception& e)
    {
        return Fail("down", e.what());
    }
    printf("%s taken down\n", root.c_str());
    return kExitOk;
}

int RunStats(const std::vector<std::string>& args)
{
    const Arguments a = Parse(args, {"--accesses", "--reset"}, {});
    if (!a.error.empty())
        return UsageError("stats", a.error);
    if (a.positional.size() != 1)
        return UsageError("stats", a.positional.empty() ? "ROOT missing" : "more than one ROOT given");
    const QelSim::RootPaths paths(Absolute(a.positional[0]));
    if (QelSim::StateOf(paths.root) != QelSim::RootState::Served)
        return Fail("stats", paths.root + " is not being served (start it with 'qelsim up PROFILE " +
                                 paths.root + "')");
    bool ok = false;
    const std::string stats = ReadFile(paths.mountPoint + "/stats", &ok);
    if (!ok)
        return Fail("stats", "cannot read " + paths.mountPoint + "/stats");
    fputs(stats.c_str(), stdout);
    if (a.Has("--accesses"))
    {
        const std::string accesses = ReadFile(paths.mountPoint + "/accesses", &ok);
        if (!ok)
            return Fail("stats", "cannot read " + paths.mountPoint + "/accesses");
        printf("accesses (sequence, r/w, port, value; '-': no device answered)\n%s", accesses.c_str());
    }
    if (a.Has("--reset"))
    {
        std::ofstream reset(paths.mountPoint + "/stats");
        reset << "reset\n";
        if (!reset)
            return Fail("stats", "cannot reset " + paths.mountPoint + "/stats");
    }
    return kExitOk;
}

bool ParseNumber(const std::string& text, unsigned long max, unsigned long* value)
{
    char* end = nullptr;
    errno = 0;
    *value = strtoul(text.c_str(), &end, 0);
    return !text.empty() && errno == 0 && *end == '\0' && *value <= max && text[0] != '-';
}

int RunPort(const std::vector<std::string>& args)
{
    const Arguments a = Parse(args, {}, {});
    if (!a.error.empty())
        return UsageError("port", a.error);
    if (a.positional.size() < 2)
        return UsageError("port", "ROOT and at least one access needed");
    struct Access
    {
        unsigned long port;
        unsigned long value;
        bool write;
    };
    std::vector<Access> accesses;
    for (size_t i = 1; i < a.positional.size(); ++i)
    {
        const std::string& op = a.positional[i];
        const size_t eq = op.find('=');
        Access access{0, 0, eq != std::string::npos};
        if (!ParseNumber(op.substr(0, eq), 0xFFFF, &access.port) ||
            (access.write && !ParseNumber(op.substr(eq + 1), 0xFF, &access.value)))
            return UsageError("port", "bad access '" + op + "' (PORT to read, PORT=VALUE to write)");
        accesses.push_back(access);
    }
    const std::string path = a.positional[0] + "/dev/port";
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return Fail("port", "cannot open " + path + ": " + strerror(errno));
    for (const Access& access : accesses)
    {
        uint8_t byte = static_cast<uint8_t>(access.value);
        const ssize_t n = access.write ? pwrite(fd, &byte, 1, static_cast<off_t>(access.port))
                                       : pread(fd, &byte, 1, static_cast<off_t>(access.port));
        if (n != 1)
        {
            const int err = errno;
            close(fd);
            return Fail("port", std::string(access.write ? "write" : "read") + " of port " +
                                    std::to_string(access.port) +
                                    " failed: " + (n < 0 ? strerror(err) : "short"));
        }
        if (!access.write)
            printf("0x%04lx 0x%02x\n", access.port, byte);
    }
    close(fd);
    return kExitOk;
}

// Reads or sets the composite temperature of a served machine's SSD through its file in the mount.
int RunSsd(const std::vector<std::string>& args)
{
    const Arguments a = Parse(args, {}, {});
    if (!a.error.empty())
        return UsageError("ssd", a.error);
    if (a.positional.size() < 2 || a.positional.size() > 3)
        return UsageError("ssd", a.positional.size() < 2 ? "ROOT and DEVICE needed" : "too many arguments");
    const std::string& device = a.positional[1];
    if (device.empty() || device.find('/') != std::string::npos)
        return UsageError("ssd", "bad DEVICE '" + device + "' (a controller name such as nvme0)");
    const std::string path = QelSim::RootPaths(a.positional[0]).mountPoint + "/" + device + ".temperature";
    if (a.positional.size() == 2)
    {
        std::ifstream in(path);
        std::string celsius;
        if (!(in >> celsius))
            return Fail("ssd", "cannot read " + path + ": is " + device + " an SSD of a served machine?");
        printf("%s %s\n", device.c_str(), celsius.c_str());
        return kExitOk;
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return Fail("ssd", "cannot open " + path + ": " + strerror(errno));
    const std::string& value = a.positional[2];
    const ssize_t n = write(fd, value.data(), value.size());
    const int err = errno;
    close(fd);
    if (n != static_cast<ssize_t>(value.size()))
        return n < 0 && err == EINVAL ? UsageError("ssd", "bad temperature '" + value +
                                                              "' (whole degrees Celsius, -273 to 65262)")
                                      : Fail("ssd", "cannot write " + path + ": " + strerror(err));
    return kExitOk;
}

const Command kCommands[] = {
    {"sample", "ROOT [--efi]", "write the sample machine image into ROOT (created if missing)", RunSample},
    {"check", "PROFILE...", "read profiles and say what they describe, or what is wrong with them", RunCheck},
    {"up", "PROFILE|CAPTURE ROOT [--detach] [--pidfile FILE] [--locked-down]",
     "build the machine of PROFILE (a file, or the name of a shipped one) or of a till's CAPTURE\n"
     "      (written by 'qelsensors capture') under ROOT and serve its ports until stopped (in the\n"
     "      foreground, or in the background with --detach); --locked-down serves it as a Secure\n"
     "      Boot kernel shows it (dev/mem and dev/port refused, the firmware tables in sysfs)",
     RunUp},
    {"down", "ROOT", "stop the server of ROOT, unmount it and remove ROOT", RunDown},
    {"stats", "ROOT [--accesses] [--reset]",
     "show the port access counters of a served ROOT (and the recent accesses); --reset clears them",
     RunStats},
    {"blobs", "PROFILE DIR [--handle-base N]",
     "write the machine's SMBIOS structures into DIR, one per file in table order (smbios-NNN-typeT.bin,\n"
     "      handles from N up, 0xE000 by default), and its event-log area (event-log-ADDRESS.bin)",
     RunBlobs},
    {"port", "ROOT ACCESS...",
     "access ports through ROOT/dev/port in order: PORT reads one (printed), PORT=VALUE writes one", RunPort},
    {"ssd", "ROOT DEVICE [CELSIUS]",
     "show the composite temperature of the served machine's NVMe SSD DEVICE (nvme0, ...), or set it",
     RunSsd},
};

void PrintUsage(FILE* out)
{
    fprintf(out, "usage: qelsim COMMAND [ARGS]\n       qelsim COMMAND --help | --version\n\ncommands:\n");
    for (const Command& c : kCommands)
        fprintf(out, "  %s %s\n      %s\n", c.name, c.arguments, c.summary);
    fprintf(out, "\nshipped profiles (%s):\n ", QelSim::ProfileDirectory().c_str());
    for (const std::string& path : QelSim::ShippedProfiles())
    {
        const std::string name = path.substr(path.find_last_of('/') + 1);
        fprintf(out, " %s", name.substr(0, name.size() - 5).c_str());
    }
    fprintf(out, "\n");
}

int UsageError(const char* command, const std::string& message)
{
    for (const Command& c : kCommands)
        if (strcmp(c.name, command) == 0)
            fprintf(stderr, "qelsim %s: %s\nusage: qelsim %s %s\n", command, message.c_str(), c.name,
                    c.arguments);
    return kExitUsage;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        PrintUsage(stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help")
    {
        PrintUsage(stdout);
        return kExitOk;
    }
    if (name == "--version")
    {
        printf("qelsim %s\n", QEL_VERSION);
        return kExitOk;
    }
    for (const Command& c : kCommands)
    {
        if (name != c.name)
            continue;
        const std::vector<std::string> args(argv + 2, argv + argc);
        for (const std::string& arg : args)
            if (arg == "--help" || arg == "-h")
            {
                printf("usage: qelsim %s %s\n      %s\n", c.name, c.arguments, c.summary);
                return kExitOk;
            }
        return c.run(args);
    }
    fprintf(stderr, "qelsim: unknown command '%s'\n", name.c_str());
    PrintUsage(stderr);
    return kExitUsage;
}
