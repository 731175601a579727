// Machine profiles: a JSON file per simulated till, naming its firmware, its monitoring chips
// with their register contents, and the SMBIOS description of every chip and sensor.
//
//   {
//     "machine": "Falcon",
//     "bios": {"vendor": "...", "version": "K5FC0107", "releaseDate": "05/02/2023"},
//     "firmware": "uefi",                         (or "legacy")
//     "firmwareDefects": true,                    (optional: the table as broken firmware writes it:
//                                                  an OEM structure first, a Type 0 of 0x12 bytes,
//                                                  AMI's length 0x10 on every Type 34, and a structure
//                                                  shorter than its header, then a made-up chip)
//     "lockedDown": true,                         (optional: a kernel locked down under Secure Boot:
//                                                  dev/mem and dev/port refuse to open, sysfs holds
//                                                  the SMBIOS table and the event-log area)
//     "system": {"manufacturer": "...", "product": "...", "board": "..."},   (optional)
//     "chips": [{
//       "kind": "NCT6796D",                       (a Super I/O, or "IT5571")
//       "configPort": "0x2E", "monitorBase": "0x0A20", "monitorActive": true,
//       "banks": {"4": {"0x80": "0x71", "0xC0": [4, 176]}},   (an array fills consecutive registers)
//       "indexPort": "0x0A00", "registers": {"0x90": 45},     (the IT5571's instead)
//       "description": "Nuvoton NCT6796D",        (the Type 34 description)
//       "kernelDriver": "nct6775",                (optional: proc/ioports shows that driver
//                                                   holding the hardware monitor's ports)
//       "sensors": [{"kind": "voltage", "description": "+12V", "oem": "0x04000084",
//                    "nominal": 12000, "resolution": 960,
//                    "thresholds": {"lowerNonCritical": 11400, "upperCritical": 13200}}]
//     }],
//     "eventLog": {"sample": {"probe": "CPU Fan"},   (optional: the sample till log, whose
//                  "address": "0x000E6010",          limit records name that sensor)
//                  "status": "0x01"},                (Type 15 log status: 1 valid, 2 full)
//     "ssds": [{"device": "nvme0",                   (optional; nvme0, nvme1, ... by position)
//               "serial": "...", "model": "...", "firmware": "...",
//               "namespaces": 1, "temperature": 38,  (degrees Celsius)
//               "overThreshold": 70, "underThreshold": -5,
//               "fail": "identify"}]                 (or "thresholds", "health": answer EIO)
//   }
//
// Numbers are JSON numbers or strings in decimal or 0x-hex. Every object may carry a "note";
// any other unknown field is an error, so a misspelt name never passes silently.
#pragma once

#include "EventLogArea.h"
#include "MachineImage.h"
#include "NvmeController.h"
#include "PortBus.h"
#include "SensorStructures.h"

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace QelSim
{
// A profile that cannot be used; what() names the field ("chips[0].sensors[2].oem: ...").
class ProfileError : public std::runtime_error
{
public:
    ProfileError(const std::string& field, const std::string& problem)
        : std::runtime_error(field.empty() ? problem : field + ": " + problem), m_field(field)
    {
    }
    const std::string& Field() const { return m_field; }

private:
    std::string m_field;
};

struct SystemFields
{
    std::string manufacturer;
    std::string product;
    std::string version;
    std::string serial;
    std::string board;
};

struct ChipProfile
{
    enum class Family
    {
        SuperIo,  // Nuvoton/Winbond: configuration space and banked hardware monitor
        ItEc      // ITE IT5571: index/data pair, unbanked
    };
    std::string kind;
    Family family = Family::SuperIo;
    uint16_t port = 0;         // configuration port, or the EC's index port
    uint16_t deviceId = 0;     // Super I/O only, revision included
    uint16_t monitorBase = 0;  // Super I/O only
    bool monitorActive = true;
    std::map<uint8_t, std::map<uint8_t, uint8_t>> banks;  // the EC's registers are bank 0
    BoardChip board;                                      // its SMBIOS description
    std::string kernelDriver;  // the kernel driver that holds its monitor's ports; empty: none
};

// The BIOS event log of a machine: the sample till log, placed at an address.
struct EventLogProfile
{
    uint32_t address = kSampleEventLogAddress;
    uint8_t status = kLogStatusValid;
    std::string probe;  // the description of the sensor its limit records name
};

struct Profile
{
    std::string name;  // the file's stem
    std::string machine;
    QelImage::BiosInformation bios;
    bool uefi = false;
    bool firmwareDefects = false;
    bool lockedDown = false;
    uint8_t smbiosMajor = 2;
    uint8_t smbiosMinor = 8;
    std::optional<SystemFields> system;
    std::vector<ChipProfile> chips;
    std::optional<EventLogProfile> eventLog;
    std::vector<SsdProfile> ssds;  // NVMe controllers
};

Profile ParseProfile(const std::string& json, const std::string& name);
// Reads a file; errors name the file and the field.
Profile LoadProfile(const std::string& path);

// Where the shipped profiles are, and the path of one given by path or by name ("falcon").
std::string ProfileDirectory();
std::vector<std::string> ShippedProfiles();  // paths, sorted
std::string FindProfile(const std::string& nameOrPath);

// The physical memory of the machine: BIOS information, system and board, the chips'
// management devices with their sensors, and the event log. Every handle is handleBase higher
// than usual (the BIOS information is handle handleBase), for firmware that numbers its own
// structures from 0.
QelImage::MachineImage BuildImage(const Profile& profile, uint16_t handleBase = 0);
// Puts the profile's chips, as the BIOS left them, on the bus.
void AttachChips(const Profile& profile, PortBus& bus);
// The machine's /proc/ioports as root reads it: the usual legacy devices, a firmware reservation
// for each chip's ports, and the ranges a kernel driver holds where the profile names one.
std::string IoportsText(const Profile& profile);
// What the kernel offers under root: on a locked-down till the SMBIOS entry point and table in
// sys/firmware/dmi/tables and the event-log area in dmi-sysfs's raw_event_log; for every chip a
// kernel driver holds, its hwmon class device as that driver presents the chip's registers.
void WriteKernelFiles(const Profile& profile, const QelImage::MachineImage& image, const std::string& root);
}  // namespace QelSim
