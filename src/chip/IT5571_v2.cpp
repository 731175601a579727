#include "IT5571_v2.h"

namespace
{
constexpr ChipDriverTraits kTraits = {"IT5571_v2", OemLayout::Ite, TranslateTrace::OneLine,
                                      /*reportUnknownBankPort=*/true,
                                      /*traceOemOnRead=*/false};
}  // namespace

IT5571_v2::IT5571_v2(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
                     uint32_t dwAddressType, uint16_t wSMBiosHandle)
    : TChipDriver(kTraits, pChipManager, description, dwAddress, dwAddressType, wSMBiosHandle)
{
}
