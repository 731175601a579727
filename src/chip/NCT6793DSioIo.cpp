#include "NCT6793DSioIo.h"

namespace
{
// Banks 0 to 10 are dumped.
constexpr NuvotonSioTraits kTraits = {"NCT6793DSioIo",
                                      "NCT6793D",
                                      /*lastDumpedBank=*/10,
                                      /*leaveWithKey=*/true,
                                      /*probeLinesEndInNewline=*/false,
                                      /*compactRegBase=*/false};
}  // namespace

NCT6793DSioIo::NCT6793DSioIo() : CNuvotonSioIo(kTraits) {}
