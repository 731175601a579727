// What the sensor library costs through its front door, on every simulated machine: one
// CChip::Initialise (SMBIOS copy, model check, driver start, first event-log read), and one pass
// of ReadSensor over every handle, as the CIM provider makes it for an enumeration.
//
// Accesses are the port bus's own counters (reads + writes) per iteration. Logging runs at its
// default level, as on a till; the libraries' fixed debug lines go to /dev/null while timing.
#include "BenchSupport.h"
#include "SysRoot.h"
#include "chip.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

namespace
{
using QelBench::BusAccesses;
using QelBench::QuietStdout;
using BenchMachine = QelBench::ServedMachine;

// One served machine per profile, brought up on first use and taken down at exit.
BenchMachine& MachineFor(const std::string& path)
{
    static std::map<std::string, std::unique_ptr<BenchMachine>> machines;
    std::unique_ptr<BenchMachine>& machine = machines[path];
    if (!machine)
        machine.reset(new BenchMachine(path));
    machine->Select();
    return *machine;
}

void BM_Initialise(benchmark::State& state, const std::string& path)
{
    BenchMachine& machine = MachineFor(path);
    if (!machine.Why().empty())
    {
        state.SkipWithError(machine.Why().c_str());
        return;
    }
    QuietStdout quiet;
    const uint64_t before = BusAccesses(machine.Bus());
    for (auto _ : state)
    {
        CChip chip;
        if (chip.Initialise() != SS_SUCCESS)
        {
            state.SkipWithError("CChip::Initialise failed");
            break;
        }
    }
    state.counters["accesses"] = benchmark::Counter(static_cast<double>(BusAccesses(machine.Bus()) - before),
                                                    benchmark::Counter::kAvgIterations);
}

void BM_ReadEverySensor(benchmark::State& state, const std::string& path)
{
    BenchMachine& machine = MachineFor(path);
    if (!machine.Why().empty())
    {
        state.SkipWithError(machine.Why().c_str());
        return;
    }
    QuietStdout quiet;
    CChip chip;
    CSensorHandleList handles;
    if (chip.Initialise() != SS_SUCCESS || chip.EnumerateSensorHandles(handles) != SS_SUCCESS)
    {
        state.SkipWithError("CChip did not start");
        return;
    }
    const uint64_t before = BusAccesses(machine.Bus());
    for (auto _ : state)
    {
        for (SENSOR_HANDLE handle : handles)
        {
            CSensorReading reading;
            reading.Translate = 1;
            if (chip.ReadSensor(handle, reading) != SS_SUCCESS)
                state.SkipWithError("ReadSensor failed");
            benchmark::DoNotOptimize(reading.CurrentReading);
        }
    }
    const double accesses = static_cast<double>(BusAccesses(machine.Bus()) - before);
    state.counters["sensors"] = static_cast<double>(handles.size());
    state.counters["accesses"] = benchmark::Counter(accesses, benchmark::Counter::kAvgIterations);
    state.counters["perSensor"] = benchmark::Counter(accesses / static_cast<double>(handles.size()),
                                                     benchmark::Counter::kAvgIterations);
}
}  // namespace

int main(int argc, char** argv)
{
    for (const std::string& path : QelSim::ShippedProfiles())
    {
        const std::string name =
            path.substr(path.find_last_of('/') + 1, path.size() - path.find_last_of('/') - 6);
        benchmark::RegisterBenchmark(("Initialise/" + name).c_str(), BM_Initialise, path)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ReadEverySensor/" + name).c_str(), BM_ReadEverySensor, path)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
