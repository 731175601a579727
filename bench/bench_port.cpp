// What one I/O port access costs on the simulated machine: through the FUSE mount, as the
// library's pread/pwrite on dev/port pays it, and on the port bus alone (the models' share). And
// what the provider pays for an NVMe SSD: one temperature read (open, one admin command, close) and
// the start-up scan of the Falcon's two controllers.
#include "FuseMount.h"
#include "Machine.h"
#include "NvmeSsd.h"
#include "Profile.h"

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

// One machine per process, served by a thread, taken down at exit.
class BenchMachine
{
public:
    explicit BenchMachine(const char* profile)
    {
        m_why = QelSim::FuseMount::Unavailable();
        if (!m_why.empty())
            return;
        char pattern[] = "/tmp/qel-bench-port-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
        {
            m_why = "mkdtemp failed";
            return;
        }
        m_root = pattern;
        try
        {
            m_machine.reset(new QelSim::Machine(QelSim::LoadProfile(QelSim::FindProfile(profile)), m_root));
            m_machine->ServeInBackground();
        }
        catch (const std::exception& e)
        {
            m_why = e.what();
            m_machine.reset();
            return;
        }
        m_fd = open((m_root + "/dev/port").c_str(), O_RDWR | O_CLOEXEC);
        if (m_fd < 0)
            m_why = "cannot open dev/port";
    }
    ~BenchMachine()
    {
        if (m_fd >= 0)
            close(m_fd);
        m_machine.reset();
        if (!m_root.empty())
        {
            try
            {
                QelSim::RemoveRoot(m_root);
            }
            catch (const std::exception& e)
            {
                fprintf(stderr, "%s\n", e.what());
            }
        }
    }
    const std::string& Why() const { return m_why; }
    const std::string& Root() const { return m_root; }
    int Fd() const { return m_fd; }
    QelSim::PortBus& Bus() { return m_machine->Bus(); }

private:
    std::string m_why;
    std::string m_root;
    std::unique_ptr<QelSim::Machine> m_machine;
    int m_fd = -1;
};

BenchMachine& Machine()
{
    static BenchMachine machine("ambercoral");
    return machine;
}

// The Falcon, with its two NVMe SSDs, seen by the library through QEL_SYSROOT.
BenchMachine& Falcon()
{
    static BenchMachine machine("falcon");
    if (machine.Why().empty())
        setenv("QEL_SYSROOT", machine.Root().c_str(), 1);
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

bool Ready(benchmark::State& state, BenchMachine& machine = Machine())
{
    if (!machine.Why().empty())
    {
        state.SkipWithError(machine.Why().c_str());
        return false;
    }
    return true;
}

void BM_PortReadThroughMount(benchmark::State& state)
{
    if (!Ready(state))
        return;
    const int fd = Machine().Fd();
    for (auto _ : state)
        benchmark::DoNotOptimize(In(fd, kDataPort));
    state.SetItemsProcessed(state.iterations());
}

void BM_PortWriteThroughMount(benchmark::State& state)
{
    if (!Ready(state))
        return;
    const int fd = Machine().Fd();
    for (auto _ : state)
        Out(fd, kIndexPort, 0x80);
    state.SetItemsProcessed(state.iterations());
}

// One banked register as the Nuvoton drivers read it: bank select, bank, index, data.
void BM_BankedRegisterThroughMount(benchmark::State& state)
{
    if (!Ready(state))
        return;
    const int fd = Machine().Fd();
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
