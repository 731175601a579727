// Byte access to x86 I/O ports through "/dev/port", whose byte at offset P is port P (or through
// the backend a test installed, see PortBackend.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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

    // Whether an access failed since the last clearFailure, and why, so a caller can tell a 0 that
    // was read from one that was not.
    void clearFailure() { m_error = 0; }
    bool failed() const { return m_error != 0; }
    // "the port device is not open", or the system's word for the error.
    std::string failure() const;

private:
    void Fail();

    std::unique_ptr<PortChannel> m_channel;
    int m_error = 0;  // errno of the first failed access since clearFailure
};
