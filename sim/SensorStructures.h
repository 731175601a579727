// SMBIOS structures that describe a board's hardware monitoring: Management Devices (Type 34),
// Voltage Probes (26), Cooling Devices (27), Temperature Probes (28), Management Device
// Components (35) and Threshold Data (36); and a board builder that lays out chips and their
// sensors with consistent handles.
#pragma once

#include "MachineImage.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace QelSim
{
constexpr uint16_t kUnknownWord = 0x8000;
constexpr uint16_t kNoHandle = 0xFFFF;
constexpr uint8_t kAddressTypeIoPort = 3;

// A Voltage or Temperature Probe (Type 26 or 28). Values in the structure's own units: mV or
// 1/10 degree C for maximum, minimum and tolerance, 1/10 mV or 1/1000 degree C for resolution.
struct ProbeFields
{
    std::string description;
    uint8_t locationAndStatus = 0x67;  // status OK, location motherboard
    uint16_t maximum = kUnknownWord;
    uint16_t minimum = kUnknownWord;
    uint16_t resolution = kUnknownWord;
    uint16_t tolerance = kUnknownWord;
    uint16_t accuracy = kUnknownWord;
    uint32_t oem = 0;
    std::optional<uint16_t> nominal;  // present: the 0x16-byte form; absent: the 0x14-byte form
};
QelImage::Structure MakeProbe(uint8_t type, uint16_t handle, const ProbeFields& fields);

// A Cooling Device (Type 27).
struct CoolingFields
{
    uint16_t temperatureProbe = kNoHandle;
    uint8_t deviceTypeAndStatus = 0x65;  // status OK, chip fan
    uint8_t coolingUnitGroup = 0;
    uint32_t oem = 0;
    std::optional<uint16_t> nominalSpeed;  // present: the 0x0E-byte form; absent: 0x0C
};
QelImage::Structure MakeCoolingDevice(uint16_t handle, const CoolingFields& fields);

// A Management Device (Type 34).
QelImage::Structure MakeManagementDevice(uint16_t handle, const std::string& description, uint8_t deviceType,
                                         uint32_t address, uint8_t addressType);

// A Management Device Component (Type 35).
QelImage::Structure MakeComponent(uint16_t handle, const std::string& description, uint16_t device,
                                  uint16_t component, uint16_t threshold);

// Lower/upper non-critical, lower/upper critical, lower/upper non-recoverable.
using Thresholds = std::array<uint16_t, 6>;
QelImage::Structure MakeThresholdData(uint16_t handle, const Thresholds& thresholds);

// One sensor of a board, as the BIOS of a till describes it.
struct BoardSensor
{
    enum class Kind
    {
        Voltage,
        Cooling,
        Temperature
    };
    Kind kind = Kind::Voltage;
    std::string name;  // the Type 35 description
    uint32_t oem = 0;  // where the driver finds the register
    std::optional<Thresholds> thresholds;
    ProbeFields probe;      // Voltage and Temperature
    CoolingFields cooling;  // Cooling
};

struct BoardChip
{
    std::string description;  // "Nuvoton NCT6796D", "ITE IT5571", ...
    uint32_t address = 0;
    uint8_t addressType = kAddressTypeIoPort;
    uint8_t deviceType = 0x04;  // National Semiconductor LM78, as BIOSes commonly say
    std::vector<BoardSensor> sensors;
};

// Handles a board gets, per chip, in the order AddBoard places the structures.
struct BoardHandles
{
    uint16_t device = 0;
    std::vector<uint16_t> sensors;     // the Type 26/27/28 structures
    std::vector<uint16_t> components;  // the Type 35 structures
    std::vector<uint16_t> thresholds;  // the Type 36 structures (kNoHandle where none)
};

// Appends the chips and their sensors to the image: for each chip its Type 34, then for each
// sensor its probe or cooling device, its Type 36 (when it has thresholds) and its Type 35.
// Handles are given out from firstHandle up.
std::vector<BoardHandles> AddBoard(QelImage::MachineImage& image, const std::vector<BoardChip>& chips,
                                   uint16_t firstHandle = 0x0020);
}  // namespace QelSim
