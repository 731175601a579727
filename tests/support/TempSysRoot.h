// A throw-away system root: a fresh directory that QEL_SYSROOT points at for the test's life,
// with a log configuration that writes every level to <root>/var/log/tarn/tarn.log.
#pragma once

#include <string>
#include <vector>

namespace QelImage
{
class MachineImage;
}

namespace QelTest
{
class TempSysRoot
{
public:
    // logLevel: the Level= line of etc/tarn/log.conf (4 writes everything).
    explicit TempSysRoot(int logLevel = 4);
    ~TempSysRoot();
    TempSysRoot(const TempSysRoot&) = delete;
    TempSysRoot& operator=(const TempSysRoot&) = delete;

    const std::string& Path() const { return m_path; }
    std::string PathOf(const std::string& relative) const { return m_path + relative; }

    void Install(const QelImage::MachineImage& image) const;
    void WriteFile(const std::string& relative, const std::string& content) const;
    void Remove(const std::string& relative) const;

    // The message part of every line in the log file so far.
    std::vector<std::string> LogMessages() const;

private:
    std::string m_path;
    std::string m_previousRoot;
    bool m_hadPreviousRoot = false;
};

// Removes a directory tree; true when it is gone.
bool RemoveTree(const std::string& path);

// The text of a file ("" when it cannot be read).
std::string ReadTextFile(const std::string& path);
}  // namespace QelTest
