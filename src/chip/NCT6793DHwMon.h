// Hardware-monitor reads of the Nuvoton NCT6793D.
#pragma once

#include "NCT6793DSioIo.h"
#include "NuvotonHwMon.h"

class NCT6793DHwMon : public TNuvotonHwMon<NCT6793DSioIo>
{
public:
    NCT6793DHwMon();
};
