#include "IT5571_v2HwMon.h"

namespace
{
constexpr IteHwMonTraits kTraits = {"IT5571_HwMon_v2"};
}  // namespace

IT5571_HwMon_v2::IT5571_HwMon_v2() : TIteHwMon<IT5571_SioIo_v2>(kTraits) {}
