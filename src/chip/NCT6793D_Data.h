// The register table of the Nuvoton NCT6793D.
#pragma once

#include "ChipRegisterTable.h"

class NCT6793D_Data : public CChipRegisterTable
{
public:
    NCT6793D_Data();
};
