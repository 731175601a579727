#include "KernelHwMon.h"

#include "NuvotonHwMon.h"
#include "log.h"

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace
{
constexpr KernelRegister Volt(uint16_t bankPort, uint8_t n, uint8_t step)
{
    return KernelRegister{bankPort, KernelInput::Voltage, n, step, nullptr};
}
constexpr KernelRegister Temp(uint16_t bankPort, const char* label)
{
    return KernelRegister{bankPort, KernelInput::Temperature, 0, 0, label};
}

// The driver's step by in-index: 16 mV for in2, in3, in7 and in8, 8 mV for the others.
#define NCT_IN(reg, n) Volt(reg, n, (n) == 2 || (n) == 3 || (n) == 7 || (n) == 8 ? 16 : 8)

// NCT6106_REG_IN skips 0x06. Temperatures are found by the label of their source; the source of
// a value or fan-control register is what the BIOS selected for it, which cannot be read without
// the ports, so these are the tills' settings: 0x010 (select 0x0B0) SYSTIN.
constexpr KernelRegister kNct6106[] = {
    NCT_IN(0x000, 0), NCT_IN(0x001, 1), NCT_IN(0x002, 2), NCT_IN(0x003, 3), NCT_IN(0x004, 4),
    NCT_IN(0x005, 5), NCT_IN(0x007, 6), NCT_IN(0x008, 7), NCT_IN(0x009, 8), Temp(0x010, "SYSTIN"),
};

// Fan-control registers 0x073 (select 0x100) CPUTIN and 0x077 (select 0x300) SYSTIN; the kernel
// reads them as words (0.5 degree), our byte is the whole degrees.
constexpr KernelRegister kNct6776[] = {
    NCT_IN(0x020, 0), NCT_IN(0x021, 1), NCT_IN(0x022, 2),      NCT_IN(0x023, 3),      NCT_IN(0x024, 4),
    NCT_IN(0x025, 5), NCT_IN(0x026, 6), Temp(0x073, "CPUTIN"), Temp(0x077, "SYSTIN"),
};

// 0x490-0x492 are the alternates of the fixed sources SYSTIN, CPUTIN and AUXTIN0; the fans are
// RPM words. 0x48F (in15) exists only for the later nct6799 kind.
#define NCT679X_COMMON                                                                                       \
    NCT_IN(0x480, 0), NCT_IN(0x481, 1), NCT_IN(0x482, 2), NCT_IN(0x483, 3), NCT_IN(0x484, 4),                \
        NCT_IN(0x485, 5), NCT_IN(0x486, 6), NCT_IN(0x487, 7), NCT_IN(0x488, 8), NCT_IN(0x489, 9),            \
        NCT_IN(0x48A, 10), NCT_IN(0x48B, 11), NCT_IN(0x48C, 12), NCT_IN(0x48D, 13), NCT_IN(0x48E, 14),       \
        Temp(0x490, "SYSTIN"), Temp(0x491, "CPUTIN"), Temp(0x492, "AUXTIN0"),                                \
        KernelRegister{0x4C0, KernelInput::FanRpm, 1, 0, nullptr},                                           \
        KernelRegister{0x4C2, KernelInput::FanRpm, 2, 0, nullptr}, KernelRegister                            \
    {                                                                                                        \
        0x4C4, KernelInput::FanRpm, 3, 0, nullptr                                                            \
    }

constexpr KernelRegister kNct6793[] = {NCT679X_COMMON};
// And the value register 0x027 (select 0x621) SYSTIN, fan-control 0x073 (select 0x100) CPUTIN.
constexpr KernelRegister kNct6796[] = {NCT679X_COMMON, Temp(0x027, "SYSTIN"), Temp(0x073, "CPUTIN")};

// Fixed sources, no labels: temp1 0x027, temp2 0x150, temp3 0x250. Fans are counts behind a
// divisor the driver may raise.
constexpr KernelRegister kW83627dhg[] = {
    NCT_IN(0x020, 0),
    NCT_IN(0x021, 1),
    NCT_IN(0x022, 2),
    NCT_IN(0x023, 3),
    NCT_IN(0x024, 4),
    NCT_IN(0x025, 5),
    NCT_IN(0x026, 6),
    {0x027, KernelInput::Temperature, 1, 0, nullptr},
    {0x150, KernelInput::Temperature, 2, 0, nullptr},
    {0x250, KernelInput::Temperature, 3, 0, nullptr},
    {0x028, KernelInput::FanCount, 1, 0, nullptr},
    {0x029, KernelInput::FanCount, 2, 0, nullptr},
    {0x02A, KernelInput::FanCount, 3, 0, nullptr},
    {0x03F, KernelInput::FanCount, 4, 0, nullptr},
};

template <size_t N>
constexpr KernelDriverFacts Facts(Chip chip, const char* driver, const char* name,
                                  const KernelRegister (&r)[N])
{
    return KernelDriverFacts{chip, driver, name, r, N};
}

constexpr KernelDriverFacts kFacts[] = {
    Facts(Chip::NCT6106, "nct6775", "nct6106", kNct6106),
    Facts(Chip::NCT6776, "nct6775", "nct6776", kNct6776),
    Facts(Chip::NCT6793D, "nct6775", "nct6793", kNct6793),
    Facts(Chip::NCT6796D, "nct6775", "nct6796", kNct6796),
    Facts(Chip::W83627EHF, "w83627ehf", "w83627dhg", kW83627dhg),
};

// A decimal integer as sysfs prints it: an optional minus and digits, nothing else.
std::optional<int64_t> ParseValue(const std::string& text)
{
    if (text.empty() || text.size() > 15)
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long value = strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' ||
        (text[0] != '-' && (text[0] < '0' || text[0] > '9')))
        return std::nullopt;
    return value;
}

