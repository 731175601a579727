// The chips' registers, recovered from the port accesses the drivers made while they started and
// took their readings. A capture makes no access of its own: it listens to those, follows the
// chips' protocols (Super I/O keys, logical-device select, hardware-monitor index/data and bank
// select; the EC's index/data pair) and keeps the first value each register answered with.
#pragma once

#include "CaptureFile.h"

#include <cstdint>
#include <vector>

namespace QelCapture
{
struct TracedAccess
{
    uint16_t port = 0;
    uint8_t value = 0;  // written, or read
    bool write = false;
    bool done = false;  // false: the access failed and moved no byte
};

// What the library's start-up knows of an ITE EC: its index port and Type 34 description.
struct EcHint
{
    uint16_t indexPort = 0;
    std::string description;
};

// Super I/O chips are those that answered the key on 0x2E or 0x4E with a device ID other than a
// floating bus; ECs those the hints name. superIoDescriptions: Type 34 descriptions by hardware
// monitor base, for the chip files.
std::vector<CapturedChip> ChipsFromTrace(const std::vector<TracedAccess>& accesses,
                                         const std::vector<EcHint>& ecs,
                                         const std::map<uint16_t, std::string>& superIoDescriptions);
}  // namespace QelCapture
