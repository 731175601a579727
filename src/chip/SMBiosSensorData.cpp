#include "SMBiosSensorData.h"

#include "RawSMBios.h"
#include "log.h"

namespace
{
constexpr uint8_t kVoltageProbeType = 26;
constexpr uint8_t kCoolingDeviceType = 27;
constexpr uint8_t kTemperatureProbeType = 28;
constexpr uint8_t kComponentType = 35;
constexpr uint8_t kThresholdType = 36;

// Voltage and Temperature Probe (Types 26 and 28).
constexpr uint32_t kProbeDescription = 0x04;
constexpr uint32_t kProbeLocationAndStatus = 0x05;
constexpr uint32_t kProbeMaximum = 0x06;
constexpr uint32_t kProbeMinimum = 0x08;
constexpr uint32_t kProbeResolution = 0x0A;
constexpr uint32_t kProbeTolerance = 0x0C;
constexpr uint32_t kProbeAccuracy = 0x0E;
constexpr uint32_t kProbeOEMDefined = 0x10;
constexpr uint32_t kProbeNominal = 0x14;

// Cooling Device (Type 27).
constexpr uint32_t kCoolingProbeHandle = 0x04;
constexpr uint32_t kCoolingDeviceTypeAndStatus = 0x06;
constexpr uint32_t kCoolingUnitGroup = 0x07;
constexpr uint32_t kCoolingOEMDefined = 0x08;
constexpr uint32_t kCoolingNominalSpeed = 0x0C;

// Management Device Component (Type 35).
constexpr uint32_t kComponentDescription = 0x04;
constexpr uint32_t kComponentDevice = 0x05;
constexpr uint32_t kComponentSensor = 0x07;
constexpr uint32_t kComponentThreshold = 0x09;

// Management Device Threshold Data (Type 36): six words from 0x04.
constexpr uint32_t kThresholds = 0x04;

const char* KindWord(uint32_t dwSensorType)
{
    switch (dwSensorType)
    {
    case SENSOR_KIND_VOLTAGE:
        return "Voltage";
    case SENSOR_KIND_COOLING:
        return "Cooling";
    case SENSOR_KIND_TEMPERATURE:
        return "Temperature";
    default:
        return "Unknown";
    }
}

template <typename Record>
void DeleteAll(std::vector<Record*>& records)
{
    for (Record* pRecord : records)
        delete pRecord;
    records.clear();
}
}  // namespace

CSMBiosSensorData::CSMBiosSensorData(uint16_t wChipHandle) : m_wChipHandle(wChipHandle)
{
    LogQuick(LOG_DEBUG, "CSMBiosSensorData Constructed");
}

CSMBiosSensorData::~CSMBiosSensorData()
{
    m_vThisChipSensors.clear();
    for (CSMBios_Sensor* pSensor : m_vAllSensors)
        DeleteSensorRecord(pSensor);
    m_vAllSensors.clear();
    DeleteAll(m_vAllComponents);
    DeleteAll(m_vAllThresholds);
    LogQuick(LOG_DEBUG, "CSMBiosSensorData Destroyed");
}

bool CSMBiosSensorData::Initialise(CRawSMBios& raw)
{
    if (m_bInit)
    {
        LogQuick(LOG_DEBUG, "CSMBiosSensorData::Initialise - Already initialised");
        return true;
    }
    UseTable(raw);
    GetStructures();
    if (m_vAllSensors.empty())
    {
        LogQuick(LOG_ERROR, "CSMBiosSensorData::Initialise - No sensors found for any chip device");
        return false;
    }
    GetThisChipSensors();
    if (m_vThisChipSensors.empty())
    {
        LogQuick(LOG_ERROR, "CSMBiosSensorData::Initialise - No sensors found for this chip device");
        return false;
    }
    m_bInit = true;
    Log(LOG_DEBUG, "CSMBiosSensorData::Initialise - Initialised Ok - #sensor(s)=%d",
        static_cast<int>(m_vThisChipSensors.size()));
    return true;
}

