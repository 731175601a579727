// Any bytes as an SMBIOS structure table: the Management Devices, every probe, cooling device,
// component and threshold, and the sensors tied to each chip (and to handles no chip has) must be
// read without a byte outside the table, and a chip's sensors must copy whole into a sensor store.
// The table sits in a heap block of exactly its size, so AddressSanitizer reports the first byte
// read past it; broken invariants abort.
#include "FuzzSupport.h"
#include "RawSMBios.h"
#include "SMBiosChipData.h"
#include "SMBiosSensorData.h"
#include "Sensors.h"
#include "SysRoot.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <list>
#include <unistd.h>
#include <vector>

namespace
{
using QelFuzz::Check;
using QelFuzz::LoadTable;
using QelFuzz::UseEmptySysRoot;

// Each chip walks the whole table again; a bound keeps one input from taking seconds.
constexpr size_t kMaxChips = 16;

uint32_t KindOf(uint8_t type)
{
    switch (type)
    {
    case 26:
        return SENSOR_KIND_VOLTAGE;
    case 27:
        return SENSOR_KIND_COOLING;
    case 28:
        return SENSOR_KIND_TEMPERATURE;
    default:
        return 0;
    }
}

bool SameLimits(const CSMBios_Sensor& a, const CSMBios_Sensor& b)
{
    return a.wLowerNonCritical == b.wLowerNonCritical && a.wUpperNonCritical == b.wUpperNonCritical &&
           a.wLowerCritical == b.wLowerCritical && a.wUpperCritical == b.wUpperCritical &&
           a.wLowerNonRecoverable == b.wLowerNonRecoverable &&
           a.wUpperNonRecoverable == b.wUpperNonRecoverable;
}

void AssociateAndStore(CRawSMBios& raw, uint16_t wChipHandle)
{
    CSMBiosSensorData data(wChipHandle);
    const bool ok = data.Initialise(raw);
    Check(ok == !data.m_vThisChipSensors.empty());

    CSensors store;
    std::vector<uint16_t> handles;
    for (const CSMBios_Sensor* pSensor : data.m_vThisChipSensors)
    {
        // Every listed sensor is one of the table's, of the kind its structure type names.
        Check(std::find(data.m_vAllSensors.begin(), data.m_vAllSensors.end(), pSensor) !=
              data.m_vAllSensors.end());
        Check(pSensor->dwSensorType == KindOf(pSensor->byType));
        // A sensor named twice is stored once; the store refuses the second copy.
        const bool fresh = std::find(handles.begin(), handles.end(), pSensor->wHandle) == handles.end();
        Check(store.PutCopyOf(pSensor) == fresh);
        if (fresh)
            handles.push_back(pSensor->wHandle);
    }

    std::list<uint16_t> stored;
    store.GetSensorHandleList(stored);
    std::sort(handles.begin(), handles.end());
    Check(std::vector<uint16_t>(stored.begin(), stored.end()) == handles);
    for (uint16_t wHandle : handles)
    {
        const CSMBios_Sensor* pCopy = store.Get(wHandle);
        const CSMBios_Sensor* pOriginal = data.GetSensorForHandle(wHandle);
        Check(pCopy != nullptr && pOriginal != nullptr && pCopy != pOriginal);
        Check(pCopy->byType == pOriginal->byType && pCopy->dwSensorType == pOriginal->dwSensorType &&
              pCopy->dwOEMDefined == pOriginal->dwOEMDefined &&
              pCopy->strDescription == pOriginal->strDescription && SameLimits(*pCopy, *pOriginal));
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    UseEmptySysRoot();

    CRawSMBios raw;
    if (!LoadTable(raw, data, size))
        return 0;

    CSMBiosChipData chips;
    Check(chips.Initialise(raw) == !chips.m_vDevices.empty());

    // Each Management Device, then handles that may name nothing: 0, "none", and one the input
    // chooses (its first two bytes, the Type 0 structure's type and length).
    std::vector<uint16_t> handles;
    for (const CSMBios_TYPE34* pDevice : chips.m_vDevices)
    {
        Check(pDevice->byType == 34);
        if (handles.size() < kMaxChips)
            handles.push_back(pDevice->wHandle);
    }
    handles.push_back(0x0000);
    handles.push_back(SMBIOS_NO_HANDLE);
    if (size >= 2)
        handles.push_back(static_cast<uint16_t>(data[0] | data[1] << 8));
    for (uint16_t wHandle : handles)
        AssociateAndStore(raw, wHandle);
    return 0;
}
