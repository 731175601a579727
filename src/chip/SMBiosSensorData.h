// The sensor structures of the table (Types 26, 27, 28), their Management Device Components
// (Type 35) and Threshold Data (Type 36), and the sensors that belong to one chip.
#pragma once

#include "SMBiosData.h"
#include "SMBiosSensorRecords.h"

#include <cstdint>
#include <vector>

class CSMBiosSensorData : public CSMBiosData
{
public:
    // wChipHandle: the handle of the Type 34 structure whose sensors are wanted.
    explicit CSMBiosSensorData(uint16_t wChipHandle);
    ~CSMBiosSensorData() override;

    // True when the chip has at least one sensor; m_vThisChipSensors then lists them.
    bool Initialise(CRawSMBios& raw) override;
    void GetStructures();

    void StoreType26(CSMBios_TYPE26& record, const uint8_t* pTable);
    void StoreType27(CSMBios_TYPE27& record, const uint8_t* pTable);
    void StoreType28(CSMBios_TYPE28& record, const uint8_t* pTable);
    void StoreType35(CSMBios_TYPE35& record, const uint8_t* pTable);
    void StoreType36(CSMBios_TYPE36& record, const uint8_t* pTable);

    // The first record with that handle, or null.
    CSMBios_Sensor* GetSensorForHandle(uint16_t wHandle);
    CSMBios_TYPE36* GetThresholdForHandle(uint16_t wHandle);

    // Picks this chip's sensors through the Type 35 structures and attaches names and limits.
    void GetThisChipSensors();

    bool m_bInit = false;
    uint16_t m_wChipHandle;
    std::vector<CSMBios_Sensor*> m_vAllSensors;       // owned, table order
    std::vector<CSMBios_TYPE35*> m_vAllComponents;    // owned, table order
    std::vector<CSMBios_TYPE36*> m_vAllThresholds;    // owned, table order
    std::vector<CSMBios_Sensor*> m_vThisChipSensors;  // into m_vAllSensors, Type 35 order

private:
    // The probe fields that Types 26 and 28 share.
    void StoreProbe(CSMBios_Probe& record, const uint8_t* pTable, const char* pszLabel);
    // A measured word of the structure; unknown when the structure does not cover it.
    uint16_t GetMeasuredWord(const uint8_t* pTable, uint32_t dwOffset) const;
};
