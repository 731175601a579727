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
    m_pRawBytes = raw.m_pBytes;
    m_dwRawLength = raw.m_dwLength;
    StoreType00(m_pRawBytes);
    m_bInit = true;
    return true;
}

void CSMBiosMachineData::GetStructures()
{
    StoreType00(m_pRawBytes);
}
