// The sensor driver of the Nuvoton NCT6776F.
#pragma once

#include "ChipDriver.h"
#include "NCT6776HwMon.h"
#include "NCT6776_Data.h"

class NCT6776 : public TChipDriver<NCT6776_Data, NCT6776HwMon>
{
public:
    NCT6776(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
            uint32_t dwAddressType, uint16_t wSMBiosHandle);
};
