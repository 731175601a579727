#include "SmbiosDevices.h"

#include "POSSystem.h"
#include "RawSMBios.h"
#include "SMBiosChipData.h"
#include "SMBiosSensorData.h"

#include <cstdarg>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace QelTool
{
namespace
{
const char kUndefined[] = "undefined";  // a code the SMBIOS standard does not assign
const char kUnknown[] = "unknown";

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0)
        vsnprintf(&text[0], text.size() + 1, format, again);
    va_end(again);
    return text;
}

// A code looked up in a table that starts at code 1.
template <size_t N>
const char* CodeName(const char* const (&names)[N], unsigned code)
{
    return code >= 1 && code <= N ? names[code - 1] : kUndefined;
}

const char* AddressTypeName(uint8_t code)
{
    static const char* const kNames[] = {"other", "unknown", "I/O port", "memory", "SM Bus"};
    return CodeName(kNames, code);
}

const char* DeviceTypeName(uint8_t code)
{
    static const char* const kNames[] = {"Other",   "Unknown", "LM75",    "LM78",   "LM79",
                                         "LM80",    "LM81",    "ADM9240", "DS1780", "MAX1617",
                                         "GL518SM", "W83781D", "HT82H791"};
    return CodeName(kNames, code);
}

// Bits 7..5 of the location-and-status and device-type-and-status bytes.
const char* StatusName(uint8_t byte)
{
    static const char* const kNames[] = {"Other",        "Unknown",  "OK",
                                         "Non-critical", "Critical", "Non-recoverable"};
    return CodeName(kNames, byte >> 5);
}

// Bits 4..0 of a probe's location-and-status byte. Voltage probes use the first eleven codes.
const char* ProbeLocationName(uint32_t kind, uint8_t byte)
{
    static const char* const kNames[] = {"Other",
                                         "Unknown",
                                         "Processor",
                                         "Disk",
                                         "Peripheral Bay",
                                         "System Management Module",
                                         "Motherboard",
                                         "Memory Module",
                                         "Processor Module",
                                         "Power Unit",
                                         "Add-in Card",
                                         "Front Panel Board",
                                         "Back Panel Board",
                                         "Power System Board",
                                         "Drive Back Plane"};
    const unsigned code = byte & 0x1Fu;
    if (kind == SENSOR_KIND_VOLTAGE && code > 11)
        return kUndefined;
    return CodeName(kNames, code);
}

// Bits 4..0 of a cooling device's device-type-and-status byte.
const char* CoolingDeviceTypeName(uint8_t byte)
{
    static const char* const kNames[] = {
        "Other",       "Unknown",          "Fan",       "Centrifugal Blower",      "Chip Fan",
        "Cabinet Fan", "Power Supply Fan", "Heat Pipe", "Integrated Refrigeration"};
    const unsigned code = byte & 0x1Fu;
    if (code == 0x10)
        return "Active Cooling";
    if (code == 0x11)
        return "Passive Cooling";
    return CodeName(kNames, code);
}

const char* KindWord(uint32_t kind)
{
    switch (kind)
    {
    case SENSOR_KIND_VOLTAGE:
        return "voltage";
    case SENSOR_KIND_COOLING:
        return "cooling";
    case SENSOR_KIND_TEMPERATURE:
        return "temperature";
    default:
        return "unknown";
    }
}

// Probe values and limits are signed words: voltages and temperatures can lie below zero.
int Signed(uint16_t word)
{
    return word < 0x8000 ? word : word - 0x10000;
}

// A measured value or limit in the sensor's unit: mV, 1/10 degree C or RPM in the structure.
// Empty when the word says unknown.
std::string Value(uint32_t kind, uint16_t word)
{
    if (word == SMBIOS_WORD_UNKNOWN)
        return "";
    switch (kind)
    {
    case SENSOR_KIND_VOLTAGE:
        return Format("%.3f V", Signed(word) / 1000.0);
    case SENSOR_KIND_TEMPERATURE:
        return Format("%.1f deg C", Signed(word) / 10.0);
    case SENSOR_KIND_COOLING:
        return Format("%u RPM", word);
    default:
        return Format("0x%04x", word);
    }
}

