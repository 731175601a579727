// Byte access to x86 I/O ports through "/dev/port", whose byte at offset P is port P.
#pragma once

#include <cstdint>

// What the Super I/O access layer reports when no chip answers where it looked (or the chip has
// no usable base); 0 is success.
constexpr int SIO_NO_DEVICE = 19;

class PortIo
{
public:
    PortIo() = default;
    virtual ~PortIo();
    PortIo(const PortIo&) = delete;
    PortIo& operator=(const PortIo&) = delete;

    // Opens "/dev/port" for reading and writing; false (and nothing open) when it cannot be.
    bool initialise();
    // Writes one byte to the port; false when the device is not open or the byte was not written.
    bool outb(uint16_t port, uint8_t value);
    // Reads one byte from the port; 0 when the device is not open or nothing was read.
    uint8_t inb(uint16_t port);

    bool isOpen() const { return m_bOpen; }

private:
    bool m_bOpen = false;
    int m_fd = -1;
};
