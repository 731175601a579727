#include "SMBiosEventLogData.h"

#include "RawSMBios.h"
#include "log.h"

namespace
{
constexpr uint8_t kSystemEventLogType = 15;

// Offsets in the System Event Log structure.
constexpr uint32_t kLogAreaLength = 0x04;
constexpr uint32_t kLogHeaderStart = 0x06;
constexpr uint32_t kLogDataStart = 0x08;
constexpr uint32_t kAccessMethod = 0x0A;
constexpr uint32_t kLogStatus = 0x0B;
constexpr uint32_t kChangeToken = 0x0C;
constexpr uint32_t kAccessMethodAddress = 0x10;
constexpr uint32_t kHeaderFormat = 0x14;
constexpr uint32_t kDescriptorCount = 0x15;
constexpr uint32_t kDescriptorLength = 0x16;
constexpr uint32_t kDescriptors = 0x17;
// Whatever the structure's length byte for them says, descriptors are read as two bytes.
constexpr uint32_t kDescriptorSize = 2;
}  // namespace

const char* EventLogAccessMethodName(uint8_t byAccessMethod)
{
    switch (byAccessMethod)
    {
    case 0:
        return "Indexed IO - 1 x 8-bit index port, 1 x 8-bit data port";
    case 1:
        return "Indexed IO - 2 x 8-bit index ports, 1 x 8-bit data port";
    case 2:
        return "Indexed IO - 1 x 16-bit index port, 1 x 8-bit data port";
    case 3:
        return "Physical 32-bit Address";
    case 4:
        return "GPNVD Handle - DEPRECATED";
    default:
        return "Unknown Access Method";
    }
}

CSMBiosEventLogData::CSMBiosEventLogData()
{
    LogQuick(LOG_DEBUG, "CSMBiosEventLogData Constructed");
}

CSMBiosEventLogData::~CSMBiosEventLogData()
{
    delete m_pType15;
    m_pType15 = nullptr;
    LogQuick(LOG_DEBUG, "CSMBiosEventLogData Destroyed");
}

bool CSMBiosEventLogData::Initialise(CRawSMBios& raw)
{
    if (m_bInit)
    {
        LogQuick(LOG_DEBUG, "CSMBiosEventLogData::Initialise - Already initialised");
        return true;
    }
    UseTable(raw);
    GetStructures();
    // The view ends with this call; the record holds everything that is needed later.
    m_pRawBytes = nullptr;
    m_dwRawLength = 0;
    if (m_pType15 == nullptr)
    {
        LogQuick(LOG_ERROR, "CSMBiosEventLogData::Initialise - No Type 15 event logs found");
        return false;
    }
    m_bInit = true;
    return true;
}

void CSMBiosEventLogData::GetStructures()
{
    if (m_pRawBytes == nullptr || m_dwRawLength == 0)
        return;
    WalkStructures("CSMBiosEventLogData::GetStructures",
                   [this](const uint8_t* pTable)
                   {
                       if (GetByte(pTable, 0) != kSystemEventLogType)
                           return;
                       if (m_pType15 != nullptr)
                       {
                           LogQuick(LOG_ERROR, "Found more than one system event log - only using the first");
                           return;
                       }
                       m_pType15 = new CSMBios_TYPE15;
                       StoreType15(*m_pType15, pTable);
                   });
}

void CSMBiosEventLogData::StoreType15(CSMBios_TYPE15& record, const uint8_t* pTable)
{
    record.byType = GetByte(pTable, 0);
    record.byLength = GetByte(pTable, 1);
    record.wHandle = GetWord(pTable, 2);
    record.wLogAreaLength = GetWord(pTable, kLogAreaLength);
    record.wLogHeaderStartOffset = GetWord(pTable, kLogHeaderStart);
    record.wLogDataStartOffset = GetWord(pTable, kLogDataStart);
    record.byAccessMethod = GetByte(pTable, kAccessMethod);
    record.byLogStatus = GetByte(pTable, kLogStatus);
    record.dwLogChangeToken = GetDWord(pTable, kChangeToken);
    record.AccessMethodAddress.All = GetDWord(pTable, kAccessMethodAddress);
    record.byLogHeaderFormat = GetByte(pTable, kHeaderFormat);
    record.byNumberOfSupportedLogTypeDescriptors = GetByte(pTable, kDescriptorCount);
    record.byLengthOfLogTypeDescriptor = GetByte(pTable, kDescriptorLength);

    const EventLogAccessMethodAddress& address = record.AccessMethodAddress;
    const unsigned count = record.byNumberOfSupportedLogTypeDescriptors;
    LogQuick(LOG_DEBUG, "CSMBiosEventLogData::StoreType15");
    Log(LOG_DEBUG, "  Log Area Length:                        0x%04x", record.wLogAreaLength);
    Log(LOG_DEBUG, "  Log Header Start Offset:                0x%04x", record.wLogHeaderStartOffset);
    Log(LOG_DEBUG, "  Log Data Start Offset:                  0x%04x", record.wLogDataStartOffset);
    Log(LOG_DEBUG, "  Access Method:                          0x%02x %s", record.byAccessMethod,
        EventLogAccessMethodName(record.byAccessMethod));
    Log(LOG_DEBUG, "  Log Status:                             0x%02x", record.byLogStatus);
    Log(LOG_DEBUG, "  Log Change Token:                       0x%08x", record.dwLogChangeToken);
    Log(LOG_DEBUG, "  Access Method Address.All:              0x%08x", address.All);
    Log(LOG_DEBUG, "                       .IO.IndexAddr:     0x%04x", address.IO.IndexAddr);
    Log(LOG_DEBUG, "                       .IO.DataAddr:      0x%04x", address.IO.DataAddr);
    Log(LOG_DEBUG, "                       .PhysicalAddr32:   0x%08x", address.PhysicalAddr32);
    Log(LOG_DEBUG, "                       .GPNVHandle:       0x%04x", address.GPNVHandle);
    Log(LOG_DEBUG, "  Log Header Format:                      0x%02x", record.byLogHeaderFormat);
    Log(LOG_DEBUG, "  Number Supported Log Type Descriptors:  0x%02x", count);
    Log(LOG_DEBUG, "  Length of a Log Type Descriptor:        0x%02x", record.byLengthOfLogTypeDescriptor);
    Log(LOG_DEBUG, "    Log Type Descriptors:                 %s", count == 0 ? "NONE" : "");

    // A count that runs past the formatted area would take the strings, or the next structure,
    // for descriptors: only those that lie wholly inside the structure are taken.
    record.Descriptors.clear();
    for (unsigned i = 0; i < count; ++i)
    {
        const uint32_t offset = kDescriptors + i * kDescriptorSize;
        if (!HasField(pTable, offset, kDescriptorSize))
        {
            Log(LOG_ERROR,
                "CSMBiosEventLogData::StoreType15 - only %u of %u log type descriptors lie inside the "
                "structure (length 0x%02x)",
                i, count, record.byLength);
            break;
        }
        EventLogDescriptor descriptor;
        descriptor.byLogType = GetByte(pTable, offset);
        descriptor.byVDFType = GetByte(pTable, offset + 1);
        record.Descriptors.push_back(descriptor);
        Log(LOG_DEBUG, "      LogType: 0x%02x VDFType: 0x%02x", descriptor.byLogType, descriptor.byVDFType);
    }
}
