// The sensor driver of the Nuvoton W83627DHG-P and -PT.
#pragma once

#include "ChipDriver.h"
#include "w83627ehfHwMon.h"
#include "w83627ehf_Data.h"

class w83627ehf : public TChipDriver<w83627ehf_Data, w83627ehfHwMon>
{
public:
    w83627ehf(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
              uint32_t dwAddressType, uint16_t wSMBiosHandle);
};
