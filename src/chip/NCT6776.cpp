#include "NCT6776.h"

namespace
{
constexpr ChipDriverTraits kTraits = {"NCT6776", OemLayout::Nuvoton, TranslateTrace::BankAndBankPort,
                                      /*reportUnknownBankPort=*/true,
                                      /*traceOemOnRead=*/false};
}  // namespace

NCT6776::NCT6776(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
                 uint32_t dwAddressType, uint16_t wSMBiosHandle)
    : TChipDriver(kTraits, pChipManager, description, dwAddress, dwAddressType, wSMBiosHandle)
{
}
