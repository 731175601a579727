#include "NCT6793DHwMon.h"
#include "NCT6796DHwMon.h"

namespace
{
// As the NCT6796D, but 0x85 is no voltage input.
unsigned VoltageStep(uint8_t bank, uint8_t reg)
{
    return reg == 0x85 ? 0 : NCT6796DHwMon::VoltageStep(bank, reg);
}

constexpr NuvotonHwMonTraits kTraits = {"NCT6793DHwMon",
                                        0xD120,
                                        &VoltageStep,
                                        /*fanIsCount=*/false,
                                        /*voltageTraceName=*/"NCT6793DHwMon",
                                        /*fanAndTemperatureTraceName=*/"NCT6793DHwMon"};
}  // namespace

NCT6793DHwMon::NCT6793DHwMon() : TNuvotonHwMon<NCT6793DSioIo>(kTraits) {}
