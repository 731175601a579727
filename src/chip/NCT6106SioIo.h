// Super I/O access to the Nuvoton NCT6106D.
#pragma once

#include "NuvotonSioIo.h"

class Nct6106SioIo : public CNuvotonSioIo
{
public:
    Nct6106SioIo();
};
