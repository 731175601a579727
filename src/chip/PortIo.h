// Byte access to x86 I/O ports through "/dev/port", whose byte at offset P is port P (or through
// the backend a test installed, see PortBackend.h).
#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// What the Super I/O access layer reports when no chip answers where it looked (or the chip has
// no usable base); 0 is success.
constexpr int SIO_NO_DEVICE = 19;

class PortChannel;
struct PortClaim;

// The kernel driver that holds any of the ports first..last, if one does; logged in the name of
// the access class that asked (a chip whose ports a kernel driver uses is not touched: its
// accesses and ours would select registers under each other).
std::optional<PortClaim> KernelClaimOf(const char* accessName, uint32_t first, uint32_t last);

class PortIo
{
public:
    PortIo();
    ~PortIo();
    PortIo(const PortIo&) = delete;
    PortIo& operator=(const PortIo&) = delete;

    // Opens "/dev/port" for reading and writing; false (and nothing open) when it cannot be.
    bool initialise();
    // The kernel refused the port device itself (EPERM, EACCES: lockdown, or not root), as
    // opposed to there being none.
    bool refused() const { return m_openError == EPERM || m_openError == EACCES; }
    // Writes one byte to the port; false when the device is not open or the byte was not written.
    bool outb(uint16_t port, uint8_t value);
    // Reads one byte from the port; 0 when the device is not open or nothing was read.
    uint8_t inb(uint16_t port);

    // Whether an access failed since the last clearFailure, and why, so a caller can tell a 0 that
    // was read from one that was not.
    void clearFailure() { m_error = 0; }
    bool failed() const { return m_error != 0; }
    // Whether that was for want of the turn at the ports (see Sequence).
    bool failedForTurn() const { return m_error != 0 && m_errorIsTurn; }
    // "the port device is not open", the system's word for the error, or how long the sequence
    // waited for its turn.
    std::string failure() const;

    // One access sequence that must not interleave with another process's (see PortTurn.h): the
    // machine-wide turn at the ports is held from construction to destruction. Nested sequences
    // on one PortIo share the outermost one's turn. When the turn cannot be had, every access of
    // the sequence fails without reaching a port, and failure() says why.
    class Sequence
    {
    public:
        explicit Sequence(PortIo& port) : m_port(port) { m_port.beginSequence(); }
        ~Sequence() { m_port.endSequence(); }
        Sequence(const Sequence&) = delete;
        Sequence& operator=(const Sequence&) = delete;

    private:
        PortIo& m_port;
    };

private:
    void beginSequence();
    void endSequence();
    void Fail(int error, bool turn);

    std::unique_ptr<PortChannel> m_channel;
    int m_error = 0;  // errno of the first failed access since clearFailure
    bool m_errorIsTurn = false;
    unsigned m_depth = 0;        // open sequences
    int m_openError = 0;         // errno of a failed initialise
    int m_turnError = 0;         // why the open sequence has no turn; 0 while it has it
    unsigned m_turnWaitMs = 0;   // how long it waited for it
    bool m_turnStalled = false;  // the last sequence waited in vain
};
