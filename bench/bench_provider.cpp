// What the CIM provider costs under an object manager: libqelsensors loaded through the CMPI host
// of qelsensors (dlopen, factory, requests) against simulated machines.
//
//   EnumerateSensors/<profile>/cached   every PXT_NumericSensor instance, inside the 1 s throttle
//                                       window: no chip access (accesses/request shows it)
//   EnumerateSensors/<profile>/read     the same with every sensor due: one reading each
//   GetEventLog/<profile>               the PXT_SystemEventLog instance (read and decoded afresh)
//   RequestLatency/<profile>/alone      gets of single sensors, each due (so each reads its chip),
//                                       for 10 s: median and 99th percentile of the request time
//   RequestLatency/<profile>/metrics    the same while `qelsensors metrics` runs again and again
//                                       against the same till, taking turns at its ports
//   Soak/<requests>                     that many requests in one process: resident memory before
//                                       and after, broker objects left
//
// QEL_BENCH_SOAK_REQUESTS sets the soak's length (default 10000), for a shorter run under
// valgrind. Logging runs at its default level, as on a till. The provider's fixed debug lines on
// standard output and standard error are discarded; the results go to the real standard output.
#include "BenchSupport.h"
#include "CimHost.h"
#include "SysRoot.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ext/stdio_filebuf.h>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace
{
const char kNameSpace[] = "root/cimv2";
const char kSensorClass[] = "PXT_NumericSensor";
const char kLogClass[] = "PXT_SystemEventLog";
const char kLogName[] = "Kestrel POS System Event Log";

// One served machine with the provider loaded against it. The provider is one per process, so
// only one of these exists at a time.
class ProviderMachine
{
public:
    explicit ProviderMachine(const std::string& name) : m_name(name), m_machine(name)
    {
        m_why = m_machine.Why();
        if (!m_why.empty())
            return;
        m_machine.Select();
        std::string error;
        if (!m_host.Load(QEL_PROVIDER_PATH, error))
            m_why = "cannot load the provider: " + error;
        else if (m_host.CreateMI().rc != CMPI_RC_OK)
            m_why = "the factory failed";
    }
    ~ProviderMachine()
    {
        m_host.Cleanup(false);
        std::string error;
        m_host.Unload(error);
    }
    ProviderMachine(const ProviderMachine&) = delete;
    ProviderMachine& operator=(const ProviderMachine&) = delete;

    const std::string& Name() const { return m_name; }
    const std::string& Why() const { return m_why; }
    const std::string& Root() const { return m_machine.Root(); }
    QelCim::Host& Host() { return m_host; }
    uint64_t Accesses() { return QelBench::BusAccesses(m_machine.Bus()); }

private:
    std::string m_name;
    std::string m_why;
    QelBench::ServedMachine m_machine;
    QelCim::Host m_host;  // after the machine: unloaded before it goes
};

std::unique_ptr<ProviderMachine> g_current;

ProviderMachine* Use(benchmark::State& state, const std::string& profile)
{
    if (!g_current || g_current->Name() != profile)
    {
        g_current.reset();
        g_current.reset(new ProviderMachine(profile));
    }
    if (!g_current->Why().empty())
    {
        state.SkipWithError(g_current->Why().c_str());
        return nullptr;
    }
    return g_current.get();
}

void WaitForReadings()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(1050));
}

void BM_EnumerateSensors(benchmark::State& state, const char* profile, bool due)
{
    ProviderMachine* machine = Use(state, profile);
    if (machine == nullptr)
        return;
    size_t instances = 0;
    uint64_t accesses = 0;
    if (!due)
        WaitForReadings();  // then one request reads them all: the window starts now
    machine->Host().EnumerateInstances(kNameSpace, kSensorClass);
    for (auto _ : state)
    {
        if (due)
        {
            state.PauseTiming();
            WaitForReadings();
            state.ResumeTiming();
        }
        const uint64_t before = machine->Accesses();
        const QelCim::Reply reply = machine->Host().EnumerateInstances(kNameSpace, kSensorClass);
        accesses += machine->Accesses() - before;
        if (!reply.Ok())
        {
            state.SkipWithError("enumeration failed");
            return;
        }
        instances = reply.instances.size();
    }
    state.counters["instances"] = static_cast<double>(instances);
    state.counters["accesses/request"] =
        benchmark::Counter(static_cast<double>(accesses), benchmark::Counter::kAvgIterations);
}

