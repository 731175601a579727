// qelsensors metrics: the machine's readings and event log for Prometheus, on standard output or
// into the file node_exporter's textfile collector publishes.
#include "Commands.h"
#include "Metrics.h"
#include "Readings.h"
#include "SmbiosDevices.h"
#include "StateFile.h"
#include "Support.h"

#include "BuildInfo.h"
#include "POSSystem.h"
#include "chip.h"

#include <chrono>
#include <ctime>

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
}  // namespace

const char* MetricsUsage()
{
    return "usage: qelsensors metrics [--output FILE] [--state FILE] [--sysroot DIR] [--verbose]\n\n"
           "Writes every sensor, the SSD temperatures and the BIOS event log in the Prometheus text\n"
           "format: readings and the BIOS limits in volts, celsius and rpm, a status per sensor, event\n"
           "counters by type and severity. A value that was not read is left out, never written as 0.\n\n"
           "options:\n"
           "  --output FILE   replace FILE at once (through a temporary file beside it), for\n"
           "                  node_exporter's textfile collector; standard output otherwise\n"
           "  --state FILE    also keep the pass in FILE (replaced the same way, readable by all), for\n"
           "                  'qelsensors check' run by users other than root\n"
           "  --sysroot DIR   read the machine under DIR instead of / (a simulated machine image)\n"
           "  --verbose       show the libraries' debug lines on standard error\n\n"
           "exit status:\n"
           "  0 all read, all within limits; 1 something could not be read (the metrics say what, and\n"
           "  are written all the same); 2 bad usage; 3, 4, 5 a reading beyond a non-critical,\n"
           "  critical, non-recoverable limit\n";
}

int RunMetrics(Context& context, const std::vector<std::string>& args)
{
    std::optional<std::string> output, statePath;
    for (size_t i = 0; i < args.size(); ++i)
    {
        const std::string& option = args[i];
        if ((option == "--output" || option == "--state") && i + 1 < args.size() && !args[i + 1].empty())
        {
            (option == "--output" ? output : statePath) = args[i + 1];
            ++i;
        }
        else if (option == "--output" || option == "--state")
            return UsageError(option + " needs a file");
        else
            return UsageError("unexpected argument '" + args[i] + "'");
    }
    if (context.json)
        return UsageError("--json does not apply: the metrics are in the Prometheus text format");

    AtomicFile file;
    if (output)
        if (std::optional<Failure> failure = file.Create(*output))
            return Report(context, kCommand, *failure);
    AtomicFile state;
    if (statePath)
        if (std::optional<Failure> failure = state.Create(*statePath))
            return Report(context, kCommand, *failure);

    const auto start = std::chrono::steady_clock::now();
    const int64_t startTime = static_cast<int64_t>(time(nullptr));
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

    if (statePath)
    {
        const std::string kept = StateText(PassState{startTime, machine, eventLog});
        if (std::optional<Failure> failure = state.Commit(kept.data(), kept.size()))
            return Report(context, kCommand, *failure);
    }
    if (!output)
    {
        fputs(text.c_str(), context.out);
        return status;
    }
    if (std::optional<Failure> failure = file.Commit(text.data(), text.size()))
        return Report(context, kCommand, *failure);
    return status;
}
}  // namespace QelTool
