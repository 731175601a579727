// Runs one of the project's programs and collects what it printed.
#pragma once

#include <string>
#include <vector>

namespace QelTest
{
struct ProgramResult
{
    int exitCode = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args);

// The same as an unprivileged user, the way a technician who forgot sudo runs a tool: as nobody
// (uid and gid 65534) when the caller is root, as the caller otherwise. Exit code 127 when the
// user could not be changed.
constexpr unsigned kNobody = 65534;
ProgramResult RunProgramAsNobody(const std::string& path, const std::vector<std::string>& args);

// A program built by this tree (under QEL_BUILD_DIR).
std::string BuiltProgram(const std::string& relative);
}  // namespace QelTest
