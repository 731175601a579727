// Any bytes as an SMBIOS structure table: the BIOS information and a full walk with every
// structure's strings must stay inside the table. The table sits in a heap block of exactly its
// size, so AddressSanitizer reports the first byte read past it.
#include "FuzzSupport.h"
#include "RawSMBios.h"
#include "SMBiosData.h"
#include "SMBiosMachineData.h"
#include "SysRoot.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace
{
using QelFuzz::LoadTable;
using QelFuzz::UseEmptySysRoot;

class CFuzzCollection : public CSMBiosData
{
public:
    bool Initialise(CRawSMBios& raw) override
    {
        m_pRawBytes = raw.m_pBytes;
        m_dwRawLength = raw.m_dwLength;
        std::string text;
        WalkStructures("CFuzzCollection::GetStructures",
                       [&](const uint8_t* pTable)
                       {
                           // Every string the set may hold, and one past, through both ways of reaching them.
                           const uint8_t length = GetByte(pTable, 1);
                           for (unsigned number = 0; number <= 8; ++number)
                               GetString(text, pTable + length, static_cast<uint8_t>(number));
                           for (uint32_t offset = 4; offset < length && offset < 32; ++offset)
                               GetFieldString(text, pTable, offset);
                           (void)GetDWord(pTable, length);
                           (void)HasField(pTable, 4, 4);
                       });
        return true;
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    UseEmptySysRoot();

    CRawSMBios raw;
    if (!LoadTable(raw, data, size))
        return 0;

    CSMBiosMachineData machine;
    machine.Initialise(raw);
    CFuzzCollection walk;
    walk.Initialise(raw);
    return 0;
}
