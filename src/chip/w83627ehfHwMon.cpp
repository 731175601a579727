#include "w83627ehfHwMon.h"

namespace
{
// Bank 0 registers 0x22, 0x23 and bank 5 registers 0x50, 0x51 sit behind a halving divider.
unsigned VoltageStep(uint8_t bank, uint8_t reg)
{
    const bool halved =
        (bank == 0 && (reg == 0x22 || reg == 0x23)) || (bank == 5 && (reg == 0x50 || reg == 0x51));
    return halved ? 16 : 8;
}

// The fan register is a count byte; nothing is traced.
constexpr NuvotonHwMonTraits kTraits = {"w83627ehfHwMon",
                                        0xB070,
                                        &VoltageStep,
                                        /*fanIsCount=*/true,
                                        /*voltageTraceName=*/nullptr,
                                        /*fanAndTemperatureTraceName=*/nullptr};
}  // namespace

w83627ehfHwMon::w83627ehfHwMon() : TNuvotonHwMon<w83627ehfSioIo>(kTraits) {}
