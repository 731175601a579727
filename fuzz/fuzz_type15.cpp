// Any bytes as an SMBIOS structure table, read for its System Event Log structure: no field and
// no descriptor may be read outside the table (a heap block of exactly its size, so
// AddressSanitizer reports the first byte read past it), and only descriptors that lie inside
// the structure are taken. Broken invariants abort.
#include "FuzzSupport.h"
#include "RawSMBios.h"
#include "SMBiosEventLogData.h"
#include "SysRoot.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace
{
using QelFuzz::Check;
using QelFuzz::LoadTable;
using QelFuzz::UseEmptySysRoot;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    UseEmptySysRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CRawSMBios raw;
    if (!LoadTable(raw, data, size))
        return 0;

    CSMBiosEventLogData eventLog;
    const bool found = eventLog.Initialise(raw);
    Check(found == (eventLog.m_pType15 != nullptr));
    if (found)
    {
        const CSMBios_TYPE15& t = *eventLog.m_pType15;
        Check(t.byType == 15);
        Check(t.Descriptors.size() <= t.byNumberOfSupportedLogTypeDescriptors);
        Check(t.Descriptors.empty() || 0x17 + 2 * t.Descriptors.size() <= t.byLength);
        Check(eventLog.Initialise(raw));  // a second call changes nothing
    }
    return 0;
}