void CSMBiosSensorData::GetStructures()
{
    LogQuick(LOG_DEBUG,
             "CSMBiosSensorData::GetStructures - Parsing all Type 00, 26, 27, 28, 35, 36 structures");
    WalkStructures("CSMBiosSensorData::GetStructures",
                   [this](const uint8_t* pTable)
                   {
                       switch (GetByte(pTable, 0))
                       {
                       case kVoltageProbeType:
                       {
                           auto* pRecord = new CSMBios_TYPE26;
                           StoreType26(*pRecord, pTable);
                           pRecord->dwSensorType = SENSOR_KIND_VOLTAGE;
                           m_vAllSensors.push_back(pRecord);
                           break;
                       }
                       case kCoolingDeviceType:
                       {
                           auto* pRecord = new CSMBios_TYPE27;
                           StoreType27(*pRecord, pTable);
                           pRecord->dwSensorType = SENSOR_KIND_COOLING;
                           m_vAllSensors.push_back(pRecord);
                           break;
                       }
                       case kTemperatureProbeType:
                       {
                           auto* pRecord = new CSMBios_TYPE28;
                           StoreType28(*pRecord, pTable);
                           pRecord->dwSensorType = SENSOR_KIND_TEMPERATURE;
                           m_vAllSensors.push_back(pRecord);
                           break;
                       }
                       case kComponentType:
                       {
                           auto* pRecord = new CSMBios_TYPE35;
                           StoreType35(*pRecord, pTable);
                           m_vAllComponents.push_back(pRecord);
                           break;
                       }
                       case kThresholdType:
                       {
                           auto* pRecord = new CSMBios_TYPE36;
                           StoreType36(*pRecord, pTable);
                           m_vAllThresholds.push_back(pRecord);
                           break;
                       }
                       default:
                           break;
                       }
                   });
}

uint16_t CSMBiosSensorData::GetMeasuredWord(const uint8_t* pTable, uint32_t dwOffset) const
{
    return HasField(pTable, dwOffset, 2) ? GetWord(pTable, dwOffset) : SMBIOS_WORD_UNKNOWN;
}

void CSMBiosSensorData::StoreProbe(CSMBios_Probe& record, const uint8_t* pTable, const char* pszLabel)
{
    record.byType = GetByte(pTable, 0);
    record.byLength = GetByte(pTable, 1);
    record.wHandle = GetWord(pTable, 2);
    record.byDescriptionString = GetByte(pTable, kProbeDescription);
    record.byLocationAndStatus = GetByte(pTable, kProbeLocationAndStatus);
    record.wMaximumValue = GetMeasuredWord(pTable, kProbeMaximum);
    record.wMinimumValue = GetMeasuredWord(pTable, kProbeMinimum);
    record.wResolution = GetMeasuredWord(pTable, kProbeResolution);
    record.wTolerance = GetMeasuredWord(pTable, kProbeTolerance);
    record.wAccuracy = GetMeasuredWord(pTable, kProbeAccuracy);
    record.dwOEMDefined = GetDWord(pTable, kProbeOEMDefined);
    record.wNominalValue =
        record.byLength > kProbeNominal ? GetMeasuredWord(pTable, kProbeNominal) : SMBIOS_WORD_UNKNOWN;
    GetFieldString(record.strDescription, pTable, kProbeDescription);

    LogQuick(LOG_DEBUG, pszLabel);
    Log(LOG_DEBUG, "  Description:        %s", record.strDescription.c_str());
    Log(LOG_DEBUG, "  Location & Status:  0x%02x", record.byLocationAndStatus);
    Log(LOG_DEBUG, "  Maximum Value:     0x%04x", record.wMaximumValue);
    Log(LOG_DEBUG, "  Minimum Value:     0x%04x", record.wMinimumValue);
    Log(LOG_DEBUG, "  Resolution:         0x%04x", record.wResolution);
    Log(LOG_DEBUG, "  Tolerance:          0x%04x", record.wTolerance);
    Log(LOG_DEBUG, "  Accuracy:           0x%04x", record.wAccuracy);
    Log(LOG_DEBUG, "  OEM DWord:          0x%08x", record.dwOEMDefined);
    Log(LOG_DEBUG, "  Nominal Value:      0x%04x", record.wNominalValue);
}

void CSMBiosSensorData::StoreType26(CSMBios_TYPE26& record, const uint8_t* pTable)
{
    StoreProbe(record, pTable, "CSMBiosSensorData::StoreType26");
}

void CSMBiosSensorData::StoreType28(CSMBios_TYPE28& record, const uint8_t* pTable)
{
    StoreProbe(record, pTable, "CSMBiosSensorData::StoreType28");
}

