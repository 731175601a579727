// One pass over the machine for the commands that report readings.
#include "Readings.h"

#include "ChipDriver.h"
#include "ChipStartReport.h"
#include "POSSystem.h"
#include "chip.h"

#include "NvmeSsd.h"

#include <algorithm>
#include <cerrno>

namespace QelTool
{
namespace
{
// The SSD temperature sensors the provider publishes, from the same NVMe module: on the model that
// has them and when the sensor configuration switches them on; nothing otherwise. A drive that does
// not answer (or reports no temperature, 0 K) shows as an error where the provider would publish 0.
std::optional<SsdReadings> ReadSsds()
{
    int setting = 0;
    NvmeSsd::getConfig(setting);
    if (!NvmeSsd::sensorsOn(setting))
        return std::nullopt;
    SsdReadings readings;
    NvmeSsd nvme;
    nvme.scanNVMeDevices();
    for (const SsdSensor& ssd : nvme.readSensors())
    {
        readings.devices.push_back(ssd.device);
        SensorView view;
        view.handle = static_cast<SENSOR_HANDLE>(readings.sensors.size());
        view.info = ssd.info;
        if (!ssd.reading.known())
        {
            view.status = SS_HWMON_ERROR;
            readings.sensors.push_back(view);
            continue;
        }
        view.reading = NvmeSsd::kelvinToCelsius(ssd.reading.kelvin);
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
        chip.kernelDriver = started.readThrough;
        chip.smbiosFromSysfs = report.tableSource == SMBiosSource::Sysfs;
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
        if (const std::optional<PortClaim>& claim = failed.kernelClaim)
        {
            char ports[64];
            snprintf(ports, sizeof(ports), "ports 0x%04x-0x%04x", claim->first, claim->last);
            return std::string(name) + ": the kernel's " + claim->driver + " driver owns this chip (" +
                   ports +
                   "); two readers of one chip select registers under each other, so it is left to the "
                   "driver: its readings are under /sys/class/hwmon, or unload the driver ('modprobe -r " +
                   claim->driver + "') to read the chip here";
        }
        if (!failed.kernelProblem.empty())
            return std::string(name) + ": " + failed.kernelProblem;
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

// Names what kept the library from the log, from how far its reading got.
Failure ExplainEventLogFailure(const EventLogReport& report, SENSOR_STATUS status)
{
    using Step = EventLogReport::Step;
    Failure failure;
    failure.status = status;
    char text[256];
    switch (report.reached)
    {
    case Step::AccessMethod:
    {
        const uint8_t method = report.type15->byAccessMethod;
        snprintf(text, sizeof(text), "the event log's access method is %u (%s); only %u (%s) can be read",
                 method, EventLogAccessMethodName(method), EVENT_LOG_ACCESS_PHYSICAL32,
                 EventLogAccessMethodName(EVENT_LOG_ACCESS_PHYSICAL32));
        failure.message = text;
        break;
    }
    case Step::Area:
        if (report.areaError == EPERM)
        {
            failure.message = "reading the event log area needs root";
            break;
        }
        snprintf(text, sizeof(text), "cannot map the event log area (address 0x%08X, %u bytes) from ",
                 report.type15->AccessMethodAddress.PhysicalAddr32, report.type15->wLogAreaLength);
        failure.message = text + report.areaDevice;
        break;
    case Step::Header:
    case Step::Decoded:
        failure.message = "the event log area has no valid header (Log Header Type 1, revision 1)";
        break;
    default:
        failure.message = "no System Event Log structure (Type 15) in a readable SMBIOS table";
        break;
    }
    // The library answers 1 when the log was already unreadable as it started.
    failure.message += status == SS_NOT_INITIALISED ? " (the library's event log is " + StatusText(status) +
                                                          ": it could not be read at start)"
                                                    : " (" + StatusText(status) + ")";
    failure.message += "\n" + LibraryLogHint();
    return failure;
}
}  // namespace

// The CIM BaseUnits codes the drivers use, and a few neighbours.
const UnitName kUnits[] = {{2, "°C", "Degrees C"}, {3, "°F", "Degrees F"}, {4, "K", "Degrees K"},
                           {5, "V", "Volts"},      {6, "A", "Amps"},       {7, "W", "Watts"},
                           {19, "RPM", "RPM"}};
const UnitName kUnknownUnit = {0, "", "Unknown"};

const UnitName& UnitOf(uint16_t baseUnits)
{
    for (const UnitName& unit : kUnits)
        if (unit.code == baseUnits)
            return unit;
    return kUnknownUnit;
}

std::string WithUnit(const CSensorInformation& info, int32_t value)
{
    const std::string text = ScaledText(value, info.UnitModifier);
    const UnitName& unit = UnitOf(info.BaseUnits);
    return *unit.symbol != '\0' ? text + " " + unit.symbol : text;
}

const char* LevelWord(Level level)
{
    static const char* const kWords[] = {"ok", "warning", "critical", "fatal", "error"};
    return kWords[static_cast<int>(level)];
}

bool Known(int32_t value)
{
    return value != SENSOR_VALUE_UNKNOWN;
}

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

std::string Trimmed(const std::string& field)
{
    const size_t end = field.find_last_not_of(std::string(" \0", 2));
    return end == std::string::npos ? "" : field.substr(0, end + 1);
}

MachineReadings ReadMachine(CChip& chip)
{
    MachineReadings readings;
    readings.failure = CheckPhysMem();
    if (!readings.failure)
        readings.failure = CheckPortDevice();
    if (readings.failure)
        return readings;

    readings.started = chip.Initialise();
    if (*readings.started != SS_SUCCESS)
    {
        readings.failure = ExplainInitialise(StartReportOf(chip));
        return readings;
    }
    CSensorHandleList handles;
    const SENSOR_STATUS status = chip.EnumerateSensorHandles(handles);
    if (status != SS_SUCCESS)
    {
        readings.failure = Failure{
            "cannot list the sensors: " + StatusText(status) +
                "\n  the chips started, but report no sensor; 'qelsensors smbios' lists what the BIOS "
                "describes\n" +
                LibraryLogHint(),
            status};
        return readings;
    }

    readings.chips = Chips(StartReportOf(chip));
    for (SENSOR_HANDLE handle : handles)
    {
        SensorView view = ReadOne(chip, handle);
        readings.worst = std::max(readings.worst, view.level);
        ChipFor(readings.chips, DeviceIndexOf(handle)).sensors.push_back(view);
    }
    readings.ssds = ReadSsds();
    if (readings.ssds)
        for (const SensorView& view : readings.ssds->sensors)
            readings.worst = std::max(readings.worst, view.level);
    return readings;
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

EventLogReading ReadEventLog(CChip& chip, std::optional<SENSOR_STATUS> started)
{
    EventLogReading reading;
    reading.failure = CheckPhysMem();
    if (reading.failure)
        return reading;

    // Through CChip, so that limit events name their sensor; the library keeps the log when a
    // known till's chips cannot be started. Otherwise the library reads it without the chips.
    const SENSOR_STATUS start = started ? *started : chip.Initialise();
    if (start != SS_SUCCESS)
        reading.chipStatus = start;
    SENSOR_STATUS status = chip.GetSystemEventLog(reading.log);
    if (status == SS_NOT_INITIALISED && start != SS_SUCCESS)
    {
        reading.sensorNames = false;
        status = ReadEventLogWithoutChips(chip, reading.log);
    }
    const EventLogReport& report = StartReportOf(chip).eventLog;
    // A log that failed at start leaves the container uninitialised: 1 means unreadable here.
    if (status != SS_SUCCESS)
    {
        reading.failure = ExplainEventLogFailure(report, status);
        return reading;
    }
    reading.events = report.events;
    reading.location = report.type15;
    return reading;
}

EventLogReading ReadEventLogFromArea(uint32_t address, const std::vector<uint8_t>& area)
{
    using Step = EventLogReport::Step;
    EventLogReading reading;
    EventLogReport report;
    DecodeEventLogArea(address, area, reading.log, report);
    char text[256];
    switch (report.reached)
    {
    case Step::Decoded:
        reading.events = report.events;
        reading.location = report.type15;
        break;
    case Step::Header:
        reading.failure = Failure{"the event log area has no valid header (Log Header Type 1, revision 1)",
                                  SS_EVENT_LOG_ERROR};
        break;
    case Step::AccessMethod:
    case Step::Area:
    {
        const CSMBios_TYPE15& t = *report.type15;
        snprintf(text, sizeof(text),
                 "the event-log area (0x%08X, %zu bytes) is not the one Type 15 names (access method %u, "
                 "0x%08X, %u bytes)",
                 address, area.size(), t.byAccessMethod, t.AccessMethodAddress.PhysicalAddr32,
                 t.wLogAreaLength);
        reading.failure = Failure{text, std::nullopt};
        break;
    }
    default:
        reading.failure =
            Failure{"no System Event Log structure (Type 15) in the SMBIOS table", std::nullopt};
        break;
    }
    return reading;
}
}  // namespace QelTool
