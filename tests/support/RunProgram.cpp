#include "RunProgram.h"

#include "TempSysRoot.h"

#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace QelTest
{
namespace
{
std::vector<char*> Argv(const std::string& path, const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

// Runs start(out, err) with two fresh files for the program's output, which it answers with the
// program's pid (or -1), waits for it and collects what it printed.
template <typename Start>
ProgramResult Collect(Start start)
{
    char outName[] = "/tmp/qel-run-out-XXXXXX";
    char errName[] = "/tmp/qel-run-err-XXXXXX";
    const int out = mkstemp(outName);
    const int err = mkstemp(errName);
    if (out < 0 || err < 0)
        throw std::runtime_error("mkstemp failed");
    ProgramResult result;
    const pid_t pid = start(out, err);
    if (pid > 0)
    {
        int status = 0;
        waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    close(out);
    close(err);
    result.out = ReadTextFile(outName);
    result.err = ReadTextFile(errName);
    unlink(outName);
    unlink(errName);
    return result;
}
}  // namespace

ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args)
{
    return Collect(
        [&](int out, int err)
        {
            std::vector<char*> argv = Argv(path, args);
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
            posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
            pid_t pid = 0;
            if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ) != 0)
                pid = -1;
            posix_spawn_file_actions_destroy(&actions);
            return pid;
        });
}

ProgramResult RunProgramAsNobody(const std::string& path, const std::vector<std::string>& args)
{
    if (geteuid() != 0)
        return RunProgram(path, args);  // the caller is unprivileged already
    return Collect(
        [&](int out, int err)
        {
            std::vector<char*> argv = Argv(path, args);
            const pid_t pid = fork();
            if (pid == 0)
            {
                dup2(out, STDOUT_FILENO);
                dup2(err, STDERR_FILENO);
                // Without root's supplementary groups too: nobody is in none.
                if (setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0)
                    execv(path.c_str(), argv.data());
                _exit(127);
            }
            return pid;
        });
}

std::string BuiltProgram(const std::string& relative)
{
    return std::string(QEL_BUILD_DIR) + "/" + relative;
}
}  // namespace QelTest
