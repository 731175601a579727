#include "SMBiosMachineData.h"

#include "RawSMBios.h"
#include "log.h"

CSMBiosMachineData::CSMBiosMachineData() : m_bInit(false)
{
    LogQuick(LOG_DEBUG, "CSMBiosMachineData Constructed");
}

CSMBiosMachineData::~CSMBiosMachineData()
{
    LogQuick(LOG_DEBUG, "CSMBiosMachineData Destroyed");
}

bool CSMBiosMachineData::Initialise(CRawSMBios& raw)
{
    if (m_bInit)
    {
        LogQuick(LOG_DEBUG, "CSMBiosMachineData::Initialise - Already initialised");
        return true;
    }
    UseTable(raw);
    GetStructures();
    m_bInit = true;
    return true;
}

void CSMBiosMachineData::GetStructures()
{
    constexpr uint8_t kBiosInformationType = 0;
    // A table without Type 0 has no BIOS information: no version, so no known model.
    m_Type00 = CSMBios_TYPE00();
    ForEachStructure(
        [this](const uint8_t* pTable)
        {
            if (GetByte(pTable, 0) != kBiosInformationType)
                return true;
            StoreType00(pTable);
            return false;
        });
}
