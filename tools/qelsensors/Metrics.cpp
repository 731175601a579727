// The Prometheus text exposition format, version 0.0.4: per family a HELP and a TYPE line, then its
// samples together; label values escaped; values as decimal text.
#include "Metrics.h"

#include <cstring>
#include <ctime>
#include <map>

namespace QelTool
{
namespace
{
using Labels = std::vector<std::pair<const char*, std::string>>;

// The families in the order they were first given a sample, each with its samples together.
class Exposition
{
public:
    void Add(const std::string& family, const char* type, const std::string& help, const Labels& labels,
             const std::string& value)
    {
        auto found = m_index.find(family);
        if (found == m_index.end())
        {
            found = m_index.emplace(family, m_families.size()).first;
            m_families.push_back({family, type, help, {}});
        }
        std::string& samples = m_families[found->second].samples;
        samples += family;
        if (!labels.empty())
        {
            samples += '{';
            for (size_t i = 0; i < labels.size(); ++i)
                samples += (i ? "," : "") + std::string(labels[i].first) + "=\"" +
                           EscapeLabelValue(labels[i].second) + '"';
            samples += '}';
        }
        samples += ' ' + value + '\n';
    }

    std::string Text() const
    {
        std::string text;
        for (const Family& f : m_families)
            text +=
                "# HELP " + f.name + ' ' + f.help + "\n# TYPE " + f.name + ' ' + f.type + '\n' + f.samples;
        return text;
    }

private:
    struct Family
    {
        std::string name;
        const char* type;
        std::string help;
        std::string samples;
    };
    std::vector<Family> m_families;
    std::map<std::string, size_t> m_index;
};

constexpr char kGauge[] = "gauge";
constexpr char kCounter[] = "counter";

// The CIM base units that have a Prometheus base unit, and the families they go to: fans under
// their own name, as node_exporter's node_hwmon_fan_rpm. A sensor in another unit gets its status
// and read error, but no value.
struct UnitFamily
{
    uint16_t baseUnits;
    const char* prefix;  // "qel_sensor", "qel_fan"
    const char* unit;    // the base unit that ends every family name
    const char* what;    // for the HELP text
};
const UnitFamily kUnitFamilies[] = {
    {5, "qel_sensor", "volts", "Voltage"}, {2, "qel_sensor", "celsius", "Temperature"},
    {19, "qel_fan", "rpm", "Fan speed"},   {6, "qel_sensor", "amperes", "Current"},
    {7, "qel_sensor", "watts", "Power"},
};

const UnitFamily* UnitFamilyOf(uint16_t baseUnits)
{
    for (const UnitFamily& family : kUnitFamilies)
        if (family.baseUnits == baseUnits)
            return &family;
    return nullptr;
}

// The limits the BIOS gives, each a family of its own so that a rule compares two series with the
// same labels: qel_fan_rpm < qel_fan_lower_critical_rpm.
struct LimitFamily
{
    const char* bound;  // the middle of the family name
    int32_t CSensorInformation::*limit;
    const char* what;
};
const LimitFamily kLimitFamilies[] = {
    {"lower_non_critical", &CSensorInformation::LowerThresholdNonCritical, "lower non-critical limit"},
    {"upper_non_critical", &CSensorInformation::UpperThresholdNonCritical, "upper non-critical limit"},
    {"lower_critical", &CSensorInformation::LowerThresholdCritical, "lower critical limit"},
    {"upper_critical", &CSensorInformation::UpperThresholdCritical, "upper critical limit"},
    {"lower_fatal", &CSensorInformation::LowerThresholdFatal, "lower fatal (non-recoverable) limit"},
    {"upper_fatal", &CSensorInformation::UpperThresholdFatal, "upper fatal (non-recoverable) limit"},
};

std::string HandleText(SENSOR_HANDLE handle)
{
    char text[16];
    snprintf(text, sizeof(text), "0x%08X", handle);
    return text;
}

Labels SensorLabels(const std::string& chip, const SensorView& sensor)
{
    return {{"chip", chip}, {"sensor", sensor.info.Description}, {"handle", HandleText(sensor.handle)}};
}

void AddSensor(Exposition& out, const std::string& chip, const SensorView& sensor)
{
    const Labels labels = SensorLabels(chip, sensor);
    const CSensorInformation& info = sensor.info;
    const bool read = sensor.level != Level::Error;
    out.Add("qel_sensor_read_error", kGauge,
            "1 when the sensor could not be read in this pass, 0 when it was read", labels, read ? "0" : "1");
    if (!read)
        return;
    out.Add("qel_sensor_status", kGauge,
            "The reading judged against the BIOS limits: 0 ok, 1 warning (beyond non-critical), 2 critical, "
            "3 fatal",
            labels, std::to_string(static_cast<int>(sensor.level)));
    const UnitFamily* unit = UnitFamilyOf(info.BaseUnits);
    if (unit == nullptr)
        return;
    const std::string prefix = unit->prefix;
    out.Add(prefix + "_" + unit->unit, kGauge, std::string(unit->what) + " reading, in " + unit->unit, labels,
            ScaledText(sensor.reading, info.UnitModifier));
    for (const LimitFamily& limit : kLimitFamilies)
    {
        const int32_t value = info.*limit.limit;
        if (Known(value))
            out.Add(prefix + "_" + limit.bound + "_" + unit->unit, kGauge,
                    std::string(unit->what) + " " + limit.what + " the BIOS gives, in " + unit->unit, labels,
                    ScaledText(value, info.UnitModifier));
    }
}

void AddEventLog(Exposition& out, const EventLogReading& eventLog)
{
    out.Add("qel_sel_up", kGauge, "1 when the BIOS system event log was read, 0 when it could not be", {},
            eventLog.failure ? "0" : "1");
    if (eventLog.failure)
        return;
    struct Tally
    {
        uint64_t events = 0;
        std::optional<int64_t> newest;
    };
    std::map<std::pair<std::string, std::string>, Tally> tallies;  // by type, then severity
    for (const SELogEvent& decoded : eventLog.events)
    {
        const SelEvent event = SelEventOf(decoded);
        Tally& tally = tallies[{event.type, event.severity}];
        ++tally.events;
        if (event.time && (!tally.newest || *event.time > *tally.newest))
            tally.newest = event.time;
    }
    for (const auto& [key, tally] : tallies)
        out.Add("qel_sel_events_total", kCounter, "Events in the BIOS system event log, by type and severity",
                {{"type", key.first}, {"severity", key.second}}, std::to_string(tally.events));
    for (const auto& [key, tally] : tallies)
        if (tally.newest)
            out.Add("qel_sel_last_event_timestamp_seconds", kGauge,
                    "Time of the newest event of the type and severity in the BIOS log (the BIOS clock, "
                    "taken as UTC)",
                    {{"type", key.first}, {"severity", key.second}}, std::to_string(*tally.newest));
}
}  // namespace

std::string EscapeLabelValue(const std::string& value)
{
    std::string escaped;
    escaped.reserve(value.size());
    for (char c : value)
    {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '"')
            escaped += "\\\"";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

SelEvent SelEventOf(const SELogEvent& decoded)
{
    SelEvent event;
    event.type = SELog::getEventString(decoded.type);
    if (!decoded.severity)
        event.severity = "none";
    else if (*decoded.severity == 'I')
        event.severity = "information";
    else if (*decoded.severity == 'W')
        event.severity = "warning";
    else if (*decoded.severity == 'E')
        event.severity = "error";
    else
        event.severity = "unknown";
    if (const std::optional<SELogTime>& time = decoded.time)
    {
        struct tm t;
        memset(&t, 0, sizeof(t));
        t.tm_year = time->year - 1900;
        t.tm_mon = time->month - 1;
        t.tm_mday = time->day;
        t.tm_hour = time->hour;
        t.tm_min = time->minute;
        t.tm_sec = time->second;
        event.time = static_cast<int64_t>(timegm(&t));
    }
    return event;
}

std::string MetricsText(const MachineReadings& machine, const EventLogReading& eventLog,
                        const MachineIdentity& identity, double seconds)
{
    Exposition out;
    out.Add("qel_up", kGauge,
            "1 when the chips started and their sensors were read, 0 when the machine could not be read", {},
            machine.failure ? "0" : "1");
    Labels info;
    if (!identity.model.empty())
        info.emplace_back("model", identity.model);
    if (!identity.biosVersion.empty())
        info.emplace_back("bios_version", identity.biosVersion);
    info.emplace_back("version", identity.version);
    out.Add("qel_machine_info", kGauge,
            "The point-of-sale model, its BIOS version and the version of qelsensors", info, "1");
    for (const ChipView& chip : machine.chips)
    {
        if (chip.sensors.empty())
            continue;
        out.Add("qel_chip_info", kGauge,
                "A monitoring chip and where it was read from: the ports or the kernel's driver, and its "
                "SMBIOS description from memory or sysfs",
                {{"chip", chip.description},
                 {"read_from", chip.kernelDriver.empty() ? "ports" : "kernel:" + chip.kernelDriver},
                 {"smbios_from", chip.smbiosFromSysfs ? "sysfs" : "memory"}},
                "1");
        for (const SensorView& sensor : chip.sensors)
            AddSensor(out, chip.description, sensor);
    }
    if (machine.ssds)
    {
        for (size_t i = 0; i < machine.ssds->sensors.size(); ++i)
        {
            const SensorView& sensor = machine.ssds->sensors[i];
            const SsdDevice& ssd = machine.ssds->devices[i];
            AddSensor(out, "NVMe SSD", sensor);
            Labels labels = SensorLabels("NVMe SSD", sensor);
            labels.insert(labels.end(), {{"device", ssd.m_devPath},
                                         {"model", Trimmed(ssd.m_model)},
                                         {"serial", Trimmed(ssd.m_serial)},
                                         {"firmware", Trimmed(ssd.m_fwRev)}});
            out.Add("qel_ssd_info", kGauge, "The NVMe SSD behind a temperature sensor", labels, "1");
        }
    }
    AddEventLog(out, eventLog);
    char duration[32];
    snprintf(duration, sizeof(duration), "%.6f", seconds);
    out.Add("qel_scrape_duration_seconds", kGauge,
            "Time qelsensors took to read the machine and its event log", {}, duration);
    return out.Text();
}
}  // namespace QelTool
