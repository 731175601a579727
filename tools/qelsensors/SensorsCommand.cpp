// qelsensors sensors (the default command): every sensor of the machine through CChip, as the CIM
// provider sees it, grouped by chip, each reading judged against the limits the BIOS gives.
#include "Commands.h"
#include "Readings.h"
#include "Support.h"

#include "chip.h"

#include "PxtNames.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace QelTool
{
namespace
{
const char kCommand[] = "sensors";

// The CIM word in lower case: "temperature", "smokedetection"; "type 12" beyond the CIM's codes.
std::string SensorTypeWord(uint16_t type)
{
    const char* name = CimSensorTypeName(type);
    if (name == nullptr)
        return "type " + std::to_string(type);
    std::string word = name;
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return word;
}

// "non-critical 0.700..1.450 V": for each level with a known limit, the range of readings that
// stay within it.
std::string LimitsText(const CSensorInformation& info)
{
    const struct
    {
        const char* name;
        int32_t lower;
        int32_t upper;
    } kLevels[] = {
        {"non-critical", info.LowerThresholdNonCritical, info.UpperThresholdNonCritical},
        {"critical", info.LowerThresholdCritical, info.UpperThresholdCritical},
        {"fatal", info.LowerThresholdFatal, info.UpperThresholdFatal},
    };
    std::string text;
    for (const auto& level : kLevels)
    {
        std::string range;
        if (Known(level.lower) && Known(level.upper))
            range = ScaledText(level.lower, info.UnitModifier) + ".." + WithUnit(info, level.upper);
        else if (Known(level.lower))
            range = ">= " + WithUnit(info, level.lower);
        else if (Known(level.upper))
            range = "<= " + WithUnit(info, level.upper);
        else
            continue;
        text += (text.empty() ? "" : ", ") + std::string(level.name) + " " + range;
    }
    return text;
}

// Pads to a width in characters on the terminal ("°" is two bytes, one column).
std::string Padded(const std::string& text, size_t width)
{
    const size_t columns = static_cast<size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    return columns >= width ? text : text + std::string(width - columns, ' ');
}

std::string ChipTitle(const ChipView& chip)
{
    if (!chip.title.empty())
        return chip.title;
    std::string title = chip.description.empty() ? "(unnamed chip)" : chip.description;
    char where[96];
    if (chip.smbiosHandle == SMBIOS_NO_HANDLE)
        snprintf(where, sizeof(where), "  (device %u)", chip.device);
    else if (chip.addressType == 3)
        snprintf(where, sizeof(where), "  (device %u, I/O port 0x%04X)", chip.device, chip.address);
    else
        snprintf(where, sizeof(where), "  (device %u, address 0x%08X)", chip.device, chip.address);
    title += where;
    // Only the ways round the usual ones are named, so the usual title stays as it was.
    std::string through;
    if (!chip.kernelDriver.empty())
        through += ", read through the kernel's " + chip.kernelDriver + " driver";
    if (chip.smbiosFromSysfs)
        through += ", SMBIOS table from sysfs";
    if (!through.empty() && title.back() == ')')
        title.insert(title.size() - 1, through);
    return title;
}

std::string NameOf(const SensorView& s)
{
    return (s.info.Description.empty() ? "(no name)" : s.info.Description) + ":";
}

void PrintText(FILE* out, const std::vector<ChipView>& chips)
{
    // One column for the names of every group.
    size_t width = 22;
    for (const ChipView& chip : chips)
        for (const SensorView& s : chip.sensors)
            width = std::max(width, NameOf(s).size());
    bool first = true;
    for (const ChipView& chip : chips)
    {
        if (chip.sensors.empty())
            continue;
        fprintf(out, "%s%s\n", first ? "" : "\n", ChipTitle(chip).c_str());
        first = false;
        for (const SensorView& s : chip.sensors)
        {
            const std::string name = Padded(NameOf(s), width);
            if (s.level == Level::Error)
            {
                fprintf(out, "  %s %-14s %-8s (no reading: %s)\n", name.c_str(), "-", LevelWord(s.level),
                        StatusText(s.status).c_str());
                continue;
            }
            const std::string value = ScaledText(s.reading, s.info.UnitModifier);
            const std::string unit = Padded(UnitOf(s.info.BaseUnits).symbol, 4);
            const std::string limits = LimitsText(s.info);
            std::string line = "  " + name + " " + std::string(value.size() < 9 ? 9 - value.size() : 0, ' ') +
                               value + " " + unit + " " + Padded(LevelWord(s.level), 8);
            if (!limits.empty())
                line += " (" + limits + ")";
            line.erase(line.find_last_not_of(' ') + 1);
            fprintf(out, "%s\n", line.c_str());
        }
    }
}

Json LimitJson(const CSensorInformation& info, int32_t value)
{
    return Known(value) ? ScaledJson(value, info.UnitModifier) : Json();
}

// The unit, the reading and the value of a sensor's JSON.
void AddReading(Json& sensor, const SensorView& s)
{
    const CSensorInformation& i = s.info;
    sensor["unit"] = UnitOf(i.BaseUnits).name;
    sensor["baseUnits"] = i.BaseUnits;
    sensor["unitModifier"] = i.UnitModifier;
    const bool read = s.level != Level::Error;
    sensor["reading"] = read ? Json(s.reading) : Json();
    sensor["value"] = read ? ScaledJson(s.reading, i.UnitModifier) : Json();
}

// The limits and the status word of a sensor's JSON.
void AddJudgement(Json& sensor, const SensorView& s)
{
    const CSensorInformation& i = s.info;
    sensor["limits"] = {{"lowerNonCritical", LimitJson(i, i.LowerThresholdNonCritical)},
                        {"upperNonCritical", LimitJson(i, i.UpperThresholdNonCritical)},
                        {"lowerCritical", LimitJson(i, i.LowerThresholdCritical)},
                        {"upperCritical", LimitJson(i, i.UpperThresholdCritical)},
                        {"lowerFatal", LimitJson(i, i.LowerThresholdFatal)},
                        {"upperFatal", LimitJson(i, i.UpperThresholdFatal)}};
    sensor["status"] = LevelWord(s.level);
    if (s.level == Level::Error)
        sensor["error"] = {{"status", s.status}, {"statusName", StatusName(s.status)}};
}

Json SensorJson(const SensorView& s)
{
    const CSensorInformation& i = s.info;
    Json sensor = {{"handle", s.handle},
                   {"smbiosHandle", SmbiosHandleOf(s.handle)},
                   {"name", i.Description},
                   {"type", SensorTypeWord(i.SensorType)}};
    if (i.SensorType == 1)
        sensor["otherType"] = i.OtherSensorTypeDescription;
    AddReading(sensor, s);
    sensor["nominal"] = LimitJson(i, i.NominalReading);
    AddJudgement(sensor, s);
    return sensor;
}

Json SsdJson(const SensorView& s, const SsdDevice& ssd)
{
    Json sensor = {{"name", s.info.Description},       {"device", ssd.m_devPath},
                   {"model", Trimmed(ssd.m_model)},    {"serial", Trimmed(ssd.m_serial)},
                   {"firmware", Trimmed(ssd.m_fwRev)}, {"type", SensorTypeWord(s.info.SensorType)}};
    AddReading(sensor, s);
    AddJudgement(sensor, s);
    return sensor;
}

Json DocumentJson(const std::vector<ChipView>& chips, const std::optional<SsdReadings>& ssds, Level worst)
{
    Json list = Json::array();
    for (const ChipView& chip : chips)
    {
        if (chip.sensors.empty())
            continue;
        Json entry = {{"device", chip.device}, {"description", chip.description}};
        entry["smbiosHandle"] = chip.smbiosHandle == SMBIOS_NO_HANDLE ? Json() : Json(chip.smbiosHandle);
        entry["address"] = chip.address;
        entry["addressType"] = chip.addressType;
        entry["readFrom"] = chip.kernelDriver.empty() ? "ports" : "kernel driver";
        entry["kernelDriver"] = chip.kernelDriver.empty() ? Json() : Json(chip.kernelDriver);
        entry["smbiosFrom"] = chip.smbiosFromSysfs ? "sysfs" : "memory";
        Json sensors = Json::array();
        for (const SensorView& s : chip.sensors)
            sensors.push_back(SensorJson(s));
        entry["sensors"] = sensors;
        list.push_back(entry);
    }
    Json document{{"schema", kJsonSchema}, {"status", LevelWord(worst)}, {"chips", list}};
    if (ssds)
    {
        Json entries = Json::array();
        for (size_t i = 0; i < ssds->sensors.size(); ++i)
            entries.push_back(SsdJson(ssds->sensors[i], ssds->devices[i]));
        document["ssds"] = entries;
    }
    return document;
}
}  // namespace

int RunSensors(Context& context, const std::vector<std::string>& args)
{
    if (!args.empty())
    {
        fprintf(stderr,
                "qelsensors sensors: unexpected argument '%s'\nusage: qelsensors [sensors] [--json] "
                "[--sysroot DIR] [--verbose]\n",
                args.front().c_str());
        return kExitUsage;
    }
    CChip chip;
    MachineReadings readings = ReadMachine(chip);
    if (readings.failure)
        return Report(context, kCommand, *readings.failure);
    std::vector<ChipView>& chips = readings.chips;
    const std::optional<SsdReadings>& ssds = readings.ssds;
    const Level worst = readings.worst;

    if (context.json)
    {
        WriteJson(context.out, DocumentJson(chips, ssds, worst));
    }
    else
    {
        if (ssds)
        {
            ChipView group;
            group.title = "NVMe SSDs";
            group.sensors = ssds->sensors;
            chips.push_back(group);
        }
        PrintText(context.out, chips);
    }
    return ExitCode(worst);
}
}  // namespace QelTool
