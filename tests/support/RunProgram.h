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

// A program built by this tree (under QEL_BUILD_DIR).
std::string BuiltProgram(const std::string& relative);
}  // namespace QelTest