void BM_GetEventLog(benchmark::State& state, const char* profile)
{
    ProviderMachine* machine = Use(state, profile);
    if (machine == nullptr)
        return;
    size_t lines = 0;
    for (auto _ : state)
    {
        const QelCim::Reply reply = machine->Host().GetInstance(kNameSpace, kLogClass, kLogName);
        if (!reply.Ok() || reply.instances.empty())
        {
            state.SkipWithError("event log request failed");
            return;
        }
        const QelCim::Value* value = reply.instances[0].Property("LogLines");
        lines = value != nullptr ? value->elements.size() : 0;
    }
    state.counters["lines"] = static_cast<double>(lines);
}

// The Names of the sensor instances; none (and the benchmark skipped) when there are none.
// The machine of the profile with its sensors' names; null (the benchmark skipped) without the
// machine or without a sensor.
ProviderMachine* UseWithSensors(benchmark::State& state, const char* profile, std::vector<std::string>& names)
{
    ProviderMachine* machine = Use(state, profile);
    if (machine == nullptr)
        return nullptr;
    for (const QelCim::ObjectPath& path :
         machine->Host().EnumerateInstanceNames(kNameSpace, kSensorClass).paths)
        names.push_back(path.Key("Name")->text);
    if (names.empty())
    {
        state.SkipWithError("no sensors");
        return nullptr;
    }
    return machine;
}

// Runs the command until stop, one run after the other.
void RunUntil(const std::vector<std::string>& command, const std::atomic<bool>& stop, std::atomic<int>& runs)
{
    std::vector<char*> argv;
    for (const std::string& arg : command)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    while (!stop)
    {
        const pid_t pid = fork();
        if (pid == 0)
        {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        if (pid < 0 || waitpid(pid, &status, 0) != pid)
            return;
        ++runs;
    }
}

void BM_RequestLatency(benchmark::State& state, const char* profile, bool metricsLoop)
{
    std::vector<std::string> names;
    ProviderMachine* machine = UseWithSensors(state, profile, names);
    if (machine == nullptr)
        return;
    QelCim::Host& host = machine->Host();
    std::atomic<bool> stop{false};
    std::atomic<int> runs{0};
    std::thread loop;
    if (metricsLoop)
        loop = std::thread(RunUntil,
                           std::vector<std::string>{QEL_TOOL_PATH, "metrics", "--sysroot", machine->Root()},
                           std::cref(stop), std::ref(runs));
    // One sensor after the other, each once its reading interval has passed.
    const auto period = std::chrono::milliseconds(1000 / static_cast<int>(names.size()) + 5);
    WaitForReadings();
    std::vector<double> micros;
    int failed = 0;
    for (auto _ : state)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (size_t i = 0; std::chrono::steady_clock::now() < end; ++i)
        {
            const auto start = std::chrono::steady_clock::now();
            failed += host.GetInstance(kNameSpace, kSensorClass, names[i % names.size()]).Ok() ? 0 : 1;
            const auto took = std::chrono::steady_clock::now() - start;
            micros.push_back(std::chrono::duration<double, std::micro>(took).count());
            std::this_thread::sleep_until(start + period);
        }
    }
    stop = true;
    if (loop.joinable())
        loop.join();
    std::sort(micros.begin(), micros.end());
    const auto at = [&micros](double q)
    { return micros[static_cast<size_t>(q * static_cast<double>(micros.size() - 1))]; };
    state.counters["requests"] = static_cast<double>(micros.size());
    state.counters["failed"] = failed;
    state.counters["median_us"] = at(0.5);
    state.counters["p99_us"] = at(0.99);
    state.counters["metrics_runs"] = runs.load();
}

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, 6, "VmRSS:") == 0)
            return strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

