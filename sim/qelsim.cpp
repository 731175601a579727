// qelsim: builds (and later serves) a simulated point-of-sale machine under a system root.
#include "SampleMachine.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
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

int RunSample(const std::vector<std::string>& args)
{
    std::string root;
    bool efi = false;
    for (const std::string& arg : args)
    {
        if (arg == "--efi")
            efi = true;
        else if (!arg.empty() && arg[0] == '-')
            return UsageError("sample", "unknown option " + arg);
        else if (root.empty())
            root = arg;
        else
            return UsageError("sample", "more than one ROOT given");
    }
    if (root.empty())
        return UsageError("sample", "ROOT missing");

    try
    {
        QelSim::SampleMachine(efi).Write(root);
    }
    catch (const std::exception& e)
    {
        fprintf(stderr, "qelsim sample: %s\n", e.what());
        return kExitFailure;
    }
    printf("sample %s machine written to %s (use QEL_SYSROOT=%s)\n", efi ? "UEFI" : "legacy BIOS",
           root.c_str(), root.c_str());
    return kExitOk;
}

const Command kCommands[] = {
    {"sample", "ROOT [--efi]", "write the sample machine image into ROOT (created if missing)", RunSample},
};

void PrintUsage(FILE* out)
{
    fprintf(out, "usage: qelsim COMMAND [ARGS]\n\ncommands:\n");
    for (const Command& c : kCommands)
        fprintf(out, "  %s %s\n      %s\n", c.name, c.arguments, c.summary);
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
    for (const Command& c : kCommands)
    {
        if (name == c.name)
            return c.run(std::vector<std::string>(argv + 2, argv + argc));
    }
    fprintf(stderr, "qelsim: unknown command '%s'\n", name.c_str());
    PrintUsage(stderr);
    return kExitUsage;
}
