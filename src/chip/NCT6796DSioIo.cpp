#include "NCT6796DSioIo.h"

namespace
{
// Banks 0 to 10 are dumped.
constexpr NuvotonSioTraits kTraits = {"NCT6796DSioIo",
                                      "NCT6796D",
                                      /*lastDumpedBank=*/10,
                                      /*leaveWithKey=*/true,
                                      /*probeLinesEndInNewline=*/false,
                                      /*compactRegBase=*/false};
}  // namespace

NCT6796DSioIo::NCT6796DSioIo() : CNuvotonSioIo(kTraits) {}
