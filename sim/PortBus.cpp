#include "PortBus.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace QelSim
{
PortBus::PortBus(size_t recordSize) : m_ring(recordSize)
{
    if (recordSize == 0)
        throw std::invalid_argument("PortBus: the record must keep at least one access");
}

void PortBus::Attach(std::shared_ptr<PortDevice> device)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devices.push_back(std::move(device));
}

std::vector<std::shared_ptr<PortDevice>> PortBus::Devices() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_devices;
}

std::vector<std::vector<uint8_t>> PortBus::DeviceContents() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::vector<uint8_t>> contents;
    for (const auto& device : m_devices)
        contents.push_back(device->Contents());
    return contents;
}

PortDevice* PortBus::Decoder(uint16_t port) const
{
    for (const auto& device : m_devices)
        if (device->Decodes(port))
            return device.get();
    return nullptr;
}

void PortBus::Record(uint16_t port, uint8_t value, bool write, bool decoded)
{
    ++m_sequence;
    PortAccess& slot = m_ring[m_sequence % m_ring.size()];
    slot.sequence = m_sequence;
    slot.port = port;
    slot.value = value;
    slot.write = write;
    slot.decoded = decoded;

    PortCount& count = m_stats.perPort[port];
    if (write)
    {
        ++m_stats.writes;
        ++count.writes;
        m_stats.undecodedWrites += decoded ? 0 : 1;
    }
    else
    {
        ++m_stats.reads;
        ++count.reads;
        m_stats.undecodedReads += decoded ? 0 : 1;
    }
}

uint8_t PortBus::Read(uint16_t port, Accessor who)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    PortDevice* device = Decoder(port);
    const uint8_t value = device != nullptr ? device->Read(port, who) : kFloatingBus;
    Record(port, value, false, device != nullptr);
    return value;
}

void PortBus::Write(uint16_t port, uint8_t value, Accessor who)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    PortDevice* device = Decoder(port);
    if (device != nullptr)
        device->Write(port, value, who);
    Record(port, value, true, device != nullptr);
}

void PortBus::FailPorts(uint16_t first, uint16_t last)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failing = true;
    m_firstFailing = first;
    m_lastFailing = last;
}

void PortBus::ClearFailingPorts()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failing = false;
}

bool PortBus::Fails(uint16_t port) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failing && port >= m_firstFailing && port <= m_lastFailing;
}

PortStats PortBus::Stats() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stats;
}

uint64_t PortBus::Mark() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sequence;
}

std::vector<PortAccess> PortBus::AccessesSince(uint64_t mark) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const uint64_t oldestKept = m_sequence >= m_ring.size() ? m_sequence - m_ring.size() + 1 : 1;
    std::vector<PortAccess> accesses;
    for (uint64_t s = std::max(mark + 1, oldestKept); s <= m_sequence; ++s)
        accesses.push_back(m_ring[s % m_ring.size()]);
    return accesses;
}

void PortBus::ResetStats()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stats = PortStats();
    m_sequence = 0;
    std::fill(m_ring.begin(), m_ring.end(), PortAccess());
}

std::string FormatAccess(const PortAccess& access)
{
    char text[32];
    snprintf(text, sizeof(text), "%c 0x%04x 0x%02x%s", access.write ? 'w' : 'r', access.port, access.value,
             access.decoded ? "" : " -");
    return text;
}

std::string FormatStats(const PortBus& bus)
{
    const PortStats stats = bus.Stats();
    std::string text = "devices\n";
    char line[96];
    for (const auto& device : bus.Devices())
    {
        snprintf(line, sizeof(line), "    broken sequences %llu\n",
                 static_cast<unsigned long long>(device->BrokenSequences()));
        text += "  " + device->Name() + "\n" + line;
    }
    snprintf(line, sizeof(line), "reads     %llu (%llu undecoded)\nwrites    %llu (%llu undecoded)\n",
             static_cast<unsigned long long>(stats.reads),
             static_cast<unsigned long long>(stats.undecodedReads),
             static_cast<unsigned long long>(stats.writes),
             static_cast<unsigned long long>(stats.undecodedWrites));
    text += line;
    text += "port      reads     writes\n";
    for (const auto& entry : stats.perPort)
    {
        snprintf(line, sizeof(line), "0x%04x %8llu %10llu\n", entry.first,
                 static_cast<unsigned long long>(entry.second.reads),
                 static_cast<unsigned long long>(entry.second.writes));
        text += line;
    }
    return text;
}

std::string FormatAccesses(const std::vector<PortAccess>& accesses)
{
    std::string text;
    char line[64];
    for (const PortAccess& access : accesses)
    {
        snprintf(line, sizeof(line), "%llu %s\n", static_cast<unsigned long long>(access.sequence),
                 FormatAccess(access).c_str());
        text += line;
    }
    return text;
}
}  // namespace QelSim
