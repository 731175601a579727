// qelsensors check: a pass over the machine, or its event log, judged the way Nagios, Icinga,
// Naemon and Checkmk read a monitoring plugin: an exit status, one status line, details on the
// lines after it and performance data after a '|'.
#pragma once

#include "Readings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace QelTool
{
// The plugin's states; the value is the exit status.
enum class PluginState
{
    Ok = 0,
    Warning = 1,
    Critical = 2,
    Unknown = 3
};

// "OK", "WARNING", "CRITICAL", "UNKNOWN".
const char* StateWord(PluginState state);

// The state of two that decides: CRITICAL, then WARNING, then UNKNOWN, then OK. A reading beyond a
// limit outranks one that could not be taken; neither is ever OK.
PluginState Worse(PluginState a, PluginState b);

// A threshold range of the plugin guidelines, [@]start:end: alert outside start..end (ends
// included), or inside it with '@'. A missing start is -infinity ('~'), a missing end +infinity.
struct Range
{
    bool inside = false;
    std::optional<double> start;
    std::optional<double> end;
    std::string text;  // as written
};

// The range, or nothing when text is not one (or its start lies above its end).
std::optional<Range> ParseRange(const std::string& text);
bool Alerts(const Range& range, double value);

// "30s", "15m", "12h", "7d", or plain seconds; nothing when it is none of them or not positive.
std::optional<int64_t> ParseDuration(const std::string& text);

struct SensorChoice
{
    std::optional<Range> warning;      // replaces the BIOS non-critical limits of the chosen sensors
    std::optional<Range> critical;     // replaces their critical and non-recoverable limits
    std::vector<std::string> sensors;  // by name; every sensor when empty
    std::vector<std::string> chips;    // by description ("NVMe SSD" for the SSDs); every chip when empty
};

struct CheckResult
{
    PluginState state = PluginState::Unknown;
    std::string output;  // the status line, details and performance data, each line ending in '\n'
};

// The sensors' check of one pass.
CheckResult CheckSensors(const MachineReadings& machine, const SensorChoice& choice);

// The event log's check: Error events newer than now - since seconds are CRITICAL, Warning events
// WARNING. sinceText: --since as given, for the line.
CheckResult CheckEventLog(const EventLogReading& eventLog, int64_t now, int64_t since,
                          const std::string& sinceText);

// "QELSENSORS UNKNOWN - why"; further lines of why (a Failure's hints) follow the status line.
CheckResult UnknownResult(const std::string& why);
}  // namespace QelTool
