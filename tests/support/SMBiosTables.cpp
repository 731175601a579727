#include "SMBiosTables.h"

#include <cstring>

namespace QelTest
{
std::unique_ptr<CRawSMBios> RawHolding(const std::vector<uint8_t>& table)
{
    auto raw = std::make_unique<CRawSMBios>();
    raw->m_pBytes = new uint8_t[table.size()];
    if (!table.empty())
        memcpy(raw->m_pBytes, table.data(), table.size());
    raw->m_dwLength = static_cast<uint32_t>(table.size());
    raw->m_bInit = true;
    return raw;
}

std::vector<uint8_t> Concat(const std::vector<QelSim::Structure>& structures)
{
    std::vector<uint8_t> table;
    for (const QelSim::Structure& s : structures)
    {
        const std::vector<uint8_t> bytes = s.Encode();
        table.insert(table.end(), bytes.begin(), bytes.end());
    }
    return table;
}
}  // namespace QelTest
