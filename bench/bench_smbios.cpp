// Time to find the entry point, copy the table and store the BIOS information of the sample
// machine: the work CChipManager does once at start-up, and the event log on every refresh.
#include "RawSMBios.h"
#include "SMBiosMachineData.h"
#include "SampleMachine.h"
#include "SysRoot.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <ftw.h>
#include <string>
#include <unistd.h>

namespace
{
int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return remove(path);
}

// One image per process, removed at exit.
class SampleRoot
{
public:
    explicit SampleRoot(bool efi)
    {
        char pattern[] = "/tmp/qel-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
        {
            perror("mkdtemp");
            exit(1);
        }
        m_path = pattern;
        QelSim::SampleMachine(efi).Write(m_path);
    }
    ~SampleRoot() { nftw(m_path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// The library's fixed debug lines would dominate the timing on a terminal.
class QuietStdout
{
public:
    QuietStdout()
    {
        fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~QuietStdout()
    {
        fflush(stdout);
        dup2(m_saved, STDOUT_FILENO);
        close(m_saved);
    }

private:
    int m_saved;
};

void InitialiseSample(benchmark::State& state, bool efi)
{
    static SampleRoot legacyRoot(false);
    static SampleRoot efiRoot(true);
    setenv(QelSys::kSysRootVariable, (efi ? efiRoot : legacyRoot).Path().c_str(), 1);

    QuietStdout quiet;
    for (auto _ : state)
    {
        CRawSMBios raw;
        CSMBiosMachineData machine;
        bool ok = raw.Initialise() && machine.Initialise(raw);
        benchmark::DoNotOptimize(ok);
        if (!ok)
        {
            state.SkipWithError("the sample image did not initialise");
            break;
        }
    }
}

void BM_InitialiseLegacy(benchmark::State& state)
{
    InitialiseSample(state, false);
}
void BM_InitialiseEfi(benchmark::State& state)
{
    InitialiseSample(state, true);
}
}  // namespace

BENCHMARK(BM_InitialiseLegacy)->Unit(benchmark::kMicrosecond)->Repetitions(20)->ReportAggregatesOnly(true);
BENCHMARK(BM_InitialiseEfi)->Unit(benchmark::kMicrosecond)->Repetitions(20)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