void CSMBiosSensorData::StoreType27(CSMBios_TYPE27& record, const uint8_t* pTable)
{
    record.byType = GetByte(pTable, 0);
    record.byLength = GetByte(pTable, 1);
    record.wHandle = GetWord(pTable, 2);
    record.wTemperatureProbeHandle =
        HasField(pTable, kCoolingProbeHandle, 2) ? GetWord(pTable, kCoolingProbeHandle) : SMBIOS_NO_HANDLE;
    record.byDeviceTypeAndStatus = GetByte(pTable, kCoolingDeviceTypeAndStatus);
    record.byCoolingUnitGroup = GetByte(pTable, kCoolingUnitGroup);
    record.dwOEMDefined = GetDWord(pTable, kCoolingOEMDefined);
    record.wNominalSpeed = record.byLength > kCoolingNominalSpeed
                               ? GetMeasuredWord(pTable, kCoolingNominalSpeed)
                               : SMBIOS_WORD_UNKNOWN;

    LogQuick(LOG_DEBUG, "CSMBiosSensorData::StoreType27");
    Log(LOG_DEBUG, "  Description:                %s", record.strDescription.c_str());
    Log(LOG_DEBUG, "  Temperature Probe Handle:   0x%04x", record.wTemperatureProbeHandle);
    Log(LOG_DEBUG, "  Device Type & Status:       0x%02x", record.byDeviceTypeAndStatus);
    Log(LOG_DEBUG, "  Cooling Unit Group:        0x%02x", record.byCoolingUnitGroup);
    Log(LOG_DEBUG, "  OEM DWord:                  0x%08x", record.dwOEMDefined);
    Log(LOG_DEBUG, "  Nominal Value:              0x%04x", record.wNominalSpeed);
}

void CSMBiosSensorData::StoreType35(CSMBios_TYPE35& record, const uint8_t* pTable)
{
    // A handle the structure does not cover names nothing.
    auto handleAt = [&](uint32_t dwOffset)
    { return HasField(pTable, dwOffset, 2) ? GetWord(pTable, dwOffset) : SMBIOS_NO_HANDLE; };
    record.byType = GetByte(pTable, 0);
    record.byLength = GetByte(pTable, 1);
    record.wHandle = GetWord(pTable, 2);
    record.byDescriptionString = GetByte(pTable, kComponentDescription);
    record.wManagementDeviceHandle = handleAt(kComponentDevice);
    record.wComponentHandle = handleAt(kComponentSensor);
    record.wThresholdHandle = handleAt(kComponentThreshold);
    GetFieldString(record.strDescription, pTable, kComponentDescription);

    LogQuick(LOG_DEBUG, "CSMBiosSensorData::StoreType35");
    Log(LOG_DEBUG, "  Description:                %s", record.strDescription.c_str());
    Log(LOG_DEBUG, "  Management Device Handle:   0x%04x", record.wManagementDeviceHandle);
    Log(LOG_DEBUG, "  Component Handle:           0x%04x", record.wComponentHandle);
    Log(LOG_DEBUG, "  Threshold Handle:           0x%04x", record.wThresholdHandle);
}

void CSMBiosSensorData::StoreType36(CSMBios_TYPE36& record, const uint8_t* pTable)
{
    record.byType = GetByte(pTable, 0);
    record.byLength = GetByte(pTable, 1);
    record.wHandle = GetWord(pTable, 2);
    uint16_t* const apwThresholds[] = {&record.wLowerNonCritical,    &record.wUpperNonCritical,
                                       &record.wLowerCritical,       &record.wUpperCritical,
                                       &record.wLowerNonRecoverable, &record.wUpperNonRecoverable};
    uint32_t dwOffset = kThresholds;
    for (uint16_t* pwThreshold : apwThresholds)
    {
        *pwThreshold = GetMeasuredWord(pTable, dwOffset);
        dwOffset += 2;
    }

    LogQuick(LOG_DEBUG, "CSMBiosSensorData::StoreType36");
    Log(LOG_DEBUG, "  Lower Threshold Non Critical:       0x%04x", record.wLowerNonCritical);
    Log(LOG_DEBUG, "  Upper Threshold Non Critical:       0x%04x", record.wUpperNonCritical);
    Log(LOG_DEBUG, "  Lower Threshold Critical:           0x%04x", record.wLowerCritical);
    Log(LOG_DEBUG, "  Upper Threshold Critical:           0x%04x", record.wUpperCritical);
    Log(LOG_DEBUG, "  Lower Threshold Non Recoverable:    0x%04x", record.wLowerNonRecoverable);
    Log(LOG_DEBUG, "  Upper Threshold Non Recoverable:    0x%04x", record.wUpperNonRecoverable);
}

CSMBios_Sensor* CSMBiosSensorData::GetSensorForHandle(uint16_t wHandle)
{
    if (m_vAllSensors.empty())
    {
        LogQuick(LOG_ERROR, "CSMBiosSensorData::GetSensorForHandle - m_vAllSensors is empty");
        return nullptr;
    }
    for (CSMBios_Sensor* pSensor : m_vAllSensors)
    {
        if (pSensor->wHandle == wHandle)
            return pSensor;
    }
    return nullptr;
}

