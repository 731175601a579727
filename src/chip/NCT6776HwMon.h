// Hardware-monitor reads of the Nuvoton NCT6776F.
#pragma once

#include "NCT6776SioIo.h"
#include "NuvotonHwMon.h"

class NCT6776HwMon : public TNuvotonHwMon<NCT6776SioIo>
{
public:
    NCT6776HwMon();
};
