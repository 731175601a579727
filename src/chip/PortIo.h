// Byte access to x86 I/O ports through "/dev/port", whose byte at offset P is port P (or through
// the backend a test installed, see PortBackend.h).
#pragma once

#include <cstdint>
#include <memory>

// What the Super I/O access layer reports when no chip answers where it looked (or the chip has
// no usable base); 0 is success.
constexpr int SIO_NO_DEVICE = 19;

class PortChannel;

class PortIo
{
public:
    PortIo();
    ~PortIo();
    PortIo(const PortIo&) = delete;
    PortIo& operator=(const PortIo&) = delete;

    // Opens "/dev/port" for reading and writing; false (and nothing open) when it cannot be.
    bool initialise();
    // Writes one byte to the port; false when the device is not open or the byte was not written.
    bool outb(uint16_t port, uint8_t value);
    // Reads one byte from the port; 0 when the device is not open or nothing was read.
    uint8_t inb(uint16_t port);

private:
    std::unique_ptr<PortChannel> m_channel;
};