// floor(a / b) for b > 0.
int64_t FloorDiv(int64_t a, int64_t b)
{
    return a / b - (a % b != 0 && a < 0 ? 1 : 0);
}
}  // namespace

const KernelDriverFacts* KernelFactsFor(Chip chip)
{
    for (const KernelDriverFacts& facts : kFacts)
        if (facts.chip == chip)
            return &facts;
    return nullptr;
}

bool CKernelHwMon::Initialise()
{
    return m_HwMon.FindClassDevice(m_Facts.name, m_Facts.driver);
}

const KernelRegister* CKernelHwMon::Find(uint16_t bankPort) const
{
    for (size_t i = 0; i < m_Facts.count; ++i)
        if (m_Facts.registers[i].bankPort == bankPort)
            return &m_Facts.registers[i];
    return nullptr;
}

std::optional<int64_t> CKernelHwMon::Value(const std::string& file)
{
    std::string line;
    if (!m_HwMon.ReadLine(file, line))
        return std::nullopt;
    const std::optional<int64_t> value = ParseValue(line);
    if (!value)
        Log(LOG_ERROR, "CKernelHwMon::Value - %s/%s holds '%s', not a number", Directory().c_str(),
            file.c_str(), line.c_str());
    return value;
}

// Temperatures are numbered by the source the chip measures, so the one with the source's label.
std::optional<std::string> CKernelHwMon::TemperatureFile(const KernelRegister& r)
{
    if (r.label == nullptr)
        return "temp" + std::to_string(r.number) + "_input";
    for (unsigned n = 1; n <= 32; ++n)
    {
        std::string label;
        const std::string file = "temp" + std::to_string(n) + "_label";
        if (access((Directory() + "/" + file).c_str(), F_OK) == 0 && m_HwMon.ReadLine(file, label) &&
            label == r.label)
            return "temp" + std::to_string(n) + "_input";
    }
    return std::nullopt;
}

CKernelHwMon::InputFile CKernelHwMon::FileOf(const KernelRegister* r)
{
    InputFile file;
    if (r == nullptr)
        return file;
    switch (r->input)
    {
    case KernelInput::Voltage:
        file.name = "in" + std::to_string(r->number) + "_input";
        break;
    case KernelInput::FanRpm:
    case KernelInput::FanCount:
        file.name = "fan" + std::to_string(r->number) + "_input";
        break;
    case KernelInput::Temperature:
        file.name = TemperatureFile(*r).value_or("");
        break;
    }
    file.exists = !file.name.empty() && access((Directory() + "/" + file.name).c_str(), F_OK) == 0;
    return file;
}

std::optional<uint64_t> CKernelHwMon::Read(const ChipVariant& chip, uint8_t bank, uint8_t reg)
{
    const uint16_t bankPort = static_cast<uint16_t>(bank << 8 | reg);
    const KernelRegister* r = Find(bankPort);
    // The driver's files stay as they are while it is bound: each register's is looked up once
    // (a temperature's means reading every label).
    auto known = m_Files.find(bankPort);
    if (known == m_Files.end())
        known = m_Files.emplace(bankPort, FileOf(r)).first;
    const InputFile& input = known->second;
    if (!input.exists)
    {
        Log(LOG_ERROR,
            "%s::Read - bank %u register 0x%02x: the kernel's %s driver does not expose it (%s), so it is "
            "not read",
            chip.hwmonName, bank, reg, m_Facts.driver,
            input.name.empty() ? "no such input" : input.name.c_str());
        return std::nullopt;
    }
    const std::optional<int64_t> value = Value(input.name);
    if (!value)
        return std::nullopt;
    const auto impossible = [&]() -> std::optional<uint64_t>
    {
        Log(LOG_ERROR, "%s::Read - %s = %lld cannot come from bank %u register 0x%02x", chip.hwmonName,
            input.name.c_str(), static_cast<long long>(*value), bank, reg);
        return std::nullopt;
    };
    switch (r->input)
    {
    case KernelInput::Voltage:
    {
        // The kernel's millivolts are the byte times its step, exactly.
        if (*value < 0 || *value % r->step != 0 || *value / r->step > 0xFF)
            return impossible();
        return static_cast<uint64_t>(*value / r->step) * chip.voltageSteps.Step(bank, reg);
    }
    case KernelInput::FanRpm:
        if (*value < 0 || *value > 0xFFFF)
            return impossible();
        return static_cast<uint64_t>(*value);
    case KernelInput::FanCount:
    {
        const std::optional<int64_t> divisor = Value("fan" + std::to_string(r->number) + "_div");
        if (!divisor || *divisor < 1 || *divisor > 128 || (*divisor & (*divisor - 1)) != 0 || *value < 0)
            return impossible();
        if (*value == 0)
            return 0;  // a count of 0 or 255: the fan stands
        // The count whose rpm the kernel shows; below its resolution, the largest rpm of those
        // that show the same.
        for (uint64_t count = 1; count < 255; ++count)
            if (static_cast<int64_t>(kFanCountRpm / (count * static_cast<uint64_t>(*divisor))) == *value)
                return kFanCountRpm / count;
        return impossible();
    }
    case KernelInput::Temperature:
    {
        // Whole degrees as the register byte holds them; a word register's half degree is dropped.
        const int64_t whole = FloorDiv(*value, 1000);
        if (whole < -128 || whole > 127)
            return impossible();
        return static_cast<uint64_t>(whole & 0xFF) * 1000;
    }
    }
    return std::nullopt;
}
