// The sensor driver of the first-generation ITE IT5571 embedded controller.
#pragma once

#include "ChipDriver.h"
#include "IT5571HwMon.h"
#include "IT5571_Data.h"

class IT5571 : public TChipDriver<IT5571_Data, IT5571_HwMon>
{
public:
    IT5571(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
           uint32_t dwAddressType, uint16_t wSMBiosHandle);
};
