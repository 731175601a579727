// Helpers shared by the event log tests: a fake source of sensor records and a decoder run over
// a hand-built log area.
#pragma once

#include "Capture.h"
#include "EventLogArea.h"
#include "EventLogContainer.h"
#include "RawEvLog.h"
#include "SELog.h"
#include "SMBiosSensorRecords.h"
#include "SensorRecordSource.h"

#include <map>
#include <string>
#include <vector>

namespace QelTest
{
class FakeSensorSource : public CSensorRecordSource
{
public:
    CSMBios_Sensor* GetRawSensorFromFirstChipDevice(uint16_t wHandle) override
    {
        ++calls;
        auto it = sensors.find(wHandle);
        return it != sensors.end() ? it->second : nullptr;
    }

    std::map<uint16_t, CSMBios_Sensor*> sensors;  // not owned
    int calls = 0;
};

struct Decoded
{
    bool ok = false;
    std::vector<std::string> lines;
    std::vector<SELogEvent> events;  // beside each line
    std::vector<std::string> out;    // what the decoder printed on standard output
};

// Decodes the bytes (held in a block of exactly their size) with the given descriptors; the
// container, when given, answers the probe look-ups.
inline Decoded Decode(const std::vector<uint8_t>& area, const EventLogDescriptors& descriptors,
                      EventLogContainer* pContainer = nullptr)
{
    Decoded d;
    CRawEvLog raw;
    raw.Copy(area.data(), static_cast<uint32_t>(area.size()));
    SELog log;
    d.out = LibraryDebugLines(CaptureStdout([&] { d.ok = log.initialise(pContainer, raw, descriptors); }));
    log.getLogLines(d.lines);
    d.events = log.events();
    return d;
}

inline EventLogDescriptors Declared(const std::vector<QelSim::LogTypeDescriptor>& list)
{
    EventLogDescriptors descriptors;
    for (const QelSim::LogTypeDescriptor& d : list)
    {
        EventLogDescriptor e;
        e.byLogType = d.type;
        e.byVDFType = d.format;
        descriptors.push_back(e);
    }
    return descriptors;
}

inline Decoded Decode(const QelSim::EventLogArea& area, EventLogContainer* pContainer = nullptr)
{
    return Decode(area.Encode(), Declared(QelSim::DecodedTypeDescriptors()), pContainer);
}
}  // namespace QelTest
