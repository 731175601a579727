// qelsensors sel: the BIOS system event log as the library decodes it, with the Type 15 values
// that locate it and the log's flags.
#include "Commands.h"

#include "EventLogContainer.h"
#include "SELog.h"
#include "SMBiosEventLogData.h"
#include "SensorRecordSource.h"
#include "SysRoot.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace QelTool
{
namespace
{
// The tool drives no chips, so it knows no probes: limit events name their probe by handle.
class CNoSensors : public CSensorRecordSource
{
public:
    CSMBios_Sensor* GetRawSensorFromFirstChipDevice(uint16_t) override { return nullptr; }
};

const char* YesNo(bool value)
{
    return value ? "yes" : "no";
}

void PrintLocation(FILE* out, const CSMBios_TYPE15& t)
{
    fprintf(out, "System event log\n");
    fprintf(out, "  Type 15 handle    0x%04X\n", t.wHandle);
    fprintf(out, "  Access method     %u (%s)\n", t.byAccessMethod,
            EventLogAccessMethodName(t.byAccessMethod));
    fprintf(out, "  Area address      0x%08X\n", t.AccessMethodAddress.PhysicalAddr32);
    fprintf(out, "  Area length       %u bytes\n", t.wLogAreaLength);
    fprintf(out, "  Change token      0x%08X\n", t.dwLogChangeToken);
    fprintf(out, "  Status            0x%02X\n", t.byLogStatus);
    fprintf(out, "  Header format     %u\n", t.byLogHeaderFormat);
    fprintf(out, "  Descriptors       %zu", t.Descriptors.size());
    if (t.Descriptors.size() != t.byNumberOfSupportedLogTypeDescriptors)
        fprintf(out, " (%u announced)", t.byNumberOfSupportedLogTypeDescriptors);
    fprintf(out, "\n");
}

void PrintLog(FILE* out, const CSystemEventLog& log)
{
    fprintf(out, "  Valid             %s\n", YesNo(log.LogValid));
    fprintf(out, "  Full              %s\n", YesNo(log.LogFull));
    fprintf(out, "  Time window       %u minutes\n", log.LogMultipleEventTimeWindow);
    fprintf(out, "  Count increment   %u\n", log.LogMultipleEventCountIncrement);
    fprintf(out, "Events (%zu)\n", log.LogLines.size());
    for (const std::string& line : log.LogLines)
        fprintf(out, "  %s\n", line.c_str());
}

// Names what kept the library from the log.
void ExplainFailure(const EventLogContainer& container)
{
    const CSMBios_TYPE15* t = container.m_pSMBiosLog;
    if (geteuid() != 0)
        fprintf(stderr, "qelsensors sel: reading the event log area needs root\n");
    else if (t == nullptr)
        fprintf(stderr,
                "qelsensors sel: no System Event Log structure (Type 15) in a readable SMBIOS table\n");
    else if (t->byAccessMethod != EVENT_LOG_ACCESS_PHYSICAL32)
        fprintf(stderr,
                "qelsensors sel: the event log's access method is %u (%s); only %u (%s) can be read\n",
                t->byAccessMethod, EventLogAccessMethodName(t->byAccessMethod), EVENT_LOG_ACCESS_PHYSICAL32,
                EventLogAccessMethodName(EVENT_LOG_ACCESS_PHYSICAL32));
    else if (container.m_pSELog == nullptr)
        fprintf(stderr, "qelsensors sel: cannot map the event log area (address 0x%08X, %u bytes) from %s\n",
                t->AccessMethodAddress.PhysicalAddr32, t->wLogAreaLength,
                QelSys::SysPath("/dev/mem").c_str());
    else
        fprintf(stderr,
                "qelsensors sel: the event log area has no valid header (Log Header Type 1, revision 1)\n");
    fprintf(stderr, "  the library log has the details (its level and file are set in %s)\n",
            QelSys::SysPath("/etc/tarn/log.conf").c_str());
}

bool CheckPhysMem()
{
    const std::string path = QelSys::SysPath("/dev/mem");
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0)
    {
        close(fd);
        return true;
    }
    int err = errno;
    fprintf(stderr, "qelsensors sel: cannot open %s: %s\n", path.c_str(), strerror(err));
    if (err == ENOENT && !QelSys::SysRoot().empty())
        fprintf(stderr, "  %s is no machine image: create one with 'qelsim sample %s'\n",
                QelSys::SysRoot().c_str(), QelSys::SysRoot().c_str());
    return false;
}
}  // namespace

int RunSel(Context& context, const std::vector<std::string>& args)
{
    if (!args.empty())
    {
        fprintf(
            stderr,
            "qelsensors sel: unexpected argument '%s'\nusage: qelsensors sel [--sysroot DIR] [--verbose]\n",
            args.front().c_str());
        return kExitUsage;
    }
    if (!CheckPhysMem())
        return kExitFailure;

    // Initialise reads and decodes the log once, as the chip manager's start-up does.
    CNoSensors noSensors;
    EventLogContainer container;
    if (container.Initialise(&noSensors) != SS_SUCCESS)
    {
        ExplainFailure(container);
        return kExitFailure;
    }
    CSystemEventLog log;
    container.CopyEventLogInformation(log);
    PrintLocation(context.out, *container.m_pSMBiosLog);
    PrintLog(context.out, log);
    return kExitOk;
}
}  // namespace QelTool
