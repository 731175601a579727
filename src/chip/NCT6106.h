// The sensor driver of the Nuvoton NCT6106D.
#pragma once

#include "ChipDriver.h"
#include "NCT6106HwMon.h"
#include "NCT6106_Data.h"

class NCT6106 : public TChipDriver<NCT6106_Data, Nct6106HwMon>
{
public:
    NCT6106(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
            uint32_t dwAddressType, uint16_t wSMBiosHandle);
};
