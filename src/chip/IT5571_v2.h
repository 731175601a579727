// The sensor driver of the second-generation ITE IT5571 embedded controller.
#pragma once

#include "ChipDriver.h"
#include "IT5571_v2HwMon.h"
#include "IT5571_v2_Data.h"

class IT5571_v2 : public TChipDriver<IT5571_Data_v2, IT5571_HwMon_v2>
{
public:
    IT5571_v2(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
              uint32_t dwAddressType, uint16_t wSMBiosHandle);
};
