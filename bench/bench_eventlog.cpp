// Time of one event log request as GetSystemEventLog makes it: a fresh SMBIOS copy, the Type 15
// walk, the copy of a 4 KiB log area holding 100 records and their decoding into lines. Once
// with the log at its default level and once at trace level, where every step and the hex dump
// of the area are written.
#include "BenchSupport.h"
#include "EventLogArea.h"
#include "EventLogContainer.h"
#include "SMBiosSensorRecords.h"
#include "SensorRecordSource.h"
#include "SysRoot.h"
#include "log.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
QelImage::MachineImage BusyTill()
{
    using namespace QelImage;
    using namespace QelSim;
    BiosInformation bios;
    bios.vendor = "American Megatrends Inc.";
    bios.version = "K5 FALCON 1.05";
    MachineImage image;
    image.Add(MakeBiosInformation(bios));

    EventLogArea area;
    area.length = 4096;
    for (int i = 0; i < 100; ++i)
    {
        const EventTime t = Bcd(22, 1 + i % 12, 1 + i % 28, i % 24, i % 60, (i * 7) % 60);
        switch (i % 5)
        {
        case 0:
        case 1:
            area.records.push_back(OemRecord(i % 2 ? 0x17 : 0x01, t, {'I', "BIOS"}));
            break;
        case 2:
            area.records.push_back(
                PostErrorRecord(t, 1u << 28 | 1u << 3, 1u << 22, {'E', "POST"}, "WD12AB34"));
            break;
        case 3:
            area.records.push_back(LimitRecord(t, 0x31, 0xFFFFFFFF, {'E', "HWMON"}, 4650));
            break;
        default:
            area.records.push_back(DiskRecord(t, 1u << 29, {'I', "SATA"}, "SSD 128GB SMART status OK"));
            break;
        }
    }
    SystemEventLogFields fields;
    fields.descriptors = DecodedTypeDescriptors();
    AddEventLog(image, 0x0040, kSampleEventLogAddress, area, fields);
    return image;
}

// The busy till's image, with the log written at the given level.
class Root : public QelBench::ImageRoot
{
public:
    explicit Root(int logLevel)
    {
        BusyTill().Write(Path());
        for (const char* dir : {"/etc", "/etc/tarn", "/var", "/var/log", "/var/log/tarn"})
            mkdir((Path() + dir).c_str(), 0755);
        std::ofstream(Path() + "/etc/tarn/log.conf") << "Level=" << logLevel << "\nMaxLength=1000000000\n";
    }
};

class CFan : public CSensorRecordSource
{
public:
    CFan()
    {
        m_fan.dwSensorType = SENSOR_KIND_COOLING;
        m_fan.strDescription = "CPU Fan";
    }
    CSMBios_Sensor* GetRawSensorFromFirstChipDevice(uint16_t) override { return &m_fan; }

private:
    CSMBios_TYPE27 m_fan;
};

void Refresh(benchmark::State& state, int logLevel)
{
    if (geteuid() != 0)
    {
        state.SkipWithError("the log area is copied only by root");
        return;
    }
    Root root(logLevel);
    setenv(QelSys::kSysRootVariable, root.Path().c_str(), 1);
    ReleaseLogger();
    QelBench::QuietStdout quiet;
    CFan fan;
    EventLogContainer container;
    if (container.Initialise(&fan) != SS_SUCCESS)
    {
        state.SkipWithError("the event log did not initialise");
        return;
    }
    for (auto _ : state)
    {
        CSystemEventLog log;
        if (container.GetSystemEventLog(log) != SS_SUCCESS || log.LogLines.size() != 100)
        {
            state.SkipWithError("the refresh failed");
            break;
        }
        benchmark::DoNotOptimize(log.LogLines.data());
    }
    ReleaseLogger();
}

void BM_RefreshDefaultLog(benchmark::State& state)
{
    Refresh(state, LOG_INFO);
}
void BM_RefreshTraceLog(benchmark::State& state)
{
    Refresh(state, LOG_TRACE);
}
}  // namespace

BENCHMARK(BM_RefreshDefaultLog)->Unit(benchmark::kMicrosecond)->Repetitions(20)->ReportAggregatesOnly(true);
// A fixed count keeps the trace file (some 25 kB per refresh) to a few tens of megabytes.
BENCHMARK(BM_RefreshTraceLog)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(100)
    ->Repetitions(20)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
