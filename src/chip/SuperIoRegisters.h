// The configuration protocol of the Nuvoton/Winbond Super I/O chips: the keys that open and close
// configuration mode at the configuration port, its registers, and where the hardware monitor
// sits behind them. Shared by the driver that speaks it and the capture that reads it back out of
// a trace of the driver's accesses.
#pragma once

#include <cstdint>

namespace SuperIo
{
constexpr uint8_t kEnterKey = 0x87;  // written twice
constexpr uint8_t kLeaveKey = 0xAA;
constexpr uint8_t kConfigControl = 0x02;
constexpr uint8_t kReturnToWaitForKey = 0x02;  // the bit of kConfigControl that leaves
constexpr uint8_t kLogicalDeviceSelect = 0x07;
constexpr uint8_t kDeviceIdHigh = 0x20;
constexpr uint8_t kDeviceIdLow = 0x21;
constexpr uint8_t kActivate = 0x30;
constexpr uint8_t kBaseHigh = 0x60;
constexpr uint8_t kBaseLow = 0x61;
constexpr uint8_t kHardwareMonitorDevice = 0x0B;
// The hardware monitor's index and data ports, from its base address.
constexpr uint16_t kIndexPortOffset = 5;
constexpr uint16_t kDataPortOffset = 6;
// The monitor register that selects the bank of the others.
constexpr uint8_t kBankSelect = 0x4E;
}  // namespace SuperIo
