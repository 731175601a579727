#include "Check.h"

#include "Metrics.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>

namespace QelTool
{
namespace
{
constexpr char kService[] = "QELSENSORS";
// The problems the status line names before "and N more": pollers cut long lines.
constexpr size_t kNamedProblems = 3;

// A number of the guidelines' grammar: [-0-9.], one point at most, at least one digit.
std::optional<double> Number(const std::string& text)
{
    if (text.empty() || text.find_first_not_of("-0123456789.") != std::string::npos ||
        text.find('-', 1) != std::string::npos || std::count(text.begin(), text.end(), '.') > 1 ||
        text.find_first_of("0123456789") == std::string::npos)
        return std::nullopt;
    return strtod(text.c_str(), nullptr);
}

// The value of a reading as the ranges compare it: the decimal the tool shows, so that a limit
// written as shown ("0.904") is met exactly.
double ValueOf(const CSensorInformation& info, int32_t value)
{
    return strtod(ScaledText(value, info.UnitModifier).c_str(), nullptr);
}

// A label of the guidelines: quoted, with neither '=' nor '\'' inside.
std::string Label(const std::string& name)
{
    std::string label = name.empty() ? "(no name)" : name;
    std::replace_if(
        label.begin(), label.end(), [](char c) { return c == '=' || c == '\''; }, '_');
    return "'" + label + "'";
}

// The BIOS limits of one level as a range ("600:", "~:85", "0.700:1.450"); "" without any.
std::string LimitRange(const CSensorInformation& info, int32_t lower, int32_t upper)
{
    if (!Known(lower) && !Known(upper))
        return "";
    return (Known(lower) ? ScaledText(lower, info.UnitModifier) : "~") + ":" +
           (Known(upper) ? ScaledText(upper, info.UnitModifier) : "");
}

struct Bound
{
    const char* name;
    int32_t CSensorInformation::*lower;
    int32_t CSensorInformation::*upper;
};
const Bound kNonCritical = {"non-critical", &CSensorInformation::LowerThresholdNonCritical,
                            &CSensorInformation::UpperThresholdNonCritical};
const Bound kCritical = {"critical", &CSensorInformation::LowerThresholdCritical,
                         &CSensorInformation::UpperThresholdCritical};
const Bound kFatal = {"non-recoverable", &CSensorInformation::LowerThresholdFatal,
                      &CSensorInformation::UpperThresholdFatal};

// "below its critical limit 400 RPM" when the reading is beyond the level's limits; "" otherwise.
std::string Beyond(const SensorView& s, const Bound& bound)
{
    const int32_t lower = s.info.*bound.lower, upper = s.info.*bound.upper;
    if (Known(lower) && s.reading < lower)
        return std::string("below its ") + bound.name + " limit " + WithUnit(s.info, lower);
    if (Known(upper) && s.reading > upper)
        return std::string("above its ") + bound.name + " limit " + WithUnit(s.info, upper);
    return "";
}

std::string OutsideRange(const Range& range, const char* level)
{
    return std::string(range.inside ? "inside" : "outside") + " the " + level + " range " + range.text;
}

struct Judged
{
    std::string chip;
    const SensorView* sensor;
    PluginState state = PluginState::Ok;
    std::string why;  // what was crossed, or why there is no reading
};

Judged JudgeSensor(const std::string& chip, const SensorView& s, const SensorChoice& choice)
{
    Judged judged{chip, &s, PluginState::Ok, ""};
    if (s.level == Level::Error)
    {
        judged.state = PluginState::Unknown;
        judged.why = "not read: " + StatusText(s.status);
        return judged;
    }
    const double value = ValueOf(s.info, s.reading);
    if (choice.critical)
        judged.why = Alerts(*choice.critical, value) ? OutsideRange(*choice.critical, "critical") : "";
    else
    {
        judged.why = Beyond(s, kFatal);
        if (judged.why.empty())
            judged.why = Beyond(s, kCritical);
    }
    if (!judged.why.empty())
    {
        judged.state = PluginState::Critical;
        return judged;
    }
    if (choice.warning)
        judged.why = Alerts(*choice.warning, value) ? OutsideRange(*choice.warning, "warning") : "";
    else
        judged.why = Beyond(s, kNonCritical);
    if (!judged.why.empty())
        judged.state = PluginState::Warning;
    return judged;
}

// 'label'=value;warn;crit, with the ranges that judged it and no unit: volts, degrees
// and RPM are none of the units the guidelines allow.
std::string Perfdata(const std::string& label, const SensorView& s, const SensorChoice& choice)
{
    const CSensorInformation& i = s.info;
    if (s.level == Level::Error)
        return label + "=U";
    const std::string warn = choice.warning
                                 ? choice.warning->text
                                 : LimitRange(i, i.LowerThresholdNonCritical, i.UpperThresholdNonCritical);
    std::string crit = choice.critical ? choice.critical->text
                                       : LimitRange(i, i.LowerThresholdCritical, i.UpperThresholdCritical);
    if (!choice.critical && crit.empty())
        crit = LimitRange(i, i.LowerThresholdFatal, i.UpperThresholdFatal);
    // No min or max: the register tables' readable ranges (-1270..1270 and the like) are the
    // register's, not the sensor's.
    std::string item = label + "=" + ScaledText(s.reading, i.UnitModifier) + ";" + warn + ";" + crit;
    item.erase(item.find_last_not_of(';') + 1);
    return item;
}

std::string Reading(const Judged& j)
{
    const SensorView& s = *j.sensor;
    const std::string name = s.info.Description.empty() ? "(no name)" : s.info.Description;
    if (s.level == Level::Error)
        return name + " " + j.why;
    return name + " " + WithUnit(s.info, s.reading) + (j.why.empty() ? "" : " " + j.why);
}

bool Chosen(const std::vector<std::string>& names, const std::string& name)
{
    return names.empty() || std::find(names.begin(), names.end(), name) != names.end();
}

std::string Plural(size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Text for the lines before the performance data, where a '|' would start it.
std::string Plain(std::string text)
{
    std::replace(text.begin(), text.end(), '|', '/');
    return text;
}

std::string StatusLine(PluginState state, const std::string& text)
{
    return std::string(kService) + " " + StateWord(state) + " - " + Plain(text);
}
}  // namespace

const char* StateWord(PluginState state)
{
    static const char* const kWords[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
    return kWords[static_cast<int>(state)];
}

PluginState Worse(PluginState a, PluginState b)
{
    static const int kRank[] = {0, 2, 3, 1};  // by state: OK, WARNING, CRITICAL, UNKNOWN
    return kRank[static_cast<int>(a)] >= kRank[static_cast<int>(b)] ? a : b;
}

std::optional<Range> ParseRange(const std::string& written)
{
    Range range;
    range.text = written;
    std::string text = written;
    if (!text.empty() && text[0] == '@')
    {
        range.inside = true;
        text.erase(0, 1);
    }
    const size_t colon = text.find(':');
    if (colon == std::string::npos)
    {
        // "10" is 0:10.
        range.start = 0;
        range.end = Number(text);
        if (!range.end)
            return std::nullopt;
    }
    else
    {
        const std::string start = text.substr(0, colon), end = text.substr(colon + 1);
        if (start != "~")
        {
            range.start = start.empty() ? std::optional<double>(0) : Number(start);
            if (!range.start)
                return std::nullopt;
        }
        if (!end.empty())
        {
            range.end = Number(end);
            if (!range.end)
                return std::nullopt;
        }
    }
    if (range.start && range.end && *range.start > *range.end)
        return std::nullopt;
    return range;
}

bool Alerts(const Range& range, double value)
{
    const bool within = (!range.start || value >= *range.start) && (!range.end || value <= *range.end);
    return range.inside ? within : !within;
}

std::optional<int64_t> ParseDuration(const std::string& text)
{
    static const std::map<char, int64_t> kUnits = {{'s', 1}, {'m', 60}, {'h', 3600}, {'d', 86400}};
    if (text.empty())
        return std::nullopt;
    std::string digits = text;
    int64_t unit = 1;
    const auto found = kUnits.find(text.back());
    if (found != kUnits.end())
    {
        unit = found->second;
        digits.pop_back();
    }
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int64_t count = std::stoll(digits);
    if (count <= 0)
        return std::nullopt;
    return count * unit;
}

CheckResult UnknownResult(const std::string& why)
{
    return {PluginState::Unknown, StatusLine(PluginState::Unknown, why) + "\n"};
}

CheckResult CheckSensors(const MachineReadings& machine, const SensorChoice& choice)
{
    if (machine.failure)
        return UnknownResult(machine.failure->message);

    std::vector<Judged> judged;
    std::vector<std::string> perfdata;
    std::map<std::string, size_t> names;  // how many chosen sensors carry each name
    const auto each = [&](auto visit)
    {
        for (const ChipView& chip : machine.chips)
            for (const SensorView& s : chip.sensors)
                visit(chip.description, s);
        if (machine.ssds)
            for (const SensorView& s : machine.ssds->sensors)
                visit(std::string("NVMe SSD"), s);
    };
    each(
        [&](const std::string& chip, const SensorView& s)
        {
            if (Chosen(choice.chips, chip) && Chosen(choice.sensors, s.info.Description))
                ++names[s.info.Description];
        });
    for (const std::string& name : choice.chips)
    {
        bool found = false;
        each([&](const std::string& chip, const SensorView&) { found = found || chip == name; });
        if (!found)
            return UnknownResult("no chip named '" + name +
                                 "' with sensors ('qelsensors sensors' lists them)");
    }
    for (const std::string& name : choice.sensors)
        if (names.count(name) == 0)
            return UnknownResult("no sensor named '" + name + "'" +
                                 (choice.chips.empty() ? "" : " on the chosen chips") +
                                 " ('qelsensors sensors' lists them)");
    each(
        [&](const std::string& chip, const SensorView& s)
        {
            if (!Chosen(choice.chips, chip) || !Chosen(choice.sensors, s.info.Description))
                return;
            judged.push_back(JudgeSensor(chip, s, choice));
            // A name that two chips share is told apart by its chip, the same on every run.
            const std::string name =
                names[s.info.Description] > 1 ? chip + " " + s.info.Description : s.info.Description;
            perfdata.push_back(Perfdata(Label(name), s, choice));
        });
    if (judged.empty())
        return UnknownResult("the machine reports no sensor");

    PluginState state = PluginState::Ok;
    for (const Judged& j : judged)
        state = Worse(state, j.state);
    std::vector<const Judged*> problems;
    for (const Judged& j : judged)
        if (j.state != PluginState::Ok)
            problems.push_back(&j);
    // Worst first; in the order of the machine within a state.
    std::stable_sort(problems.begin(), problems.end(),
                     [](const Judged* a, const Judged* b)
                     { return Worse(a->state, b->state) == a->state && a->state != b->state; });

    std::string text;
    for (size_t i = 0; i < problems.size() && i < kNamedProblems; ++i)
        text += (i ? ", " : "") + Reading(*problems[i]);
    if (problems.size() > kNamedProblems)
        text += " and " + std::to_string(problems.size() - kNamedProblems) + " more";
    // No ';' in the text: Nagios turns it into ':'.
    const size_t fine = judged.size() - problems.size();
    if (problems.empty())
        text = judged.size() == 1
                   ? "the sensor is within its limits"
                   : "all " + std::to_string(judged.size()) + " sensors are within their limits";
    else
        text += " (" + std::to_string(fine) + " of " + Plural(judged.size(), "sensor", "sensors") + " fine)";

    CheckResult result{state, StatusLine(state, text) + "\n"};
    for (const Judged& j : judged)
        result.output += Plain(std::string(StateWord(j.state)) + ": " + j.chip + ": " + Reading(j)) + "\n";
    result.output += "|";
    for (const std::string& item : perfdata)
        result.output += " " + item;
    result.output += "\n";
    return result;
}

CheckResult CheckEventLog(const EventLogReading& eventLog, int64_t now, int64_t since,
                          const std::string& sinceText)
{
    if (eventLog.failure)
        return UnknownResult("cannot read the BIOS event log: " + eventLog.failure->message);
    std::vector<std::string> errors, warnings;
    for (const SELogEvent& decoded : eventLog.events)
    {
        const SelEvent event = SelEventOf(decoded);
        // An event without a readable time cannot be placed after --since; it is left out.
        if (!event.time || *event.time < now - since)
            continue;
        if (event.severity == "error")
            errors.push_back(decoded.line);
        else if (event.severity == "warning")
            warnings.push_back(decoded.line);
    }
    const PluginState state = !errors.empty() ? PluginState::Critical
                                              : (!warnings.empty() ? PluginState::Warning : PluginState::Ok);
    std::string text;
    if (state == PluginState::Ok)
        text = "no error or warning event in the BIOS event log in the last " + sinceText + " (" +
               Plural(eventLog.events.size(), "event", "events") + " in all)";
    else
    {
        if (!errors.empty())
            text = Plural(errors.size(), "error event", "error events");
        if (!warnings.empty())
            text +=
                (text.empty() ? "" : " and ") + Plural(warnings.size(), "warning event", "warning events");
        const std::string& newest = !errors.empty() ? errors.back() : warnings.back();
        text += " in the BIOS event log in the last " + sinceText + ", the newest: " + newest;
    }
    CheckResult result{state, StatusLine(state, text) + "\n"};
    for (const std::string& line : errors)
        result.output += Plain(line) + "\n";
    for (const std::string& line : warnings)
        result.output += Plain(line) + "\n";
    result.output += "| 'error events'=" + std::to_string(errors.size()) +
                     ";;0;0 'warning events'=" + std::to_string(warnings.size()) + ";0;;0\n";
    return result;
}
}  // namespace QelTool
