#include "NCT6106SioIo.h"

namespace
{
// Banks 0 to 3 are dumped. It leaves configuration mode with the configuration-control write
// alone (no 0xAA key), and its probe messages end in a line feed.
constexpr NuvotonSioTraits kTraits = {"Nct6106SioIo",
                                      "NCT6106",
                                      /*lastDumpedBank=*/3,
                                      /*leaveWithKey=*/false,
                                      /*probeLinesEndInNewline=*/true,
                                      /*compactRegBase=*/true};
}  // namespace

Nct6106SioIo::Nct6106SioIo() : CNuvotonSioIo(kTraits) {}
