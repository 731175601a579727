#include "NCT6776HwMon.h"

namespace
{
// Bank 0, registers 0x20 to 0x26; 0x23 sits behind a halving divider, 0x22 is no voltage input.
unsigned VoltageStep(uint8_t bank, uint8_t reg)
{
    if (bank != 0 || reg < 0x20 || reg > 0x26 || reg == 0x22)
        return 0;
    return reg == 0x23 ? 16 : 8;
}

// The fan and temperature trace lines carry the NCT6793D's name on all three NCT67xx chips.
constexpr NuvotonHwMonTraits kTraits = {"NCT6776HwMon",
                                        0xC330,
                                        &VoltageStep,
                                        /*fanIsCount=*/false,
                                        /*voltageTraceName=*/"NCT6776HwMon",
                                        /*fanAndTemperatureTraceName=*/"NCT6793DHwMon"};
}  // namespace

NCT6776HwMon::NCT6776HwMon() : TNuvotonHwMon<NCT6776SioIo>(kTraits) {}
