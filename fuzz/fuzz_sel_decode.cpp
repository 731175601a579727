// Any bytes as an event log area with any descriptor list: the decoder must read nothing outside
// the area (held in a heap block of exactly its size, so AddressSanitizer reports the first byte
// read past it), and every line must come out whole. Broken invariants abort.
//
// Input: one byte n, then n descriptors of two bytes, then the area.
#include "EventLogContainer.h"
#include "FuzzSupport.h"
#include "RawEvLog.h"
#include "SELog.h"
#include "SMBiosSensorRecords.h"
#include "SensorRecordSource.h"
#include "SysRoot.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace
{
using QelFuzz::Check;
using QelFuzz::UseEmptySysRoot;

// Names a probe of every kind, so limit events take every branch.
class CProbes : public CSensorRecordSource
{
public:
    CProbes()
    {
        m_fan.dwSensorType = SENSOR_KIND_COOLING;
        m_fan.strDescription = "CPU Fan";
        m_temperature.dwSensorType = SENSOR_KIND_TEMPERATURE;
        m_volts.dwSensorType = SENSOR_KIND_VOLTAGE;
        m_volts.strDescription = "12V";
        m_other.dwSensorType = 9;
    }
    CSMBios_Sensor* GetRawSensorFromFirstChipDevice(uint16_t wHandle) override
    {
        switch (wHandle & 7)
        {
        case 1:
            return &m_fan;
        case 2:
            return &m_temperature;
        case 3:
            return &m_volts;
        case 4:
            return &m_other;
        default:
            return nullptr;
        }
    }

private:
    CSMBios_TYPE27 m_fan;
    CSMBios_TYPE28 m_temperature;
    CSMBios_TYPE26 m_volts;
    CSMBios_Sensor m_other;
};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    UseEmptySysRoot();
    // The checksum lines on standard output would drown the fuzzer's own.
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0)
    {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 0x10000)  // the area length is 16 bits
        return 0;
    const size_t count = data[0];
    if (size < 1 + 2 * count)
        return 0;
    EventLogDescriptors descriptors;
    for (size_t i = 0; i < count; ++i)
    {
        EventLogDescriptor d;
        d.byLogType = data[1 + 2 * i];
        d.byVDFType = data[2 + 2 * i];
        descriptors.push_back(d);
    }
    const uint8_t* area = data + 1 + 2 * count;
    const uint32_t length = static_cast<uint32_t>(size - 1 - 2 * count);

    static CProbes probes;
    EventLogContainer container;
    container.m_pChipManager = &probes;
    container.m_bInit = (length & 1) != 0;  // half the inputs decode as during the first refresh

    CRawEvLog raw;
    raw.Copy(length > 0 ? area : nullptr, length);
    SELog log;
    const bool ok = log.initialise(&container, raw, descriptors);
    Check(ok == (length >= 16 && area[15] == 1));
    std::vector<std::string> lines;
    Check(log.getLogLines(lines) == ok);
    // Records are at least 18 bytes; a line is never cut by a zero byte.
    Check(lines.size() <= (length > 16 ? (length - 16) / 18 : 0));
    for (const std::string& line : lines)
        Check(!line.empty() && line.find('\0') == std::string::npos);
    // Beside each line, the event it was made from.
    Check(log.events().size() == lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        Check(log.events()[i].line == lines[i]);
    raw.dump();
    return 0;
}
