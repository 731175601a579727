#include "NCT6106HwMon.h"

namespace
{
// Bank not considered: 0x02, 0x03, 0x07 and 0x08 sit behind a halving divider.
unsigned VoltageStep(uint8_t /*bank*/, uint8_t reg)
{
    switch (reg)
    {
    case 0x02:
    case 0x03:
    case 0x07:
    case 0x08:
        return 16;
    default:
        return 8;
    }
}

// Nothing is traced.
constexpr NuvotonHwMonTraits kTraits = {"Nct6106HwMon",
                                        0xC450,
                                        &VoltageStep,
                                        /*fanIsCount=*/false,
                                        /*voltageTraceName=*/nullptr,
                                        /*fanAndTemperatureTraceName=*/nullptr};
}  // namespace

Nct6106HwMon::Nct6106HwMon() : TNuvotonHwMon<Nct6106SioIo>(kTraits) {}
