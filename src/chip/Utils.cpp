#include "Utils.h"

#include <cstdio>
#include <cstring>

namespace Utils
{
namespace
{
// The numeric forms format into a buffer of 16 characters.
template <typename T>
std::string Format(const char* format, T value)
{
    char buffer[16];
    snprintf(buffer, sizeof(buffer), format, value);
    return buffer;
}
}  // namespace

std::string MakeString(const uint8_t* p, int count)
{
    if (p == nullptr || count <= 0)
        return std::string();
    const void* nul = memchr(p, 0, static_cast<size_t>(count));
    size_t length = nul != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - p)
                                   : static_cast<size_t>(count);
    return std::string(reinterpret_cast<const char*>(p), length);
}

std::string MakeString(uint8_t value, bool hex)
{
    return hex ? Format("%02x", static_cast<unsigned>(value)) : Format("%d", static_cast<int>(value));
}

std::string MakeString(uint16_t value, bool hex)
{
    return hex ? Format("%04x", static_cast<unsigned>(value)) : Format("%d", static_cast<int>(value));
}

std::string MakeString(uint32_t value, bool hex)
{
    return hex ? Format("%08x", static_cast<unsigned>(value)) : Format("%d", static_cast<int>(value));
}

bool checksum(const uint8_t* p, uint32_t count)
{
    uint8_t sum = 0;
    for (uint32_t i = 0; i < count; ++i)
        sum = static_cast<uint8_t>(sum + p[i]);
    return sum == 0;
}
}  // namespace Utils
