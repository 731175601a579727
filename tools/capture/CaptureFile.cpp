#include "CaptureFile.h"

#include "LittleEndian.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace QelCapture
{
namespace
{
using Json = nlohmann::ordered_json;

constexpr char kManifest[] = "manifest.json";
constexpr char kDmi[] = "smbios/dmi.bin";
constexpr char kEntryPoint[] = "smbios/entry-point.bin";
constexpr char kSystab[] = "smbios/systab";
constexpr char kSensorConf[] = "etc/sensor.conf";
constexpr char kFormatName[] = "qel-capture";
constexpr uint32_t kBiosSegment = 0xF0000;
constexpr size_t kMaxSystab = 4096;

std::string Hex(uint32_t value, int digits)
{
    char text[16];
    snprintf(text, sizeof(text), "0x%0*X", digits, value);
    return text;
}

std::string AreaName(uint32_t address)
{
    return "eventlog/area-" + Hex(address, 8) + ".bin";
}

std::string ChipName(size_t index)
{
    return "chips/chip" + std::to_string(index) + ".json";
}

std::string SsdMember(const std::string& device, const char* what)
{
    return "nvme/" + device + "/" + what;
}

[[noreturn]] void Refuse(const std::string& where, const std::string& what)
{
    throw CaptureError(where + ": " + what);
}

// Checked reads of the manifest and chip files: the field's name in every complaint.
const Json& Get(const Json& object, const char* key, const std::string& where)
{
    if (!object.is_object() || !object.contains(key))
        Refuse(where, std::string("no field \"") + key + "\"");
    return object.at(key);
}

uint64_t Number(const Json& value, uint64_t max, const std::string& where)
{
    if (!value.is_number_unsigned() || value.get<uint64_t>() > max)
        Refuse(where, "not a whole number from 0 to " + std::to_string(max));
    return value.get<uint64_t>();
}

int64_t Signed(const Json& value, int64_t min, int64_t max, const std::string& where)
{
    if (!value.is_number_integer() || value.get<int64_t>() < min || value.get<int64_t>() > max)
        Refuse(where, "not a whole number from " + std::to_string(min) + " to " + std::to_string(max));
    return value.get<int64_t>();
}

std::string Text(const Json& value, size_t maxLength, const std::string& where)
{
    if (!value.is_string() || value.get<std::string>().size() > maxLength)
        Refuse(where, "not a text of at most " + std::to_string(maxLength) + " characters");
    return value.get<std::string>();
}

bool Flag(const Json& value, const std::string& where)
{
    if (!value.is_boolean())
        Refuse(where, "not true or false");
    return value.get<bool>();
}

// Registers as [[group, register, value], ...]: bank or logical device, then the byte.
Json Triples(const std::map<uint8_t, std::map<uint8_t, uint8_t>>& groups)
{
    Json list = Json::array();
    for (const auto& group : groups)
        for (const auto& reg : group.second)
            list.push_back({group.first, reg.first, reg.second});
    return list;
}

std::map<uint8_t, std::map<uint8_t, uint8_t>> ParseTriples(const Json& list, const std::string& where)
{
    if (!list.is_array())
        Refuse(where, "not a list of [group, register, value]");
    std::map<uint8_t, std::map<uint8_t, uint8_t>> groups;
    for (size_t i = 0; i < list.size(); ++i)
    {
        const std::string at = where + "[" + std::to_string(i) + "]";
        if (!list[i].is_array() || list[i].size() != 3)
            Refuse(at, "not [group, register, value]");
        const auto group = static_cast<uint8_t>(Number(list[i][0], 0xFF, at));
        const auto reg = static_cast<uint8_t>(Number(list[i][1], 0xFF, at));
        if (!groups[group].emplace(reg, static_cast<uint8_t>(Number(list[i][2], 0xFF, at))).second)
            Refuse(at, "register given twice");
    }
    return groups;
}

Json ChipJson(const CapturedChip& chip)
{
    Json j;
    j["family"] = chip.family == CapturedChip::Family::SuperIo ? "superio" : "ite";
    j["description"] = chip.description;
    j["port"] = chip.port;
    if (chip.family == CapturedChip::Family::SuperIo)
    {
        j["deviceId"] = chip.deviceId;
        j["monitorBase"] = chip.monitorBase;
        j["monitorActive"] = chip.monitorActive;
        j["config"] = Triples(chip.config);
    }
    j["registers"] = Triples(chip.banks);
    return j;
}

CapturedChip ParseChip(const std::vector<uint8_t>& bytes, const std::string& where)
{
    const Json j = Json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (j.is_discarded() || !j.is_object())
        Refuse(where, "not a JSON object");
    CapturedChip chip;
    const std::string family = Text(Get(j, "family", where), 16, where + ": family");
    if (family == "superio")
        chip.family = CapturedChip::Family::SuperIo;
    else if (family == "ite")
        chip.family = CapturedChip::Family::ItEc;
    else
        Refuse(where, "family \"" + family + "\" (superio or ite)");
    chip.description = Text(Get(j, "description", where), 256, where + ": description");
    chip.port = static_cast<uint16_t>(Number(Get(j, "port", where), 0xFFFE, where + ": port"));
    if (chip.family == CapturedChip::Family::SuperIo)
    {
        chip.deviceId =
            static_cast<uint16_t>(Number(Get(j, "deviceId", where), 0xFFFF, where + ": deviceId"));
        chip.monitorBase =
            static_cast<uint16_t>(Number(Get(j, "monitorBase", where), 0xFFF8, where + ": monitorBase"));
        chip.monitorActive = Flag(Get(j, "monitorActive", where), where + ": monitorActive");
        chip.config = ParseTriples(Get(j, "config", where), where + ": config");
        if (chip.port != 0x2E && chip.port != 0x4E)
            Refuse(where, "a Super I/O configuration port is 0x2E or 0x4E, not " + Hex(chip.port, 4));
    }
    chip.banks = ParseTriples(Get(j, "registers", where), where + ": registers");
    if (chip.family == CapturedChip::Family::ItEc && (chip.banks.size() > 1 || chip.banks.count(0) == 0) &&
        !chip.banks.empty())
        Refuse(where, "the EC's registers are all in group 0");
    return chip;
}

struct Piece
{
    uint64_t address;
    const std::vector<uint8_t>* bytes;
    const char* what;
};
}  // namespace

std::vector<uint8_t> EncodeCapture(const Capture& c, uint64_t mtime)
{
    std::vector<TarMember> members;
    Json listed = Json::array();
    const auto add = [&](const std::string& name, std::vector<uint8_t> data, const char* content)
    {
        listed.push_back({{"name", name}, {"size", data.size()}, {"content", content}});
        members.push_back({name, std::move(data)});
    };
    add(kDmi, QelImage::WriteDump(c.entryPoint, c.table),
        "SMBIOS entry point and table, as dmidecode --dump-bin writes them");
    add(kEntryPoint, std::vector<uint8_t>(c.entryPoint.begin(), c.entryPoint.end()),
        "the SMBIOS entry point as found, table address included");
    if (c.uefi)
        add(kSystab, std::vector<uint8_t>(c.systab.begin(), c.systab.end()), "the UEFI system table");
    if (c.eventLogAddress)
        add(AreaName(*c.eventLogAddress), c.eventLogArea, "the BIOS event-log area Type 15 names");
    for (size_t i = 0; i < c.chips.size(); ++i)
    {
        const std::string text = ChipJson(c.chips[i]).dump(1) + "\n";
        add(ChipName(i), std::vector<uint8_t>(text.begin(), text.end()), "registers a chip answered with");
    }
    Json ssds = Json::array();
    for (const CapturedSsd& ssd : c.ssds)
    {
        Json s = {{"device", ssd.device}, {"nsid", ssd.nsid}, {"namespaces", ssd.namespaces}};
        s["overThreshold"] = ssd.overThreshold ? Json(*ssd.overThreshold) : Json();
        s["underThreshold"] = ssd.underThreshold ? Json(*ssd.underThreshold) : Json();
        ssds.push_back(s);
        if (ssd.identifyController)
            add(SsdMember(ssd.device, "identify-controller.bin"), *ssd.identifyController,
                "NVMe Identify Controller data");
        if (ssd.identifyNamespace)
            add(SsdMember(ssd.device, "identify-namespace.bin"), *ssd.identifyNamespace,
                "NVMe Identify Namespace data");
        if (ssd.smartLog)
            add(SsdMember(ssd.device, "smart-log.bin"), *ssd.smartLog, "NVMe SMART / Health Information log");
    }
    if (c.sensorConf)
        add(kSensorConf, std::vector<uint8_t>(c.sensorConf->begin(), c.sensorConf->end()),
            "the provider's sensor configuration");

    Json manifest = {{"format", kFormatName},
                     {"formatVersion", kFormatVersion},
                     {"tool", c.tool},
                     {"time", c.time},
                     {"bios", {{"version", c.biosVersion}, {"model", c.model}}},
                     {"chipStart", c.chipStart},
                     {"smbios",
                      {{"foundThrough", c.uefi ? "uefi" : "legacy"},
                       {"entryPointAddress", c.entryPointAddress},
                       {"tableAddress", c.tableAddress},
                       {"tableLength", c.table.size()}}}};
    manifest["eventLog"] =
        c.eventLogAddress ? Json{{"address", *c.eventLogAddress}, {"length", c.eventLogArea.size()}} : Json();
    manifest["chips"] = c.chips.size();
    manifest["ssds"] = ssds;
    manifest["members"] = listed;
    const std::string text = manifest.dump(2) + "\n";
    members.insert(members.begin(), TarMember{kManifest, std::vector<uint8_t>(text.begin(), text.end())});
    return WriteTar(members, mtime);
}

Capture DecodeCapture(const uint8_t* bytes, size_t size)
{
    const std::vector<TarMember> members = ReadTar(bytes, size);
    std::map<std::string, const std::vector<uint8_t>*> byName;
    for (const TarMember& m : members)
        byName[m.name] = &m.data;
    if (byName.count(kManifest) == 0)
        throw CaptureError("no manifest.json: not a capture");
    const std::vector<uint8_t>& manifestBytes = *byName[kManifest];
    const Json manifest = Json::parse(manifestBytes.begin(), manifestBytes.end(), nullptr, false);
    if (manifest.is_discarded() || !manifest.is_object())
        throw CaptureError("manifest.json: not a JSON object");
    const std::string m = "manifest.json";
    if (Text(Get(manifest, "format", m), 64, m + ": format") != kFormatName)
        Refuse(m, "format is not \"qel-capture\"");
    const uint64_t version = Number(Get(manifest, "formatVersion", m), 1000000, m + ": formatVersion");
    if (version != kFormatVersion)
        Refuse(m, "format version " + std::to_string(version) + "; this program reads version " +
                      std::to_string(kFormatVersion));

    // The member list and the archive agree, name for name and size for size.
    const Json& listed = Get(manifest, "members", m);
    if (!listed.is_array())
        Refuse(m, "members: not a list");
    std::map<std::string, uint64_t> sizes;
    for (size_t i = 0; i < listed.size(); ++i)
    {
        const std::string at = m + ": members[" + std::to_string(i) + "]";
        const std::string name = Text(Get(listed[i], "name", at), 100, at + ": name");
        const uint64_t length = Number(Get(listed[i], "size", at), kMaxTarMemberSize, at + ": size");
        if (!sizes.emplace(name, length).second)
            Refuse(at, "member '" + name + "' listed twice");
        const auto found = byName.find(name);
        if (found == byName.end())
            Refuse(m, "lists member '" + name + "', which the archive does not hold");
        if (found->second->size() != length)
            Refuse(m, "member '" + name + "' has " + std::to_string(found->second->size()) +
                          " bytes, the manifest says " + std::to_string(length));
    }
    for (const TarMember& member : members)
        if (member.name != kManifest && sizes.count(member.name) == 0)
            Refuse(m, "does not list member '" + member.name + "'");

    Capture c;
    c.tool = Text(Get(manifest, "tool", m), 256, m + ": tool");
    c.time = Text(Get(manifest, "time", m), 64, m + ": time");
    const Json& bios = Get(manifest, "bios", m);
    c.biosVersion = Text(Get(bios, "version", m + ": bios"), 256, m + ": bios.version");
    c.model = Text(Get(bios, "model", m + ": bios"), 256, m + ": bios.model");
    c.chipStart = Text(Get(manifest, "chipStart", m), 256, m + ": chipStart");

    // SMBIOS: the till's entry point, and the table from the dmidecode-form dump.
    const Json& smbios = Get(manifest, "smbios", m);
    const std::string foundThrough = Text(Get(smbios, "foundThrough", m), 16, m + ": smbios.foundThrough");
    if (foundThrough != "uefi" && foundThrough != "legacy")
        Refuse(m, "smbios.foundThrough is \"" + foundThrough + "\" (uefi or legacy)");
    c.uefi = foundThrough == "uefi";
    c.entryPointAddress = static_cast<uint32_t>(
        Number(Get(smbios, "entryPointAddress", m), 0xFFFFFFE0, m + ": smbios.entryPointAddress"));
    c.tableAddress = static_cast<uint32_t>(
        Number(Get(smbios, "tableAddress", m), 0xFFFFFFFF, m + ": smbios.tableAddress"));
    const uint64_t tableLength = Number(Get(smbios, "tableLength", m), 0xFFFF, m + ": smbios.tableLength");
    if (byName.count(kDmi) == 0 || byName.count(kEntryPoint) == 0)
        throw CaptureError(std::string("no ") + kDmi + " or " + kEntryPoint +
                           ": the capture has no SMBIOS table");
    const std::vector<uint8_t>& ep = *byName[kEntryPoint];
    if (ep.size() != QelImage::kEntryPointSize)
        Refuse(kEntryPoint, std::to_string(ep.size()) + " bytes, not 32");
    if (std::optional<std::string> fault = QelImage::EntryPointFault(ep.data()))
        Refuse(kEntryPoint, *fault);
    std::copy(ep.begin(), ep.end(), c.entryPoint.begin());
    if (LittleEndian::Read32(&ep[0x18]) != c.tableAddress || LittleEndian::Read16(&ep[0x16]) != tableLength)
        Refuse(m, "smbios.tableAddress or tableLength disagrees with the entry point");
    const std::vector<uint8_t>& dmi = *byName[kDmi];
    if (dmi.size() != QelImage::kDumpTableOffset + tableLength)
        Refuse(kDmi, std::to_string(dmi.size()) + " bytes; 0x20 and a table of " +
                         std::to_string(tableLength) + " were expected");
    c.table.assign(dmi.begin() + QelImage::kDumpTableOffset, dmi.end());
    if (QelImage::WriteDump(c.entryPoint, c.table) != dmi)
        Refuse(kDmi, "its entry point disagrees with " + std::string(kEntryPoint));
    if (c.uefi)
    {
        if (byName.count(kSystab) == 0)
            Refuse(m, "a UEFI machine without smbios/systab");
        const std::vector<uint8_t>& systab = *byName[kSystab];
        if (systab.size() > kMaxSystab)
            Refuse(kSystab, "more than " + std::to_string(kMaxSystab) + " bytes");
        c.systab.assign(systab.begin(), systab.end());
        if (SystabEntryPoint(c.systab) != c.entryPointAddress)
            Refuse(kSystab, "names no 'SMBIOS=' line for the entry point at " + Hex(c.entryPointAddress, 8));
    }
    else if (c.entryPointAddress < kBiosSegment || c.entryPointAddress % 16 != 0)
    {
        Refuse(m, "a legacy entry point lies in the BIOS segment on a 16-byte boundary, not at " +
                      Hex(c.entryPointAddress, 8));
    }

    const Json& log = Get(manifest, "eventLog", m);
    if (!log.is_null())
    {
        c.eventLogAddress =
            static_cast<uint32_t>(Number(Get(log, "address", m), 0xFFFFFFFF, m + ": eventLog.address"));
        const uint64_t length = Number(Get(log, "length", m), 0xFFFF, m + ": eventLog.length");
        const std::string name = AreaName(*c.eventLogAddress);
        if (byName.count(name) == 0 || byName[name]->size() != length)
            Refuse(m, "the event log needs member '" + name + "' of " + std::to_string(length) + " bytes");
        c.eventLogArea = *byName[name];
    }

    const uint64_t chips = Number(Get(manifest, "chips", m), 16, m + ": chips");
    for (size_t i = 0; i < chips; ++i)
    {
        const std::string name = ChipName(i);
        if (byName.count(name) == 0)
            Refuse(m, "counts " + std::to_string(chips) + " chips; member '" + name + "' is missing");
        c.chips.push_back(ParseChip(*byName[name], name));
    }

    const Json& ssds = Get(manifest, "ssds", m);
    if (!ssds.is_array() || ssds.size() > kMaxSsds)
        Refuse(m, "ssds: not a list of at most " + std::to_string(kMaxSsds));
    for (size_t i = 0; i < ssds.size(); ++i)
    {
        const std::string at = m + ": ssds[" + std::to_string(i) + "]";
        CapturedSsd ssd;
        ssd.device = Text(Get(ssds[i], "device", at), 8, at + ": device");
        if (ssd.device.size() != 5 || ssd.device.compare(0, 4, "nvme") != 0 || ssd.device[4] < '0' ||
            ssd.device[4] > '9')
            Refuse(at, "device \"" + ssd.device + "\" is not nvme0 ... nvme9");
        for (const CapturedSsd& other : c.ssds)
            if (other.device == ssd.device)
                Refuse(at, "device " + ssd.device + " twice");
        ssd.nsid = static_cast<int32_t>(Signed(Get(ssds[i], "nsid", at), -1, 0x7FFFFFFF, at + ": nsid"));
        ssd.namespaces = static_cast<uint32_t>(
            Number(Get(ssds[i], "namespaces", at), kMaxNamespaces, at + ": namespaces"));
        for (auto field : {std::make_pair("overThreshold", &ssd.overThreshold),
                           std::make_pair("underThreshold", &ssd.underThreshold)})
        {
            const Json& value = Get(ssds[i], field.first, at);
            if (!value.is_null())
                *field.second = static_cast<uint32_t>(Number(value, 0xFFFFFFFF, at + ": " + field.first));
        }
        for (auto blob : {std::make_tuple("identify-controller.bin", &ssd.identifyController, kIdentifySize),
                          std::make_tuple("identify-namespace.bin", &ssd.identifyNamespace, kIdentifySize),
                          std::make_tuple("smart-log.bin", &ssd.smartLog, kSmartLogSize)})
        {
            const std::string name = SsdMember(ssd.device, std::get<0>(blob));
            if (byName.count(name) == 0)
                continue;
            if (byName[name]->size() != std::get<2>(blob))
                Refuse(name, std::to_string(byName[name]->size()) + " bytes, not " +
                                 std::to_string(std::get<2>(blob)));
            *std::get<1>(blob) = *byName[name];
        }
        c.ssds.push_back(ssd);
    }
    if (byName.count(kSensorConf) != 0)
        c.sensorConf = std::string(byName[kSensorConf]->begin(), byName[kSensorConf]->end());
    return c;
}

std::optional<uint32_t> SystabEntryPoint(const std::string& systab)
{
    size_t at = 0;
    while (at < systab.size())
    {
        size_t end = systab.find('\n', at);
        if (end == std::string::npos)
            end = systab.size();
        if (systab.compare(at, 7, "SMBIOS=") == 0)
        {
            const std::string value = systab.substr(at + 7, end - at - 7);
            char* rest = nullptr;
            errno = 0;
            const unsigned long long address = strtoull(value.c_str(), &rest, 0);
            if (errno != 0 || value.empty() || *rest != '\0' || address > 0xFFFFFFE0ULL)
                return std::nullopt;
            return static_cast<uint32_t>(address);
        }
        at = end + 1;
    }
    return std::nullopt;
}

Capture ReadSmbiosSource(const uint8_t* bytes, size_t size)
{
    if (LooksLikeTar(bytes, size))
        return DecodeCapture(bytes, size);
    if (size < QelImage::kDumpTableOffset)
        throw CaptureError("neither a capture nor a dmidecode dump: " + std::to_string(size) + " bytes");
    if (!QelImage::LooksLikeDump(bytes, size))
        throw CaptureError(
            "neither a capture (a tar archive) nor a dmidecode dump (_SM_ or _SM3_ at offset 0)");
    QelImage::Dump dump;
    try
    {
        dump = QelImage::ReadDump(bytes, size);
    }
    catch (const QelImage::DumpError& e)
    {
        throw CaptureError(std::string("dmidecode dump: ") + e.what());
    }
    Capture c;
    c.entryPoint = dump.entryPoint;
    c.tableAddress = dump.tableOffset;
    c.table = std::move(dump.table);
    return c;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path, size_t maxSize)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw CaptureError("cannot open " + path + ": " + strerror(errno));
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    {
        close(fd);
        throw CaptureError(path + ": not a regular file");
    }
    if (static_cast<uint64_t>(st.st_size) > maxSize)
    {
        close(fd);
        throw CaptureError(path + ": " + std::to_string(st.st_size) + " bytes, more than the " +
                           std::to_string(maxSize) + " a capture may have");
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes.size())
    {
        const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
        {
            const int err = n < 0 ? errno : EIO;
            close(fd);
            throw CaptureError("cannot read " + path + ": " + strerror(err));
        }
        done += static_cast<size_t>(n);
    }
    close(fd);
    return bytes;
}

