#include "FromDump.h"

#include "CaptureFile.h"
#include "SysRoot.h"

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

std::optional<std::string> TakeFromDump(std::vector<std::string>& args, std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i)
    {
        if (args[i] != "--from-dump")
            continue;
        if (i + 1 >= args.size())
        {
            error = "--from-dump needs a FILE (a capture or a dmidecode --dump-bin file)";
            return std::nullopt;
        }
        std::string file = args[i + 1];
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        return file;
    }
    return std::nullopt;
}
}  // namespace QelTool
