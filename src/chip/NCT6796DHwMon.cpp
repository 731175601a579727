#include "NCT6796DHwMon.h"

namespace
{
// The fan and temperature trace lines carry the NCT6793D's name on all three NCT67xx chips.
constexpr NuvotonHwMonTraits kTraits = {"NCT6796DHwMon",
                                        0xD420,
                                        &NCT6796DHwMon::VoltageStep,
                                        /*fanIsCount=*/false,
                                        /*voltageTraceName=*/"NCT6796DHwMon",
                                        /*fanAndTemperatureTraceName=*/"NCT6793DHwMon"};
}  // namespace

// Bank 4, registers 0x80 to 0x8E; 0x82, 0x83, 0x87, 0x88 and 0x89 sit behind a halving divider.
unsigned NCT6796DHwMon::VoltageStep(uint8_t bank, uint8_t reg)
{
    if (bank != 4 || reg < 0x80 || reg > 0x8E)
        return 0;
    switch (reg)
    {
    case 0x82:
    case 0x83:
    case 0x87:
    case 0x88:
    case 0x89:
        return 16;
    default:
        return 8;
    }
}

NCT6796DHwMon::NCT6796DHwMon() : TNuvotonHwMon<NCT6796DSioIo>(kTraits) {}