int SoakRequests()
{
    const char* text = getenv("QEL_BENCH_SOAK_REQUESTS");
    const int n = text != nullptr ? atoi(text) : 0;
    return n > 0 ? n : 10000;
}

// A mix of what an object manager asks, in the proportions of a poller: enumerations of the
// sensors, gets of single sensors, the event log, names.
bool Request(QelCim::Host& host, int i, const std::vector<std::string>& names)
{
    switch (i % 8)
    {
    case 0:
        return host.GetInstance(kNameSpace, kLogClass, kLogName).Ok();
    case 1:
        return host.EnumerateInstanceNames(kNameSpace, kSensorClass).Ok();
    case 2:
    case 3:
        return host.GetInstance(kNameSpace, kSensorClass, names[static_cast<size_t>(i) % names.size()]).Ok();
    default:
        return host.EnumerateInstances(kNameSpace, kSensorClass).Ok();
    }
}

void BM_Soak(benchmark::State& state, const char* profile)
{
    std::vector<std::string> names;
    ProviderMachine* machine = UseWithSensors(state, profile, names);
    if (machine == nullptr)
        return;
    QelCim::Host& host = machine->Host();
    const int requests = SoakRequests();
    // Warm up: the allocator's pools and the stdio buffers reach their working size.
    for (int i = 0; i < 200; ++i)
        Request(host, i, names);
    const long before = ResidentKiB();
    int failed = 0;
    for (auto _ : state)
        for (int i = 0; i < requests; ++i)
            failed += Request(host, i, names) ? 0 : 1;
    const long after = ResidentKiB();
    state.counters["requests"] = requests;
    state.counters["failed"] = failed;
    state.counters["rss_before_KiB"] = static_cast<double>(before);
    state.counters["rss_after_KiB"] = static_cast<double>(after);
    state.counters["rss_growth_KiB"] = static_cast<double>(after - before);
    state.counters["broker_objects_left"] = static_cast<double>(QelCim::Broker::LiveObjects());
    state.counters["requests/s"] =
        benchmark::Counter(static_cast<double>(requests), benchmark::Counter::kIsIterationInvariantRate);
}

void Register()
{
    for (const char* profile : {"ambercoral", "fenwick", "falcon"})
    {
        const std::string name(profile);
        benchmark::RegisterBenchmark(("EnumerateSensors/" + name + "/cached").c_str(), BM_EnumerateSensors,
                                     profile, false)
            ->Unit(benchmark::kMicrosecond)
            ->MinTime(0.3);
        benchmark::RegisterBenchmark(("EnumerateSensors/" + name + "/read").c_str(), BM_EnumerateSensors,
                                     profile, true)
            ->Unit(benchmark::kMicrosecond)
            ->Iterations(5);
        benchmark::RegisterBenchmark(("GetEventLog/" + name).c_str(), BM_GetEventLog, profile)
            ->Unit(benchmark::kMicrosecond);
    }
    for (const char* profile : {"ambercoral", "wren"})
        for (const bool loop : {false, true})
            benchmark::RegisterBenchmark(
                ("RequestLatency/" + std::string(profile) + (loop ? "/metrics" : "/alone")).c_str(),
                BM_RequestLatency, profile, loop)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
    benchmark::RegisterBenchmark(("Soak/" + std::to_string(SoakRequests())).c_str(), BM_Soak, "ambercoral")
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
}

// The provider prints its fixed debug lines on both streams: keep them out of the results, which
// go to a duplicate of the real standard output.
std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> SeparateOutput()
{
    std::cout.flush();
    fflush(stdout);
    const int results = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (results < 0 || null < 0)
        return nullptr;
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    close(null);
    std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> buffer(
        new __gnu_cxx::stdio_filebuf<char>(results, std::ios::out));
    std::cout.rdbuf(buffer.get());
    return buffer;
}
}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::streambuf* original = std::cout.rdbuf();
    std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> results = SeparateOutput();
    Register();
    benchmark::RunSpecifiedBenchmarks();
    g_current.reset();  // cleanup and unload before the process ends
    benchmark::Shutdown();
    std::cout.flush();
    std::cout.rdbuf(original);
    return 0;
}
