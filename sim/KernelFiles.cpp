// The files the Linux kernel shows of a till: the firmware copies under sys/firmware and the hwmon
// class devices of the drivers nct6775 and w83627ehf. The hwmon files are computed from the chip's
// registers the way those drivers present them (their register arrays, source selects, labels and
// formulas), independently of the library's register tables, so that a test compares two views.
// They are a snapshot of the registers at bring-up.
#include "Profile.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace QelSim
{
using namespace QelImage;

namespace
{
void Link(const std::string& target, const std::string& path)
{
    unlink(path.c_str());
    if (symlink(target.c_str(), path.c_str()) != 0)
        throw std::runtime_error("cannot create " + path);
}

enum class FanForm
{
    Count13,  // fan_from_reg13: H*32 + (L & 0x1F), 1350000 / count
    Rpm16,    // fan_from_reg_rpm: H*256 + L
    Count8,   // fan_from_reg8: 1350000 / (C << div)
};

struct Source
{
    uint16_t reg;
    uint16_t select;
};

// One driver kind: the arrays of nct6775-core.c / w83627ehf.c for it.
struct KernelKind
{
    const char* name;  // the hwmon name
    bool platformIdIsBase;
    std::vector<uint16_t> in;  // in0, in1, ...
    FanForm fanForm;
    std::vector<uint16_t> fans;          // fan1, fan2, ...
    std::vector<Source> values;          // value registers and their source selects
    std::vector<Source> monitors;        // fan-control registers and their source selects
    std::map<int, uint16_t> alternates;  // source -> register
    std::vector<uint16_t> words;         // 16-bit temperature registers
    int fixedTemps;                      // sources 1..fixedTemps are temp<source>
    std::vector<const char*> labels;     // by source; empty: fixed temperatures without labels
};

const std::vector<const char*> kNct6776Labels = {"",
                                                 "SYSTIN",
                                                 "CPUTIN",
                                                 "AUXTIN",
                                                 "SMBUSMASTER 0",
                                                 "SMBUSMASTER 1",
                                                 "SMBUSMASTER 2",
                                                 "SMBUSMASTER 3",
                                                 "SMBUSMASTER 4",
                                                 "SMBUSMASTER 5",
                                                 "SMBUSMASTER 6",
                                                 "SMBUSMASTER 7",
                                                 "PECI Agent 0",
                                                 "PECI Agent 1",
                                                 "PCH_CHIP_CPU_MAX_TEMP",
                                                 "PCH_CHIP_TEMP",
                                                 "PCH_CPU_TEMP",
                                                 "PCH_MCH_TEMP",
                                                 "PCH_DIM0_TEMP",
                                                 "PCH_DIM1_TEMP",
                                                 "PCH_DIM2_TEMP",
                                                 "PCH_DIM3_TEMP",
                                                 "BYTE_TEMP"};

std::vector<const char*> Nct679xLabels(bool nct6796)
{
    std::vector<const char*> labels = {"",
                                       "SYSTIN",
                                       "CPUTIN",
                                       "AUXTIN0",
                                       "AUXTIN1",
                                       "AUXTIN2",
                                       "AUXTIN3",
                                       nct6796 ? "AUXTIN4" : "",
                                       "SMBUSMASTER 0",
                                       "SMBUSMASTER 1",
                                       nct6796 ? "Virtual_TEMP" : "",
                                       nct6796 ? "Virtual_TEMP" : "",
                                       "",
                                       "",
                                       "",
                                       "",
                                       "PECI Agent 0",
                                       "PECI Agent 1",
                                       "PCH_CHIP_CPU_MAX_TEMP",
                                       "PCH_CHIP_TEMP",
                                       "PCH_CPU_TEMP",
                                       "PCH_MCH_TEMP",
                                       nct6796 ? "Agent0 Dimm0" : "Agent0 Dimm0 ",
                                       "Agent0 Dimm1",
                                       "Agent1 Dimm0",
                                       "Agent1 Dimm1",
                                       "BYTE_TEMP0",
                                       "BYTE_TEMP1",
                                       "PECI Agent 0 Calibration",
                                       "PECI Agent 1 Calibration",
                                       "",
                                       "Virtual_TEMP"};
    return labels;
}

bool SourceValid(const KernelKind& kind, int source)
{
    if (source <= 0 || static_cast<size_t>(source) >= kind.labels.size())
        return false;
    // The 679x masks leave out the sources without a label; the 6776 mask is 1-22.
    return kind.labels[static_cast<size_t>(source)][0] != '\0';
}

// The NCT6793D and NCT6796D share their register arrays; only their labels differ.
KernelKind Nct679x(const char* name, bool nct6796)
{
    const std::vector<Source> k679xMonitors = {{0x073, 0x100}, {0x075, 0x200}, {0x077, 0x300},
                                               {0x079, 0x800}, {0x07B, 0x900}, {0x07D, 0xA00}};
    const std::map<int, uint16_t> k679xAlternates = {
        {1, 0x490},  {2, 0x491},  {3, 0x492},  {4, 0x493},  {5, 0x494},  {6, 0x495},  {18, 0x400},
        {19, 0x401}, {20, 0x402}, {21, 0x404}, {22, 0x405}, {23, 0x406}, {24, 0x407}, {25, 0x408}};
    const std::vector<uint16_t> k679xIn = {0x480, 0x481, 0x482, 0x483, 0x484, 0x485, 0x486, 0x487,
                                           0x488, 0x489, 0x48A, 0x48B, 0x48C, 0x48D, 0x48E};
    const std::vector<uint16_t> k679xWords = {0x150, 0x073, 0x075, 0x077, 0x079, 0x07B, 0x07D, 0x402};
    return {name,
            true,
            k679xIn,
            FanForm::Rpm16,
            {0x4C0, 0x4C2, 0x4C4},
            {{0x027, 0x621}, {0x150, 0x622}},
            k679xMonitors,
            k679xAlternates,
            k679xWords,
            6,
            Nct679xLabels(nct6796)};
}

const KernelKind* KindOf(const std::string& chip)
{
    static const std::map<std::string, KernelKind> kinds = {
        {"NCT6106D",
         {"nct6106",
          true,
          {0x000, 0x001, 0x002, 0x003, 0x004, 0x005, 0x007, 0x008, 0x009},
          FanForm::Count13,
          {0x020, 0x022, 0x024},
          {{0x010, 0x0B0}, {0x011, 0x0B1}, {0x012, 0x0B2}, {0x013, 0x0B3}, {0x014, 0x0B4}, {0x015, 0x0B5}},
          {{0x018, 0x110}, {0x019, 0x120}, {0x01A, 0x130}},
          {{15, 0x051}, {16, 0x052}, {17, 0x054}},
          {},
          3,
          kNct6776Labels}},
        {"NCT6776F",
         {"nct6776",
          true,
          {0x020, 0x021, 0x022, 0x023, 0x024, 0x025, 0x026, 0x550, 0x551},
          FanForm::Count13,
          {0x630, 0x632},
          {{0x027, 0x621}, {0x150, 0x622}, {0x250, 0x623}, {0x62B, 0x624}, {0x62C, 0x625}, {0x62D, 0x626}},
          {{0x073, 0x100}, {0x075, 0x200}, {0x077, 0x300}},
          {{15, 0x401}, {16, 0x402}, {17, 0x404}},
          {0x150, 0x250, 0x073, 0x075, 0x077, 0x402},
          3,
          kNct6776Labels}},
        {"NCT6793D", Nct679x("nct6793", false)},
        {"NCT6796D", Nct679x("nct6796", true)},
        {"W83627DHG-P",
         {"w83627dhg",
          false,
          {0x020, 0x021, 0x022, 0x023, 0x024, 0x025, 0x026, 0x550, 0x551},
          FanForm::Count8,
          {0x028, 0x029, 0x02A, 0x03F},
          {},
          {},
          {},
          {0x150, 0x250},
          3,
          {}}},
    };
    const auto found = kinds.find(chip == "W83627DHG-PT" ? "W83627DHG-P" : chip);
    return found == kinds.end() ? nullptr : &found->second;
}

// Millivolts per step by in-index, the same for both drivers.
unsigned InStep(size_t index)
{
    return index == 2 || index == 3 || index == 7 || index == 8 ? 16 : 8;
}

struct Registers
{
    const ChipProfile& chip;
    unsigned operator()(uint16_t bankPort) const
    {
        const auto bank = chip.banks.find(static_cast<uint8_t>(bankPort >> 8));
        if (bank == chip.banks.end())
            return 0;
        const auto reg = bank->second.find(static_cast<uint8_t>(bankPort & 0xFF));
        return reg == bank->second.end() ? 0 : reg->second;
    }
};

long Temperature(const KernelKind& kind, const Registers& r, uint16_t reg)
{
    for (uint16_t word : kind.words)
        if (word == reg)
        {
            const int16_t value = static_cast<int16_t>(r(reg) << 8 | r(static_cast<uint16_t>(reg + 1)));
            return value / 128 * 500;
        }
    return static_cast<long>(static_cast<int8_t>(r(reg))) * 1000;
}

// The W83627's fan divisor exponent (w83627ehf_update_fan_div).
unsigned FanDiv(const Registers& r, size_t fan)
{
    switch (fan)
    {
    case 0:
        return (r(0x047) >> 4 & 3) | (r(0x05D) >> 5 & 1) << 2;
    case 1:
        return (r(0x047) >> 6 & 3) | (r(0x05D) >> 6 & 1) << 2;
    case 2:
        return (r(0x04B) >> 6 & 3) | (r(0x05D) >> 7 & 1) << 2;
    default:
        return (r(0x059) & 3) | (r(0x04C) >> 7 & 1) << 2;
    }
}

// The hwmon files of one chip: file name -> content.
std::map<std::string, std::string> HwmonFiles(const KernelKind& kind, const ChipProfile& chip)
{
    const Registers r{chip};
    std::map<std::string, std::string> files;
    files["name"] = std::string(kind.name) + "\n";
    for (size_t i = 0; i < kind.in.size(); ++i)
        files["in" + std::to_string(i) + "_input"] = std::to_string(r(kind.in[i]) * InStep(i)) + "\n";

    for (size_t i = 0; i < kind.fans.size(); ++i)
    {
        const uint16_t reg = kind.fans[i];
        const unsigned high = r(reg), low = r(static_cast<uint16_t>(reg + 1));
        unsigned long rpm = 0;
        switch (kind.fanForm)
        {
        case FanForm::Count13:
        {
            const unsigned count = high * 32 + (low & 0x1F);
            rpm = (high == 0xFF && (low & 0x1F) == 0x1F) || count == 0 ? 0 : 1350000 / count;
            break;
        }
        case FanForm::Rpm16:
            rpm = high << 8 | low;
            break;
        case FanForm::Count8:
        {
            // fan4 exists only where reg 0x047 bit 2 makes its pin a fan input.
            if (i == 3 && (r(0x047) & 0x04) == 0)
                continue;
            const unsigned div = FanDiv(r, i);
            rpm = high == 0 || high == 255 ? 0 : 1350000 / (static_cast<unsigned long>(high) << div);
            files["fan" + std::to_string(i + 1) + "_div"] = std::to_string(1u << div) + "\n";
            break;
        }
        }
        files["fan" + std::to_string(i + 1) + "_input"] = std::to_string(rpm) + "\n";
    }

    if (kind.labels.empty())
    {
        // Sources fixed: temp1..3 are the value registers 0x027, 0x150, 0x250.
        const uint16_t regs[] = {0x027, 0x150, 0x250};
        for (size_t i = 0; i < 3; ++i)
            files["temp" + std::to_string(i + 1) + "_input"] =
                std::to_string(Temperature(kind, r, regs[i])) + "\n";
        return files;
    }
    // nct6775_probe's numbering: fixed sources at temp<source>, the others from temp7 on.
    std::map<int, int> seen;  // source -> temp index
    int nextDynamic = 6;
    const auto place = [&](int source, uint16_t reg)
    {
        const int index = source <= kind.fixedTemps ? source - 1 : nextDynamic++;
        seen[source] = index;
        const std::string temp = "temp" + std::to_string(index + 1);
        files[temp + "_input"] = std::to_string(Temperature(kind, r, reg)) + "\n";
        files[temp + "_label"] = std::string(kind.labels[static_cast<size_t>(source)]) + "\n";
    };
    for (const std::vector<Source>* list : {&kind.values, &kind.monitors})
        for (const Source& s : *list)
        {
            const int source = static_cast<int>(r(s.select) & 0x1F);
            if (SourceValid(kind, source) && seen.count(source) == 0)
                place(source, s.reg);
        }
    for (const auto& alternate : kind.alternates)
        if (SourceValid(kind, alternate.first) && seen.count(alternate.first) == 0)
            place(alternate.first, alternate.second);
    return files;
}

void WriteHwmon(const Profile& profile, const std::string& root)
{
    bool anyDriver = false;
    for (const ChipProfile& chip : profile.chips)
        anyDriver = anyDriver || !chip.kernelDriver.empty();
    if (!anyDriver)
        return;
    const std::string classDir = root + "/sys/class/hwmon";
    MakeDirectories(classDir);
    // A class device of another driver first, so the chip is never simply hwmon0.
    const std::string thermal = root + "/sys/devices/virtual/thermal/thermal_zone0";
    WriteFile(thermal + "/hwmon0/name", "acpitz\n");
    WriteFile(thermal + "/hwmon0/temp1_input", "27800\n");
    Link("../../devices/virtual/thermal/thermal_zone0/hwmon0", classDir + "/hwmon0");
    int number = 1;
    for (const ChipProfile& chip : profile.chips)
    {
        const KernelKind* kind = KindOf(chip.kind);
        if (chip.kernelDriver.empty() || kind == nullptr || chip.family != ChipProfile::Family::SuperIo)
            continue;
        const std::string driver = chip.kernelDriver;
        const std::string device =
            kind->platformIdIsBase ? driver + "." + std::to_string(chip.monitorBase) : driver;
        const std::string deviceDir = root + "/sys/devices/platform/" + device;
        const std::string hwmon = "hwmon" + std::to_string(number++);
        MakeDirectories(root + "/sys/bus/platform/drivers/" + driver);
        MakeDirectories(deviceDir + "/hwmon/" + hwmon);
        Link("../../../bus/platform/drivers/" + driver, deviceDir + "/driver");
        Link("../../../" + device, deviceDir + "/hwmon/" + hwmon + "/device");
        for (const auto& file : HwmonFiles(*kind, chip))
            WriteFile(deviceDir + "/hwmon/" + hwmon + "/" + file.first, file.second);
        Link("../../devices/platform/" + device + "/hwmon/" + hwmon, classDir + "/" + hwmon);
    }
}

void WriteFirmwareCopies(const Profile& profile, const MachineImage& image, const std::string& root)
{
    const std::array<uint8_t, 32> entry = image.EntryPointBytes();
    const size_t entryLength = image.Entry().length.value_or(0x1F);
    const std::vector<uint8_t> table = image.TableBytes();
    const std::string tables = root + "/sys/firmware/dmi/tables";
    WriteFile(
        tables + "/smbios_entry_point",
        std::string(entry.begin(), entry.begin() + static_cast<long>(std::min<size_t>(entryLength, 32))));
    WriteFile(tables + "/DMI", std::string(table.begin(), table.end()));
    if (!profile.eventLog)
        return;
    for (const auto& placed : image.PlacedBytes())
        if (placed.first == profile.eventLog->address)
            WriteFile(root + "/sys/firmware/dmi/entries/15-0/system_event_log/raw_event_log",
                      std::string(placed.second.begin(), placed.second.end()));
}
}  // namespace

void WriteKernelFiles(const Profile& profile, const MachineImage& image, const std::string& root)
{
    if (profile.lockedDown)
        WriteFirmwareCopies(profile, image, root);
    WriteHwmon(profile, root);
}
}  // namespace QelSim
