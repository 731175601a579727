// Numbers stored least significant byte first, as SMBIOS, the event log and NVMe data hold them.
// Header-only, so that the simulator, the capture and the tests use the same few lines as the
// library without linking it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace LittleEndian
{
// The count bytes at p (8 at most) as one number.
inline uint64_t Read(const uint8_t* p, size_t count)
{
    uint64_t value = 0;
    for (size_t i = count; i > 0; --i)
        value = value << 8 | p[i - 1];
    return value;
}

inline uint16_t Read16(const uint8_t* p)
{
    return static_cast<uint16_t>(Read(p, 2));
}

inline uint32_t Read32(const uint8_t* p)
{
    return static_cast<uint32_t>(Read(p, 4));
}

// The low count bytes of value into p.
inline void Write(uint8_t* p, uint64_t value, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The low count bytes of value after the end of out.
inline void Append(std::vector<uint8_t>& out, uint64_t value, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
}  // namespace LittleEndian
