// Where PortIo's accesses go: "/dev/port" unless a test has put another port space behind it (the
// simulator's port bus, in-process). Internal to libqelchip: the version script keeps all of it out
// of the shared library's symbol table, so only code linked with the library's objects can install
// a backend, and a till always talks to "/dev/port".
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// The open port space of one PortIo.
class PortChannel
{
public:
    virtual ~PortChannel() = default;
    // Each moves one byte; false when it was not transferred.
    virtual bool Read(uint16_t port, uint8_t& value) = 0;
    virtual bool Write(uint16_t port, uint8_t value) = 0;

    // The machine-wide turn at the ports for one access sequence (see PortTurn.h): 0 once it is
    // this channel's, otherwise the error (ETIMEDOUT: not within boundMs). A port space that no
    // other process reaches has nobody to take turns with.
    virtual int TakeTurn(unsigned /*boundMs*/) { return 0; }
    virtual void GiveTurn() {}
};

// A range of ports that a kernel driver has requested for itself.
struct PortClaim
{
    std::string driver;  // as the kernel names the range ("nct6775")
    uint16_t first = 0;
    uint16_t last = 0;
};

class PortBackend
{
public:
    virtual ~PortBackend() = default;
    // A channel for one PortIo; null when the ports cannot be reached.
    virtual std::unique_ptr<PortChannel> Open() = 0;
    // The kernel driver holding any of the ports first..last, if one does.
    virtual std::optional<PortClaim> KernelClaim(uint16_t /*first*/, uint16_t /*last*/)
    {
        return std::nullopt;
    }
};

// The backend PortIo::initialise opens through now.
PortBackend& CurrentPortBackend();
// Puts backend behind every later PortIo::initialise (null: "/dev/port" again) and returns what was
// installed before (null for "/dev/port"). A PortIo keeps the channel it opened until it goes.
PortBackend* InstallPortBackend(PortBackend* backend);
