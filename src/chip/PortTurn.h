// Taking turns at the I/O ports with every other process on the machine.
//
// A register read is a sequence of port accesses (bank select, bank, index, data) through index
// registers that the chip has once for everybody, so two processes whose sequences interleave
// read, and write, what the other selected. Every sequence therefore runs while its process holds
// the turn: an open-file-description lock on byte 0 of the port device itself. Such a lock follows
// the system root with the device, goes when its holder dies (even by SIGKILL) and leaves no file
// behind.
//
// Fairness: a process that reads a whole chip gives the turn back and asks for it again within a
// microsecond, long before a waiter that the kernel woke gets to run, so a plain lock would make a
// waiter wait for the other's whole pass. Waiters therefore queue: each holds a shared lock on
// byte 1 while it waits, and the fast path takes bytes 0 and 1 together, so nobody walks past a
// queue. Whoever finds a queue joins it and asks only once another process has the turn, so the
// one that just gave it back comes after those that waited.
#pragma once

#include "PortBackend.h"

#include <cstdint>
#include <optional>
#include <string>

namespace PortTurn
{
// How long a sequence waits for the turn before its reading fails. Sequences last microseconds
// (a few milliseconds on the slow controllers); only a holder that hangs makes anyone wait this long.
constexpr unsigned kBoundMs = 2000;
// The bound after a sequence of the same port device waited in vain, until one has its turn again.
constexpr unsigned kStalledBoundMs = 20;

// Takes the turn on the port device fd (open for reading and writing): 0, or the error
// (ETIMEDOUT when boundMs passed).
int Take(int fd, unsigned boundMs);
void Give(int fd);

// The lock calls this process has made, for the benchmarks.
uint64_t SystemCalls();
}  // namespace PortTurn

// The kernel driver that holds any of the ports first..last in a /proc/ioports text: a range named
// after a driver, not a firmware or bus reservation ("pnp 00:07", "PCI Bus 0000:00", ...) that
// only says the ports are taken by the board.
std::optional<PortClaim> FindKernelClaim(const std::string& ioports, uint16_t first, uint16_t last);
