// qelsensors: reads what libqelchip sees of this machine (or of the machine under --sysroot).
#include "Commands.h"

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
    int (*run)(Context& context, const std::vector<std::string>& args);
};

const Command kCommands[] = {
    {"smbios", "show the SMBIOS entry point, BIOS information, structures, and chips with their sensors",
     QelTool::RunSmbios},
    {"sel", "show the BIOS system event log, decoded, with its flags and header values", QelTool::RunSel},
};

const char kCommonOptions[] =
    "  --sysroot DIR   read the machine under DIR instead of / (a simulated machine image)\n"
    "  --verbose       show the libraries' debug lines on standard error\n";

void PrintUsage(FILE* out)
{
    fprintf(out, "usage: qelsensors COMMAND [--sysroot DIR] [--verbose]\n\ncommands:\n");
    for (const Command& c : kCommands)
        fprintf(out, "  %-14s  %s\n", c.name, c.summary);
    fprintf(out, "\noptions:\n%s", kCommonOptions);
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
    if (argc < 2)
        return UsageError("no command given");
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help")
    {
        PrintUsage(stdout);
        return QelTool::kExitOk;
    }
    const Command* command = nullptr;
    for (const Command& c : kCommands)
        if (name == c.name)
            command = &c;
    if (command == nullptr)
        return UsageError("unknown command '" + name + "'");

    Context context;
    std::vector<std::string> rest;
    for (int i = 2; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (arg == "--verbose" || arg == "-v")
        {
            context.verbose = true;
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
        else if (arg == "-h" || arg == "--help")
        {
            PrintUsage(stdout);
            return QelTool::kExitOk;
        }
        else
        {
            rest.push_back(arg);
        }
    }

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