std::string ValueOrUnknown(uint32_t kind, uint16_t word)
{
    return word == SMBIOS_WORD_UNKNOWN ? kUnknown : Value(kind, word);
}

// Resolution: 1/10 mV or 1/1000 degree C.
std::string Resolution(uint32_t kind, uint16_t word)
{
    if (word == SMBIOS_WORD_UNKNOWN)
        return kUnknown;
    return kind == SENSOR_KIND_VOLTAGE ? Format("%.1f mV", word / 10.0) : Format("%.3f deg C", word / 1000.0);
}

std::string Tolerance(uint32_t kind, uint16_t word)
{
    return word == SMBIOS_WORD_UNKNOWN ? kUnknown : "+/- " + Value(kind, word);
}

// Accuracy: 1/100 percent.
std::string Accuracy(uint16_t word)
{
    return word == SMBIOS_WORD_UNKNOWN ? kUnknown : Format("%u.%02u %%", word / 100u, word % 100u);
}

std::string Range(uint32_t kind, const CSMBios_Probe& probe)
{
    if (probe.wMinimumValue == SMBIOS_WORD_UNKNOWN && probe.wMaximumValue == SMBIOS_WORD_UNKNOWN)
        return kUnknown;
    return ValueOrUnknown(kind, probe.wMinimumValue) + " to " + ValueOrUnknown(kind, probe.wMaximumValue);
}

// A line of a sensor's block; labels and values stay at least two blanks apart.
void Field(FILE* out, const char* label, const std::string& value)
{
    fprintf(out, "    %-19s%s\n", label, value.c_str());
}

void PrintThresholds(FILE* out, const CSMBios_Sensor& s)
{
    const struct
    {
        const char* name;
        uint16_t lower;
        uint16_t upper;
    } kRows[] = {
        {"non-critical", s.wLowerNonCritical, s.wUpperNonCritical},
        {"critical", s.wLowerCritical, s.wUpperCritical},
        {"non-recoverable", s.wLowerNonRecoverable, s.wUpperNonRecoverable},
    };
    bool any = false;
    for (const auto& row : kRows)
        any = any || row.lower != SMBIOS_WORD_UNKNOWN || row.upper != SMBIOS_WORD_UNKNOWN;
    if (!any)
    {
        Field(out, "Thresholds", "none");
        return;
    }
    fprintf(out, "    %-19s%-14s%s\n", "Thresholds", "lower", "upper");
    for (const auto& row : kRows)
    {
        const std::string lower = Value(s.dwSensorType, row.lower);
        const std::string upper = Value(s.dwSensorType, row.upper);
        fprintf(out, "      %-17s%-14s%s\n", row.name, lower.empty() ? "-" : lower.c_str(),
                upper.empty() ? "-" : upper.c_str());
    }
}

void PrintProbe(FILE* out, const CSMBios_Probe& probe)
{
    const uint32_t kind = probe.dwSensorType;
    Field(out, "Location", ProbeLocationName(kind, probe.byLocationAndStatus));
    Field(out, "Status", StatusName(probe.byLocationAndStatus));
    Field(out, "Range", Range(kind, probe));
    Field(out, "Nominal value", ValueOrUnknown(kind, probe.wNominalValue));
    Field(out, "Resolution", Resolution(kind, probe.wResolution));
    Field(out, "Tolerance", Tolerance(kind, probe.wTolerance));
    Field(out, "Accuracy", Accuracy(probe.wAccuracy));
}

// The temperature probe a cooling device names, with its name when it is one of this chip's.
std::string CoolingProbe(CSMBiosSensorData& sensors, uint16_t handle)
{
    if (handle == SMBIOS_NO_HANDLE)
        return "none";
    for (const CSMBios_Sensor* pSensor : sensors.m_vThisChipSensors)
        if (pSensor->wHandle == handle && pSensor->dwSensorType == SENSOR_KIND_TEMPERATURE)
            return Format("0x%04X (%s)", handle, pSensor->strDescription.c_str());
    const CSMBios_Sensor* pSensor = sensors.GetSensorForHandle(handle);
    if (pSensor == nullptr)
        return Format("0x%04X (no such probe)", handle);
    if (pSensor->dwSensorType != SENSOR_KIND_TEMPERATURE)
        return Format("0x%04X (not a temperature probe)", handle);
    return Format("0x%04X", handle);
}

