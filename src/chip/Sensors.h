// The per-driver store of sensor records, keyed by SMBIOS handle in ascending order. The store
// holds full copies: the SMBIOS collection the records came from dies with the driver's
// initialisation.
#pragma once

#include <cstdint>
#include <list>
#include <map>

struct CSMBios_Sensor;

class CSensors
{
public:
    CSensors();
    virtual ~CSensors();
    CSensors(const CSensors&) = delete;
    CSensors& operator=(const CSensors&) = delete;

    // Stores a copy of the record (of the form its dwSensorType names); false when the kind is
    // unknown or the handle is already stored.
    bool PutCopyOf(const CSMBios_Sensor* pSensor);
    // Takes the record over when it returns true; false leaves it with the caller.
    bool Put(CSMBios_Sensor* pSensor);
    // The stored record, still owned by the store, or null.
    CSMBios_Sensor* Get(uint16_t wHandle) const;
    // Appends every stored handle, ascending.
    void GetSensorHandleList(std::list<uint16_t>& handles) const;

private:
    std::map<uint16_t, CSMBios_Sensor*> m_mapSensors;
};
