// The register table of the second-generation ITE IT5571 embedded controller.
#pragma once

#include "ChipRegisterTable.h"

class IT5571_Data_v2 : public CChipRegisterTable
{
public:
    IT5571_Data_v2();
};