void PrintCooling(FILE* out, CSMBiosSensorData& sensors, const CSMBios_TYPE27& fan)
{
    Field(out, "Device type", CoolingDeviceTypeName(fan.byDeviceTypeAndStatus));
    Field(out, "Status", StatusName(fan.byDeviceTypeAndStatus));
    Field(out, "Unit group", fan.byCoolingUnitGroup == 0 ? "none" : std::to_string(fan.byCoolingUnitGroup));
    Field(out, "Nominal speed", ValueOrUnknown(SENSOR_KIND_COOLING, fan.wNominalSpeed));
    Field(out, "Temperature probe", CoolingProbe(sensors, fan.wTemperatureProbeHandle));
}

void PrintSensor(FILE* out, CSMBiosSensorData& sensors, const CSMBios_Sensor& sensor)
{
    fprintf(out, "  Sensor 0x%04X     %-13s%s\n", sensor.wHandle, KindWord(sensor.dwSensorType),
            sensor.strDescription.empty() ? "(no name)" : sensor.strDescription.c_str());
    Field(out, "OEM word", Format("0x%08x", sensor.dwOEMDefined));
    // The records are plain data; dwSensorType tells their form.
    switch (sensor.dwSensorType)
    {
    case SENSOR_KIND_VOLTAGE:
    case SENSOR_KIND_TEMPERATURE:
        PrintProbe(out, static_cast<const CSMBios_Probe&>(sensor));
        break;
    case SENSOR_KIND_COOLING:
        PrintCooling(out, sensors, static_cast<const CSMBios_TYPE27&>(sensor));
        break;
    default:
        break;
    }
    PrintThresholds(out, sensor);
}

void PrintDevice(FILE* out, CRawSMBios& raw, const CSMBios_TYPE34& device)
{
    fprintf(out, "Management device 0x%04X: %s\n", device.wHandle,
            device.strDescription.empty() ? "(no description)" : device.strDescription.c_str());
    fprintf(out, "  Device type       0x%02X (%s)\n", device.byDeviceType,
            DeviceTypeName(device.byDeviceType));
    fprintf(out, "  Address           0x%08X\n", device.dwAddress);
    fprintf(out, "  Address type      %u (%s)\n", device.byAddressType,
            AddressTypeName(device.byAddressType));

    // The same association the chip's driver makes: through the Type 35 structures only.
    CSMBiosSensorData sensors(device.wHandle);
    if (!sensors.Initialise(raw))
    {
        fprintf(out, "  Sensors           none\n");
        return;
    }
    fprintf(out, "  Sensors           %zu\n", sensors.m_vThisChipSensors.size());
    for (const CSMBios_Sensor* pSensor : sensors.m_vThisChipSensors)
        PrintSensor(out, sensors, *pSensor);
}

using Json = nlohmann::ordered_json;

// A measured word in the sensor's base unit (volts, degrees C, RPM); null when unknown.
Json ValueJson(uint32_t kind, uint16_t word)
{
    if (word == SMBIOS_WORD_UNKNOWN)
        return Json();
    switch (kind)
    {
    case SENSOR_KIND_VOLTAGE:
        return Signed(word) / 1000.0;
    case SENSOR_KIND_TEMPERATURE:
        return Signed(word) / 10.0;
    default:
        return word;
    }
}

const char* UnitSymbol(uint32_t kind)
{
    switch (kind)
    {
    case SENSOR_KIND_VOLTAGE:
        return "V";
    case SENSOR_KIND_TEMPERATURE:
        return "°C";
    case SENSOR_KIND_COOLING:
        return "RPM";
    default:
        return "";
    }
}

