// The register table of the Nuvoton W83627DHG-P and -PT.
#pragma once

#include "ChipRegisterTable.h"

class w83627ehf_Data : public CChipRegisterTable
{
public:
    w83627ehf_Data();
};
