// The register table of the Nuvoton NCT6796D.
#pragma once

#include "ChipRegisterTable.h"

class NCT6796D_Data : public CChipRegisterTable
{
public:
    NCT6796D_Data();
};
