// The Prometheus text exposition of one pass over the machine: the readings in base units with the
// limits the BIOS gives, a status per sensor, the SSD temperatures, and the event log as counters.
// The families follow node_exporter's hardware-monitor metrics (node_hwmon_temp_celsius,
// node_hwmon_fan_min_rpm, ...); what was not read is left out, never written as 0.
#pragma once

#include "Readings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace QelTool
{
// One event of the decoded log, as the counters need it.
struct SelEvent
{
    std::string type;             // "System boot", "Unknown(0x42)", ...
    std::string severity;         // "information", "warning", "error", "unknown", or "none"
    std::optional<int64_t> time;  // seconds since the epoch, the BIOS clock taken as UTC
};

// The decoder's event of "System boot:2022-03-01:08.00.12:Information:BIOS::" ->
// {"System boot", "information", 1646121612}.
SelEvent SelEventOf(const SELogEvent& event);

// What the exposition says about the till besides its readings.
struct MachineIdentity
{
    std::string model;        // "Falcon"; empty when unknown
    std::string biosVersion;  // empty when the table could not be read
    std::string version;      // of this tool
};

// The exposition of one pass; seconds is how long the pass took.
std::string MetricsText(const MachineReadings& machine, const EventLogReading& eventLog,
                        const MachineIdentity& identity, double seconds);

// The text format's escaping of a label value: backslash, double quote and line feed.
std::string EscapeLabelValue(const std::string& value);
}  // namespace QelTool
