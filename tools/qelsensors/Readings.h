// What the commands that report readings share: one pass over the machine through CChip (every
// chip sensor, and the SSD temperatures the provider publishes), each reading judged against the
// limits the BIOS gives, and the event log as the library decodes it.
#pragma once

#include "Commands.h"
#include "Support.h"

#include "SELog.h"
#include "SMBiosEventLogData.h"
#include "SMBiosSensorRecords.h"
#include "SensorInterface.h"
#include "SsdDevice.h"

#include <optional>
#include <string>
#include <vector>

class CChip;

namespace QelTool
{
// Ordered by severity: the worst sensor decides the exit status.
enum class Level
{
    Ok,
    Warning,
    Critical,
    Fatal,
    Error  // no reading
};

// "ok", "warning", "critical", "fatal", "error".
const char* LevelWord(Level level);

struct UnitName
{
    uint16_t code;
    const char* symbol;  // for people
    const char* name;    // the CIM name, for the JSON output
};
// The CIM BaseUnits code's symbol and name; "" and "Unknown" for a code the drivers do not use.
const UnitName& UnitOf(uint16_t baseUnits);

// A value in the sensor's unit, with the unit: "0.899 V", "45 °C".
std::string WithUnit(const CSensorInformation& info, int32_t value);

// A limit or reading the library gives as unknown (0x80000000) is no value.
bool Known(int32_t value);

// A reading exactly at a limit is still within it.
Level Judge(const CSensorInformation& info, int32_t value);

struct SensorView
{
    SENSOR_HANDLE handle = 0;
    SENSOR_STATUS status = SS_SUCCESS;  // of the first call that failed
    CSensorInformation info;
    int32_t reading = 0;  // the low 32 bits of the translated reading, signed; only when read
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
    // Where it was read from: the kernel driver standing in for the ports ("": the ports), and
    // whether the SMBIOS table came from the kernel's copy in sysfs rather than from memory.
    std::string kernelDriver;
    bool smbiosFromSysfs = false;
    std::vector<SensorView> sensors;
};

// The NVMe SSDs whose temperatures the provider publishes on this model.
struct SsdReadings
{
    std::vector<SsdDevice> devices;
    std::vector<SensorView> sensors;  // one per device, named as the provider names it
};

// Everything one pass read, or why the chips could not be read at all.
struct MachineReadings
{
    std::optional<Failure> failure;        // set: the chips were not read (nor the SSDs)
    std::vector<ChipView> chips;           // in device-index order, each with its sensors
    std::optional<SsdReadings> ssds;       // on the model that has them, with the readings on
    Level worst = Level::Ok;               // of every sensor read (Error: one could not be read)
    std::optional<SENSOR_STATUS> started;  // what CChip::Initialise answered, when it was called
};

// Checks the device files, starts chip and reads every sensor once, then the SSDs.
MachineReadings ReadMachine(CChip& chip);

// The exit status for the worst reading: 0, 3, 4, 5, or 1 when a sensor could not be read.
int ExitCode(Level worst);

// An identity field of an NVMe controller without the blanks (or NULs) that pad it.
std::string Trimmed(const std::string& field);

// The event log, through chip (limit events then name their sensor, also when a known till's
// chips did not start), else read by the library without the chips.
struct EventLogReading
{
    std::optional<Failure> failure;           // set: the log could not be read
    CSystemEventLog log;                      // the flags and the lines, oldest first
    std::vector<SELogEvent> events;           // beside each line, what the decoder made it from
    std::optional<CSMBios_TYPE15> location;   // the Type 15 structure the log was found through
    std::optional<SENSOR_STATUS> chipStatus;  // set: the chips did not start, and why
    bool sensorNames = true;                  // limit events name their sensor, not only its handle
};
// started: what chip's Initialise answered, if it was called; otherwise it is called here.
EventLogReading ReadEventLog(CChip& chip, std::optional<SENSOR_STATUS> started);
// The event log of a dump: the area as captured, decoded by the library with the Type 15
// structure and the sensors of the table under the system root (no physical memory is read, so no
// root is needed). address: where the capture found the area.
EventLogReading ReadEventLogFromArea(uint32_t address, const std::vector<uint8_t>& area);
}  // namespace QelTool
