// The sensor driver of the Nuvoton NCT6796D.
#pragma once

#include "ChipDriver.h"
#include "NCT6796DHwMon.h"
#include "NCT6796D_Data.h"

class NCT6796D : public TChipDriver<NCT6796D_Data, NCT6796DHwMon>
{
public:
    NCT6796D(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
             uint32_t dwAddressType, uint16_t wSMBiosHandle);
};
