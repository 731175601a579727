// `--from-dump FILE`: a capture or a `dmidecode --dump-bin` file, decoded by the unchanged library.
// Its memory image is written to a private system root of its own (a sparse dev/mem, the UEFI
// system table where the capture has one) that QEL_SYSROOT names while the command runs; the root
// goes again when the command is done. No root privilege and no till are needed.
#pragma once

#include "Support.h"

#include <optional>
#include <string>
#include <vector>

namespace QelTool
{
class DumpRoot
{
public:
    DumpRoot() = default;
    ~DumpRoot();
    DumpRoot(const DumpRoot&) = delete;
    DumpRoot& operator=(const DumpRoot&) = delete;

    // Reads FILE and serves its memory image; the failure names the file and what is wrong with it.
    std::optional<Failure> Open(const std::string& file);
    // The event-log area the capture holds (a dmidecode dump has none), and where it was.
    const std::optional<uint32_t>& EventLogAddress() const { return m_eventLogAddress; }
    const std::vector<uint8_t>& EventLogArea() const { return m_eventLogArea; }

private:
    std::string m_root;
    std::optional<std::string> m_previous;  // QEL_SYSROOT before
    std::optional<uint32_t> m_eventLogAddress;
    std::vector<uint8_t> m_eventLogArea;
};

// Takes "--from-dump FILE" out of args; error is set for the option without its FILE.
std::optional<std::string> TakeFromDump(std::vector<std::string>& args, std::string& error);
}  // namespace QelTool
