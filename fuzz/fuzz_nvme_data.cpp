// Any bytes as the answers of an NVMe controller: the Identify Controller data, the two Get
// Features temperature-threshold results and the SMART / Health log page. Each buffer is a heap
// block of exactly the size the command transfers (zero-filled past the input, as the buffers
// are before the ioctl), so AddressSanitizer reports a byte read past it; broken invariants
// abort.
//
// Input: the identify data (4096 bytes), the under and the over result (4 bytes each, little
// endian), the log page (512 bytes); a shorter input leaves the rest zero.
#include "FuzzSupport.h"
#include "IdentifyData.h"
#include "NvmeIoctl.h"
#include "NvmeSsd.h"
#include "SmartIo.h"
#include "SsdDevice.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace
{
using QelFuzz::Check;

// The next length bytes of the input in a block of exactly that size.
std::unique_ptr<uint8_t[]> Take(const uint8_t*& data, size_t& size, size_t length)
{
    std::unique_ptr<uint8_t[]> block(new uint8_t[length]());
    const size_t n = std::min(size, length);
    if (n > 0)
        memcpy(block.get(), data, n);
    data += n;
    size -= n;
    return block;
}

uint32_t Word32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QelFuzz::UseEmptySysRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto controller = Take(data, size, NvmeAdmin::kIdentifySize);
    const auto under = Take(data, size, 4);
    const auto over = Take(data, size, 4);
    const auto log = Take(data, size, NvmeAdmin::kSmartLogSize);

    IdentifyData identify;
    SmartIo::takeControllerIdentity(controller.get(), identify);
    // Fixed widths whatever the bytes, zero bytes and blanks kept.
    Check(identify.m_serial.size() == NvmeAdmin::kSerialLength &&
          identify.m_model.size() == NvmeAdmin::kModelLength &&
          identify.m_fwRev.size() == NvmeAdmin::kFirmwareLength);
    Check(memcmp(identify.m_model.data(), controller.get() + NvmeAdmin::kModelOffset,
                 NvmeAdmin::kModelLength) == 0);
    Check(SmartIo::namespaceCount(controller.get()) ==
          Word32(controller.get() + NvmeAdmin::kNamespaceCountOffset));

    // A threshold is the low 16 bits of the result in Kelvin: -273 to 65262 degrees Celsius.
    identify.m_underTempThreshold = SmartIo::thresholdCelsius(Word32(under.get()));
    identify.m_overTempThreshold = SmartIo::thresholdCelsius(Word32(over.get()));
    for (int celsius : {identify.m_underTempThreshold, identify.m_overTempThreshold})
        Check(celsius >= -NvmeAdmin::kKelvinAtZeroCelsius &&
              celsius <= 0xFFFF - NvmeAdmin::kKelvinAtZeroCelsius);

    const uint16_t temperature = NvmeSsd::compositeTemperature(log.get());
    const int kelvin = log[1] | log[2] << 8;
    Check(temperature == static_cast<uint16_t>(kelvin - NvmeAdmin::kKelvinAtZeroCelsius));

    SsdDevice device;
    Check(device.initialise(identify, "nvme0", "/dev/nvme0"));
    Check(device.m_serial == identify.m_serial && device.m_overTempThreshold == identify.m_overTempThreshold);
    return 0;
}
