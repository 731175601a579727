// The sensor driver of the Nuvoton NCT6793D.
#pragma once

#include "ChipDriver.h"
#include "NCT6793DHwMon.h"
#include "NCT6793D_Data.h"

class NCT6793D : public TChipDriver<NCT6793D_Data, NCT6793DHwMon>
{
public:
    NCT6793D(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
             uint32_t dwAddressType, uint16_t wSMBiosHandle);
};
