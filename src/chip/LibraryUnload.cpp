// libqelchip is unloaded with the provider that loaded it. Each unload releases this library's
// logger, closing its log file, so that no descriptor or handler is left behind per cycle.
// Priority 101 puts it after the library's other termination functions, which may still log.
#include "log.h"

namespace
{
__attribute__((destructor(101))) void ReleaseLoggerOnUnload()
{
    ReleaseLogger();
}
}  // namespace
