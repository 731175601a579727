// The System Event Log structure (Type 15): where the BIOS keeps its event log, how to reach it
// and which event types it records.
#pragma once

#include "SMBiosData.h"

#include <cstdint>
#include <vector>

// One supported event type and the format of its variable data.
struct EventLogDescriptor
{
    uint8_t byLogType = 0;
    uint8_t byVDFType = 0;
};
typedef std::vector<EventLogDescriptor> EventLogDescriptors;

// The only access method the library reads: the log area at a 32-bit physical address.
constexpr uint8_t EVENT_LOG_ACCESS_PHYSICAL32 = 3;

union EventLogAccessMethodAddress
{
    uint32_t All;
    struct
    {
        uint16_t IndexAddr;  // low half
        uint16_t DataAddr;
    } IO;
    uint32_t PhysicalAddr32;
    uint16_t GPNVHandle;  // low half
};
static_assert(sizeof(EventLogAccessMethodAddress) == 4, "the access method address is one double word");

struct CSMBios_TYPE15
{
    uint8_t byType = 0;
    uint8_t byLength = 0;
    uint16_t wHandle = 0;
    uint16_t wLogAreaLength = 0;
    uint16_t wLogHeaderStartOffset = 0;
    uint16_t wLogDataStartOffset = 0;
    uint8_t byAccessMethod = 0;
    uint8_t byLogStatus = 0;  // bit 0 valid, bit 1 full
    uint32_t dwLogChangeToken = 0;
    EventLogAccessMethodAddress AccessMethodAddress{};
    uint8_t byLogHeaderFormat = 0;
    uint8_t byNumberOfSupportedLogTypeDescriptors = 0;  // as the structure says
    uint8_t byLengthOfLogTypeDescriptor = 0;
    EventLogDescriptors Descriptors;  // those that lie inside the structure
};

// The name of an access method, as the log shows it.
const char* EventLogAccessMethodName(uint8_t byAccessMethod);

class CSMBiosEventLogData : public CSMBiosData
{
public:
    CSMBiosEventLogData();
    ~CSMBiosEventLogData() override;

    // True when a Type 15 structure was found; the first one is kept in m_pType15.
    bool Initialise(CRawSMBios& raw) override;
    void GetStructures();
    void StoreType15(CSMBios_TYPE15& record, const uint8_t* pTable);

    bool m_bInit = false;
    CSMBios_TYPE15* m_pType15 = nullptr;  // owned
};
