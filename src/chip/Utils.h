// Small conversions to text and a byte checksum; exported for the library's users.
#pragma once

#include <cstdint>
#include <string>

namespace Utils
{
// The first count bytes at p as text, cut at the first NUL among them.
std::string MakeString(const uint8_t* p, int count);

// The value in decimal, or in lower-case hexadecimal without prefix ("%02x", "%04x", "%08x").
// The 32-bit form prints its decimal as a signed number, so 0xFFFFFFFF reads "-1".
std::string MakeString(uint8_t value, bool hex);
std::string MakeString(uint16_t value, bool hex);
std::string MakeString(uint32_t value, bool hex);

// True when the count bytes at p add up to 0 modulo 256 (and for a count of 0).
bool checksum(const uint8_t* p, uint32_t count);
}  // namespace Utils
