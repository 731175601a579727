// Super I/O access to the Nuvoton NCT6793D.
#pragma once

#include "NuvotonSioIo.h"

class NCT6793DSioIo : public CNuvotonSioIo
{
public:
    NCT6793DSioIo();
};
