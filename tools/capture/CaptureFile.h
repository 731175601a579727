// A captured till: what the libraries read of one machine, kept in one archive so that it can be
// handed on, decoded without the till (qelsensors smbios|sel --from-dump) and served as a
// simulated machine (qelsim up).
//
// The archive is a POSIX tar of plain files:
//
//   manifest.json                      format version, tool version, time, BIOS version and model,
//                                      where the table and the event log were, the chips and SSDs,
//                                      and every other member with its size and what it holds
//   smbios/dmi.bin                     entry point and table as `dmidecode --dump-bin` writes them
//                                      (the table address rewritten to 0x20, the table at 0x20)
//   smbios/entry-point.bin             the 32 bytes of the entry point as the till had them
//   smbios/systab                      UEFI machines: the system table that announced SMBIOS
//   eventlog/area-0xADDRESS.bin        the event-log area that Type 15 names
//   chips/chipN.json                   the registers each chip answered with
//   nvme/nvmeN/identify-controller.bin, identify-namespace.bin, smart-log.bin
//   etc/sensor.conf                    the provider's sensor configuration, where the till has one
#pragma once

#include "DmiDump.h"
#include "Tar.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace QelCapture
{
constexpr int kFormatVersion = 1;
constexpr uint32_t kMaxSsds = 10;        // nvme0 ... nvme9, as the provider looks for them
constexpr uint32_t kMaxNamespaces = 16;  // namespace devices made on replay
constexpr size_t kIdentifySize = 4096;
constexpr size_t kSmartLogSize = 512;

// Registers as a chip answered them: the first value read from each (a register the drivers
// wrote before reading it is left out, so a replay starts as the till did).
struct CapturedChip
{
    enum class Family
    {
        SuperIo,  // Nuvoton/Winbond: configuration space at port, hardware monitor at monitorBase
        ItEc      // ITE IT5571: index port at port, the data port after it
    };
    Family family = Family::SuperIo;
    std::string description;  // the Type 34 description of the device the drivers read through it
    uint16_t port = 0;
    uint16_t deviceId = 0;  // Super I/O: registers 0x20/0x21
    uint16_t monitorBase = 0;
    bool monitorActive = false;
    std::map<uint8_t, std::map<uint8_t, uint8_t>> config;  // Super I/O: logical device -> register
    std::map<uint8_t, std::map<uint8_t, uint8_t>> banks;   // bank -> register; the EC's are bank 0
};

// The answers of one NVMe controller to the commands the provider sends.
struct CapturedSsd
{
    std::string device;       // nvme0 ... nvme9
    int32_t nsid = -1;        // what NVME_IOCTL_ID answered on the controller device
    uint32_t namespaces = 0;  // namespace devices (nvme0n1 ...) the till had
    std::optional<std::vector<uint8_t>> identifyController;  // kIdentifySize bytes each
    std::optional<std::vector<uint8_t>> identifyNamespace;
    std::optional<uint32_t> overThreshold;  // the Get Features results
    std::optional<uint32_t> underThreshold;
    std::optional<std::vector<uint8_t>> smartLog;  // kSmartLogSize bytes
};

struct Capture
{
    std::string tool;  // "qelsensors 1.2.0"
    std::string time;  // UTC, ISO 8601
    std::string biosVersion;
    std::string model;      // as the library judged the BIOS version
    std::string chipStart;  // how the drivers' start-up ended ("success (0)", ...)

    std::array<uint8_t, QelImage::kEntryPointSize> entryPoint{};  // as found
    uint32_t entryPointAddress = 0xF0000;
    bool uefi = false;
    std::string systab;  // UEFI only
    std::vector<uint8_t> table;
    uint32_t tableAddress = 0;

    std::optional<uint32_t> eventLogAddress;
    std::vector<uint8_t> eventLogArea;

    std::vector<CapturedChip> chips;
    std::vector<CapturedSsd> ssds;
    std::optional<std::string> sensorConf;
};

std::vector<uint8_t> EncodeCapture(const Capture& capture, uint64_t mtime);
// Throws CaptureError naming the member and what is wrong.
Capture DecodeCapture(const uint8_t* bytes, size_t size);

// A capture, or a `dmidecode --dump-bin` file as QelImage::ReadDump reads it: the SMBIOS part, and
// all the rest for a capture. A dump's table stays at its offset in the file, where its entry point
// says it is. Throws CaptureError.
Capture ReadSmbiosSource(const uint8_t* bytes, size_t size);

// The address of the SMBIOS 2.x entry point a UEFI system table names (its "SMBIOS=" line).
std::optional<uint32_t> SystabEntryPoint(const std::string& systab);

// Reads a whole file, refusing one larger than maxSize; throws CaptureError.
std::vector<uint8_t> ReadFileBytes(const std::string& path, size_t maxSize);
constexpr size_t kMaxCaptureSize = 64 * 1024 * 1024;

// The memory image of a captured machine (QelImage::MachineImage), written under root: the entry
// point as the till had it, the table and the event-log area at their addresses, and the UEFI
// system table. Throws CaptureError when something cannot be written or two pieces overlap.
void WriteMemory(const Capture& capture, const std::string& root);
}  // namespace QelCapture
