#include "FromDump.h"

#include "CaptureFile.h"
#include "SysRoot.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <unistd.h>

namespace QelTool
{
namespace
{
int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return remove(path);
}

std::string TemporaryDirectory()
{
    const char* dir = getenv("TMPDIR");
    return dir != nullptr && dir[0] == '/' ? dir : "/tmp";
}
}  // namespace

DumpRoot::~DumpRoot()
{
    if (m_root.empty())
        return;
    nftw(m_root.c_str(), RemoveEntry, 8, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
    SetLibraryLogHint("");
    if (m_previous)
        setenv(QelSys::kSysRootVariable, m_previous->c_str(), 1);
    else
        unsetenv(QelSys::kSysRootVariable);
}

std::optional<Failure> DumpRoot::Open(const std::string& file)
{
    QelCapture::Capture capture;
    try
    {
        const std::vector<uint8_t> bytes = QelCapture::ReadFileBytes(file, QelCapture::kMaxCaptureSize);
        capture = QelCapture::ReadSmbiosSource(bytes.data(), bytes.size());
    }
    catch (const QelCapture::CaptureError& e)
    {
        return Failure{file + ": " + e.what(), std::nullopt};
    }
    std::string pattern = TemporaryDirectory() + "/qelsensors-dump.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        return Failure{"cannot create a directory for the dump in " + TemporaryDirectory() + ": " +
                           strerror(errno),
                       std::nullopt};
    m_root = pattern;
    try
    {
        QelCapture::WriteMemory(capture, m_root);
    }
    catch (const QelCapture::CaptureError& e)
    {
        return Failure{file + ": " + e.what(), std::nullopt};
    }
    m_file = file;
    m_eventLogAddress = capture.eventLogAddress;
    m_eventLogArea = capture.eventLogArea;
    if (const char* previous = getenv(QelSys::kSysRootVariable))
        m_previous = previous;
    setenv(QelSys::kSysRootVariable, m_root.c_str(), 1);
    // The root, and the library log in it, go when the command ends.
    SetLibraryLogHint("  " + file +
                      " was decoded in a temporary system root, removed again; --verbose shows the "
                      "library's debug lines");
    return std::nullopt;
}

std::optional<int> OpenFromDumpOption(Context& context, const char* command,
                                      const std::vector<std::string>& args, DumpRoot& root)
{
    std::vector<std::string> rest = args;
    std::optional<std::string> file;
    std::string error;
    const auto option = std::find(rest.begin(), rest.end(), "--from-dump");
    if (option != rest.end() && option + 1 == rest.end())
        error = "--from-dump needs a FILE (a capture or a dmidecode --dump-bin file)";
    else if (option != rest.end())
    {
        file = *(option + 1);
        rest.erase(option, option + 2);
    }
    if (error.empty() && !rest.empty())
        error = "unexpected argument '" + rest.front() + "'";
    if (!error.empty())
    {
        fprintf(stderr,
                "qelsensors %s: %s\nusage: qelsensors %s [--from-dump FILE] [--json] [--sysroot DIR] "
                "[--verbose]\n",
                command, error.c_str(), command);
        return kExitUsage;
    }
    if (file)
        if (std::optional<Failure> failure = root.Open(*file))
            return Report(context, command, *failure);
    return std::nullopt;
}
}  // namespace QelTool
