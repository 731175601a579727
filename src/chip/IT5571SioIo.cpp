#include "IT5571SioIo.h"

namespace
{
constexpr IteSioTraits kTraits = {"IT5571_SioIo", /*settleBeforeAccess=*/false};
}  // namespace

IT5571_SioIo::IT5571_SioIo() : CIteSioIo(kTraits) {}
