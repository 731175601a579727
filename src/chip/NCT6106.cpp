#include "NCT6106.h"

namespace
{
constexpr ChipDriverTraits kTraits = {"NCT6106", OemLayout::Nuvoton, TranslateTrace::None,
                                      /*reportUnknownBankPort=*/true,
                                      /*traceOemOnRead=*/false};
}  // namespace

NCT6106::NCT6106(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
                 uint32_t dwAddressType, uint16_t wSMBiosHandle)
    : TChipDriver(kTraits, pChipManager, description, dwAddress, dwAddressType, wSMBiosHandle)
{
}
