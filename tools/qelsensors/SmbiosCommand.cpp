// qelsensors smbios: the entry point, the BIOS information, one line per structure and the
// management devices with their sensors, as the library reads them.
#include "Commands.h"
#include "FromDump.h"
#include "Support.h"

#include "RawSMBios.h"
#include "SMBiosData.h"
#include "SMBiosMachineData.h"
#include "SmbiosDevices.h"
#include "SysRoot.h"
#include "Utils.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace QelTool
{
namespace
{
struct StructureHeader
{
    uint8_t type;
    uint8_t length;
    uint16_t handle;
    bool complete;  // false: the table ends inside the header
};

// Every structure of the table, in order, through the library's own walk.
class CStructureList : public CSMBiosData
{
public:
    bool Initialise(CRawSMBios& raw) override
    {
        UseTable(raw);
        m_vHeaders.clear();
        ForEachStructure(
            [this](const uint8_t* pTable)
            {
                m_vHeaders.push_back(Header(pTable));
                return true;
            });
        m_pRawBytes = nullptr;  // the view ends with this call
        m_dwRawLength = 0;
        return true;
    }

    std::vector<StructureHeader> m_vHeaders;

private:
    StructureHeader Header(const uint8_t* pTable) const
    {
        return {GetByte(pTable, 0), GetByte(pTable, 1), GetWord(pTable, 2), InTable(pTable, 0, 4)};
    }
};

const char* const kTypeNames[] = {
    "BIOS Information",
    "System Information",
    "Base Board Information",
    "Chassis Information",
    "Processor Information",
    "Memory Controller Information",
    "Memory Module Information",
    "Cache Information",
    "Port Connector Information",
    "System Slot Information",
    "On Board Device Information",
    "OEM Strings",
    "System Configuration Options",
    "BIOS Language Information",
    "Group Associations",
    "System Event Log",
    "Physical Memory Array",
    "Memory Device",
    "32-bit Memory Error Information",
    "Memory Array Mapped Address",
    "Memory Device Mapped Address",
    "Built-in Pointing Device",
    "Portable Battery",
    "System Reset",
    "Hardware Security",
    "System Power Controls",
    "Voltage Probe",
    "Cooling Device",
    "Temperature Probe",
    "Electrical Current Probe",
    "Out-of-band Remote Access",
    "Boot Integrity Services Entry Point",
    "System Boot Information",
    "64-bit Memory Error Information",
    "Management Device",
    "Management Device Component",
    "Management Device Threshold Data",
    "Memory Channel",
    "IPMI Device Information",
    "System Power Supply",
    "Additional Information",
    "Onboard Devices Extended Information",
    "Management Controller Host Interface",
    "TPM Device",
    "Processor Additional Information",
    "Firmware Inventory Information",
    "String Property",
};

std::string TypeName(uint8_t type)
{
    if (type < sizeof(kTypeNames) / sizeof(kTypeNames[0]))
        return kTypeNames[type];
    if (type == 126)
        return "Inactive";
    if (type == 127)
        return "End Of Table";
    if (type >= 128)
        return "OEM-specific";
    return "Unknown";
}

const char kNotGiven[] = "not given";

// True when the Type 0 structure's formatted length covers the field.
bool Covers(const CSMBios_TYPE00& t, unsigned offset, unsigned size)
{
    return t.byLength >= offset + size;
}

// The ROM size in KiB: the byte at 0x09 counts 64 KiB blocks; 0xFF says 16 MiB or more and, from
// SMBIOS 3.1 on, hands over to the word at 0x18 (bits 13..0 the size, 15..14 its unit, MiB or GiB).
std::optional<uint64_t> RomSizeKiB(const CSMBios_TYPE00& t)
{
    if (!Covers(t, 0x09, 1))
        return std::nullopt;
    if (t.byRomSize != 0xFF)
        return (t.byRomSize + 1u) * 64u;
    if (!Covers(t, 0x18, 2))
        return 16u * 1024u;
    const uint64_t size = t.wExtendedRomSize & 0x3FFFu;
    const unsigned unit = t.wExtendedRomSize >> 14;
    if (size == 0 || unit > 1)
        return std::nullopt;
    return size << (unit == 0 ? 10 : 20);
}

std::string RomSize(const CSMBios_TYPE00& t)
{
    const std::optional<uint64_t> kib = RomSizeKiB(t);
    if (!kib)
        return kNotGiven;
    if (*kib % (1024u * 1024u) == 0)
        return std::to_string(*kib / (1024u * 1024u)) + " GB";
    return *kib % 1024 == 0 ? std::to_string(*kib / 1024) + " MB" : std::to_string(*kib) + " kB";
}

// 0xFF in either byte: not given (the library also says so where the structure ends before).
bool ReleaseGiven(uint8_t major, uint8_t minor)
{
    return major != 0xFF && minor != 0xFF;
}

std::string Release(uint8_t major, uint8_t minor)
{
    if (!ReleaseGiven(major, minor))
        return kNotGiven;
    return std::to_string(major) + "." + std::to_string(minor);
}

bool EntryPointChecksumOk(const SMBIOS_ENTRY_POINT& header)
{
    return header.EpStructLen <= sizeof(header) &&
           Utils::checksum(reinterpret_cast<const uint8_t*>(&header), header.EpStructLen);
}

// Names what kept the library from the table, and what to do about it.
Failure ExplainFailure(CRawSMBios& raw, bool efi)
{
    const SMBIOS_ENTRY_POINT& h = raw.m_Header;
    static const SMBIOS_ENTRY_POINT kUntouched{};
    char text[256];
    if (memcmp(&h, &kUntouched, sizeof(h)) == 0)
    {
        if (efi)
            snprintf(
                text, sizeof(text),
                "no SMBIOS entry point: %s has no usable 'SMBIOS=' line, or the address it names holds no "
                "entry point",
                QelSys::SysPath("/sys/firmware/efi/systab").c_str());
        else
            snprintf(text, sizeof(text),
                     "no SMBIOS entry point: no '_SM_' anchor in the BIOS segment 0xF0000-0xFFFFF of %s",
                     QelSys::SysPath("/dev/mem").c_str());
    }
    else if (h.EpStructLen > sizeof(h))
        snprintf(text, sizeof(text), "the SMBIOS entry point claims %d bytes; a 2.x entry point has 31",
                 h.EpStructLen);
    else if (!EntryPointChecksumOk(h))
        snprintf(text, sizeof(text),
                 "the SMBIOS entry point fails its checksum; the firmware's table cannot be "
                 "trusted");
    else if (h.SmbiosLength == 0)
        snprintf(text, sizeof(text), "the SMBIOS entry point announces an empty structure table");
    else
        snprintf(text, sizeof(text), "cannot map the structure table (address 0x%08x, %u bytes) from %s",
                 h.SmbiosAddr, h.SmbiosLength, QelSys::SysPath("/dev/mem").c_str());
    return Failure{std::string(text) + "\n" + LibraryLogHint(), std::nullopt};
}

void PrintEntryPoint(FILE* out, const CRawSMBios& raw, bool efi, size_t walked)
{
    const SMBIOS_ENTRY_POINT& h = raw.m_Header;
    fprintf(out, "SMBIOS entry point\n");
    fprintf(out, "  Version           %d.%d%s\n", h.SmbiosMjor, h.SmbiosMinor,
            raw.m_bSmbios3 ? " (64-bit entry point)" : "");
    fprintf(out, "  Found through     %s\n", efi ? "UEFI system table" : "legacy BIOS segment");
    // Named only where it is not memory, so the usual output stays as it was.
    if (raw.m_Source == SMBiosSource::Sysfs)
        fprintf(out, "  Read from         sysfs (%s), /dev/mem being refused\n",
                QelSys::SysPath("/sys/firmware/dmi/tables").c_str());
    fprintf(out, "  Table address     0x%08X\n", h.SmbiosAddr);
    fprintf(out, "  Table length      %u bytes\n", h.SmbiosLength);
    fprintf(out, "  Structures        %u", h.NumSmbiosStructs);
    if (walked != h.NumSmbiosStructs)
        fprintf(out, " (%zu found in the table)", walked);
    fprintf(out, "\n");
    fprintf(out, "  Checksum          %s\n",
            h.EpStructLen == 0        ? "not covered (length 0)"
            : EntryPointChecksumOk(h) ? "ok"
                                      : "bad");
}

// A string field of Type 0, or "not given" where the structure ends before it.
std::string BiosText(const CSMBios_TYPE00& t, unsigned offset, const std::string& text)
{
    return Covers(t, offset, 1) ? text : kNotGiven;
}

void PrintBiosInformation(FILE* out, const CSMBios_TYPE00& t)
{
    fprintf(out, "BIOS information\n");
    if (t.byLength == 0)
    {
        fprintf(out, "  none in the table\n");
    }
    else
    {
        fprintf(out, "  Vendor            %s\n", BiosText(t, 0x04, t.strVendor).c_str());
        fprintf(out, "  Version           %s\n", BiosText(t, 0x05, t.strVersion).c_str());
        fprintf(out, "  Release date      %s\n", BiosText(t, 0x08, t.strReleaseDate).c_str());
        if (Covers(t, 0x06, 2))
            fprintf(out, "  Start segment     0x%04X\n", t.wStartingSegment);
        else
            fprintf(out, "  Start segment     %s\n", kNotGiven);
        fprintf(out, "  ROM size          %s\n", RomSize(t).c_str());
        fprintf(out, "  BIOS release      %s\n", Release(t.byBiosMajorRelease, t.byBiosMinorRelease).c_str());
        fprintf(out, "  Firmware release  %s\n",
                Release(t.byFirmwareMajorRelease, t.byFirmwareMinorRelease).c_str());
    }
    fprintf(out, "  Machine model     %s\n", DescribeMachineModel(t.strVersion).c_str());
}

void PrintStructures(FILE* out, const std::vector<StructureHeader>& headers)
{
    fprintf(out, "Structures\n");
    fprintf(out, "  Handle  Type  Length  Name\n");
    for (const StructureHeader& s : headers)
    {
        if (s.complete)
            fprintf(out, "  0x%04X  %4u  %6u  %s\n", s.handle, s.type, s.length, TypeName(s.type).c_str());
        else
            fprintf(out, "  (the table ends inside the next structure's header)\n");
    }
}

Json ReleaseJson(uint8_t major, uint8_t minor)
{
    return ReleaseGiven(major, minor) ? Json(Release(major, minor)) : Json();
}

// A field of Type 0; null where the structure ends before it.
template <typename T>
Json BiosJson(const CSMBios_TYPE00& t, unsigned offset, unsigned size, const T& value)
{
    return Covers(t, offset, size) ? Json(value) : Json();
}

Json DocumentJson(CRawSMBios& raw, bool efi, const CSMBios_TYPE00& bios,
                  const std::vector<StructureHeader>& headers)
{
    const SMBIOS_ENTRY_POINT& h = raw.m_Header;
    Json entry = {{"version", std::to_string(h.SmbiosMjor) + "." + std::to_string(h.SmbiosMinor)},
                  {"foundThrough", efi ? "uefi" : "legacy"},
                  {"readFrom", raw.m_Source == SMBiosSource::Sysfs ? "sysfs" : "memory"},
                  {"entryPoint64", raw.m_bSmbios3},
                  {"tableAddress", h.SmbiosAddr},
                  {"tableLength", h.SmbiosLength},
                  {"structures", h.NumSmbiosStructs},
                  {"structuresFound", headers.size()}};
    entry["checksumOk"] = h.EpStructLen == 0 ? Json() : Json(EntryPointChecksumOk(h));
    const std::string model = DescribeMachineModel(bios.strVersion);
    const std::optional<uint64_t> romSize = RomSizeKiB(bios);
    Json biosJson = {
        {"vendor", BiosJson(bios, 0x04, 1, bios.strVendor)},
        {"version", BiosJson(bios, 0x05, 1, bios.strVersion)},
        {"releaseDate", BiosJson(bios, 0x08, 1, bios.strReleaseDate)},
        {"startSegment", BiosJson(bios, 0x06, 2, bios.wStartingSegment)},
        {"romSizeKiB", romSize ? Json(*romSize) : Json()},
        {"biosRelease", ReleaseJson(bios.byBiosMajorRelease, bios.byBiosMinorRelease)},
        {"firmwareRelease", ReleaseJson(bios.byFirmwareMajorRelease, bios.byFirmwareMinorRelease)}};
    biosJson["machineModel"] = model == "unsupported" ? Json() : Json(model);
    Json structures = Json::array();
    for (const StructureHeader& s : headers)
        if (s.complete)
            structures.push_back(
                {{"handle", s.handle}, {"type", s.type}, {"length", s.length}, {"name", TypeName(s.type)}});
    return Json{{"schema", kJsonSchema},
                {"entryPoint", entry},
                {"bios", biosJson},
                {"structures", structures},
                {"managementDevices", ManagementDevicesJson(raw)},
                {"unclaimedSensors", UnclaimedSensorsJson(raw)}};
}
}  // namespace

int RunSmbios(Context& context, const std::vector<std::string>& args)
{
    DumpRoot dumpRoot;
    if (std::optional<int> status = OpenFromDumpOption(context, "smbios", args, dumpRoot))
        return *status;
    if (std::optional<Failure> failure = CheckPhysMem())
        return Report(context, "smbios", *failure);

    CRawSMBios raw;
    const bool efi = raw.isEfi();
    if (!raw.Initialise())
        return Report(context, "smbios", ExplainFailure(raw, efi));
    CSMBiosMachineData machine;
    machine.Initialise(raw);
    CStructureList structures;
    structures.Initialise(raw);

    if (context.json)
    {
        WriteJson(context.out, DocumentJson(raw, efi, machine.m_Type00, structures.m_vHeaders));
        return kExitOk;
    }
    PrintEntryPoint(context.out, raw, efi, structures.m_vHeaders.size());
    PrintBiosInformation(context.out, machine.m_Type00);
    PrintStructures(context.out, structures.m_vHeaders);
    PrintManagementDevices(context.out, raw);
    PrintUnclaimedSensors(context.out, raw);
    return kExitOk;
}
}  // namespace QelTool
