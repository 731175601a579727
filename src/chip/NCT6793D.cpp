#include "NCT6793D.h"

namespace
{
constexpr ChipDriverTraits kTraits = {"NCT6793D", OemLayout::Nuvoton, TranslateTrace::BankAndBankPort,
                                      /*reportUnknownBankPort=*/true,
                                      /*traceOemOnRead=*/false};
}  // namespace

NCT6793D::NCT6793D(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
                   uint32_t dwAddressType, uint16_t wSMBiosHandle)
    : TChipDriver(kTraits, pChipManager, description, dwAddress, dwAddressType, wSMBiosHandle)
{
}
