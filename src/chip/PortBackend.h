// Where PortIo's accesses go: "/dev/port" unless a test has put another port space behind it (the
// simulator's port bus, in-process). Internal to libqelchip: the version script keeps all of it out
// of the shared library's symbol table, so only code linked with the library's objects can install
// a backend, and a till always talks to "/dev/port".
#pragma once

#include <cstdint>
#include <memory>

// The open port space of one PortIo.
class PortChannel
{
public:
    virtual ~PortChannel() = default;
    // Each moves one byte; false when it was not transferred.
    virtual bool Read(uint16_t port, uint8_t& value) = 0;
    virtual bool Write(uint16_t port, uint8_t value) = 0;
};

class PortBackend
{
public:
    virtual ~PortBackend() = default;
    // A channel for one PortIo; null when the ports cannot be reached.
    virtual std::unique_ptr<PortChannel> Open() = 0;
};

// The backend PortIo::initialise opens through now.
PortBackend& CurrentPortBackend();
// Puts backend behind every later PortIo::initialise (null: "/dev/port" again) and returns what was
// installed before (null for "/dev/port"). A PortIo keeps the channel it opened until it goes.
PortBackend* InstallPortBackend(PortBackend* backend);