CSMBios_TYPE36* CSMBiosSensorData::GetThresholdForHandle(uint16_t wHandle)
{
    if (m_vAllThresholds.empty())
    {
        LogQuick(LOG_ERROR, "CSMBiosSensorData::GetThresholdForHandle - m_vAllThresholds is empty");
        return nullptr;
    }
    for (CSMBios_TYPE36* pThreshold : m_vAllThresholds)
    {
        if (pThreshold->wHandle == wHandle)
            return pThreshold;
    }
    return nullptr;
}

void CSMBiosSensorData::GetThisChipSensors()
{
    static const char kLabel[] = "CSMBiosSensorData::GetThisChipSensors";
    Log(LOG_DEBUG, "%s - Parsing all Type 35 components", kLabel);
    for (const CSMBios_TYPE35* pComponent : m_vAllComponents)
    {
        const uint16_t wComponent = pComponent->wHandle;
        const uint16_t wSensor = pComponent->wComponentHandle;
        const uint16_t wThreshold = pComponent->wThresholdHandle;
        Log(LOG_DEBUG, "%s --- Type 35: Handle 0x%04x", kLabel, wComponent);
        if (pComponent->wManagementDeviceHandle == SMBIOS_NO_HANDLE)
        {
            Log(LOG_DEBUG, "%s - Type 35: 0x%04x - No Type 34", kLabel, wComponent);
            continue;
        }
        if (pComponent->wManagementDeviceHandle != m_wChipHandle)
            continue;

        Log(LOG_DEBUG, "%s - Found sensor handle: 0x%04x associated with chip handle 0x%04x", kLabel, wSensor,
            m_wChipHandle);
        Log(LOG_DEBUG, "%s - Found threshold handle: 0x%04x associated with chip handle 0x%04x", kLabel,
            wThreshold, m_wChipHandle);
        if (wSensor == SMBIOS_NO_HANDLE)
        {
            Log(LOG_DEBUG, "%s - Type 35(0x%04x) - Sensor handle=0xffff", kLabel, wComponent);
            continue;
        }
        CSMBios_Sensor* pSensor = GetSensorForHandle(wSensor);
        if (pSensor == nullptr)
        {
            Log(LOG_DEBUG, "%s - Type 35(0x%04x) - No Sensor found for Sensor handle 0x%04x", kLabel,
                wComponent, wSensor);
            continue;
        }
        Log(LOG_DEBUG, "%s - Found sensor of type %d for handle 0x%04x", kLabel,
            static_cast<int>(pSensor->dwSensorType), wSensor);
        Log(LOG_TRACE, "%s - Type %d is %s", kLabel, static_cast<int>(pSensor->dwSensorType),
            KindWord(pSensor->dwSensorType));
        Log(LOG_DEBUG, "%s - Adding sensor handle 0x%04x to list", kLabel, wSensor);
        m_vThisChipSensors.push_back(pSensor);

        Log(LOG_DEBUG, "%s - Attaching component description [%s] to sensor 0x%04x", kLabel,
            pComponent->strDescription.c_str(), wSensor);
        Log(LOG_TRACE, "%s - Type 35(0x%04x) description: [%s] overwrites Sensor description [%s]", kLabel,
            wComponent, pComponent->strDescription.c_str(), pSensor->strDescription.c_str());
        pSensor->strDescription = pComponent->strDescription;
        Log(LOG_TRACE, "%s - Type 35(0x%04x) New sensor description is [%s]", kLabel, wComponent,
            pSensor->strDescription.c_str());

        if (wThreshold == SMBIOS_NO_HANDLE)
        {
            Log(LOG_DEBUG, "%s - Type 35(0x%04x) - Threshold handle=0xffff", kLabel, wComponent);
            continue;
        }
        const CSMBios_TYPE36* pLimits = GetThresholdForHandle(wThreshold);
        if (pLimits == nullptr)
        {
            Log(LOG_DEBUG, "%s - Type 35(0x%04x) - No Threshold found for Threshold handle 0x%04x", kLabel,
                wComponent, wThreshold);
            continue;
        }
        Log(LOG_DEBUG, "%s - Attaching Threshold 0x%04x information to sensor 0x%04x", kLabel, wThreshold,
            wSensor);
        pSensor->wLowerNonCritical = pLimits->wLowerNonCritical;
        pSensor->wUpperNonCritical = pLimits->wUpperNonCritical;
        pSensor->wLowerCritical = pLimits->wLowerCritical;
        pSensor->wUpperCritical = pLimits->wUpperCritical;
        pSensor->wLowerNonRecoverable = pLimits->wLowerNonRecoverable;
        pSensor->wUpperNonRecoverable = pLimits->wUpperNonRecoverable;
        Log(LOG_DEBUG, "%s - Sensor(0x%04x) <--- Type 35(0x%04x) ---> Type 36(0x%04x)", kLabel, wSensor,
            wComponent, wThreshold);
    }
}
