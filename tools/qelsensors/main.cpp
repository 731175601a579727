// qelsensors: reads what libqelchip sees of this machine (or of the machine under --sysroot).
#include "Commands.h"

#include "BuildInfo.h"
#include "SysRoot.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
using QelTool::Context;

struct Command
{
    const char* name;
    const char* summary;
    const char* usage;  // the command's own, for `qelsensors COMMAND --help`
    bool usageIsWhole;  // it lists its own options and exit status; the common ones are not added
    int (*run)(Context& context, const std::vector<std::string>& args);
};

const Command kCommands[] = {
    {"sensors", "show every sensor, grouped by chip, with its limits and status (the default)",
     "usage: qelsensors [sensors] [--json] [--sysroot DIR] [--verbose]\n\n"
     "Shows every sensor of the machine, grouped by chip, with its reading, limits and status word\n"
     "(ok, warning, critical, fatal, error).\n",
     false, QelTool::RunSensors},
    {"smbios", "show the SMBIOS entry point, BIOS information, structures, and chips with their sensors",
     "usage: qelsensors smbios [--from-dump FILE] [--json] [--sysroot DIR] [--verbose]\n\n"
     "Shows the SMBIOS entry point, the BIOS information, every structure, and the management\n"
     "devices with their probes and cooling devices, as the tables give them. With --from-dump,\n"
     "those of FILE (a capture, or a 'dmidecode --dump-bin' file), without root and without a till.\n",
     false, QelTool::RunSmbios},
    {"sel", "show the BIOS system event log, decoded, with its flags and header values",
     "usage: qelsensors sel [--from-dump FILE] [--json] [--sysroot DIR] [--verbose]\n\n"
     "Shows the BIOS system event log, decoded, oldest event first, with its flags and header values.\n"
     "With --from-dump, that of FILE (a capture), without root and without a till.\n",
     false, QelTool::RunSel},
    {"cim", "enumerate or get the CIM provider's instances, as an object manager would", QelTool::CimUsage(),
     true, QelTool::RunCim},
    {"metrics", "write the sensors and the event log in the Prometheus text format (for node_exporter)",
     QelTool::MetricsUsage(), true, QelTool::RunMetrics},
    {"capture", "write what the libraries read of this till into one file, to replay or decode elsewhere",
     QelTool::CaptureUsage(), true, QelTool::RunCapture},
    {"check", "judge the sensors, or the event log, as a monitoring plugin (Nagios, Icinga, Checkmk)",
     QelTool::CheckUsage(), true, QelTool::RunCheck},
};

const char kCommonOptions[] =
    "  --json          write one JSON document (the layout is described in the README)\n"
    "  --sysroot DIR   read the machine under DIR instead of / (a simulated machine image)\n"
    "  --verbose       show the libraries' debug lines on standard error\n";

const char kExitCodes[] = "  0 all read, all within limits; 1 the machine could not be read; 2 bad usage;\n"
                          "  3, 4, 5 a reading beyond a non-critical, critical, non-recoverable limit\n";

void PrintUsage(FILE* out)
{
    fprintf(out, "usage: qelsensors [COMMAND] [--json] [--sysroot DIR] [--verbose]\n"
                 "       qelsensors COMMAND --help | --version\n\ncommands:\n");
    for (const Command& c : kCommands)
        fprintf(out, "  %-14s  %s\n", c.name, c.summary);
    fprintf(out, "\noptions:\n%s\nexit status:\n%s", kCommonOptions, kExitCodes);
}

int UsageError(const std::string& message)
{
    fprintf(stderr, "qelsensors: %s\n", message.c_str());
    PrintUsage(stderr);
    return QelTool::kExitUsage;
}

// The libraries write fixed debug lines to standard output. Keep the tool's own output on a
// duplicate of the real standard output and send descriptor 1 to /dev/null (or, when verbose,
// to standard error), so the two never mix.
bool SeparateOutput(Context& context)
{
    fflush(stdout);
    int own = dup(STDOUT_FILENO);
    if (own < 0)
        return false;
    FILE* out = fdopen(own, "w");
    if (out == nullptr)
    {
        close(own);
        return false;
    }
    int target = context.verbose ? dup(STDERR_FILENO) : open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (target < 0 || dup2(target, STDOUT_FILENO) < 0)
    {
        if (target >= 0)
            close(target);
        fclose(out);
        return false;
    }
    close(target);
    context.out = out;
    return true;
}
}  // namespace

int main(int argc, char** argv)
{
    // The command is the first word that is no option; without one, the sensors are shown.
    const Command* command = nullptr;
    Context context;
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (arg == "--verbose" || arg == "-v")
        {
            context.verbose = true;
        }
        else if (arg == "--json")
        {
            context.json = true;
        }
        else if (arg == "--sysroot")
        {
            if (i + 1 >= argc)
                return UsageError("--sysroot needs a directory");
            const char* dir = argv[++i];
            struct stat st;
            if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode))
                return UsageError(std::string("--sysroot ") + dir + ": not a directory");
            setenv(QelSys::kSysRootVariable, dir, 1);
        }
        else if (arg == "-h" || arg == "--help" || (arg == "help" && command == nullptr && rest.empty()))
        {
            if (command != nullptr && command->usageIsWhole)
                fputs(command->usage, stdout);
            else if (command != nullptr)
                fprintf(stdout, "%s\noptions:\n%s\nexit status:\n%s", command->usage, kCommonOptions,
                        kExitCodes);
            else
                PrintUsage(stdout);
            return QelTool::kExitOk;
        }
        else if (arg == "--version" && command == nullptr)
        {
            printf("qelsensors %s\n", QEL_VERSION);
            return QelTool::kExitOk;
        }
        else if (command == nullptr && rest.empty() && !arg.empty() && arg[0] != '-')
        {
            for (const Command& c : kCommands)
                if (arg == c.name)
                    command = &c;
            if (command == nullptr)
                return UsageError("unknown command '" + arg + "'");
        }
        else if (command == nullptr && !arg.empty() && arg[0] == '-')
        {
            // After the command, its own options go to it with the other arguments.
            return UsageError("unknown option '" + arg + "'");
        }
        else
        {
            rest.push_back(arg);
        }
    }
    if (command == nullptr)
        command = &kCommands[0];

    if (!SeparateOutput(context))
    {
        fprintf(stderr, "qelsensors: cannot set up standard output: %s\n", strerror(errno));
        return QelTool::kExitFailure;
    }
    int status = command->run(context, rest);
    if (fflush(context.out) != 0)
        status = QelTool::kExitFailure;
    return status;
}