Json SensorJson(const CSMBios_Sensor& s)
{
    const uint32_t kind = s.dwSensorType;
    Json sensor = {{"handle", s.wHandle},
                   {"kind", KindWord(kind)},
                   {"name", s.strDescription},
                   {"oem", s.dwOEMDefined},
                   {"unit", UnitSymbol(kind)}};
    if (kind == SENSOR_KIND_VOLTAGE || kind == SENSOR_KIND_TEMPERATURE)
    {
        const CSMBios_Probe& p = static_cast<const CSMBios_Probe&>(s);
        sensor["location"] = ProbeLocationName(kind, p.byLocationAndStatus);
        sensor["status"] = StatusName(p.byLocationAndStatus);
        sensor["minimum"] = ValueJson(kind, p.wMinimumValue);
        sensor["maximum"] = ValueJson(kind, p.wMaximumValue);
        sensor["nominal"] = ValueJson(kind, p.wNominalValue);
        // Resolution: 1/10 mV or 1/1000 degree C; accuracy: 1/100 percent.
        sensor["resolution"] = p.wResolution == SMBIOS_WORD_UNKNOWN ? Json()
                               : kind == SENSOR_KIND_VOLTAGE        ? Json(p.wResolution / 10000.0)
                                                                    : Json(p.wResolution / 1000.0);
        sensor["tolerance"] = ValueJson(kind, p.wTolerance);
        sensor["accuracyPercent"] = p.wAccuracy == SMBIOS_WORD_UNKNOWN ? Json() : Json(p.wAccuracy / 100.0);
    }
    else if (kind == SENSOR_KIND_COOLING)
    {
        const CSMBios_TYPE27& fan = static_cast<const CSMBios_TYPE27&>(s);
        sensor["deviceType"] = CoolingDeviceTypeName(fan.byDeviceTypeAndStatus);
        sensor["status"] = StatusName(fan.byDeviceTypeAndStatus);
        sensor["unitGroup"] = fan.byCoolingUnitGroup;
        sensor["nominal"] = ValueJson(kind, fan.wNominalSpeed);
        sensor["temperatureProbe"] =
            fan.wTemperatureProbeHandle == SMBIOS_NO_HANDLE ? Json() : Json(fan.wTemperatureProbeHandle);
    }
    sensor["thresholds"] = {{"lowerNonCritical", ValueJson(kind, s.wLowerNonCritical)},
                            {"upperNonCritical", ValueJson(kind, s.wUpperNonCritical)},
                            {"lowerCritical", ValueJson(kind, s.wLowerCritical)},
                            {"upperCritical", ValueJson(kind, s.wUpperCritical)},
                            {"lowerNonRecoverable", ValueJson(kind, s.wLowerNonRecoverable)},
                            {"upperNonRecoverable", ValueJson(kind, s.wUpperNonRecoverable)}};
    return sensor;
}

// Every sensor structure of the table, and which of them no management device claims: a
// component names them for a Type 34 handle the table does not have, or none names them.
struct UnclaimedSensors
{
    explicit UnclaimedSensors(CRawSMBios& raw) : all(SMBIOS_NO_HANDLE)
    {
        CSMBiosChipData chips;
        chips.Initialise(raw);
        std::set<uint16_t> devices;
        for (const CSMBios_TYPE34* pDevice : chips.m_vDevices)
            devices.insert(pDevice->wHandle);
        all.UseTable(raw);
        all.GetStructures();
        std::set<uint16_t> claimed;
        for (const CSMBios_TYPE35* pComponent : all.m_vAllComponents)
            if (devices.count(pComponent->wManagementDeviceHandle) != 0)
                claimed.insert(pComponent->wComponentHandle);
        for (const CSMBios_Sensor* pSensor : all.m_vAllSensors)
            if (claimed.count(pSensor->wHandle) == 0)
                sensors.push_back(pSensor);
        all.m_pRawBytes = nullptr;  // the records hold everything that is shown
        all.m_dwRawLength = 0;
    }

    CSMBiosSensorData all;
    std::vector<const CSMBios_Sensor*> sensors;
};
}  // namespace

