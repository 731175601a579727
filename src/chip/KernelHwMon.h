// A chip read through its Linux kernel driver instead of the ports: where the kernel refuses
// "/dev/port" (lockdown under Secure Boot) or its own driver holds the chip. The facts of what
// each driver exposes for the registers our tables read come from the drivers' sources (nct6775,
// w83627ehf), not from the tables' HwmonInput names, several of which are no kernel names at all.
// Every value is turned back into what the raw path would have read for that register, so the
// same conversion applies; a register the driver does not read gives no value.
#pragma once

#include "ChipTable.h"
#include "HwMon.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

enum class KernelInput : uint8_t
{
    Voltage,      // inN_input, millivolts = byte x step
    FanRpm,       // fanN_input, the register word itself
    FanCount,     // fanN_input = 1350000 / (count << div), fanN_div = 2^div
    Temperature,  // the tempN_input whose tempN_label is the label (or tempN without labels)
};

struct KernelRegister
{
    uint16_t bankPort;
    KernelInput input;
    uint8_t number;     // N of inN / fanN / tempN (temperatures: where the driver has no labels)
    uint8_t step;       // voltages: millivolts per step of the kernel's in-index
    const char* label;  // temperatures: the source's label; null: tempN by number
};

struct KernelDriverFacts
{
    Chip chip;           // the chip the driver serves
    const char* driver;  // the module, and the basename of device/driver
    const char* name;    // the hwmon class device's name
    const KernelRegister* registers;
    size_t count;
};

// The kernel driver of a chip; null when mainline Linux has none (the ITE controllers).
const KernelDriverFacts* KernelFactsFor(Chip chip);

class CKernelHwMon
{
public:
    explicit CKernelHwMon(const KernelDriverFacts& facts) : m_Facts(facts) {}

    // True when the driver's class device is there.
    bool Initialise();
    // What the raw path reads for the register (millivolts after our step, the fan value, a
    // temperature's byte x 1000); nothing, logged, when the driver does not expose it or its
    // file does not give a value the register can have produced.
    std::optional<uint64_t> Read(const ChipVariant& chip, uint8_t bank, uint8_t reg);

    const KernelDriverFacts& Facts() const { return m_Facts; }
    const std::string& Directory() const { return m_HwMon.m_strDeviceDir; }

private:
    const KernelRegister* Find(uint16_t bankPort) const;
    std::optional<int64_t> Value(const std::string& file);
    std::optional<std::string> TemperatureFile(const KernelRegister& r);
    struct InputFile
    {
        std::string name;  // empty: the driver has no input for the register
        bool exists = false;
    };
    InputFile FileOf(const KernelRegister* r);

    const KernelDriverFacts& m_Facts;
    CHwMon m_HwMon;
    std::map<uint16_t, InputFile> m_Files;  // by BankPort
};
