// The configuration reader on its own, fed through a memory stream.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "LogHandler.h"

namespace
{
const char* const kRoot = "/nonexistent/qel-log-config-test";

// All four settings after reading text on top of the defaults: "level|file|limit|console", with
// "-" for the default file.
std::string Settings(const std::string& text)
{
    FileLogHandler handler;
    if (!text.empty())
    {
        FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
        if (file == nullptr)
            return "fmemopen failed";
        handler.ReadConfig(file);
        fclose(file);
    }
    std::string name = handler.GetFileName();
    if (name == std::string(kRoot) + "/var/log/tarn/tarn.log")
        name = "-";
    return std::to_string(handler.GetLevel()) + "|" + name + "|" + std::to_string(handler.GetMaxLength()) +
           "|" + (handler.IsConsole() ? "1" : "0");
}
}  // namespace

TEST(LogConfig, EachKeyAndItsBadValues)
{
    const char* previous = getenv("QEL_SYSROOT");
    std::string previousRoot = previous != nullptr ? previous : "";
    setenv("QEL_SYSROOT", kRoot, 1);  // no configuration there: the defaults

    const std::pair<std::string, const char*> cases[] = {
        {"", "2|-|10485760|0"},
        {"Level=4\n", "4|-|10485760|0"},
        {"Level=0\n", "0|-|10485760|0"},
        {"Level=5\n", "2|-|10485760|0"},
        {"Level=abc\n", "2|-|10485760|0"},
        {"Level=-1\n", "2|-|10485760|0"},
        {"Level=99999999999999999999999\n", "2|-|10485760|0"},
        {"Level=3\nLevel=x\n", "3|-|10485760|0"},  // a bad value keeps the previous one
        {"Level=1\nLevel=3\n", "3|-|10485760|0"},
        {"MaxLength=0\n", "2|-|4096|0"},
        {"MaxLength=1000\n", "2|-|4096|0"},
        {"MaxLength=5000\nMaxLength=none\n", "2|-|5000|0"},
        {"IsConsole=1\n", "2|-|10485760|1"},
        {"IsConsole=True\n", "2|-|10485760|1"},
        {"IsConsole=t\n", "2|-|10485760|1"},
        {"IsConsole=0\nIsConsole=false\nIsConsole=F\nIsConsole=\n", "2|-|10485760|0"},
        {"IsConsole=1\nIsConsole=0\n", "2|-|10485760|1"},  // only ever turned on
        {"FileName=/tmp/a.log\nFileName=\n", "2|/tmp/a.log|10485760|0"},
        {"FileName=/tmp/a.log\nFileName=/tmp/b.log\n", "2|/tmp/b.log|10485760|0"},
        // Keys are exact and need an "=" after them.
        {"Level = 4\n Level=4\nlevel=4\n=Level=4\nLevel\n4\n\n=\n", "2|-|10485760|0"},
        {"# comment\nUnknown=1\nLevel=3\n", "3|-|10485760|0"},
        // Only a real newline ends a value; a last line without one keeps its last character.
        {"FileName=/var/log/pos.log", "2|/var/log/pos.log|10485760|0"},
        {"Level=4", "4|-|10485760|0"},
        {"Level=42", "2|-|10485760|0"},
        {"MaxLength=20000", "2|-|20000|0"},
        {"FileName=/tmp/x.log\nLevel=", "2|/tmp/x.log|10485760|0"},
        // A NUL byte ends the text of its line only.
        {std::string("Level=3\0junk\nMaxLength=9000\n", 28), "3|-|9000|0"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(Settings(text), expected) << "configuration: " << text;

    setenv("QEL_SYSROOT", previousRoot.c_str(), 1);
}
