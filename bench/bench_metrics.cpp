// What one `qelsensors metrics` costs on every simulated till: the whole pass as the command makes
// it in-process (CChip start, every sensor, the SSDs on the Falcon, the event log, the exposition),
// and the exposition text alone from readings already taken. Counters: the exposition's samples and
// bytes, and the port accesses of a pass. Run with --benchmark_repetitions=N for a median.
#include "BenchSupport.h"
#include "Metrics.h"
#include "Readings.h"
#include "chip.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>

namespace
{
using QelBench::BusAccesses;
using QelBench::QuietStdout;
using BenchMachine = QelBench::ServedMachine;

BenchMachine& MachineFor(const std::string& path)
{
    static std::map<std::string, std::unique_ptr<BenchMachine>> machines;
    std::unique_ptr<BenchMachine>& machine = machines[path];
    if (!machine)
    {
        machine.reset(new BenchMachine(path));
        // The Falcon publishes its SSDs, as a till configured for them does.
        if (machine->Why().empty())
            std::ofstream(machine->Root() + "/etc/tarn/sensor.conf") << "NvmeReadings=1\n";
    }
    machine->Select();
    return *machine;
}

size_t SampleCount(const std::string& text)
{
    size_t samples = 0;
    for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1)
    {
        samples += text[at] != '#';
        if (text.find('\n', at) == std::string::npos)
            break;
    }
    return samples;
}

std::string Pass()
{
    CChip chip;
    const QelTool::MachineReadings machine = QelTool::ReadMachine(chip);
    const QelTool::EventLogReading log = QelTool::ReadEventLog(chip, machine.started);
    return QelTool::MetricsText(machine, log, {"model", "bios", "version"}, 0);
}

void BM_MetricsPass(benchmark::State& state, const std::string& path)
{
    BenchMachine& machine = MachineFor(path);
    if (!QelBench::Ready(state, machine))
        return;
    QuietStdout quiet;
    std::string text;
    const uint64_t before = BusAccesses(machine.Bus());
    for (auto _ : state)
        text = Pass();
    if (text.find("qel_up 1\n") == std::string::npos || text.find("qel_sel_up 1\n") == std::string::npos)
        state.SkipWithError("the pass did not read the machine");
    state.counters["samples"] = static_cast<double>(SampleCount(text));
    state.counters["bytes"] = static_cast<double>(text.size());
    state.counters["accesses"] = benchmark::Counter(static_cast<double>(BusAccesses(machine.Bus()) - before),
                                                    benchmark::Counter::kAvgIterations);
}

void BM_MetricsText(benchmark::State& state, const std::string& path)
{
    BenchMachine& machine = MachineFor(path);
    if (!QelBench::Ready(state, machine))
        return;
    QuietStdout quiet;
    CChip chip;
    const QelTool::MachineReadings readings = QelTool::ReadMachine(chip);
    const QelTool::EventLogReading log = QelTool::ReadEventLog(chip, readings.started);
    std::string text;
    for (auto _ : state)
    {
        text = QelTool::MetricsText(readings, log, {"model", "bios", "version"}, 0);
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["bytes"] = static_cast<double>(text.size());
}
}  // namespace

int main(int argc, char** argv)
{
    for (const std::string& path : QelSim::ShippedProfiles())
    {
        const std::string name =
            path.substr(path.find_last_of('/') + 1, path.size() - path.find_last_of('/') - 6);
        benchmark::RegisterBenchmark(("MetricsPass/" + name).c_str(), BM_MetricsPass, path)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("MetricsText/" + name).c_str(), BM_MetricsText, path)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
