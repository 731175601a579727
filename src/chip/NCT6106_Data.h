// The register table of the Nuvoton NCT6106D.
#pragma once

#include "ChipRegisterTable.h"

class NCT6106_Data : public CChipRegisterTable
{
public:
    NCT6106_Data();
};
