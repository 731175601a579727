#include "w83627ehf.h"

namespace
{
// A register without a conversion passes its reading on silently.
constexpr ChipDriverTraits kTraits = {"w83627ehf", OemLayout::Nuvoton, TranslateTrace::BankOnly,
                                      /*reportUnknownBankPort=*/false,
                                      /*traceOemOnRead=*/false};
}  // namespace

w83627ehf::w83627ehf(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
                     uint32_t dwAddressType, uint16_t wSMBiosHandle)
    : TChipDriver(kTraits, pChipManager, description, dwAddress, dwAddressType, wSMBiosHandle)
{
}
