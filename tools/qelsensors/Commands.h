// The subcommands of qelsensors and what they share.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace QelTool
{
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Context
{
    FILE* out = stdout;  // the tool's own output; the libraries' fixed debug lines go elsewhere
    bool verbose = false;
};

// Each returns an exit code; args are those left after the common options.
int RunSmbios(Context& context, const std::vector<std::string>& args);
int RunSel(Context& context, const std::vector<std::string>& args);
}  // namespace QelTool
