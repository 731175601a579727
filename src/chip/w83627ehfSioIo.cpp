#include "w83627ehfSioIo.h"

namespace
{
// Banks 0 to 3 are dumped.
constexpr NuvotonSioTraits kTraits = {"w83627ehfSioIo",
                                      "w83627ehf",
                                      /*lastDumpedBank=*/3,
                                      /*leaveWithKey=*/true,
                                      /*probeLinesEndInNewline=*/false,
                                      /*compactRegBase=*/true};
}  // namespace

w83627ehfSioIo::w83627ehfSioIo() : CNuvotonSioIo(kTraits) {}
