#include "SMBiosChipData.h"

#include "RawSMBios.h"
#include "log.h"

namespace
{
constexpr uint8_t kManagementDeviceType = 34;

// Offsets in the Management Device structure.
constexpr uint32_t kDescription = 0x04;
constexpr uint32_t kDeviceType = 0x05;
constexpr uint32_t kAddress = 0x06;
constexpr uint32_t kAddressType = 0x0A;
constexpr uint8_t kFormattedLength = 0x0B;
// AMI firmware writes this length on an 0x0B-byte structure.
constexpr uint8_t kAmiLength = 0x10;

// True when the bytes are text, as the start of a string set is.
bool Printable(const uint8_t* pBytes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (pBytes[i] < 0x20 || pBytes[i] > 0x7E)
            return false;
    return true;
}
}  // namespace

CSMBiosChipData::CSMBiosChipData()
{
    LogQuick(LOG_DEBUG, "CSMBiosChipData Constructed");
}

CSMBiosChipData::~CSMBiosChipData()
{
    for (CSMBios_TYPE34* pDevice : m_vDevices)
        delete pDevice;
    m_vDevices.clear();
    LogQuick(LOG_DEBUG, "CSMBiosChipData Destroyed");
}

bool CSMBiosChipData::Initialise(CRawSMBios& raw)
{
    if (m_bInit)
    {
        LogQuick(LOG_DEBUG, "CSMBiosChipData::Initialise - Already initialised");
        return true;
    }
    UseTable(raw);
    GetStructures();
    if (m_vDevices.empty())
    {
        LogQuick(LOG_ERROR, "CSMBiosChipData::Initialise - No Type 34 devices found");
        return false;
    }
    Log(LOG_DEBUG, "CSMBiosChipData::Initialise - Initialised Ok - #device(s)=%d",
        static_cast<int>(m_vDevices.size()));
    m_bInit = true;
    return true;
}

void CSMBiosChipData::GetStructures()
{
    WalkStructures("CSMBiosChipData::GetStructures",
                   [this](const uint8_t* pTable)
                   {
                       if (GetByte(pTable, 0) != kManagementDeviceType)
                           return;
                       auto* pDevice = new CSMBios_TYPE34;
                       StoreType34(*pDevice, pTable);
                       m_vDevices.push_back(pDevice);
                   });
}

void CSMBiosChipData::StoreType34(CSMBios_TYPE34& record, const uint8_t* pTable)
{
    record.byType = GetByte(pTable, 0);
    record.byLength = GetByte(pTable, 1);
    record.wHandle = GetWord(pTable, 2);
    record.byDescriptionString = GetByte(pTable, kDescription);
    record.byDeviceType = GetByte(pTable, kDeviceType);
    record.dwAddress = GetDWord(pTable, kAddress);
    record.byAddressType = GetByte(pTable, kAddressType);
    // The AMI length: the strings really start at 0x0B when the bytes from there are text, as
    // dmidecode reads it too. The walk still skips the declared length; the set's end is the same.
    uint32_t dwStrings = record.byLength;
    uint8_t abyHidden[kAmiLength - kFormattedLength];
    GetBytes(pTable, kFormattedLength, abyHidden, sizeof(abyHidden));
    if (record.byLength == kAmiLength && Printable(abyHidden, sizeof(abyHidden)))
    {
        Log(LOG_INFO, "CSMBiosChipData::StoreType34 - Handle 0x%04x: length 0x%02x read as 0x%02x",
            record.wHandle, kAmiLength, kFormattedLength);
        dwStrings = kFormattedLength;
    }
    GetFieldString(record.strDescription, pTable, kDescription, dwStrings);

    LogQuick(LOG_DEBUG, "CSMBiosChipData::StoreType34");
    Log(LOG_DEBUG, "  Description: %s", record.strDescription.c_str());
    Log(LOG_DEBUG, "  Device Type: 0x%02x", record.byDeviceType);
    Log(LOG_DEBUG, "  Address:     0x%08x", record.dwAddress);
    Log(LOG_DEBUG, "  AddressType: 0x%02x", record.byAddressType);
}
