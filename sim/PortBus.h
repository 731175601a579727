// The x86 I/O port space of a simulated machine.
//
// Devices decode the ports they answer on, the way chips on an LPC bus do: the bus asks each
// attached device in turn, and the first that decodes a port gets the access. A read that no
// device decodes floats high (0xFF); a write that nobody decodes is lost. Every access is
// counted and the most recent ones are kept, so tests can assert probe sequences and
// benchmarks can count the accesses a reading costs.
//
// The bus is safe to drive from several threads (the FUSE loop serves it while a test inspects
// it); one access never interleaves with another, as on real hardware.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace QelSim
{
constexpr uint8_t kFloatingBus = 0xFF;
constexpr uint32_t kPortCount = 0x10000;

// Who made an access: the thread the port file system was called from; 0 when not known (a test
// driving the bus directly), which counts as one accessor.
using Accessor = uint32_t;

// A chip has one index register (and one bank select) for everybody, so a register access is a
// sequence: select, then use. The models note who made each selection; a use by another accessor
// than the one that selected is a sequence that someone broke into, and the reader got (or wrote)
// another register than it asked for. Real chips cannot tell; the count is the tests' oracle.
class SelectionOwner
{
public:
    void Select(Accessor who) { m_owner = who; }
    // Whether who relies on a selection that another accessor made.
    bool Foreign(Accessor who) const { return m_owner != who; }

private:
    Accessor m_owner = 0;
};

class PortDevice
{
public:
    virtual ~PortDevice() = default;
    // Whether the device answers on this port now (decoding may follow its configuration).
    virtual bool Decodes(uint16_t port) const = 0;
    virtual uint8_t Read(uint16_t port, Accessor who) = 0;
    virtual void Write(uint16_t port, uint8_t value, Accessor who) = 0;
    // A name for listings ("IT5571 at 0x0A00", ...).
    virtual std::string Name() const = 0;
    // Accesses that used a selection another accessor had made (see SelectionOwner).
    uint64_t BrokenSequences() const { return m_broken; }
    // Every register a write can change, but the selections (indexes, bank, logical device): what
    // must read the same after any number of readers that only read.
    virtual std::vector<uint8_t> Contents() const = 0;

protected:
    void NoteBrokenSequence() { ++m_broken; }

private:
    std::atomic<uint64_t> m_broken{0};
};

struct PortAccess
{
    uint64_t sequence = 0;  // 1 for the first access since the last reset
    uint16_t port = 0;
    uint8_t value = 0;  // written, or returned to the reader
    bool write = false;
    bool decoded = false;  // false: no device answered
};

struct PortCount
{
    uint64_t reads = 0;
    uint64_t writes = 0;
};

struct PortStats
{
    uint64_t reads = 0;
    uint64_t writes = 0;
    uint64_t undecodedReads = 0;
    uint64_t undecodedWrites = 0;
    std::map<uint16_t, PortCount> perPort;  // only ports that were touched
};

class PortBus
{
public:
    static constexpr size_t kDefaultRecordSize = 65536;

    explicit PortBus(size_t recordSize = kDefaultRecordSize);
    PortBus(const PortBus&) = delete;
    PortBus& operator=(const PortBus&) = delete;

    // Devices are asked in the order they were attached.
    void Attach(std::shared_ptr<PortDevice> device);
    std::vector<std::shared_ptr<PortDevice>> Devices() const;
    // Each device's Contents, in the order they were attached, taken between two accesses.
    std::vector<std::vector<uint8_t>> DeviceContents() const;

    uint8_t Read(uint16_t port, Accessor who = 0);
    void Write(uint16_t port, uint8_t value, Accessor who = 0);

    // Accesses to the ports first..last fail (the front ends answer them with EIO), as on a
    // machine whose port device gives up; ClearFailingPorts ends it. Failed accesses reach no
    // device and are not counted.
    void FailPorts(uint16_t first, uint16_t last);
    void ClearFailingPorts();
    bool Fails(uint16_t port) const;

    PortStats Stats() const;
    // The sequence number of the last access (0 before the first); a mark for AccessesSince.
    uint64_t Mark() const;
    // The kept accesses after the mark, oldest first (older ones may have been dropped).
    std::vector<PortAccess> AccessesSince(uint64_t mark) const;
    std::vector<PortAccess> Accesses() const { return AccessesSince(0); }
    // Forgets the counters and the kept accesses; device state stays.
    void ResetStats();

private:
    PortDevice* Decoder(uint16_t port) const;
    void Record(uint16_t port, uint8_t value, bool write, bool decoded);

    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<PortDevice>> m_devices;
    PortStats m_stats;
    uint64_t m_sequence = 0;
    std::vector<PortAccess> m_ring;  // m_ring[sequence % size]
    bool m_failing = false;
    uint16_t m_firstFailing = 0;
    uint16_t m_lastFailing = 0;
};

// "w 0x002e 0x87" / "r 0x002f 0xd4" (with " -" appended when no device answered).
std::string FormatAccess(const PortAccess& access);
// The devices (each with its broken sequences), the totals, then one line per port touched: what
// `qelsim stats` shows.
std::string FormatStats(const PortBus& bus);
// One line per kept access, each with its sequence number.
std::string FormatAccesses(const std::vector<PortAccess>& accesses);
}  // namespace QelSim
