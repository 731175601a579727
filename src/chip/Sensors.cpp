#include "Sensors.h"

#include "SMBiosSensorRecords.h"
#include "log.h"

CSensors::CSensors()
{
    LogQuick(LOG_DEBUG, "CSensors Constructed");
}

CSensors::~CSensors()
{
    for (auto& entry : m_mapSensors)
        DeleteSensorRecord(entry.second);
    m_mapSensors.clear();
    LogQuick(LOG_DEBUG, "CSensors Destroyed");
}

bool CSensors::PutCopyOf(const CSMBios_Sensor* pSensor)
{
    CSMBios_Sensor* pCopy = pSensor != nullptr ? CloneSensorRecord(*pSensor) : nullptr;
    if (pCopy == nullptr)
    {
        LogQuick(LOG_ERROR, "CSensors::PutCopyOf - CloneSensor failed");
        return false;
    }
    if (!Put(pCopy))
    {
        DeleteSensorRecord(pCopy);
        return false;
    }
    return true;
}

bool CSensors::Put(CSMBios_Sensor* pSensor)
{
    if (pSensor == nullptr)
        return false;
    const uint16_t wKey = pSensor->wHandle;
    const bool bInserted = m_mapSensors.emplace(wKey, pSensor).second;
    Log(LOG_DEBUG, "CSensors::Put - Handle=0x%04x, Sensor=0x%08x  returned %x", wKey,
        static_cast<unsigned>(reinterpret_cast<uintptr_t>(pSensor)), bInserted ? 1u : 0u);
    return bInserted;
}

CSMBios_Sensor* CSensors::Get(uint16_t wHandle) const
{
    auto it = m_mapSensors.find(wHandle);
    if (it == m_mapSensors.end())
    {
        Log(LOG_ERROR, "CSensors::Get - Handle 0x%04x not found", wHandle);
        return nullptr;
    }
    return it->second;
}

void CSensors::GetSensorHandleList(std::list<uint16_t>& handles) const
{
    for (const auto& entry : m_mapSensors)
        handles.push_back(entry.first);
}
