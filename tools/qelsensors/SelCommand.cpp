// qelsensors sel: the BIOS system event log as the library decodes it, oldest event first, with
// the Type 15 values that locate it and the log's flags.
#include "Commands.h"
#include "Support.h"

#include "EventLogContainer.h"
#include "RawSMBios.h"
#include "SELog.h"
#include "SMBiosEventLogData.h"
#include "SensorRecordSource.h"
#include "SysRoot.h"
#include "chip.h"

#include <unistd.h>

namespace QelTool
{
namespace
{
const char kCommand[] = "sel";

// Stands in for the chip manager when the chips cannot be started: limit events then name their
// probe by handle.
class CNoSensors : public CSensorRecordSource
{
public:
    CSMBios_Sensor* GetRawSensorFromFirstChipDevice(uint16_t) override { return nullptr; }
};

const char* YesNo(bool value)
{
    return value ? "yes" : "no";
}

// The Type 15 structure as the table holds it now, for the header of the listing.
std::optional<CSMBios_TYPE15> Location()
{
    CRawSMBios raw;
    CSMBiosEventLogData data;
    if (!raw.Initialise() || !data.Initialise(raw) || data.m_pType15 == nullptr)
        return std::nullopt;
    return *data.m_pType15;
}

void PrintLocation(FILE* out, const std::optional<CSMBios_TYPE15>& location)
{
    fprintf(out, "System event log\n");
    if (!location)
        return;
    const CSMBios_TYPE15& t = *location;
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

void PrintLog(FILE* out, const CSystemEventLog& log, const std::optional<SENSOR_STATUS>& sensors)
{
    fprintf(out, "  Valid             %s\n", YesNo(log.LogValid));
    fprintf(out, "  Full              %s\n", YesNo(log.LogFull));
    fprintf(out, "  Time window       %u minutes\n", log.LogMultipleEventTimeWindow);
    fprintf(out, "  Count increment   %u\n", log.LogMultipleEventCountIncrement);
    if (sensors)
        fprintf(out, "  Sensor names      none: the chips did not start, %s\n", StatusText(*sensors).c_str());
    fprintf(out, "Events (%zu)\n", log.LogLines.size());
    for (const std::string& line : log.LogLines)
        fprintf(out, "  %s\n", line.c_str());
}

Json LogJson(const CSystemEventLog& log, const std::optional<CSMBios_TYPE15>& location,
             const std::optional<SENSOR_STATUS>& sensors)
{
    Json where;
    if (location)
    {
        const CSMBios_TYPE15& t = *location;
        where = {{"type15Handle", t.wHandle},
                 {"accessMethod", t.byAccessMethod},
                 {"accessMethodName", EventLogAccessMethodName(t.byAccessMethod)},
                 {"address", t.AccessMethodAddress.PhysicalAddr32},
                 {"length", t.wLogAreaLength},
                 {"changeToken", t.dwLogChangeToken},
                 {"logStatus", t.byLogStatus},
                 {"headerFormat", t.byLogHeaderFormat},
                 {"descriptors", t.Descriptors.size()}};
    }
    Json document = {{"schema", kJsonSchema},
                     {"location", where},
                     {"valid", log.LogValid},
                     {"full", log.LogFull},
                     {"timeWindowMinutes", log.LogMultipleEventTimeWindow},
                     {"countIncrement", log.LogMultipleEventCountIncrement},
                     {"sensorNames", !sensors.has_value()}};
    document["sensorsStatus"] =
        sensors ? Json{{"status", *sensors}, {"statusName", StatusName(*sensors)}} : Json();
    document["events"] = log.LogLines;
    return document;
}

// Names what kept the library from the log, as a container of its own finds it.
Failure ExplainFailure(SENSOR_STATUS status)
{
    CNoSensors noSensors;
    EventLogContainer container;
    container.Initialise(&noSensors);
    const CSMBios_TYPE15* t = container.m_pSMBiosLog;
    Failure failure;
    failure.status = status;
    char text[256];
    if (geteuid() != 0)
        failure.message = "reading the event log area needs root";
    else if (t == nullptr)
        failure.message = "no System Event Log structure (Type 15) in a readable SMBIOS table";
    else if (t->byAccessMethod != EVENT_LOG_ACCESS_PHYSICAL32)
    {
        snprintf(text, sizeof(text), "the event log's access method is %u (%s); only %u (%s) can be read",
                 t->byAccessMethod, EventLogAccessMethodName(t->byAccessMethod), EVENT_LOG_ACCESS_PHYSICAL32,
                 EventLogAccessMethodName(EVENT_LOG_ACCESS_PHYSICAL32));
        failure.message = text;
    }
    else if (container.m_pSELog == nullptr)
    {
        snprintf(text, sizeof(text), "cannot map the event log area (address 0x%08X, %u bytes) from ",
                 t->AccessMethodAddress.PhysicalAddr32, t->wLogAreaLength);
        failure.message = text + QelSys::SysPath("/dev/mem");
    }
    else
        failure.message = "the event log area has no valid header (Log Header Type 1, revision 1)";
    // The library answers 1 when the log was already unreadable as it started.
    failure.message += status == SS_NOT_INITIALISED ? " (the library's event log is " + StatusText(status) +
                                                          ": it could not be read at start)"
                                                    : " (" + StatusText(status) + ")";
    failure.message += "\n" + LibraryLogHint();
    return failure;
}
}  // namespace

int RunSel(Context& context, const std::vector<std::string>& args)
{
    if (!args.empty())
    {
        fprintf(stderr,
                "qelsensors sel: unexpected argument '%s'\nusage: qelsensors sel [--json] [--sysroot DIR] "
                "[--verbose]\n",
                args.front().c_str());
        return kExitUsage;
    }
    if (std::optional<Failure> failure = CheckPhysMem())
        return Report(context, kCommand, *failure);

    // Through CChip, so that limit events name their sensor. The log does not need the chips:
    // when they cannot be started, it is read on its own, as the chip manager's start reads it.
    CSystemEventLog log;
    std::optional<SENSOR_STATUS> sensors;
    CChip chip;
    SENSOR_STATUS status = chip.Initialise();
    if (status == SS_SUCCESS)
    {
        status = chip.GetSystemEventLog(log);
        // A log that failed at start leaves the container uninitialised: 1 means unreadable here.
        if (status != SS_SUCCESS)
            return Report(context, kCommand, ExplainFailure(status));
    }
    else
    {
        sensors = status;
        CNoSensors noSensors;
        EventLogContainer container;
        status = container.Initialise(&noSensors);
        if (status != SS_SUCCESS)
            return Report(context, kCommand, ExplainFailure(status));
        container.CopyEventLogInformation(log);
    }

    const std::optional<CSMBios_TYPE15> location = Location();
    if (context.json)
    {
        WriteJson(context.out, LogJson(log, location, sensors));
        return kExitOk;
    }
    PrintLocation(context.out, location);
    PrintLog(context.out, log, sensors);
    return kExitOk;
}
}  // namespace QelTool
