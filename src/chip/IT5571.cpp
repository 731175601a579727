#include "IT5571.h"

namespace
{
// Every read logs the sensor's OEM word; Translate traces nothing.
constexpr ChipDriverTraits kTraits = {"IT5571", OemLayout::Ite, TranslateTrace::None,
                                      /*reportUnknownBankPort=*/true,
                                      /*traceOemOnRead=*/true};
}  // namespace

IT5571::IT5571(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
               uint32_t dwAddressType, uint16_t wSMBiosHandle)
    : TChipDriver(kTraits, pChipManager, description, dwAddress, dwAddressType, wSMBiosHandle)
{
}
