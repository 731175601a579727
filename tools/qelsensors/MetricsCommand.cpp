// qelsensors metrics: the machine's readings and event log for Prometheus, on standard output or
// into the file node_exporter's textfile collector publishes.
#include "Commands.h"
#include "Metrics.h"
#include "Readings.h"
#include "SmbiosDevices.h"
#include "Support.h"

#include "BuildInfo.h"
#include "POSSystem.h"
#include "chip.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace QelTool
{
namespace
{
const char kCommand[] = "metrics";

int UsageError(const std::string& message)
{
    fprintf(stderr, "qelsensors metrics: %s\n%s", message.c_str(), MetricsUsage());
    return kExitUsage;
}

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size())
    {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Replaces path with text in one rename, so that a reader sees the old file or the new one, never
// a part. The temporary file is hidden and does not end in ".prom": the textfile collector reads
// every *.prom of its directory. Readable by all, as node_exporter runs as a user of its own.
std::optional<std::string> WriteAtomically(const std::string& path, const std::string& text)
{
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = path.substr(dir.size());
    if (base.empty())
        return "no file name in '" + path + "'";
    std::string temporary = dir + "." + base + ".XXXXXX";
    const int fd = mkstemp(&temporary[0]);
    if (fd < 0)
        return "cannot create a file in " + (dir.empty() ? std::string(".") : dir) + ": " + strerror(errno);
    const bool written = WriteAll(fd, text) && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
    const int err = errno;
    if (close(fd) != 0 || !written)
    {
        unlink(temporary.c_str());
        return "cannot write " + temporary + ": " + strerror(written ? errno : err);
    }
    if (rename(temporary.c_str(), path.c_str()) != 0)
    {
        const std::string why = strerror(errno);
        unlink(temporary.c_str());
        return "cannot replace " + path + ": " + why;
    }
    return std::nullopt;
}
}  // namespace

const char* MetricsUsage()
{
    return "usage: qelsensors metrics [--output FILE] [--sysroot DIR] [--verbose]\n\n"
           "Writes every sensor, the SSD temperatures and the BIOS event log in the Prometheus text\n"
           "format: readings and the BIOS limits in volts, celsius and rpm, a status per sensor, event\n"
           "counters by type and severity. A value that was not read is left out, never written as 0.\n\n"
           "options:\n"
           "  --output FILE   replace FILE at once (through a temporary file beside it), for\n"
           "                  node_exporter's textfile collector; standard output otherwise\n"
           "  --sysroot DIR   read the machine under DIR instead of / (a simulated machine image)\n"
           "  --verbose       show the libraries' debug lines on standard error\n\n"
           "exit status:\n"
           "  0 all read, all within limits; 1 something could not be read (the metrics say what, and\n"
           "  are written all the same); 2 bad usage; 3, 4, 5 a reading beyond a non-critical,\n"
           "  critical, non-recoverable limit\n";
}

int RunMetrics(Context& context, const std::vector<std::string>& args)
{
    std::optional<std::string> output;
    for (size_t i = 0; i < args.size(); ++i)
    {
        if (args[i] == "--output" && i + 1 < args.size() && !args[i + 1].empty())
            output = args[++i];
        else if (args[i] == "--output")
            return UsageError("--output needs a file");
        else
            return UsageError("unexpected argument '" + args[i] + "'");
    }
    if (context.json)
        return UsageError("--json does not apply: the metrics are in the Prometheus text format");

    const auto start = std::chrono::steady_clock::now();
    CChip chip;
    const MachineReadings machine = ReadMachine(chip);
    const EventLogReading eventLog = ReadEventLog(chip, machine.started);
    MachineIdentity identity;
    const CPOSSystem& system = CPOSSystem::s_instance;
    if (const char* model = system.m_BiosVersion.empty() ? nullptr : MachineModelName(system))
        identity.model = model;
    identity.biosVersion = system.m_BiosVersion;
    identity.version = QEL_VERSION;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string text = MetricsText(machine, eventLog, identity, seconds);

    // What could not be read is in the metrics; the reasons go to standard error.
    int status = ExitCode(machine.worst);
    if (machine.failure)
        status = Report(context, kCommand, *machine.failure);
    if (eventLog.failure)
        status = Report(context, kCommand, *eventLog.failure);
    const auto reportUnread = [&](const std::string& chipName, const SensorView& sensor)
    {
        if (sensor.level == Level::Error)
            fprintf(stderr, "qelsensors metrics: %s, sensor \"%s\" (handle 0x%08X) not read: %s\n",
                    chipName.c_str(), sensor.info.Description.c_str(), sensor.handle,
                    StatusText(sensor.status).c_str());
    };
    for (const ChipView& c : machine.chips)
        for (const SensorView& sensor : c.sensors)
            reportUnread(c.description, sensor);
    if (machine.ssds)
        for (const SensorView& sensor : machine.ssds->sensors)
            reportUnread("NVMe SSD", sensor);

    if (!output)
    {
        fputs(text.c_str(), context.out);
        return status;
    }
    if (std::optional<std::string> why = WriteAtomically(*output, text))
        return Report(context, kCommand, {*why, std::nullopt});
    return status;
}
}  // namespace QelTool
