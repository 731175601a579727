// Super I/O access to the Nuvoton NCT6796D.
#pragma once

#include "NuvotonSioIo.h"

class NCT6796DSioIo : public CNuvotonSioIo
{
public:
    NCT6796DSioIo();
};