void WriteMemory(const Capture& c, const std::string& root)
{
    const std::vector<uint8_t> entry(c.entryPoint.begin(), c.entryPoint.end());
    std::vector<Piece> pieces = {{c.tableAddress, &c.table, "the SMBIOS table"},
                                 {c.entryPointAddress, &entry, "the SMBIOS entry point"}};
    if (c.eventLogAddress)
        pieces.push_back({*c.eventLogAddress, &c.eventLogArea, "the event-log area"});
    for (size_t i = 0; i < pieces.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (pieces[i].address < pieces[j].address + pieces[j].bytes->size() &&
                pieces[j].address < pieces[i].address + pieces[i].bytes->size())
                throw CaptureError(std::string(pieces[i].what) + " at " +
                                   Hex(static_cast<uint32_t>(pieces[i].address), 8) + " overlaps " +
                                   pieces[j].what + " at " +
                                   Hex(static_cast<uint32_t>(pieces[j].address), 8));

    QelImage::MachineImage image;
    image.SetRawTable(c.table).SetTableAddress(c.tableAddress);
    QelImage::EntryPoint& ep = image.Entry();
    ep.place = c.uefi ? QelImage::EntryPointPlace::Efi : QelImage::EntryPointPlace::BiosSegment;
    ep.address = c.entryPointAddress;
    ep.bytes = c.entryPoint;
    if (c.uefi)
        ep.systab = c.systab;
    if (c.eventLogAddress)
        image.PutBytes(*c.eventLogAddress, c.eventLogArea);
    try
    {
        image.Write(root);
    }
    catch (const std::runtime_error& e)
    {
        throw CaptureError(e.what());
    }
}
}  // namespace QelCapture
