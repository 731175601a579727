#include "IT5571_v2SioIo.h"

namespace
{
// Its firmware needs 1 ms before every port access.
constexpr IteSioTraits kTraits = {"IT5571_SioIo_v2", /*settleBeforeAccess=*/true};
}  // namespace

IT5571_SioIo_v2::IT5571_SioIo_v2() : CIteSioIo(kTraits) {}
