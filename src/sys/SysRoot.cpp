#include "SysRoot.h"

#include <cstdlib>

namespace QelSys
{
const char* const kSysRootVariable = "QEL_SYSROOT";

std::string SysRoot()
{
    const char* root = secure_getenv(kSysRootVariable);
    if (root == nullptr)
        return std::string();
    std::string result(root);
    // "/" and "dir/" name the same roots as "" and "dir".
    while (!result.empty() && result.back() == '/')
        result.pop_back();
    return result;
}

std::string SysPath(const char* absolutePath)
{
    std::string path = SysRoot();
    path += absolutePath != nullptr ? absolutePath : "";
    return path;
}
}  // namespace QelSys
