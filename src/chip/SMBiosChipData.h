// The Management Device structures (Type 34) of the table: one per hardware-monitor chip, in
// table order.
#pragma once

#include "SMBiosData.h"

#include <cstdint>
#include <string>
#include <vector>

struct CSMBios_TYPE34
{
    uint8_t byType = 0;
    uint8_t byLength = 0;
    uint16_t wHandle = 0;
    uint8_t byDescriptionString = 0;
    uint8_t byDeviceType = 0;
    uint32_t dwAddress = 0;
    uint8_t byAddressType = 0;  // 3: I/O port, the only kind the drivers accept
    std::string strDescription;
};

class CSMBiosChipData : public CSMBiosData
{
public:
    CSMBiosChipData();
    ~CSMBiosChipData() override;

    // True when at least one Type 34 structure was stored.
    bool Initialise(CRawSMBios& raw) override;
    void GetStructures();
    void StoreType34(CSMBios_TYPE34& record, const uint8_t* pTable);

    bool m_bInit = false;
    std::vector<CSMBios_TYPE34*> m_vDevices;  // owned, in table order
};
