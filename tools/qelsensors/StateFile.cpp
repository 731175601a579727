#include "StateFile.h"

namespace QelTool
{
namespace
{
// The file's own layout; a reader refuses another.
constexpr int kStateSchema = 1;

Json FailureJson(const std::optional<Failure>& failure)
{
    if (!failure)
        return Json();
    return {{"message", failure->message}, {"status", failure->status ? Json(*failure->status) : Json()}};
}

std::optional<Failure> FailureOf(const Json& json)
{
    if (json.is_null())
        return std::nullopt;
    Failure failure{json.at("message").get<std::string>(), std::nullopt};
    if (!json.at("status").is_null())
        failure.status = json.at("status").get<SENSOR_STATUS>();
    return failure;
}

// The library's numbers as it gave them: limits and reading in units of 10^unitModifier.
const struct
{
    const char* key;
    int32_t CSensorInformation::*field;
} kLimits[] = {{"lowerNonCritical", &CSensorInformation::LowerThresholdNonCritical},
               {"upperNonCritical", &CSensorInformation::UpperThresholdNonCritical},
               {"lowerCritical", &CSensorInformation::LowerThresholdCritical},
               {"upperCritical", &CSensorInformation::UpperThresholdCritical},
               {"lowerFatal", &CSensorInformation::LowerThresholdFatal},
               {"upperFatal", &CSensorInformation::UpperThresholdFatal},
               {"minReadable", &CSensorInformation::MinReadable},
               {"maxReadable", &CSensorInformation::MaxReadable}};

Json SensorJson(const SensorView& s)
{
    const CSensorInformation& i = s.info;
    Json sensor = {{"handle", s.handle},       {"name", i.Description},          {"sensorType", i.SensorType},
                   {"baseUnits", i.BaseUnits}, {"unitModifier", i.UnitModifier}, {"status", s.status}};
    for (const auto& limit : kLimits)
        sensor[limit.key] = Known(i.*limit.field) ? Json(i.*limit.field) : Json();
    sensor["reading"] = s.level == Level::Error ? Json() : Json(s.reading);
    return sensor;
}

SensorView SensorOf(const Json& json)
{
    SensorView s;
    s.handle = json.at("handle").get<SENSOR_HANDLE>();
    s.status = json.at("status").get<SENSOR_STATUS>();
    CSensorInformation& i = s.info;
    i.Description = json.at("name").get<std::string>();
    i.SensorType = json.at("sensorType").get<uint16_t>();
    i.BaseUnits = json.at("baseUnits").get<uint16_t>();
    i.UnitModifier = json.at("unitModifier").get<int32_t>();
    for (const auto& limit : kLimits)
        if (!json.at(limit.key).is_null())
            i.*limit.field = json.at(limit.key).get<int32_t>();
    if (!json.at("reading").is_null())
    {
        s.reading = json.at("reading").get<int32_t>();
        s.level = Judge(i, s.reading);
    }
    return s;
}

// An event as the decoder gives it: its line, type, severity byte and time (year to second).
Json EventJson(const SELogEvent& e)
{
    Json time;
    if (const std::optional<SELogTime>& t = e.time)
        time = Json::array({t->year, t->month, t->day, t->hour, t->minute, t->second});
    return {{"line", e.line},
            {"type", e.type},
            {"severity", e.severity ? Json(*e.severity) : Json()},
            {"time", time}};
}

SELogEvent EventOf(const Json& json)
{
    SELogEvent e;
    e.line = json.at("line").get<std::string>();
    e.type = json.at("type").get<uint8_t>();
    if (!json.at("severity").is_null())
        e.severity = json.at("severity").get<uint8_t>();
    const Json& time = json.at("time");
    if (!time.is_null())
    {
        SELogTime t;
        t.year = time.at(0).get<uint16_t>();
        t.month = time.at(1).get<uint8_t>();
        t.day = time.at(2).get<uint8_t>();
        t.hour = time.at(3).get<uint8_t>();
        t.minute = time.at(4).get<uint8_t>();
        t.second = time.at(5).get<uint8_t>();
        e.time = t;
    }
    return e;
}
}  // namespace

std::string StateText(const PassState& pass)
{
    Json chips = Json::array();
    for (const ChipView& chip : pass.machine.chips)
    {
        Json sensors = Json::array();
        for (const SensorView& s : chip.sensors)
            sensors.push_back(SensorJson(s));
        chips.push_back({{"device", chip.device}, {"description", chip.description}, {"sensors", sensors}});
    }
    Json events = Json::array();
    for (const SELogEvent& e : pass.eventLog.events)
        events.push_back(EventJson(e));
    Json ssds;
    if (pass.machine.ssds)
    {
        ssds = Json::array();
        for (const SensorView& s : pass.machine.ssds->sensors)
            ssds.push_back(SensorJson(s));
    }
    const Json document = {
        {"schema", kStateSchema},
        {"time", pass.time},
        {"failure", FailureJson(pass.machine.failure)},
        {"chips", chips},
        {"ssds", ssds},
        {"eventLog", {{"failure", FailureJson(pass.eventLog.failure)}, {"events", events}}}};
    return document.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<PassState> ParseState(const std::string& text, std::string& why)
{
    try
    {
        const Json document = Json::parse(text);
        if (document.at("schema") != kStateSchema)
        {
            why = "written in another layout (schema " + document.at("schema").dump() + ")";
            return std::nullopt;
        }
        PassState pass;
        pass.time = document.at("time").get<int64_t>();
        pass.machine.failure = FailureOf(document.at("failure"));
        for (const Json& c : document.at("chips"))
        {
            ChipView chip;
            chip.device = c.at("device").get<uint32_t>();
            chip.description = c.at("description").get<std::string>();
            for (const Json& s : c.at("sensors"))
                chip.sensors.push_back(SensorOf(s));
            pass.machine.chips.push_back(chip);
        }
        if (!document.at("ssds").is_null())
        {
            pass.machine.ssds.emplace();
            for (const Json& s : document.at("ssds"))
                pass.machine.ssds->sensors.push_back(SensorOf(s));
        }
        const Json& log = document.at("eventLog");
        pass.eventLog.failure = FailureOf(log.at("failure"));
        for (const Json& e : log.at("events"))
            pass.eventLog.events.push_back(EventOf(e));
        return pass;
    }
    catch (const Json::exception& e)
    {
        why = std::string("not a readings file: ") + e.what();
        return std::nullopt;
    }
}
}  // namespace QelTool
