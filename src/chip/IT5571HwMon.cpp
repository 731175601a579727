#include "IT5571HwMon.h"

namespace
{
constexpr IteHwMonTraits kTraits = {"IT5571_HwMon"};
}  // namespace

IT5571_HwMon::IT5571_HwMon() : TIteHwMon<IT5571_SioIo>(kTraits) {}
