// Resolution of the fixed system paths ("/dev/mem", "/sys/firmware/efi", "/etc/tarn/log.conf", ...).
//
// Every fixed path goes through SysPath. On a real machine the result is the path itself; tests,
// the simulator and a user replaying a captured machine point QEL_SYSROOT at a directory that
// looks like a machine, and every path is taken from below it.
#pragma once

#include <string>

namespace QelSys
{
// The name of the environment variable; only this module reads it.
extern const char* const kSysRootVariable;

// The system root in effect now ("" for the real root). Read on every call, with secure_getenv,
// so it is ignored in set-uid processes.
std::string SysRoot();

// An absolute fixed path, prefixed with the system root.
std::string SysPath(const char* absolutePath);
inline std::string SysPath(const std::string& absolutePath)
{
    return SysPath(absolutePath.c_str());
}
}  // namespace QelSys
