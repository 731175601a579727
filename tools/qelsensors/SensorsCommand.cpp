// qelsensors sensors (the default command): every sensor of the machine through CChip, as the CIM
// provider sees it, grouped by chip, each reading judged against the limits the BIOS gives.
#include "Commands.h"
#include "Support.h"

#include "ChipDriver.h"
#include "ChipStartReport.h"
#include "POSSystem.h"
#include "SMBiosSensorData.h"
#include "chip.h"

#include "AdditionalInfo.h"
#include "NvmeSsd.h"
#include "PxtNames.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace QelTool
{
namespace
{
const char kCommand[] = "sensors";

// Ordered by severity: the worst sensor decides the exit status.
enum class Level
{
    Ok,
    Warning,
    Critical,
    Fatal,
    Error  // no reading
};

const char* LevelWord(Level level)
{
    static const char* const kWords[] = {"ok", "warning", "critical", "fatal", "error"};
    return kWords[static_cast<int>(level)];
}

struct UnitName
{
    uint16_t code;
    const char* symbol;  // for people
    const char* name;    // the CIM name, for the JSON output
};

// The CIM BaseUnits codes the drivers use, and a few neighbours.
const UnitName kUnits[] = {{2, "°C", "Degrees C"}, {3, "°F", "Degrees F"}, {4, "K", "Degrees K"},
                           {5, "V", "Volts"},      {6, "A", "Amps"},       {7, "W", "Watts"},
                           {19, "RPM", "RPM"}};
const UnitName kUnknownUnit = {0, "", "Unknown"};
constexpr uint16_t kDegreesCelsius = 2;
constexpr uint16_t kSensorTypeTemperature = 2;

const UnitName& UnitOf(uint16_t baseUnits)
{
    for (const UnitName& unit : kUnits)
        if (unit.code == baseUnits)
            return unit;
    return kUnknownUnit;
}

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

bool Known(int32_t value)
{
    return value != SENSOR_VALUE_UNKNOWN;
}

// A reading exactly at a limit is still within it.
Level Judge(const CSensorInformation& info, int32_t value)
{
    const auto beyond = [value](int32_t lower, int32_t upper)
    { return (Known(lower) && value < lower) || (Known(upper) && value > upper); };
    if (beyond(info.LowerThresholdFatal, info.UpperThresholdFatal))
        return Level::Fatal;
    if (beyond(info.LowerThresholdCritical, info.UpperThresholdCritical))
        return Level::Critical;
    if (beyond(info.LowerThresholdNonCritical, info.UpperThresholdNonCritical))
        return Level::Warning;
    return Level::Ok;
}

struct SensorView
{
    SENSOR_HANDLE handle = 0;
    SENSOR_STATUS status = SS_SUCCESS;  // of the first call that failed
    CSensorInformation info;
    int32_t reading = 0;  // the low 32 bits of the translated reading, signed
    Level level = Level::Error;
};

struct ChipView
{
    std::string title;  // instead of the description and device, for a group that is no chip
    uint32_t device = 0;
    std::string description;
    uint16_t smbiosHandle = SMBIOS_NO_HANDLE;
    uint32_t address = 0;
    uint8_t addressType = 0;
    std::vector<SensorView> sensors;
};

// The NVMe SSDs whose temperatures the provider publishes on this model.
struct SsdReadings
{
    std::vector<SsdDevice> devices;
    std::vector<SensorView> sensors;  // one per device, named as the provider names it
};

// An identity field of the controller without the blanks (or NULs) that pad it.
std::string Trimmed(const std::string& field)
{
    const size_t end = field.find_last_not_of(std::string(" \0", 2));
    return end == std::string::npos ? "" : field.substr(0, end + 1);
}

// The SSD temperature sensors the provider publishes, built by the provider's own code: on the model
// that has them and when the sensor configuration switches them on; nothing otherwise.
std::optional<SsdReadings> ReadSsds()
{
    AdditionalInfo additional;
    std::vector<PXT_NumericSensor> sensors;
    additional.initialise(sensors);
    if (!additional.hasSsdSensors())
        return std::nullopt;
    SsdReadings readings;
    readings.devices = additional.getSsdList();
    for (const PXT_NumericSensor& sensor : sensors)
    {
        SensorView view;
        view.handle = sensor.getHandle();
        view.info.Description = sensor.getName();
        // The provider leaves type and unit unknown; the tool says what an SSD's composite
        // temperature is.
        view.info.SensorType = kSensorTypeTemperature;
        view.info.BaseUnits = kDegreesCelsius;
        view.info.UpperThresholdCritical = sensor.getUpperThresholdCritical();
        view.info.LowerThresholdCritical = sensor.getLowerThresholdCritical();
        view.reading = sensor.getCurrentReading();
        view.level = Judge(view.info, view.reading);
        readings.sensors.push_back(view);
    }
    return readings;
}

SensorView ReadOne(CChip& chip, SENSOR_HANDLE handle)
{
    SensorView view;
    view.handle = handle;
    view.status = chip.GetSensorInformation(handle, view.info);
    if (view.status != SS_SUCCESS)
        return view;
    CSensorReading reading;
    reading.Translate = 1;
    view.status = chip.ReadSensor(handle, reading);
    if (view.status != SS_SUCCESS)
        return view;
    view.reading = static_cast<int32_t>(static_cast<uint32_t>(reading.CurrentReading));
    view.level = Judge(view.info, view.reading);
    return view;
}

// The chips, in device-index order, as the library's start-up found them.
std::vector<ChipView> Chips(const ChipStartReport& report)
{
    std::vector<ChipView> chips;
    for (const ChipDeviceStart& started : report.devices)
    {
        ChipView chip;
        chip.device = started.device;
        chip.description = started.board.strDescription;
        chip.smbiosHandle = started.board.wHandle;
        chip.address = started.board.dwAddress;
        chip.addressType = started.board.byAddressType;
        chips.push_back(chip);
    }
    return chips;
}

ChipView& ChipFor(std::vector<ChipView>& chips, uint32_t device)
{
    for (ChipView& chip : chips)
        if (chip.device == device)
            return chip;
    // A device the start-up did not report: listed without a name.
    ChipView chip;
    chip.device = device;
    chips.push_back(chip);
    return chips.back();
}

// Why the device the start-up stopped at did not start.
std::string ExplainDevice(const ChipDeviceStart& failed)
{
    char name[128];
    snprintf(name, sizeof(name), "management device 0x%04X (\"%s\")", failed.board.wHandle,
             failed.board.strDescription.c_str());
    if (!failed.hasDriver)
        return std::string(name) + " names a chip the library has no driver for";
    switch (failed.status)
    {
    case SS_SMBIOS_ERROR:
        if (failed.board.byAddressType != CChipDriver::kAddressTypeIoPort)
            return std::string(name) + " gives address type " + std::to_string(failed.board.byAddressType) +
                   "; the drivers reach chips through I/O ports (address type 3)";
        return std::string(name) + " has no sensors";
    case SS_HWMON_ERROR:
        return std::string(name) + " did not answer on the I/O ports: its chip is not there, or is not "
                                   "set up as the BIOS describes it";
    default:
        return std::string(name) + " did not start";
    }
}

// Says which step of the library's start-up failed, and for a management device, why.
std::string ExplainChips(const ChipStartReport& report)
{
    using Step = ChipStartReport::Step;
    switch (report.reached)
    {
    case Step::SMBiosTable:
        return "the SMBIOS table cannot be read; 'qelsensors smbios' says why";
    case Step::ManagementDevices:
        return "the BIOS describes no monitoring chip (no Management Device structure, Type 34)";
    case Step::Devices:
        if (!report.devices.empty())
            return ExplainDevice(report.devices.back());
        break;
    default:
        break;
    }
    return "the library log says which step failed";
}

Failure ExplainInitialise(const ChipStartReport& report)
{
    const SENSOR_STATUS status = report.status;
    std::string why;
    switch (status)
    {
    case SS_UNSUPPORTED_SYSTEM:
        why = "BIOS version \"" + CPOSSystem::s_instance.m_BiosVersion +
              "\" belongs to no supported point-of-sale model";
        break;
    case SS_SMBIOS_ERROR:
    case SS_NO_DRIVER:
    case SS_HWMON_ERROR:
    case SS_NO_SENSORS:
        why = ExplainChips(report);
        break;
    case SS_INTERNAL_ERROR:
        why = "the machine model has no hardware monitor driver";
        break;
    default:
        break;
    }
    Failure failure;
    failure.status = status;
    failure.message = "cannot read the sensors: " + StatusText(status);
    if (!why.empty())
        failure.message += "\n  " + why;
    failure.message +=
        "\n  'qelsensors smbios' lists the chips and sensors the BIOS describes\n" + LibraryLogHint();
    return failure;
}

// A value in the sensor's unit, with the unit: "0.899 V", "45 °C".
std::string WithUnit(const CSensorInformation& info, int32_t value)
{
    const std::string text = ScaledText(value, info.UnitModifier);
    const UnitName& unit = UnitOf(info.BaseUnits);
    return *unit.symbol != '\0' ? text + " " + unit.symbol : text;
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
    return title + where;
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

int ExitCode(Level worst)
{
    switch (worst)
    {
    case Level::Ok:
        return kExitOk;
    case Level::Warning:
        return kExitWarning;
    case Level::Critical:
        return kExitCritical;
    case Level::Fatal:
        return kExitFatal;
    case Level::Error:
        break;
    }
    return kExitFailure;
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
    if (std::optional<Failure> failure = CheckPhysMem())
        return Report(context, kCommand, *failure);
    if (std::optional<Failure> failure = CheckPortDevice())
        return Report(context, kCommand, *failure);

    CChip chip;
    SENSOR_STATUS status = chip.Initialise();
    if (status != SS_SUCCESS)
        return Report(context, kCommand, ExplainInitialise(StartReportOf(chip)));
    CSensorHandleList handles;
    status = chip.EnumerateSensorHandles(handles);
    if (status != SS_SUCCESS)
        return Report(
            context, kCommand,
            {"cannot list the sensors: " + StatusText(status) +
                 "\n  the chips started, but report no sensor; 'qelsensors smbios' lists what the BIOS "
                 "describes\n" +
                 LibraryLogHint(),
             status});

    std::vector<ChipView> chips = Chips(StartReportOf(chip));
    Level worst = Level::Ok;
    for (SENSOR_HANDLE handle : handles)
    {
        SensorView view = ReadOne(chip, handle);
        worst = std::max(worst, view.level);
        ChipFor(chips, DeviceIndexOf(handle)).sensors.push_back(view);
    }
    const std::optional<SsdReadings> ssds = ReadSsds();
    if (ssds)
        for (const SensorView& view : ssds->sensors)
            worst = std::max(worst, view.level);

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
