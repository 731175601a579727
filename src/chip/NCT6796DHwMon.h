// Hardware-monitor reads of the Nuvoton NCT6796D.
#pragma once

#include "NCT6796DSioIo.h"
#include "NuvotonHwMon.h"

class NCT6796DHwMon : public TNuvotonHwMon<NCT6796DSioIo>
{
public:
    NCT6796DHwMon();
    // Millivolts per register step; 0 where the chip has no voltage input.
    static unsigned VoltageStep(uint8_t bank, uint8_t reg);
};
