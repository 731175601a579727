// Any text as the names of a chip and its sensor, and any records as the decoded event log: the
// exposition must stay what Prometheus parses. Every sample line is a family name, a label set
// whose values end where their closing quote is (escapes honoured, no raw line feed), one blank and
// a value; every family is announced once. Broken invariants abort.
//
// Input: the chip's name, '\n', the sensor's name, '\n', then the records of an event log area
// (after a valid header), decoded with the built-in sample's descriptors.
#include "FuzzSupport.h"
#include "Metrics.h"
#include "RawEvLog.h"

#include <cctype>
#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{
using QelFuzz::Check;

bool NameChar(char c, bool first)
{
    return isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':' ||
           (!first && isdigit(static_cast<unsigned char>(c)));
}

// Checks one sample line; returns its family name.
std::string CheckSample(const std::string& line)
{
    size_t at = 0;
    while (at < line.size() && NameChar(line[at], at == 0))
        ++at;
    Check(at > 0);
    const std::string family = line.substr(0, at);
    if (at < line.size() && line[at] == '{')
    {
        ++at;
        while (true)
        {
            const size_t nameStart = at;
            while (at < line.size() && NameChar(line[at], at == nameStart))
                ++at;
            Check(at > nameStart && at + 1 < line.size() && line[at] == '=' && line[at + 1] == '"');
            at += 2;
            while (at < line.size() && line[at] != '"')
            {
                if (line[at] == '\\')
                {
                    Check(at + 1 < line.size());
                    const char escaped = line[at + 1];
                    Check(escaped == '\\' || escaped == '"' || escaped == 'n');
                    ++at;
                }
                ++at;
            }
            Check(at < line.size());
            ++at;
            if (at < line.size() && line[at] == ',')
            {
                ++at;
                continue;
            }
            Check(at < line.size() && line[at] == '}');
            ++at;
            break;
        }
    }
    Check(at + 1 < line.size() && line[at] == ' ');
    const std::string value = line.substr(at + 1);
    Check(value.find(' ') == std::string::npos && !value.empty());
    return family;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> lines;
    std::string current;
    size_t i = 0;
    for (; i < size && lines.size() < 2; ++i)
    {
        if (data[i] == '\n')
        {
            lines.push_back(current);
            current.clear();
        }
        else
            current += static_cast<char>(data[i]);
    }
    if (lines.size() < 2)
        lines.push_back(current);

    QelTool::MachineReadings machine;
    QelTool::ChipView chip;
    chip.description = lines[0];
    QelTool::SensorView sensor;
    sensor.handle = static_cast<SENSOR_HANDLE>(size);
    sensor.info.Description = lines.size() > 1 ? lines[1] : "";
    sensor.info.BaseUnits = 5;
    sensor.info.UnitModifier = -3;
    sensor.reading = static_cast<int32_t>(size * 7919u);
    sensor.level = QelTool::Level::Ok;
    chip.sensors.push_back(sensor);
    machine.chips.push_back(chip);
    QelTool::EventLogReading log;
    std::vector<uint8_t> area(16, 0);
    area[15] = 1;  // Log Header Type 1, revision 1
    area.insert(area.end(), data + i, data + size);
    CRawEvLog raw;
    raw.Copy(area.data(), static_cast<uint32_t>(area.size()));
    SELog decoder;
    Check(decoder.initialise(nullptr, raw, SampleEventLogDescriptors()));
    log.events = decoder.events();
    for (const SELogEvent& decoded : log.events)
    {
        const QelTool::SelEvent event = QelTool::SelEventOf(decoded);
        Check(decoded.line.compare(0, event.type.size() + 1, event.type + ":") == 0);
    }

    const std::string text = QelTool::MetricsText(machine, log, {lines[0], "", ""}, 0);
    Check(!text.empty() && text.back() == '\n');
    std::istringstream in(text);
    std::set<std::string> announced;
    std::string family;
    for (std::string line; std::getline(in, line);)
    {
        if (line.rfind("# HELP ", 0) == 0)
        {
            family = line.substr(7, line.find(' ', 7) - 7);
            Check(announced.insert(family).second);
        }
        else if (line.rfind("# TYPE ", 0) == 0)
            Check(line.rfind("# TYPE " + family + " ", 0) == 0);
        else
            Check(CheckSample(line) == family);
    }
    return 0;
}
