#include "NCT6776SioIo.h"

namespace
{
// Banks 0 to 10 are dumped.
constexpr NuvotonSioTraits kTraits = {"NCT6776SioIo",
                                      "NCT6776",
                                      /*lastDumpedBank=*/10,
                                      /*leaveWithKey=*/true,
                                      /*probeLinesEndInNewline=*/false,
                                      /*compactRegBase=*/false};
}  // namespace

NCT6776SioIo::NCT6776SioIo() : CNuvotonSioIo(kTraits) {}
