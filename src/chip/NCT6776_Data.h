// The register table of the Nuvoton NCT6776F.
#pragma once

#include "ChipRegisterTable.h"

class NCT6776_Data : public CChipRegisterTable
{
public:
    NCT6776_Data();
};
