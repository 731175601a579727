// The subcommands of qelsensors and what they share.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace QelTool
{
// Exit codes. A library failure outranks the sensors: when something could not be read, the
// picture is incomplete, whatever the readings that came through say.
constexpr int kExitOk = 0;        // everything read, every reading within its limits
constexpr int kExitFailure = 1;   // the machine could not be read (a library status, no root, ...)
constexpr int kExitUsage = 2;     // bad command line
constexpr int kExitWarning = 3;   // the worst reading is beyond a non-critical limit
constexpr int kExitCritical = 4;  // ... beyond a critical limit
constexpr int kExitFatal = 5;     // ... beyond a non-recoverable limit

struct Context
{
    FILE* out = stdout;  // the tool's own output; the libraries' fixed debug lines go elsewhere
    bool verbose = false;
    bool json = false;
};

// Each returns an exit code; args are those left after the common options.
int RunSensors(Context& context, const std::vector<std::string>& args);
int RunSmbios(Context& context, const std::vector<std::string>& args);
int RunSel(Context& context, const std::vector<std::string>& args);
int RunCim(Context& context, const std::vector<std::string>& args);
const char* CimUsage();
int RunMetrics(Context& context, const std::vector<std::string>& args);
const char* MetricsUsage();
int RunCapture(Context& context, const std::vector<std::string>& args);
int RunCheck(Context& context, const std::vector<std::string>& args);
const char* CheckUsage();
const char* CaptureUsage();
}  // namespace QelTool
