// Hardware-monitor reads of the Nuvoton NCT6106D.
#pragma once

#include "NCT6106SioIo.h"
#include "NuvotonHwMon.h"

class Nct6106HwMon : public TNuvotonHwMon<Nct6106SioIo>
{
public:
    Nct6106HwMon();
};
