#include "SensorRecordSource.h"

#include "SMBiosChipData.h"
#include "SMBiosSensorData.h"

CSensorRecordSource::~CSensorRecordSource() = default;

CTableSensors::CTableSensors(CRawSMBios& raw)
{
    CSMBiosChipData chips;
    if (!chips.Initialise(raw) || chips.m_vDevices.empty() || chips.m_vDevices[0] == nullptr)
        return;
    m_sensors = std::make_unique<CSMBiosSensorData>(chips.m_vDevices[0]->wHandle);
    if (!m_sensors->Initialise(raw))
        m_sensors.reset();
}

CTableSensors::~CTableSensors() = default;

CSMBios_Sensor* CTableSensors::GetRawSensorFromFirstChipDevice(uint16_t wHandle)
{
    if (m_sensors != nullptr)
        for (CSMBios_Sensor* sensor : m_sensors->m_vThisChipSensors)
            if (sensor != nullptr && sensor->wHandle == wHandle)
                return sensor;
    return nullptr;
}
