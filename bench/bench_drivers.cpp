// What the chip drivers cost on the simulated machines: port accesses, system calls and the lock
// calls of the turn at the ports per ReadSensor for a voltage, a fan and a temperature of every
// chip kind, the time of one driver Initialise, and the share of it that the bank dump takes.
//
// Accesses are the port bus's own counters (reads + writes) over the timed loop; system calls are
// the read and write calls of the benchmark's thread (/proc/thread-self/io), which the FUSE
// server's thread does not touch. Logging runs at its default level, as on a till.
#include "BenchSupport.h"
#include "ChipDevice.h"
#include "ChipDeviceFactory.h"
#include "ChipDriver.h"
#include "NuvotonChips.h"
#include "POSSystem.h"
#include "PortTurn.h"
#include "Profile.h"
#include "RawSMBios.h"
#include "SMBiosChipData.h"
#include "SysRoot.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

namespace
{
const char* const kProfiles[] = {"ambercoral", "larchmoss", "jetivory", "fenwick",
                                 "cedarhi",    "osprey",    "wren",     "falcon"};

uint64_t ThreadSystemCalls()
{
    char text[512] = {};
    const int fd = open("/proc/thread-self/io", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    const ssize_t n = read(fd, text, sizeof(text) - 1);
    close(fd);
    uint64_t total = 0;
    for (const char* key : {"syscr: ", "syscw: "})
        if (const char* at = n > 0 ? strstr(text, key) : nullptr)
            total += strtoull(at + strlen(key), nullptr, 10);
    return total;
}

using QelBench::BusAccesses;
using QelBench::Ready;
using BenchMachine = QelBench::ServedMachine;

// One served machine per profile, brought up on first use and taken down at exit.
BenchMachine& MachineFor(const std::string& name)
{
    static std::map<std::string, std::unique_ptr<BenchMachine>> machines;
    std::unique_ptr<BenchMachine>& machine = machines[name];
    if (!machine)
        machine.reset(new BenchMachine(name));
    machine->Select();
    CPOSSystem::s_instance.SetBiosVersion(machine->Profile().bios.version);
    return *machine;
}

// The machine's SMBIOS copy and chip records, as the chip manager holds them while it starts.
struct Smbios
{
    CRawSMBios raw;
    CSMBiosChipData chips;
    bool Load()
    {
        // The table copy prints its fixed debug lines; keep them out of the results.
        QelBench::QuietStdout quiet;
        return raw.Initialise() && chips.Initialise(raw);
    }
};

std::unique_ptr<CChipDevice> StartedDriver(Smbios& smbios)
{
    std::unique_ptr<CChipDevice> device(CChipDeviceFactory::CreateInstance(nullptr, smbios.chips, 0));
    if (device && device->Initialise(smbios.raw) != SS_SUCCESS)
        device.reset();
    return device;
}

void BM_ReadSensor(benchmark::State& state, const char* profile, uint32_t kind)
{
    BenchMachine& machine = MachineFor(profile);
    if (!Ready(state, machine))
        return;
    Smbios smbios;
    std::unique_ptr<CChipDevice> device = smbios.Load() ? StartedDriver(smbios) : nullptr;
    if (!device)
    {
        state.SkipWithError("driver did not start");
        return;
    }
    std::list<uint16_t> handles;
    device->GetSensorHandles(handles);
    uint16_t handle = 0;
    bool found = false;
    for (uint16_t h : handles)
    {
        if (device->m_Sensors.Get(h)->dwSensorType == kind)
        {
            handle = h;
            found = true;
            break;
        }
    }
    if (!found)
    {
        state.SkipWithError("no sensor of that kind");
        return;
    }

    CSensorReading reading;
    reading.Translate = 1;
    const uint64_t accesses = BusAccesses(machine.Bus());
    const uint64_t calls = ThreadSystemCalls();
    const uint64_t turns = PortTurn::SystemCalls();
    for (auto _ : state)
    {
        device->ReadSensor(handle, reading);
        benchmark::DoNotOptimize(reading.CurrentReading);
    }
    const uint64_t syscalls = ThreadSystemCalls() - calls - 1;  // less the first count's own read
    const double n = static_cast<double>(state.iterations());
    state.counters["accesses"] = static_cast<double>(BusAccesses(machine.Bus()) - accesses) / n;
    // Port accesses, and the lock calls of the turn at the ports, per reading.
    state.counters["syscalls"] = static_cast<double>(syscalls) / n;
    state.counters["turnCalls"] = static_cast<double>(PortTurn::SystemCalls() - turns) / n;
}

void BM_Initialise(benchmark::State& state, const char* profile)
{
    BenchMachine& machine = MachineFor(profile);
    if (!Ready(state, machine))
        return;
    Smbios smbios;
    if (!smbios.Load())
    {
        state.SkipWithError("no SMBIOS");
        return;
    }
    const uint64_t accesses = BusAccesses(machine.Bus());
    for (auto _ : state)
    {
        std::unique_ptr<CChipDevice> device = StartedDriver(smbios);
        if (!device)
        {
            state.SkipWithError("driver did not start");
            return;
        }
    }
    state.counters["accesses"] =
        static_cast<double>(BusAccesses(machine.Bus()) - accesses) / static_cast<double>(state.iterations());
}

// The dump alone, through an access object that found the chip.
template <class Sio>
void BM_BankDump(benchmark::State& state, const char* profile, uint16_t deviceId, unsigned banks)
{
    BenchMachine& machine = MachineFor(profile);
    if (!Ready(state, machine))
        return;
    Sio sio;
    if (!sio.m_Port.initialise() ||
        (sio.getDevice(deviceId, 0x2E) != 0 && sio.getDevice(deviceId, 0x4E) != 0))
    {
        state.SkipWithError("chip not found");
        return;
    }
    sio.m_bInit = true;
    const uint64_t accesses = BusAccesses(machine.Bus());
    for (auto _ : state)
        for (unsigned bank = 0; bank < banks; ++bank)
            sio.dbgDumpBank(static_cast<uint8_t>(bank));
    state.counters["accesses"] =
        static_cast<double>(BusAccesses(machine.Bus()) - accesses) / static_cast<double>(state.iterations());
}

void Register()
{
    const struct
    {
        uint32_t kind;
        const char* name;
    } kinds[] = {{SENSOR_KIND_VOLTAGE, "voltage"},
                 {SENSOR_KIND_COOLING, "fan"},
                 {SENSOR_KIND_TEMPERATURE, "temperature"}};
    for (const char* profile : kProfiles)
        for (const auto& kind : kinds)
            benchmark::RegisterBenchmark((std::string("ReadSensor/") + profile + "/" + kind.name).c_str(),
                                         BM_ReadSensor, profile, kind.kind)
                ->Unit(benchmark::kMicrosecond);
    for (const char* profile : kProfiles)
        benchmark::RegisterBenchmark((std::string("Initialise/") + profile).c_str(), BM_Initialise, profile)
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BankDump/ambercoral", BM_BankDump<NCT6796DSioIo>, "ambercoral", 0xD420, 11)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BankDump/larchmoss", BM_BankDump<NCT6793DSioIo>, "larchmoss", 0xD120, 11)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BankDump/jetivory", BM_BankDump<NCT6776SioIo>, "jetivory", 0xC330, 11)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BankDump/fenwick", BM_BankDump<Nct6106SioIo>, "fenwick", 0xC450, 4)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BankDump/cedarhi", BM_BankDump<w83627ehfSioIo>, "cedarhi", 0xB070, 4)
        ->Unit(benchmark::kMillisecond);
}
}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Register();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
