// qelsensors sel: the BIOS system event log as the library decodes it, oldest event first, with
// the Type 15 values that locate it and the log's flags.
#include "Commands.h"
#include "FromDump.h"
#include "Readings.h"
#include "Support.h"

#include "SMBiosEventLogData.h"
#include "chip.h"

namespace QelTool
{
namespace
{
const char kCommand[] = "sel";

const char* YesNo(bool value)
{
    return value ? "yes" : "no";
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

void PrintLog(FILE* out, const EventLogReading& reading)
{
    const CSystemEventLog& log = reading.log;
    fprintf(out, "  Valid             %s\n", YesNo(log.LogValid));
    fprintf(out, "  Full              %s\n", YesNo(log.LogFull));
    fprintf(out, "  Time window       %u minutes\n", log.LogMultipleEventTimeWindow);
    fprintf(out, "  Count increment   %u\n", log.LogMultipleEventCountIncrement);
    if (!reading.sensorNames && reading.chipStatus)
        fprintf(out, "  Sensor names      none: the chips did not start, %s\n",
                StatusText(*reading.chipStatus).c_str());
    fprintf(out, "Events (%zu)\n", log.LogLines.size());
    for (const std::string& line : log.LogLines)
        fprintf(out, "  %s\n", line.c_str());
}

Json LogJson(const EventLogReading& reading, const std::optional<CSMBios_TYPE15>& location)
{
    const CSystemEventLog& log = reading.log;
    const std::optional<SENSOR_STATUS>& sensors = reading.chipStatus;
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
                     {"sensorNames", reading.sensorNames}};
    document["sensorsStatus"] =
        sensors ? Json{{"status", *sensors}, {"statusName", StatusName(*sensors)}} : Json();
    document["events"] = log.LogLines;
    return document;
}

}  // namespace

int RunSel(Context& context, const std::vector<std::string>& args)
{
    DumpRoot dumpRoot;
    if (std::optional<int> status = OpenFromDumpOption(context, kCommand, args, dumpRoot))
        return *status;
    const std::optional<std::string>& dump = dumpRoot.File();
    if (dump && !dumpRoot.EventLogAddress())
        return Report(
            context, kCommand,
            Failure{*dump + ": holds no event-log area (a dmidecode dump has only the SMBIOS table)",
                    std::nullopt});
    CChip chip;
    const EventLogReading reading =
        dump ? ReadEventLogFromArea(*dumpRoot.EventLogAddress(), dumpRoot.EventLogArea())
             : ReadEventLog(chip, std::nullopt);
    if (reading.failure)
        return Report(context, kCommand, *reading.failure);

    // The Type 15 structure the log was read through, for the header of the listing.
    const std::optional<CSMBios_TYPE15>& location = reading.location;
    if (context.json)
    {
        WriteJson(context.out, LogJson(reading, location));
        return kExitOk;
    }
    PrintLocation(context.out, location);
    PrintLog(context.out, reading);
    return kExitOk;
}
}  // namespace QelTool
