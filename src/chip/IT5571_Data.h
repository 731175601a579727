// The register table of the first-generation ITE IT5571 embedded controller.
#pragma once

#include "ChipRegisterTable.h"

class IT5571_Data : public CChipRegisterTable
{
public:
    IT5571_Data();
};
