#include "Profile.h"

#include "ItEcModel.h"
#include "SuperIoModel.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <initializer_list>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace QelSim
{
using namespace QelImage;

namespace
{
using Json = nlohmann::json;

constexpr const char* kIteKind = "IT5571";
constexpr uint16_t kBiosInformationHandle = 0x0000;
constexpr uint16_t kSystemHandle = 0x0001;
constexpr uint16_t kBoardHandle = 0x0002;
constexpr uint16_t kFirstChipHandle = 0x0020;

// Where firmware of each kind puts SMBIOS: the legacy entry point on a paragraph of the F
// segment with the table below it, the UEFI ones in high runtime memory.
constexpr uint32_t kLegacyEntryPoint = 0x000F0480;
constexpr uint32_t kLegacyTable = 0x000EC000;
constexpr uint32_t kEfiEntryPoint = 0x3FF6F000;
constexpr uint32_t kEfiTable = 0x3FF6E000;

std::string Hex(uint64_t value)
{
    char text[24];
    snprintf(text, sizeof(text), "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// A field of the profile with its path, for messages that name it.
class Field
{
public:
    Field(const Json& value, std::string path) : m_value(value), m_path(std::move(path)) {}

    const std::string& Path() const { return m_path; }
    [[noreturn]] void Fail(const std::string& problem) const { throw ProfileError(m_path, problem); }

    bool Has(const char* key) const { return m_value.contains(key); }
    Field operator[](const char* key) const
    {
        if (!m_value.contains(key))
            throw ProfileError(Join(key), "missing");
        return Field(m_value.at(key), Join(key));
    }
    std::optional<Field> Optional(const char* key) const
    {
        if (!m_value.contains(key))
            return std::nullopt;
        return Field(m_value.at(key), Join(key));
    }

    void ExpectObject(std::initializer_list<const char*> known) const
    {
        if (!m_value.is_object())
            Fail("expected an object");
        for (const auto& item : m_value.items())
        {
            const bool isKnown =
                item.key() == "note" ||
                std::any_of(known.begin(), known.end(), [&](const char* k) { return item.key() == k; });
            if (!isKnown)
                throw ProfileError(Join(item.key().c_str()), "unknown field");
        }
    }

    std::vector<Field> Items() const
    {
        if (!m_value.is_array())
            Fail("expected an array");
        std::vector<Field> items;
        for (size_t i = 0; i < m_value.size(); ++i)
            items.emplace_back(m_value[i], m_path + "[" + std::to_string(i) + "]");
        return items;
    }

    // Members of an object whose keys are numbers (bank and register numbers).
    std::vector<std::pair<uint64_t, Field>> NumberedMembers(uint64_t maxKey) const
    {
        if (!m_value.is_object())
            Fail("expected an object");
        std::vector<std::pair<uint64_t, Field>> members;
        for (const auto& item : m_value.items())
        {
            const std::string path = Join(item.key().c_str());
            members.emplace_back(ParseNumber(item.key(), path, maxKey), Field(item.value(), path));
        }
        return members;
    }

    std::string String() const
    {
        if (!m_value.is_string())
            Fail("expected a string");
        return m_value.get<std::string>();
    }

    bool Bool() const
    {
        if (!m_value.is_boolean())
            Fail("expected true or false");
        return m_value.get<bool>();
    }

    uint64_t Number(uint64_t max) const
    {
        if (m_value.is_number_unsigned())
        {
            const uint64_t value = m_value.get<uint64_t>();
            if (value > max)
                Fail("expected a number from 0 to " + Hex(max) + ", got " + std::to_string(value));
            return value;
        }
        if (m_value.is_string())
            return ParseNumber(m_value.get<std::string>(), m_path, max);
        Fail("expected a number from 0 to " + Hex(max) +
             " (a JSON number, or a string in decimal or 0x-hex)");
    }

    // A whole number from min to max, as a JSON number (negative ones included) or a string.
    int64_t Integer(int64_t min, int64_t max) const
    {
        const std::string range =
            "expected a whole number from " + std::to_string(min) + " to " + std::to_string(max);
        if (m_value.is_number_integer())
        {
            const int64_t value = m_value.get<int64_t>();
            if (m_value.is_number_unsigned() && m_value.get<uint64_t>() > static_cast<uint64_t>(max))
                Fail(range + ", got " + std::to_string(m_value.get<uint64_t>()));
            if (value < min || value > max)
                Fail(range + ", got " + std::to_string(value));
            return value;
        }
        if (m_value.is_string())
        {
            const std::string text = m_value.get<std::string>();
            const bool negative = !text.empty() && text[0] == '-';
            const uint64_t magnitude = ParseNumber(negative ? text.substr(1) : text, m_path,
                                                   static_cast<uint64_t>(negative ? -min : max));
            return negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
        }
        Fail(range);
    }

    bool IsArray() const { return m_value.is_array(); }

private:
    std::string Join(const char* key) const { return m_path.empty() ? key : m_path + "." + key; }

    static uint64_t ParseNumber(const std::string& text, const std::string& path, uint64_t max)
    {
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        const std::string digits = hex ? text.substr(2) : text;
        const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
        if (digits.empty() || digits.size() > 16 || digits.find_first_not_of(allowed) != std::string::npos)
            throw ProfileError(path, "expected a number from 0 to " + Hex(max) + ", got \"" + text + "\"");
        const uint64_t value = std::stoull(digits, nullptr, hex ? 16 : 10);
        if (value > max)
            throw ProfileError(path, "expected a number from 0 to " + Hex(max) + ", got \"" + text + "\"");
        return value;
    }

    const Json& m_value;
    std::string m_path;
};

uint8_t Byte(const Field& f)
{
    return static_cast<uint8_t>(f.Number(0xFF));
}

uint16_t Word(const Field& f)
{
    return static_cast<uint16_t>(f.Number(0xFFFF));
}

// A register map: {"0x80": 113, "0xC0": [4, 176]}; an array fills consecutive registers.
void ReadRegisters(const Field& f, std::map<uint8_t, uint8_t>& registers)
{
    for (const auto& member : f.NumberedMembers(0xFF))
    {
        if (!member.second.IsArray())
        {
            registers[static_cast<uint8_t>(member.first)] = Byte(member.second);
            continue;
        }
        const std::vector<Field> bytes = member.second.Items();
        if (member.first + bytes.size() > 0x100)
            member.second.Fail("runs past register 0xFF");
        for (size_t i = 0; i < bytes.size(); ++i)
            registers[static_cast<uint8_t>(member.first + i)] = Byte(bytes[i]);
    }
}

Thresholds ReadThresholds(const Field& f)
{
    static const char* const kNames[] = {"lowerNonCritical", "upperNonCritical",    "lowerCritical",
                                         "upperCritical",    "lowerNonRecoverable", "upperNonRecoverable"};
    f.ExpectObject({kNames[0], kNames[1], kNames[2], kNames[3], kNames[4], kNames[5]});
    Thresholds thresholds;
    for (size_t i = 0; i < thresholds.size(); ++i)
    {
        const std::optional<Field> value = f.Optional(kNames[i]);
        thresholds[i] = value ? Word(*value) : kUnknownWord;
    }
    return thresholds;
}

BoardSensor ReadSensor(const Field& f)
{
    f.ExpectObject({"kind", "description", "oem", "probeDescription", "nominal", "maximum", "minimum",
                    "resolution", "tolerance", "accuracy", "locationAndStatus", "deviceTypeAndStatus",
                    "thresholds"});
    BoardSensor sensor;
    const Field kind = f["kind"];
    const std::string kindName = kind.String();
    if (kindName == "voltage")
        sensor.kind = BoardSensor::Kind::Voltage;
    else if (kindName == "temperature")
        sensor.kind = BoardSensor::Kind::Temperature;
    else if (kindName == "fan")
        sensor.kind = BoardSensor::Kind::Cooling;
    else
        kind.Fail("expected \"voltage\", \"temperature\" or \"fan\", got \"" + kindName + "\"");
    sensor.name = f["description"].String();
    sensor.oem = static_cast<uint32_t>(f["oem"].Number(0xFFFFFFFF));
    if (auto t = f.Optional("thresholds"))
        sensor.thresholds = ReadThresholds(*t);

    auto word = [&](const char* key, uint16_t fallback)
    {
        const std::optional<Field> value = f.Optional(key);
        return value ? Word(*value) : fallback;
    };
    if (sensor.kind == BoardSensor::Kind::Cooling)
    {
        for (const char* key : {"probeDescription", "maximum", "minimum", "resolution", "tolerance",
                                "accuracy", "locationAndStatus"})
            if (f.Has(key))
                f[key].Fail("not a field of a fan");
        if (auto nominal = f.Optional("nominal"))
            sensor.cooling.nominalSpeed = Word(*nominal);
        if (auto status = f.Optional("deviceTypeAndStatus"))
            sensor.cooling.deviceTypeAndStatus = Byte(*status);
        return sensor;
    }
    if (f.Has("deviceTypeAndStatus"))
        f["deviceTypeAndStatus"].Fail("only a fan has a device type");
    ProbeFields& probe = sensor.probe;
    probe.description = f.Has("probeDescription") ? f["probeDescription"].String() : sensor.name;
    if (auto status = f.Optional("locationAndStatus"))
        probe.locationAndStatus = Byte(*status);
    probe.maximum = word("maximum", kUnknownWord);
    probe.minimum = word("minimum", kUnknownWord);
    probe.resolution = word("resolution", kUnknownWord);
    probe.tolerance = word("tolerance", kUnknownWord);
    probe.accuracy = word("accuracy", kUnknownWord);
    if (auto nominal = f.Optional("nominal"))
        probe.nominal = Word(*nominal);
    return sensor;
}

std::string Text(const Field& f, size_t maxLength)
{
    const std::string text = f.String();
    if (text.size() > maxLength)
        f.Fail("at most " + std::to_string(maxLength) + " characters, got " + std::to_string(text.size()));
    return text;
}

// A composite temperature or threshold in degrees Celsius: the controller reports it as a 16-bit
// Kelvin word.
int Celsius(const Field& f)
{
    return static_cast<int>(
        f.Integer(-NvmeController::kKelvinAtZeroCelsius, 0xFFFF - NvmeController::kKelvinAtZeroCelsius));
}

SsdProfile ReadSsd(const Field& f, size_t index)
{
    f.ExpectObject({"device", "serial", "model", "firmware", "namespaces", "temperature", "overThreshold",
                    "underThreshold", "fail"});
    SsdProfile ssd;
    ssd.device = "nvme" + std::to_string(index);
    if (auto device = f.Optional("device"))
    {
        ssd.device = device->String();
        const bool controllerName = ssd.device.size() > 4 && ssd.device.compare(0, 4, "nvme") == 0 &&
                                    ssd.device.find_first_not_of("0123456789", 4) == std::string::npos;
        if (!controllerName)
            device->Fail("expected a controller name such as \"nvme0\", got \"" + ssd.device + "\"");
    }
    ssd.serial = Text(f["serial"], 20);
    ssd.model = Text(f["model"], 40);
    ssd.firmware = Text(f["firmware"], 8);
    if (auto namespaces = f.Optional("namespaces"))
        ssd.namespaces = static_cast<uint32_t>(namespaces->Number(16));
    ssd.temperature = Celsius(f["temperature"]);
    if (auto over = f.Optional("overThreshold"))
        ssd.overThreshold = Celsius(*over);
    if (auto under = f.Optional("underThreshold"))
        ssd.underThreshold = Celsius(*under);
    if (auto fail = f.Optional("fail"))
    {
        const std::string what = fail->String();
        if (what == "identify")
            ssd.failure = SsdProfile::Failure::Identify;
        else if (what == "thresholds")
            ssd.failure = SsdProfile::Failure::Threshold;
        else if (what == "health")
            ssd.failure = SsdProfile::Failure::Health;
        else
            fail->Fail("expected \"identify\", \"thresholds\" or \"health\", got \"" + what + "\"");
    }
    return ssd;
}

EventLogProfile ReadEventLog(const Field& f)
{
    f.ExpectObject({"sample", "address", "status"});
    EventLogProfile log;
    const Field sample = f["sample"];
    sample.ExpectObject({"probe"});
    log.probe = sample["probe"].String();
    if (auto address = f.Optional("address"))
        log.address = static_cast<uint32_t>(address->Number(0xFFFFFFFF));
    if (auto status = f.Optional("status"))
        log.status = static_cast<uint8_t>(status->Number(0xFF));
    return log;
}

ChipProfile ReadChip(const Field& f)
{
    ChipProfile chip;
    const Field kind = f["kind"];
    chip.kind = kind.String();
    if (chip.kind == kIteKind)
    {
        chip.family = ChipProfile::Family::ItEc;
        f.ExpectObject({"kind", "indexPort", "registers", "description", "smbiosAddress", "deviceType",
                        "sensors", "kernelDriver"});
        const Field port = f["indexPort"];
        chip.port = static_cast<uint16_t>(port.Number(0xFFFE));
        if (auto registers = f.Optional("registers"))
            ReadRegisters(*registers, chip.banks[0]);
        chip.board.address = chip.port;
    }
    else
    {
        const SuperIoChip* known = FindSuperIoChip(chip.kind);
        if (known == nullptr)
            kind.Fail("unknown chip \"" + chip.kind + "\"; known: " + SuperIoChipNames() + ", " + kIteKind);
        f.ExpectObject({"kind", "configPort", "revision", "monitorBase", "monitorActive", "banks",
                        "description", "smbiosAddress", "deviceType", "sensors", "kernelDriver"});
        const Field port = f["configPort"];
        chip.port = Word(port);
        if (chip.port != 0x2E && chip.port != 0x4E)
            port.Fail("a Super I/O answers on 0x2E or 0x4E, not " + Hex(chip.port));
        chip.deviceId = known->deviceId;
        if (auto revision = f.Optional("revision"))
            chip.deviceId = static_cast<uint16_t>((chip.deviceId & 0xFFF0) | revision->Number(0xF));
        chip.monitorBase = Word(f["monitorBase"]);
        if (auto active = f.Optional("monitorActive"))
            chip.monitorActive = active->Bool();
        if (auto banks = f.Optional("banks"))
            for (const auto& bank : banks->NumberedMembers(0xFF))
                ReadRegisters(bank.second, chip.banks[static_cast<uint8_t>(bank.first)]);
        chip.board.address = chip.monitorBase;
    }
    chip.board.description = f["description"].String();
    if (auto address = f.Optional("smbiosAddress"))
        chip.board.address = static_cast<uint32_t>(address->Number(0xFFFFFFFF));
    if (auto deviceType = f.Optional("deviceType"))
        chip.board.deviceType = Byte(*deviceType);
    if (auto driver = f.Optional("kernelDriver"))
        chip.kernelDriver = driver->String();
    for (const Field& sensor : f["sensors"].Items())
        chip.board.sensors.push_back(ReadSensor(sensor));
    return chip;
}

void ReadBios(const Field& f, BiosInformation& bios)
{
    f.ExpectObject({"vendor", "version", "releaseDate", "romSize", "release", "firmwareRelease"});
    bios.vendor = f["vendor"].String();
    bios.version = f["version"].String();
    if (bios.version.size() < 2)
        f["version"].Fail("the first two characters name the machine model; got \"" + bios.version + "\"");
    bios.releaseDate = f["releaseDate"].String();
    if (auto rom = f.Optional("romSize"))
        bios.romSize = Byte(*rom);
    auto release = [&](const char* key, uint8_t& major, uint8_t& minor)
    {
        if (auto r = f.Optional(key))
        {
            const std::string text = r->String();
            unsigned a = 0, b = 0;
            char end = 0;
            if (sscanf(text.c_str(), "%u.%u%c", &a, &b, &end) != 2 || a > 254 || b > 254)
                r->Fail("expected MAJOR.MINOR, got \"" + text + "\"");
            major = static_cast<uint8_t>(a);
            minor = static_cast<uint8_t>(b);
        }
    };
    release("release", bios.biosMajor, bios.biosMinor);
    release("firmwareRelease", bios.firmwareMajor, bios.firmwareMinor);
}

// Two chips that answer on the same ports would make every access ambiguous.
void CheckPorts(const Profile& profile)
{
    std::map<uint32_t, size_t> owner;
    for (size_t i = 0; i < profile.chips.size(); ++i)
    {
        const ChipProfile& chip = profile.chips[i];
        std::vector<uint32_t> ports = {chip.port, chip.port + 1u};
        if (chip.family == ChipProfile::Family::SuperIo)
        {
            ports.push_back(chip.monitorBase + SuperIoModel::kMonitorIndexOffset);
            ports.push_back(chip.monitorBase + SuperIoModel::kMonitorDataOffset);
        }
        for (uint32_t port : ports)
        {
            auto claimed = owner.emplace(port, i);
            if (!claimed.second && claimed.first->second != i)
                throw ProfileError("chips[" + std::to_string(i) + "]",
                                   "port " + Hex(port) + " is taken by chips[" +
                                       std::to_string(claimed.first->second) + "]");
        }
    }
}

Structure SystemInformation(const SystemFields& system, uint16_t handle)
{
    Structure s(1, handle);
    s.String(system.manufacturer).String(system.product).String(system.version).String(system.serial);
    return s;
}

Structure Baseboard(const SystemFields& system, uint16_t handle)
{
    Structure s(2, handle);
    s.String(system.manufacturer).String(system.board).String(system.version).String("");
    return s;
}
}  // namespace

Profile ParseProfile(const std::string& text, const std::string& name)
{
    Json json;
    try
    {
        json = Json::parse(text);
    }
    // Not only syntax errors: a number out of a double's range is the parser's out_of_range.
    catch (const Json::exception& e)
    {
        throw ProfileError("", std::string("not valid JSON: ") + e.what());
    }
    const Field root(json, "");
    root.ExpectObject({"machine", "bios", "firmware", "firmwareDefects", "lockedDown", "smbiosVersion",
                       "system", "chips", "eventLog", "ssds"});

    Profile profile;
    profile.name = name;
    profile.machine = root["machine"].String();
    ReadBios(root["bios"], profile.bios);

    const Field firmware = root["firmware"];
    const std::string boot = firmware.String();
    if (boot != "uefi" && boot != "legacy")
        firmware.Fail("expected \"uefi\" or \"legacy\", got \"" + boot + "\"");
    profile.uefi = boot == "uefi";
    if (auto defects = root.Optional("firmwareDefects"))
        profile.firmwareDefects = defects->Bool();
    if (auto locked = root.Optional("lockedDown"))
        profile.lockedDown = locked->Bool();

    if (auto version = root.Optional("smbiosVersion"))
    {
        const std::string v = version->String();
        unsigned major = 0, minor = 0;
        char end = 0;
        if (sscanf(v.c_str(), "%u.%u%c", &major, &minor, &end) != 2 || major != 2 || minor > 9)
            version->Fail("expected a 2.x version such as \"2.8\", got \"" + v + "\"");
        profile.smbiosMajor = static_cast<uint8_t>(major);
        profile.smbiosMinor = static_cast<uint8_t>(minor);
    }

    if (auto system = root.Optional("system"))
    {
        system->ExpectObject({"manufacturer", "product", "version", "serial", "board"});
        SystemFields fields;
        auto field = [&](const char* key)
        { return system->Has(key) ? (*system)[key].String() : std::string(); };
        fields.manufacturer = field("manufacturer");
        fields.product = field("product");
        fields.version = field("version");
        fields.serial = field("serial");
        fields.board = field("board");
        profile.system = fields;
    }

    const std::vector<Field> chips = root["chips"].Items();
    if (chips.empty())
        root["chips"].Fail("a machine needs at least one monitoring chip");
    for (const Field& chip : chips)
        profile.chips.push_back(ReadChip(chip));
    CheckPorts(profile);

    if (auto eventLog = root.Optional("eventLog"))
        profile.eventLog = ReadEventLog(*eventLog);

    if (auto ssds = root.Optional("ssds"))
    {
        const std::vector<Field> items = ssds->Items();
        std::set<std::string> devices;
        for (size_t i = 0; i < items.size(); ++i)
        {
            profile.ssds.push_back(ReadSsd(items[i], i));
            if (!devices.insert(profile.ssds.back().device).second)
                items[i]["device"].Fail("\"" + profile.ssds.back().device + "\" is named twice");
        }
    }
    return profile;
}

Profile LoadProfile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ProfileError("", "cannot read profile " + path + ": " + strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    std::string name = path.substr(path.find_last_of('/') + 1);
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0)
        name.resize(name.size() - 5);
    try
    {
        return ParseProfile(text.str(), name);
    }
    catch (const ProfileError& e)
    {
        throw ProfileError(e.Field(), std::string(e.what()) + " (in " + path + ")");
    }
}

std::string ProfileDirectory()
{
    // An installed qelsim (PREFIX/bin) has its profiles in PREFIX/share/qelsim/profiles; one run
    // from the build tree has none there and takes those of the source tree.
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (n > 0)
    {
        std::string prefix(exe, static_cast<size_t>(n));
        for (int up = 0; up < 2 && prefix.find('/') != std::string::npos; ++up)
            prefix.erase(prefix.find_last_of('/'));
        const std::string installed = prefix + "/" QEL_INSTALL_DATADIR "/qelsim/profiles";
        struct stat st;
        if (stat(installed.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return installed;
    }
    return QEL_PROFILE_DIR;
}

std::vector<std::string> ShippedProfiles()
{
    std::vector<std::string> paths;
    DIR* dir = opendir(ProfileDirectory().c_str());
    if (dir == nullptr)
        return paths;
    while (const dirent* entry = readdir(dir))
    {
        const std::string name = entry->d_name;
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0)
            paths.push_back(ProfileDirectory() + "/" + name);
    }
    closedir(dir);
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string FindProfile(const std::string& nameOrPath)
{
    struct stat st;
    if (nameOrPath.find('/') != std::string::npos || stat(nameOrPath.c_str(), &st) == 0)
        return nameOrPath;
    const std::string shipped = ProfileDirectory() + "/" + nameOrPath + ".json";
    return stat(shipped.c_str(), &st) == 0 ? shipped : nameOrPath;
}

namespace
{
constexpr uint16_t kEventLogHandle = 0x0010;

void AddProfileEventLog(MachineImage& image, const EventLogProfile& log, const std::vector<BoardChip>& board,
                        const std::vector<BoardHandles>& handles, uint16_t handle)
{
    std::optional<uint16_t> probe;
    for (size_t chip = 0; chip < board.size() && !probe; ++chip)
        for (size_t sensor = 0; sensor < board[chip].sensors.size() && !probe; ++sensor)
            if (board[chip].sensors[sensor].name == log.probe)
                probe = handles[chip].sensors[sensor];
    if (!probe)
        throw ProfileError("eventLog.sample.probe", "no sensor is described as \"" + log.probe + "\"");

    SystemEventLogFields fields;
    fields.status = log.status;
    fields.changeToken = 0x00000009;
    fields.descriptors = DecodedTypeDescriptors();
    AddEventLog(image, handle, log.address, SampleEventLogArea(*probe), fields);
}

// The defects of real firmware tables that the readers have to get past: an OEM structure
// before the BIOS Information, a BIOS Information of 0x12 bytes (no release bytes), the length
// 0x10 that AMI firmware writes on its 0x0B-byte Management Devices, and a structure shorter than
// its header, behind which stands a management device at a port where no chip answers.
template <typename Handle>
void AddFirmwareDefects(MachineImage& image, const Profile& profile, const Handle& handle)
{
    std::vector<Structure>& structures = image.Structures();
    for (Structure& s : structures)
    {
        if (s.type == 0)
            s.data.resize(0x12 - 4);
        else if (s.type == 34)
            s.length = 0x10;  // the description, at 0x0B, is longer than the 5 bytes skipped
    }
    Structure oem(218, handle(0x0DA0));
    oem.Bytes({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07});
    structures.insert(structures.begin(), oem);

    // No zero byte in its handle, so a walk that went on would find the next structure after it.
    Structure broken(219, handle(0x0EEE));
    broken.length = 2;
    image.Add(broken);
    image.Add(MakeManagementDevice(handle(0x0EEF), profile.chips.front().board.description, 1, 0x0295,
                                   kAddressTypeIoPort));
}
}  // namespace

MachineImage BuildImage(const Profile& profile, uint16_t handleBase)
{
    if (handleBase > 0xFFFF - 0x0FFF)
        throw ProfileError("",
                           "handle base " + Hex(handleBase) + " leaves no room for the machine's structures");
    const auto handle = [handleBase](uint16_t usual) { return static_cast<uint16_t>(handleBase + usual); };
    MachineImage image;
    image.Add(MakeBiosInformation(profile.bios, handle(kBiosInformationHandle)));
    if (profile.system)
        image.Add(SystemInformation(*profile.system, handle(kSystemHandle)))
            .Add(Baseboard(*profile.system, handle(kBoardHandle)));
    std::vector<BoardChip> board;
    for (const ChipProfile& chip : profile.chips)
        board.push_back(chip.board);
    const std::vector<BoardHandles> handles = AddBoard(image, board, handle(kFirstChipHandle));
    if (profile.eventLog)
        AddProfileEventLog(image, *profile.eventLog, board, handles, handle(kEventLogHandle));
    if (profile.firmwareDefects)
        AddFirmwareDefects(image, profile, handle);

    image.Entry().major = profile.smbiosMajor;
    image.Entry().minor = profile.smbiosMinor;
    image.Entry().place = profile.uefi ? EntryPointPlace::Efi : EntryPointPlace::BiosSegment;
    image.Entry().address = profile.uefi ? kEfiEntryPoint : kLegacyEntryPoint;
    image.SetTableAddress(profile.uefi ? kEfiTable : kLegacyTable);
    return image;
}

void AttachChips(const Profile& profile, PortBus& bus)
{
    for (const ChipProfile& chip : profile.chips)
    {
        if (chip.family == ChipProfile::Family::ItEc)
        {
            auto model = std::make_shared<ItEcModel>(chip.kind, chip.port);
            for (const auto& reg : chip.banks.count(0) ? chip.banks.at(0) : std::map<uint8_t, uint8_t>())
                model->SetRegister(reg.first, reg.second);
            bus.Attach(model);
            continue;
        }
        auto model = std::make_shared<SuperIoModel>(chip.kind, chip.deviceId, chip.port);
        model->SetMonitor(chip.monitorBase, chip.monitorActive);
        for (const auto& bank : chip.banks)
            for (const auto& reg : bank.second)
                model->SetMonitorRegister(bank.first, reg.first, reg.second);
        bus.Attach(model);
    }
}
}  // namespace QelSim

namespace QelSim
{
std::string IoportsText(const Profile& profile)
{
    std::string text = "0000-0cf7 : PCI Bus 0000:00\n"
                       "  0000-001f : dma1\n"
                       "  0020-0021 : pic1\n"
                       "  0040-0043 : timer0\n"
                       "  0060-0060 : keyboard\n"
                       "  0064-0064 : keyboard\n"
                       "  0070-0077 : rtc0\n";
    char line[96];
    int pnp = 1;
    for (const ChipProfile& chip : profile.chips)
    {
        // The hardware monitor's block (base + 5 and + 6 are its index and data ports), or the
        // controller's index/data pair.
        const bool superIo = chip.family == ChipProfile::Family::SuperIo;
        const unsigned first = superIo ? chip.monitorBase : chip.port;
        const unsigned last = superIo ? first + 7 : first + 1;
        snprintf(line, sizeof(line), "  %04x-%04x : pnp 00:%02d\n", first, last, pnp++);
        text += line;
        if (chip.kernelDriver.empty())
            continue;
        // The driver's platform device and, nested, the region its probe requests.
        const unsigned index = superIo ? first + 5 : first;
        snprintf(line, sizeof(line), "    %04x-%04x : %s\n      %04x-%04x : %s\n", index, index + 1,
                 chip.kernelDriver.c_str(), index, index + 1, chip.kernelDriver.c_str());
        text += line;
    }
    return text + "0cf8-0cff : PCI conf1\n0d00-ffff : PCI Bus 0000:00\n";
}
}  // namespace QelSim
