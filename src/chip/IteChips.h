// The ITE IT5571 embedded controllers' classes: per generation its register table, access
// class, hardware monitor and driver, each passing its row of the chip table to the shared code.
#pragma once

#include "ChipDriver.h"
#include "ChipTable.h"
#include "IteHwMon.h"
#include "IteSioIo.h"

#include <cstdint>
#include <string>

// first-generation ITE IT5571
class IT5571_Data : public CChipRegisterTable
{
public:
    IT5571_Data() : CChipRegisterTable(ChipRow(Chip::IT5571)) {}
};
class IT5571_SioIo : public CIteSioIo
{
public:
    IT5571_SioIo() : CIteSioIo(ChipRow(Chip::IT5571)) {}
};
class IT5571_HwMon : public TIteHwMon<IT5571_SioIo>
{
public:
    IT5571_HwMon() : TIteHwMon(ChipRow(Chip::IT5571)) {}
};
class IT5571 : public TChipDriver<IT5571_Data, IT5571_HwMon>
{
public:
    IT5571(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
           uint32_t dwAddressType, uint16_t wSMBiosHandle)
        : TChipDriver(ChipRow(Chip::IT5571), pChipManager, description, dwAddress, dwAddressType,
                      wSMBiosHandle)
    {
    }
};

// second-generation ITE IT5571
class IT5571_Data_v2 : public CChipRegisterTable
{
public:
    IT5571_Data_v2() : CChipRegisterTable(ChipRow(Chip::IT5571_v2)) {}
};
class IT5571_SioIo_v2 : public CIteSioIo
{
public:
    IT5571_SioIo_v2() : CIteSioIo(ChipRow(Chip::IT5571_v2)) {}
};
class IT5571_HwMon_v2 : public TIteHwMon<IT5571_SioIo_v2>
{
public:
    IT5571_HwMon_v2() : TIteHwMon(ChipRow(Chip::IT5571_v2)) {}
};
class IT5571_v2 : public TChipDriver<IT5571_Data_v2, IT5571_HwMon_v2>
{
public:
    IT5571_v2(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
              uint32_t dwAddressType, uint16_t wSMBiosHandle)
        : TChipDriver(ChipRow(Chip::IT5571_v2), pChipManager, description, dwAddress, dwAddressType,
                      wSMBiosHandle)
    {
    }
};
