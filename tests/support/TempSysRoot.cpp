#include "TempSysRoot.h"

#include "MachineImage.h"
#include "SysRoot.h"
#include "log.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace QelTest
{
namespace
{
int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return remove(path);
}

void MakeDir(const std::string& path)
{
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        throw std::runtime_error("cannot create " + path);
}
}  // namespace

bool RemoveTree(const std::string& path)
{
    return nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

std::string ReadTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TempSysRoot::TempSysRoot(int logLevel)
{
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/qel-root-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr)
        throw std::runtime_error("mkdtemp failed for " + pattern);
    m_path = pattern;

    if (const char* previous = getenv(QelSys::kSysRootVariable))
    {
        m_hadPreviousRoot = true;
        m_previousRoot = previous;
    }
    setenv(QelSys::kSysRootVariable, m_path.c_str(), 1);

    MakeDir(m_path + "/etc");
    MakeDir(m_path + "/etc/tarn");
    MakeDir(m_path + "/var");
    MakeDir(m_path + "/var/log");
    MakeDir(m_path + "/var/log/tarn");
    WriteFile("/etc/tarn/log.conf", "Level=" + std::to_string(logLevel) + "\n");
    // The logger reads its configuration once; start from one that sees this root.
    ReleaseLogger();
}

TempSysRoot::~TempSysRoot()
{
    ReleaseLogger();
    if (m_hadPreviousRoot)
        setenv(QelSys::kSysRootVariable, m_previousRoot.c_str(), 1);
    else
        unsetenv(QelSys::kSysRootVariable);
    RemoveTree(m_path);
}

void TempSysRoot::Install(const QelImage::MachineImage& image) const
{
    image.Write(m_path);
}

void TempSysRoot::WriteFile(const std::string& relative, const std::string& content) const
{
    std::ofstream out(m_path + relative, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + m_path + relative);
}

void TempSysRoot::Remove(const std::string& relative) const
{
    RemoveTree(m_path + relative);
}

std::vector<std::string> TempSysRoot::LogMessages() const
{
    // A line is: time TAB process/thread TAB level TAB message.
    std::vector<std::string> messages;
    std::istringstream lines(ReadTextFile(m_path + "/var/log/tarn/tarn.log"));
    std::string line;
    while (std::getline(lines, line))
    {
        size_t pos = 0;
        for (int tabs = 0; pos < line.size() && tabs < 3; ++pos)
            tabs += line[pos] == '\t';
        messages.push_back(line.substr(pos));
    }
    return messages;
}
}  // namespace QelTest
