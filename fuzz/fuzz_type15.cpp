// Any bytes as an SMBIOS structure table, read for its System Event Log structure: no field and
// no descriptor may be read outside the table (a heap block of exactly its size, so
// AddressSanitizer reports the first byte read past it), and only descriptors that lie inside
// the structure are taken. Broken invariants abort.
#include "RawSMBios.h"
#include "SMBiosEventLogData.h"
#include "SysRoot.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace
{
void Check(bool condition)
{
    if (!condition)
        abort();
}

void UseEmptySysRoot()
{
    static char root[] = "/tmp/qel-fuzz-root-XXXXXX";
    if (mkdtemp(root) == nullptr)
        return;
    setenv(QelSys::kSysRootVariable, root, 1);
    atexit([] { rmdir(root); });
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    UseEmptySysRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0xFFFF)  // SmbiosLength is 16 bits
        return 0;
    CRawSMBios raw;
    raw.m_pBytes = new uint8_t[size];
    if (size > 0)
        memcpy(raw.m_pBytes, data, size);
    raw.m_dwLength = static_cast<uint32_t>(size);
    raw.m_bInit = true;

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
