// Super I/O access to the Nuvoton NCT6776F.
#pragma once

#include "NuvotonSioIo.h"

class NCT6776SioIo : public CNuvotonSioIo
{
public:
    NCT6776SioIo();
};
