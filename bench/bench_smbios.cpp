// Time to find the entry point, copy the table and store the BIOS information of the sample
// machine: the work CChipManager does once at start-up, and the event log on every refresh.
#include "BenchSupport.h"
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
// One image per process, removed at exit.
class SampleRoot : public QelBench::ImageRoot
{
public:
    explicit SampleRoot(bool efi) { QelSim::SampleMachine(efi).Write(Path()); }
};

void InitialiseSample(benchmark::State& state, bool efi)
{
    static SampleRoot legacyRoot(false);
    static SampleRoot efiRoot(true);
    setenv(QelSys::kSysRootVariable, (efi ? efiRoot : legacyRoot).Path().c_str(), 1);

    QelBench::QuietStdout quiet;
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
