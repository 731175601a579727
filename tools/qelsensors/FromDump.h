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
    // The file opened; none when the command reads the machine itself.
    const std::optional<std::string>& File() const { return m_file; }
    // The event-log area the capture holds (a dmidecode dump has none), and where it was.
    const std::optional<uint32_t>& EventLogAddress() const { return m_eventLogAddress; }
    const std::vector<uint8_t>& EventLogArea() const { return m_eventLogArea; }

private:
    std::optional<std::string> m_file;
    std::string m_root;
    std::optional<std::string> m_previous;  // QEL_SYSROOT before
    std::optional<uint32_t> m_eventLogAddress;
    std::vector<uint8_t> m_eventLogArea;
};

// The arguments of a command whose one option is "--from-dump FILE" (smbios, sel): FILE, when
// given, is opened into root. Answers the exit status when the command ends here: bad usage (said
// with the command's usage line) or a file that is refused.
std::optional<int> OpenFromDumpOption(Context& context, const char* command,
                                      const std::vector<std::string>& args, DumpRoot& root);
}  // namespace QelTool
