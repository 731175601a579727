// The last reading pass, kept by the metrics service (as root) for the checks of unprivileged
// pollers: what was read, as the library gave it, so that a check of the file judges exactly as a
// check of the till.
#pragma once

#include "Readings.h"
#include "Support.h"

#include <cstdint>
#include <optional>
#include <string>

namespace QelTool
{
// Where the metrics service keeps it (under the system root) and the check looks first.
constexpr char kStatePath[] = "/var/lib/qelsensors/readings.json";

struct PassState
{
    int64_t time = 0;  // when the pass began, seconds since the epoch
    MachineReadings machine;
    EventLogReading eventLog;
};

// One document of the pass.
std::string StateText(const PassState& pass);
// The pass of a document; nothing when it is not one (a failure says why).
std::optional<PassState> ParseState(const std::string& text, std::string& why);
}  // namespace QelTool
