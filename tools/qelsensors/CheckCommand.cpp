// qelsensors check: the monitoring plugin that Nagios, Icinga, Naemon, Checkmk (MRPE) and NRPE run.
// As root it reads the till; any other user (a poller's) reads the pass the metrics service keeps.
#include "Check.h"
#include "Commands.h"
#include "StateFile.h"

#include "BuildInfo.h"
#include "SysRoot.h"
#include "chip.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <variant>

namespace QelTool
{
namespace
{
constexpr int64_t kDefaultTimeout = 10;
// Four runs of the 30 s timer: one missed or slow run is no alarm, a stopped timer is.
constexpr int64_t kDefaultMaxAge = 120;
constexpr char kDefaultSince[] = "1d";

struct CheckArgs
{
    SensorChoice choice;
    bool sel = false;
    std::string since = kDefaultSince;
    bool sinceGiven = false;
    int64_t timeout = kDefaultTimeout;
    std::optional<std::string> state;
    int64_t maxAge = kDefaultMaxAge;
    bool version = false;
};

// Either the result or the timeout's line is written, once: whoever claims the output first.
std::atomic<bool> g_claimed{false};

bool Claim()
{
    bool expected = false;
    return g_claimed.compare_exchange_strong(expected, true);
}

// A thread, so that the line is written even while a read of the port device waits on a
// simulator or another reader; _exit then ends every thread of the process, and no process is
// left behind.
void StartWatchdog(int fd, int64_t seconds)
{
    std::thread(
        [fd, seconds]
        {
            std::this_thread::sleep_for(std::chrono::seconds(seconds));
            if (!Claim())
                return;
            const std::string line =
                UnknownResult("no result within the timeout of " + std::to_string(seconds) +
                              " s (-t): the till did not answer in time")
                    .output;
            ssize_t written = write(fd, line.data(), line.size());
            (void)written;
            _exit(static_cast<int>(PluginState::Unknown));
        })
        .detach();
}

int Finish(Context& context, const CheckResult& result)
{
    if (!Claim())
        for (;;)
            pause();  // the watchdog writes its line and ends the process
    fputs(result.output.c_str(), context.out);
    return static_cast<int>(result.state);
}

// Bad arguments are UNKNOWN, as the guidelines say; the usage goes to standard error.
int UsageError(Context& context, const std::string& message)
{
    fprintf(stderr, "%s", CheckUsage());
    return Finish(context, UnknownResult("bad arguments: " + message + " (qelsensors check --help)"));
}

// A positive number of seconds, without a unit.
std::optional<int64_t> Seconds(const std::string& text)
{
    return !text.empty() && isdigit(static_cast<unsigned char>(text.back())) ? ParseDuration(text)
                                                                             : std::nullopt;
}

// Parses the arguments; a message when they are wrong.
std::optional<std::string> Parse(const std::vector<std::string>& args, CheckArgs& parsed)
{
    for (size_t i = 0; i < args.size(); ++i)
    {
        std::string option = args[i], value;
        bool hasValue = false;
        const size_t equals = option.find('=');
        if (option.rfind("--", 0) == 0 && equals != std::string::npos)
        {
            value = option.substr(equals + 1);
            option.erase(equals);
            hasValue = true;
        }
        const auto next = [&](std::string& out) -> bool
        {
            if (!hasValue && i + 1 < args.size())
            {
                value = args[++i];
                hasValue = true;
            }
            out = value;
            return hasValue;
        };
        std::string v;
        if (option == "-V" || option == "--version")
            parsed.version = true;
        else if (option == "--sel")
            parsed.sel = true;
        else if (option == "-w" || option == "--warning" || option == "-c" || option == "--critical")
        {
            if (!next(v))
                return option + " needs a range";
            std::optional<Range> range = ParseRange(v);
            if (!range)
                return "'" + v + "' is no range ([@]start:end, start <= end; '~' for minus infinity)";
            (option == "-w" || option == "--warning" ? parsed.choice.warning : parsed.choice.critical) =
                range;
        }
        else if (option == "--sensor" || option == "--chip")
        {
            if (!next(v) || v.empty())
                return option + " needs a name";
            (option == "--sensor" ? parsed.choice.sensors : parsed.choice.chips).push_back(v);
        }
        else if (option == "--since")
        {
            if (!next(v) || !ParseDuration(v))
                return "--since needs a duration (30m, 12h, 7d, or seconds)";
            parsed.since = v;
            parsed.sinceGiven = true;
        }
        else if (option == "-t" || option == "--timeout" || option == "--max-age")
        {
            const std::optional<int64_t> seconds = next(v) ? Seconds(v) : std::nullopt;
            if (!seconds)
                return option + " needs a number of seconds";
            (option == "--max-age" ? parsed.maxAge : parsed.timeout) = *seconds;
        }
        else if (option == "--state")
        {
            if (!next(v) || v.empty())
                return "--state needs a file";
            parsed.state = v;
        }
        else
            return "unexpected argument '" + args[i] + "'";
    }
    if (parsed.sel && (parsed.choice.warning || parsed.choice.critical || !parsed.choice.sensors.empty() ||
                       !parsed.choice.chips.empty()))
        return "--sel checks the event log: -w, -c, --sensor and --chip apply to the sensors";
    if (!parsed.sel && parsed.sinceGiven)
        return "--since applies to the event log (--sel)";
    return std::nullopt;
}

// The pass the metrics service kept, when it is recent enough; otherwise why not.
std::variant<PassState, CheckResult> ReadState(const std::string& path, int64_t maxAge)
{
    std::ifstream in(path);
    if (!in)
        return UnknownResult("cannot read the last readings, " + path + ": " + strerror(errno) +
                             "\n  qelsensors-metrics.timer keeps them (systemctl enable --now "
                             "qelsensors-metrics.timer); as root the check reads the till itself");
    std::ostringstream text;
    text << in.rdbuf();
    std::string why;
    std::optional<PassState> pass = ParseState(text.str(), why);
    if (!pass)
        return UnknownResult("cannot read the last readings, " + path + ": " + why);
    const int64_t age = static_cast<int64_t>(time(nullptr)) - pass->time;
    if (age > maxAge)
        return UnknownResult("the last readings (" + path + ") are " + std::to_string(age) +
                             " s old, beyond the limit of " + std::to_string(maxAge) +
                             " s (--max-age): is qelsensors-metrics.timer running?");
    return *pass;
}

CheckResult Check(const CheckArgs& args)
{
    PassState pass;
    CChip chip;
    if (args.state || geteuid() != 0)
    {
        auto kept = ReadState(args.state ? *args.state : QelSys::SysPath(kStatePath), args.maxAge);
        if (const CheckResult* result = std::get_if<CheckResult>(&kept))
            return *result;
        pass = std::get<PassState>(kept);
    }
    else if (args.sel)
        pass.eventLog = ReadEventLog(chip, std::nullopt);
    else
        pass.machine = ReadMachine(chip);
    if (args.sel)
        return CheckEventLog(pass.eventLog, static_cast<int64_t>(time(nullptr)), *ParseDuration(args.since),
                             args.since);
    return CheckSensors(pass.machine, args.choice);
}
}  // namespace

const char* CheckUsage()
{
    return "usage: qelsensors check [--sensor NAME]... [--chip NAME]... [-w RANGE] [-c RANGE]\n"
           "                        [-t SECONDS] [--state FILE] [--max-age SECONDS] [--sysroot DIR]\n"
           "       qelsensors check --sel [--since DURATION] [-t SECONDS] [--state FILE] [--max-age "
           "SECONDS]\n\n"
           "A monitoring plugin for Nagios, Icinga, Naemon, Checkmk (MRPE) and NRPE: one status line,\n"
           "the sensors after it and performance data after a '|', in volts, degrees C and RPM.\n"
           "Each sensor is judged against the limits its BIOS gives (non-critical: WARNING, critical or\n"
           "non-recoverable: CRITICAL); a sensor that cannot be read is UNKNOWN.\n\n"
           "options:\n"
           "  --sensor NAME       check this sensor (repeatable; names as 'qelsensors sensors' shows them)\n"
           "  --chip NAME         check the sensors of this chip (repeatable; 'NVMe SSD' for the SSDs)\n"
           "  -w, --warning RANGE   instead of the BIOS non-critical limits of the chosen sensors\n"
           "  -c, --critical RANGE  instead of their critical and non-recoverable limits\n"
           "                      RANGE is [@]start:end in the sensor's unit: alert outside it, or\n"
           "                      inside it with '@'; '10:' below 10, '~:85' above 85, '10' outside 0..10\n"
           "  --sel               check the BIOS event log instead: Error events CRITICAL, Warning\n"
           "                      events WARNING, when newer than --since (default 1d; 30m, 12h, 7d)\n"
           "  -t, --timeout SECONDS  UNKNOWN when there is no result by then (default 10)\n"
           "  --state FILE        judge the readings the metrics service kept in FILE; users other than\n"
           "                      root always do (default /var/lib/qelsensors/readings.json)\n"
           "  --max-age SECONDS   UNKNOWN when those readings are older (default 120)\n"
           "  --sysroot DIR       read the machine under DIR instead of / (a simulated machine image)\n"
           "  -V, --version       show the version\n\n"
           "exit status:\n"
           "  0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN (nothing read, bad arguments, timeout)\n";
}

int RunCheck(Context& context, const std::vector<std::string>& args)
{
    CheckArgs parsed;
    if (std::optional<std::string> message = Parse(args, parsed))
        return UsageError(context, *message);
    if (context.json)
        return UsageError(context, "--json does not apply: a plugin writes its status line");
    if (parsed.version)
    {
        fprintf(context.out, "qelsensors %s\n", QEL_VERSION);
        return kExitOk;
    }
    fflush(context.out);
    StartWatchdog(fileno(context.out), parsed.timeout);
    return Finish(context, Check(parsed));
}
}  // namespace QelTool
