#include "SampleMachine.h"

#include <optional>
#include <string>

namespace QelSim
{
using namespace QelImage;

namespace
{
// Placed where a BIOS of this kind puts them: the legacy entry point on a paragraph of the F
// segment with the table below it (not page-aligned), the UEFI ones in high runtime memory.
constexpr uint32_t kLegacyEntryPoint = 0x000F05B0;
constexpr uint32_t kLegacyTable = 0x000EB4A0;
constexpr uint32_t kEfiEntryPoint = 0x3FF6F000;
constexpr uint32_t kEfiTable = 0x3FF6E000;

Structure SystemInformation(uint16_t handle)
{
    Structure s(1, handle);
    s.String("Tarn Retail Systems")
        .String("Falcon POS Terminal")
        .String("1.0")
        .String("FC2201000123")
        .Bytes(
            {0x4c, 0x4c, 0x45, 0x44, 0x00, 0x46, 0x30, 0x10, 0x80, 0x31, 0xb2, 0xc0, 0x4f, 0x35, 0x32, 0x32})
        .Byte(0x06)  // wake-up: power switch
        .String("K5-BASE")
        .String("Falcon");
    return s;
}

Structure Baseboard(uint16_t handle, uint16_t chassis)
{
    Structure s(2, handle);
    s.String("Tarn Retail Systems")
        .String("FALCON-MB")
        .String("A01")
        .String("FMB2201004711")
        .String("")
        .Byte(0x09)  // hosting board, replaceable
        .String("Default")
        .Word(chassis)
        .Byte(0x0A)  // motherboard
        .Byte(0);    // no contained objects
    return s;
}

Structure Chassis(uint16_t handle)
{
    Structure s(3, handle);
    s.String("Tarn Retail Systems")
        .Byte(0x23)  // mini PC
        .String("1.0")
        .String("FCH2201000123")
        .String("")
        .Byte(0x03)  // boot-up, power supply and thermal state: safe
        .Byte(0x03)
        .Byte(0x03)
        .Byte(0x03)  // security: none
        .DWord(0)
        .Byte(0)  // height unspecified
        .Byte(1)  // one power cord
        .Byte(0)  // no contained elements
        .Byte(3);
    return s;
}

Structure OemStrings(uint16_t handle)
{
    Structure s(11, handle);
    s.Byte(2);
    s.AddString("Tarn POS platform K5");
    s.AddString("EC 1.5");
    return s;
}

// The board's structures follow the fixed ones, from this handle up.
constexpr uint16_t kBoardFirstHandle = 0x0020;

// The EC is reached through an index/data pair in the LPC generic I/O window that the BIOS opens
// at 0x0A00 (index 0x0A00, data 0x0A01), clear of the Super I/O configuration ports 0x2E/0x4E.
constexpr uint32_t kEcIndexPort = 0x0A00;
constexpr uint8_t kDeviceTypeOther = 0x01;  // an embedded controller is none of the listed sensor chips

// Each sensor's OEM-defined double word is the EC register that serves its value: the register
// index in bits 7..0. The EC's hardware-monitor registers are not banked, so the rest stays 0.
constexpr uint32_t kRegCpuTemperature = 0x90;
constexpr uint32_t kRegSystemTemperature = 0x91;
constexpr uint32_t kRegBattery = 0x95;
constexpr uint32_t kRegFiveVolt = 0x97;
constexpr uint32_t kRegVcore = 0x99;
constexpr uint32_t kRegTwelveVolt = 0x9D;
constexpr uint32_t kRegThreeVolt = 0x9F;
constexpr uint32_t kRegCpuFan = 0xA3;

// Location-and-status and device-type-and-status bytes: status in bits 7..5, the rest below.
constexpr uint8_t kOkOnProcessor = 0x63;
constexpr uint8_t kOkOnMotherboard = 0x67;
constexpr uint8_t kOkFan = 0x63;

// Temperatures below 0 degrees C, in tenths, as the structures store them.
constexpr uint16_t Below(uint16_t tenths)
{
    return static_cast<uint16_t>(0x10000 - tenths);
}

BoardSensor Probe(BoardSensor::Kind kind, const std::string& name, uint32_t reg, const ProbeFields& probe,
                  const std::optional<Thresholds>& thresholds)
{
    BoardSensor sensor;
    sensor.kind = kind;
    sensor.name = name;
    sensor.oem = reg;
    sensor.probe = probe;
    sensor.thresholds = thresholds;
    return sensor;
}

// The EC's ADC measures up to 3 V; the 5 V and 3.3 V rails reach it through halving dividers,
// the 12 V rail through a larger one. Maximum (a signed word, so 12 V declares 30 V rather than
// the full scale) and tolerance in mV, resolution in 1/10 mV, accuracy in 1/100 %.
ProbeFields VoltageInput(const std::string& input, uint8_t location, uint16_t maximum, uint16_t resolution,
                         uint16_t tolerance, uint16_t accuracy, std::optional<uint16_t> nominal)
{
    ProbeFields probe;
    probe.description = input;
    probe.locationAndStatus = location;
    probe.maximum = maximum;
    probe.minimum = 0;
    probe.resolution = resolution;
    probe.tolerance = tolerance;
    probe.accuracy = accuracy;
    probe.nominal = nominal;
    return probe;
}

// The EC reports whole degrees: resolution 1 degree C (1000 in 1/1000 degree C).
ProbeFields TemperatureInput(const std::string& input, uint8_t location, uint16_t minimum,
                             std::optional<uint16_t> nominal)
{
    ProbeFields probe;
    probe.description = input;
    probe.locationAndStatus = location;
    probe.maximum = 1270;
    probe.minimum = minimum;
    probe.resolution = 1000;
    probe.tolerance = 20;
    probe.accuracy = 200;
    probe.nominal = nominal;
    return probe;
}
}  // namespace

BiosInformation SampleBiosInformation()
{
    BiosInformation bios;
    bios.vendor = "American Megatrends Inc.";
    bios.version = "K5 FALCON 1.05";
    bios.releaseDate = "03/14/2022";
    bios.startSegment = 0xF000;
    bios.romSize = 0x7F;  // 8 MiB
    bios.characteristics = 0x000000007BCBD880ull;
    bios.extension = {0x03, 0x0D};
    bios.biosMajor = 5;
    bios.biosMinor = 19;
    bios.firmwareMajor = 1;
    bios.firmwareMinor = 5;
    return bios;
}

std::vector<BoardChip> SampleBoard()
{
    using Kind = BoardSensor::Kind;
    const uint16_t unknown = kUnknownWord;
    BoardChip ec;
    ec.description = "ITE IT5571";
    ec.address = kEcIndexPort;
    ec.addressType = kAddressTypeIoPort;
    ec.deviceType = kDeviceTypeOther;
    // Thresholds in the structures' units: mV, 1/10 degree C, RPM. Vcore follows the processor's
    // power states, so the BIOS gives it no limits.
    ec.sensors = {
        Probe(Kind::Voltage, "12V", kRegTwelveVolt,
              VoltageInput("VIN4", kOkOnMotherboard, 30000, 323, 120, 100, 12000),
              Thresholds{11400, 12600, 10800, 13200, 10200, 13800}),
        Probe(Kind::Voltage, "5V", kRegFiveVolt,
              VoltageInput("VIN1", kOkOnMotherboard, 6000, 59, 50, 100, 5000),
              Thresholds{4750, 5250, 4500, 5500, 4250, 5750}),
        Probe(Kind::Voltage, "3.3V", kRegThreeVolt,
              VoltageInput("VIN5", kOkOnMotherboard, 6000, 59, 33, 100, 3300),
              Thresholds{3135, 3465, 2970, 3630, 2805, 3795}),
        Probe(Kind::Voltage, "Vcore", kRegVcore,
              VoltageInput("VIN2", kOkOnProcessor, 3000, 29, 15, 150, std::nullopt), std::nullopt),
        Probe(Kind::Voltage, "VBAT", kRegBattery,
              VoltageInput("VIN0", kOkOnMotherboard, 3000, 29, 30, 100, 3000),
              Thresholds{2700, unknown, 2500, unknown, 2000, unknown}),
        Probe(Kind::Temperature, "CPU Temperature", kRegCpuTemperature,
              TemperatureInput("TMPIN1", kOkOnProcessor, 0, std::nullopt),
              Thresholds{unknown, 850, unknown, 950, unknown, 1050}),
        Probe(Kind::Temperature, "System Temperature", kRegSystemTemperature,
              TemperatureInput("TMPIN2", kOkOnMotherboard, Below(400), 350),
              Thresholds{50, 600, Below(50), 700, Below(100), 800}),
    };
    const size_t cpuTemperature = ec.sensors.size() - 2;

    BoardSensor fan;
    fan.kind = Kind::Cooling;
    fan.name = "CPU Fan";
    fan.oem = kRegCpuFan;
    fan.cooling.deviceTypeAndStatus = kOkFan;
    fan.cooling.nominalSpeed = 2800;
    fan.thresholds = Thresholds{800, 5200, 500, 6000, 300, unknown};
    ec.sensors.push_back(fan);

    // AddBoard gives out handles by position alone, so a trial layout tells which handle the CPU
    // probe will get.
    MachineImage trial;
    const std::vector<BoardHandles> handles = AddBoard(trial, {ec}, kBoardFirstHandle);
    ec.sensors.back().cooling.temperatureProbe = handles.front().sensors[cpuTemperature];
    return {ec};
}

MachineImage SampleMachine(bool efi)
{
    MachineImage image;
    image.Add(MakeBiosInformation(SampleBiosInformation(), 0x0000))
        .Add(SystemInformation(0x0001))
        .Add(Baseboard(0x0002, 0x0003))
        .Add(Chassis(0x0003))
        .Add(OemStrings(0x0004));
    AddBoard(image, SampleBoard(), kBoardFirstHandle);
    image.Entry().major = 2;
    image.Entry().minor = 8;
    if (efi)
    {
        image.Entry().place = EntryPointPlace::Efi;
        image.Entry().address = kEfiEntryPoint;
        image.SetTableAddress(kEfiTable);
    }
    else
    {
        image.Entry().place = EntryPointPlace::BiosSegment;
        image.Entry().address = kLegacyEntryPoint;
        image.SetTableAddress(kLegacyTable);
    }
    return image;
}
}  // namespace QelSim
