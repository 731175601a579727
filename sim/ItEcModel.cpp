#include "ItEcModel.h"

#include <cstdio>
#include <stdexcept>

namespace QelSim
{
ItEcModel::ItEcModel(std::string name, uint16_t indexPort) : m_name(std::move(name)), m_indexPort(indexPort)
{
    if (indexPort == 0xFFFF)
        throw std::invalid_argument("the index port needs a data port after it");
}

bool ItEcModel::Decodes(uint16_t port) const
{
    return port == m_indexPort || port == m_indexPort + 1;
}

void ItEcModel::UseIndex(Accessor who)
{
    if (m_indexOwner.Foreign(who))
        NoteBrokenSequence();
}

uint8_t ItEcModel::Read(uint16_t port, Accessor who)
{
    if (port == m_indexPort)
        return m_index;
    UseIndex(who);
    return m_registers[m_index];
}

void ItEcModel::Write(uint16_t port, uint8_t value, Accessor who)
{
    if (port == m_indexPort)
    {
        m_index = value;
        m_indexOwner.Select(who);
        return;
    }
    UseIndex(who);
    m_registers[m_index] = value;
}

std::vector<uint8_t> ItEcModel::Contents() const
{
    return std::vector<uint8_t>(m_registers.begin(), m_registers.end());
}

std::string ItEcModel::Name() const
{
    char text[64];
    snprintf(text, sizeof(text), "%s at 0x%04X", m_name.c_str(), m_indexPort);
    return text;
}
}  // namespace QelSim