const char* MachineModelName(const CPOSSystem& system)
{
    static const struct
    {
        bool (CPOSSystem::*query)() const;
        const char* name;
    } kModels[] = {
        {&CPOSSystem::IsCedarHi, "Cedar Hi"},
        {&CPOSSystem::IsCedarLoBirch, "Cedar Lo / Birch"},
        {&CPOSSystem::IsFenwick, "Fenwick"},
        {&CPOSSystem::IsOspreyCeleron, "Osprey Celeron"},
        {&CPOSSystem::IsOspreyI3, "Osprey i3"},
        {&CPOSSystem::IsHarrow, "Harrow"},
        {&CPOSSystem::IsLarchMoss, "Larch / Moss"},
        {&CPOSSystem::IsQuill, "Quill"},
        {&CPOSSystem::IsAmberCoral, "Amber / Coral"},
        {&CPOSSystem::IsJetIvory, "Jet / Ivory"},
        {&CPOSSystem::IsWren, "Wren"},
        {&CPOSSystem::IsLark, "Lark"},
        {&CPOSSystem::IsFalcon, "Falcon"},
    };
    if (!system.IsSupportedPOSSystem())
        return nullptr;
    const char* name = nullptr;  // the last that answers, should two
    for (const auto& model : kModels)
        if ((system.*model.query)())
            name = model.name;
    return name;
}

std::string DescribeMachineModel(const std::string& biosVersion)
{
    CPOSSystem& system = CPOSSystem::s_instance;
    system.SetBiosVersion(biosVersion);
    std::string driver;
    if (!system.IsSupportedPOSSystem() || !system.GetHwmonDriverName(driver))
        return "unsupported";
    const char* model = MachineModelName(system);
    return std::string(model != nullptr ? model : "machine type") + " (" + system.m_MachineType +
           "), hardware monitor driver " + driver;
}

void PrintManagementDevices(FILE* out, CRawSMBios& raw)
{
    CSMBiosChipData chips;
    if (!chips.Initialise(raw))
    {
        fprintf(out, "Management devices\n  none in the table\n");
        return;
    }
    for (const CSMBios_TYPE34* pDevice : chips.m_vDevices)
        PrintDevice(out, raw, *pDevice);
}

void PrintUnclaimedSensors(FILE* out, CRawSMBios& raw)
{
    UnclaimedSensors unclaimed(raw);
    if (unclaimed.sensors.empty())
        return;
    fprintf(out, "Probes and cooling devices no management device claims\n");
    for (const CSMBios_Sensor* pSensor : unclaimed.sensors)
        PrintSensor(out, unclaimed.all, *pSensor);
}

Json UnclaimedSensorsJson(CRawSMBios& raw)
{
    UnclaimedSensors unclaimed(raw);
    Json list = Json::array();
    for (const CSMBios_Sensor* pSensor : unclaimed.sensors)
    {
        Json sensor = SensorJson(*pSensor);
        if (pSensor->dwSensorType == SENSOR_KIND_COOLING)
            sensor["name"] = Json();
        list.push_back(sensor);
    }
    return list;
}

Json ManagementDevicesJson(CRawSMBios& raw)
{
    Json devices = Json::array();
    CSMBiosChipData chips;
    if (!chips.Initialise(raw))
        return devices;
    for (const CSMBios_TYPE34* pDevice : chips.m_vDevices)
    {
        const CSMBios_TYPE34& d = *pDevice;
        Json device = {{"handle", d.wHandle},
                       {"description", d.strDescription},
                       {"deviceType", d.byDeviceType},
                       {"deviceTypeName", DeviceTypeName(d.byDeviceType)},
                       {"address", d.dwAddress},
                       {"addressType", d.byAddressType},
                       {"addressTypeName", AddressTypeName(d.byAddressType)}};
        Json list = Json::array();
        CSMBiosSensorData sensors(d.wHandle);
        if (sensors.Initialise(raw))
            for (const CSMBios_Sensor* pSensor : sensors.m_vThisChipSensors)
                list.push_back(SensorJson(*pSensor));
        device["sensors"] = list;
        devices.push_back(device);
    }
    return devices;
}
}  // namespace QelTool
