// What the benchmark programs share: a simulated machine served by a thread of the program, a
// throw-away system root for a machine image, the port bus's access count, and standard output
// sent away while the libraries' fixed debug lines would dominate a timing.
#pragma once

#include "FuseMount.h"
#include "Machine.h"
#include "Profile.h"
#include "SysRoot.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace QelBench
{
inline uint64_t BusAccesses(QelSim::PortBus& bus)
{
    const QelSim::PortStats stats = bus.Stats();
    return stats.reads + stats.writes;
}

// A profile (a path, or the name of a shipped one) brought up in a temporary root, its ports
// served by a thread, the libraries logging at their default level; taken down when the object
// goes. Why() says why it could not be brought up.
class ServedMachine
{
public:
    explicit ServedMachine(const std::string& profile)
    {
        m_why = QelSim::FuseMount::Unavailable();
        if (!m_why.empty())
            return;
        char pattern[] = "/tmp/qel-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
        {
            m_why = "mkdtemp failed";
            return;
        }
        m_root = pattern;
        try
        {
            m_profile = QelSim::LoadProfile(QelSim::FindProfile(profile));
            m_machine.reset(new QelSim::Machine(m_profile, m_root));
            m_machine->ServeInBackground();
            std::ofstream(m_root + "/etc/tarn/log.conf") << "Level=2\n";
        }
        catch (const std::exception& e)
        {
            m_why = e.what();
            m_machine.reset();
        }
    }
    ~ServedMachine()
    {
        m_machine.reset();
        if (m_root.empty())
            return;
        try
        {
            QelSim::RemoveRoot(m_root);
        }
        catch (const std::exception& e)
        {
            fprintf(stderr, "%s\n", e.what());
        }
    }
    ServedMachine(const ServedMachine&) = delete;
    ServedMachine& operator=(const ServedMachine&) = delete;

    // Points the libraries at this machine.
    void Select() const { setenv(QelSys::kSysRootVariable, m_root.c_str(), 1); }
    const std::string& Why() const { return m_why; }
    const std::string& Root() const { return m_root; }
    const QelSim::Profile& Profile() const { return m_profile; }
    QelSim::PortBus& Bus() { return m_machine->Bus(); }

private:
    std::string m_why;
    std::string m_root;
    QelSim::Profile m_profile;
    std::unique_ptr<QelSim::Machine> m_machine;
};

// False, with the benchmark marked skipped, when the machine is not there.
inline bool Ready(benchmark::State& state, const ServedMachine& machine)
{
    if (machine.Why().empty())
        return true;
    state.SkipWithError(machine.Why().c_str());
    return false;
}

// A temporary directory for a machine image, removed with everything in it when the object goes.
class ImageRoot
{
public:
    ImageRoot()
    {
        char pattern[] = "/tmp/qel-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
        {
            perror("mkdtemp");
            exit(1);
        }
        m_path = pattern;
    }
    ~ImageRoot() { nftw(m_path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }
    ImageRoot(const ImageRoot&) = delete;
    ImageRoot& operator=(const ImageRoot&) = delete;

    const std::string& Path() const { return m_path; }

private:
    static int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }
    std::string m_path;
};

// Sends standard output to /dev/null for the life of the object.
class QuietStdout
{
public:
    QuietStdout()
    {
        fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0)
        {
            dup2(null, STDOUT_FILENO);
            close(null);
        }
    }
    ~QuietStdout()
    {
        fflush(stdout);
        if (m_saved >= 0)
        {
            dup2(m_saved, STDOUT_FILENO);
            close(m_saved);
        }
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int m_saved = -1;
};
}  // namespace QelBench
