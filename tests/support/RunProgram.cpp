#include "RunProgram.h"

#include "TempSysRoot.h"

#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace QelTest
{
ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args)
{
    char outName[] = "/tmp/qel-run-out-XXXXXX";
    char errName[] = "/tmp/qel-run-err-XXXXXX";
    int out = mkstemp(outName);
    int err = mkstemp(errName);
    if (out < 0 || err < 0)
        throw std::runtime_error("mkstemp failed");

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    ProgramResult result;
    pid_t pid = 0;
    if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ) == 0)
    {
        int status = 0;
        waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out);
    close(err);
    result.out = ReadTextFile(outName);
    result.err = ReadTextFile(errName);
    unlink(outName);
    unlink(errName);
    return result;
}

std::string BuiltProgram(const std::string& relative)
{
    return std::string(QEL_BUILD_DIR) + "/" + relative;
}
}  // namespace QelTest
