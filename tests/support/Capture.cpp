#include "Capture.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace QelTest
{
FdCapture::FdCapture(int fd) : m_fd(fd)
{
    fflush(nullptr);
    char name[] = "/tmp/qel-capture-XXXXXX";
    m_file = mkstemp(name);
    if (m_file < 0)
        throw std::runtime_error("mkstemp failed");
    unlink(name);
    m_saved = dup(fd);
    dup2(m_file, fd);
}

FdCapture::~FdCapture()
{
    Finish();
}

std::string FdCapture::Finish()
{
    if (m_saved < 0)
        return std::string();
    fflush(nullptr);
    dup2(m_saved, m_fd);
    close(m_saved);
    m_saved = -1;

    std::string text;
    char buffer[4096];
    ssize_t n;
    off_t at = 0;
    while ((n = pread(m_file, buffer, sizeof(buffer), at)) > 0)
    {
        text.append(buffer, static_cast<size_t>(n));
        at += n;
    }
    close(m_file);
    m_file = -1;
    return text;
}

std::string CaptureStdout(const std::function<void()>& run)
{
    FdCapture capture(STDOUT_FILENO);
    run();
    return capture.Finish();
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> LibraryDebugLines(const std::string& text)
{
    std::vector<std::string> lines;
    for (const std::string& line : SplitLines(text))
        if (line != "Logger created" && line.rfind("link count=", 0) != 0)
            lines.push_back(line);
    return lines;
}
}  // namespace QelTest
