// What one I/O port access costs on the simulated machine: through the FUSE mount, as the
// library's pread/pwrite on dev/port pays it, and on the port bus alone (the models' share). And
// what the provider pays for an NVMe SSD: one temperature read (open, one admin command, close) and
// the start-up scan of the Falcon's two controllers.
#include "BenchSupport.h"
#include "NvmeSsd.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace
{
// The NCT6796D's hardware monitor in the AmberCoral profile.
constexpr uint16_t kIndexPort = 0x0A25;
constexpr uint16_t kDataPort = 0x0A26;

using QelBench::ServedMachine;

// The AmberCoral, with its port device open for the whole run.
ServedMachine& Machine()
{
    static ServedMachine machine("ambercoral");
    return machine;
}

int PortFd()
{
    static const int fd =
        Machine().Why().empty() ? open((Machine().Root() + "/dev/port").c_str(), O_RDWR | O_CLOEXEC) : -1;
    return fd;
}

// The Falcon, with its two NVMe SSDs, seen by the library through QEL_SYSROOT.
ServedMachine& Falcon()
{
    static ServedMachine machine("falcon");
    machine.Select();
    return machine;
}

void Out(int fd, uint16_t port, uint8_t value)
{
    if (pwrite(fd, &value, 1, port) != 1)
        abort();
}

uint8_t In(int fd, uint16_t port)
{
    uint8_t value = 0;
    if (pread(fd, &value, 1, port) != 1)
        abort();
    return value;
}

bool Ready(benchmark::State& state, ServedMachine& machine = Machine())
{
    if (!QelBench::Ready(state, machine))
        return false;
    if (&machine == &Machine() && PortFd() < 0)
    {
        state.SkipWithError("cannot open dev/port");
        return false;
    }
    return true;
}

void BM_PortReadThroughMount(benchmark::State& state)
{
    if (!Ready(state))
        return;
    const int fd = PortFd();
    for (auto _ : state)
        benchmark::DoNotOptimize(In(fd, kDataPort));
    state.SetItemsProcessed(state.iterations());
}

void BM_PortWriteThroughMount(benchmark::State& state)
{
    if (!Ready(state))
        return;
    const int fd = PortFd();
    for (auto _ : state)
        Out(fd, kIndexPort, 0x80);
    state.SetItemsProcessed(state.iterations());
}

// One banked register as the Nuvoton drivers read it: bank select, bank, index, data.
void BM_BankedRegisterThroughMount(benchmark::State& state)
{
    if (!Ready(state))
        return;
    const int fd = PortFd();
    for (auto _ : state)
    {
        Out(fd, kIndexPort, 0x4E);
        Out(fd, kDataPort, 4);
        Out(fd, kIndexPort, 0x80);
        benchmark::DoNotOptimize(In(fd, kDataPort));
    }
    state.SetItemsProcessed(state.iterations() * 4);
}

void BM_PortReadOnBus(benchmark::State& state)
{
    if (!Ready(state))
        return;
    QelSim::PortBus& bus = Machine().Bus();
    for (auto _ : state)
        benchmark::DoNotOptimize(bus.Read(kDataPort));
    state.SetItemsProcessed(state.iterations());
}
void BM_SsdTemperature(benchmark::State& state)
{
    if (!Ready(state, Falcon()))
        return;
    NvmeSsd nvme;
    if (!nvme.scanNVMeDevices())
    {
        state.SkipWithError("no SSD found");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(nvme.getSsdTemperature(0));
}

void BM_SsdScanTwoControllers(benchmark::State& state)
{
    if (!Ready(state, Falcon()))
        return;
    for (auto _ : state)
    {
        NvmeSsd nvme;
        benchmark::DoNotOptimize(nvme.scanNVMeDevices());
    }
}
}  // namespace

BENCHMARK(BM_PortReadThroughMount)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PortWriteThroughMount)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_BankedRegisterThroughMount)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PortReadOnBus)->Unit(benchmark::kNanosecond)->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK(BM_SsdTemperature)->Unit(benchmark::kMicrosecond)->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK(BM_SsdScanTwoControllers)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
