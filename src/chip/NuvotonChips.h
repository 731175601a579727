// The Nuvoton/Winbond Super I/O chips' classes: per chip its register table, access class,
// hardware monitor and driver, each passing the chip's row of the chip table to the shared code.
#pragma once

#include "ChipDriver.h"
#include "ChipTable.h"
#include "NuvotonHwMon.h"
#include "NuvotonSioIo.h"

#include <cstdint>
#include <string>

// Nuvoton NCT6106D
class NCT6106_Data : public CChipRegisterTable
{
public:
    NCT6106_Data() : CChipRegisterTable(ChipRow(Chip::NCT6106)) {}
};
class Nct6106SioIo : public CNuvotonSioIo
{
public:
    Nct6106SioIo() : CNuvotonSioIo(ChipRow(Chip::NCT6106)) {}
};
class Nct6106HwMon : public TNuvotonHwMon<Nct6106SioIo>
{
public:
    Nct6106HwMon() : TNuvotonHwMon(ChipRow(Chip::NCT6106)) {}
};
class NCT6106 : public TChipDriver<NCT6106_Data, Nct6106HwMon>
{
public:
    NCT6106(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
            uint32_t dwAddressType, uint16_t wSMBiosHandle)
        : TChipDriver(ChipRow(Chip::NCT6106), pChipManager, description, dwAddress, dwAddressType,
                      wSMBiosHandle)
    {
    }
};

// Nuvoton NCT6776F
class NCT6776_Data : public CChipRegisterTable
{
public:
    NCT6776_Data() : CChipRegisterTable(ChipRow(Chip::NCT6776)) {}
};
class NCT6776SioIo : public CNuvotonSioIo
{
public:
    NCT6776SioIo() : CNuvotonSioIo(ChipRow(Chip::NCT6776)) {}
};
class NCT6776HwMon : public TNuvotonHwMon<NCT6776SioIo>
{
public:
    NCT6776HwMon() : TNuvotonHwMon(ChipRow(Chip::NCT6776)) {}
};
class NCT6776 : public TChipDriver<NCT6776_Data, NCT6776HwMon>
{
public:
    NCT6776(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
            uint32_t dwAddressType, uint16_t wSMBiosHandle)
        : TChipDriver(ChipRow(Chip::NCT6776), pChipManager, description, dwAddress, dwAddressType,
                      wSMBiosHandle)
    {
    }
};

// Nuvoton NCT6793D
class NCT6793D_Data : public CChipRegisterTable
{
public:
    NCT6793D_Data() : CChipRegisterTable(ChipRow(Chip::NCT6793D)) {}
};
class NCT6793DSioIo : public CNuvotonSioIo
{
public:
    NCT6793DSioIo() : CNuvotonSioIo(ChipRow(Chip::NCT6793D)) {}
};
class NCT6793DHwMon : public TNuvotonHwMon<NCT6793DSioIo>
{
public:
    NCT6793DHwMon() : TNuvotonHwMon(ChipRow(Chip::NCT6793D)) {}
};
class NCT6793D : public TChipDriver<NCT6793D_Data, NCT6793DHwMon>
{
public:
    NCT6793D(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
             uint32_t dwAddressType, uint16_t wSMBiosHandle)
        : TChipDriver(ChipRow(Chip::NCT6793D), pChipManager, description, dwAddress, dwAddressType,
                      wSMBiosHandle)
    {
    }
};

// Nuvoton NCT6796D
class NCT6796D_Data : public CChipRegisterTable
{
public:
    NCT6796D_Data() : CChipRegisterTable(ChipRow(Chip::NCT6796D)) {}
};
class NCT6796DSioIo : public CNuvotonSioIo
{
public:
    NCT6796DSioIo() : CNuvotonSioIo(ChipRow(Chip::NCT6796D)) {}
};
class NCT6796DHwMon : public TNuvotonHwMon<NCT6796DSioIo>
{
public:
    NCT6796DHwMon() : TNuvotonHwMon(ChipRow(Chip::NCT6796D)) {}
};
class NCT6796D : public TChipDriver<NCT6796D_Data, NCT6796DHwMon>
{
public:
    NCT6796D(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
             uint32_t dwAddressType, uint16_t wSMBiosHandle)
        : TChipDriver(ChipRow(Chip::NCT6796D), pChipManager, description, dwAddress, dwAddressType,
                      wSMBiosHandle)
    {
    }
};

// Nuvoton W83627DHG-P and -PT
class w83627ehf_Data : public CChipRegisterTable
{
public:
    w83627ehf_Data() : CChipRegisterTable(ChipRow(Chip::W83627EHF)) {}
};
class w83627ehfSioIo : public CNuvotonSioIo
{
public:
    w83627ehfSioIo() : CNuvotonSioIo(ChipRow(Chip::W83627EHF)) {}
};
class w83627ehfHwMon : public TNuvotonHwMon<w83627ehfSioIo>
{
public:
    w83627ehfHwMon() : TNuvotonHwMon(ChipRow(Chip::W83627EHF)) {}
};
class w83627ehf : public TChipDriver<w83627ehf_Data, w83627ehfHwMon>
{
public:
    w83627ehf(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
              uint32_t dwAddressType, uint16_t wSMBiosHandle)
        : TChipDriver(ChipRow(Chip::W83627EHF), pChipManager, description, dwAddress, dwAddressType,
                      wSMBiosHandle)
    {
    }
};
