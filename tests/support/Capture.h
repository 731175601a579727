// Captures what a piece of code writes to a file descriptor (the library's fixed debug lines go
// to standard output with printf, so the stdio buffer is flushed around the capture).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace QelTest
{
class FdCapture
{
public:
    explicit FdCapture(int fd);
    ~FdCapture();
    FdCapture(const FdCapture&) = delete;
    FdCapture& operator=(const FdCapture&) = delete;

    // Restores the descriptor and returns what was written to it.
    std::string Finish();

private:
    int m_fd;
    int m_saved = -1;
    int m_file = -1;
};

std::string CaptureStdout(const std::function<void()>& run);

std::vector<std::string> SplitLines(const std::string& text);

// The lines the library writes to standard output, without the logger's own ("Logger created",
// "link count=...").
std::vector<std::string> LibraryDebugLines(const std::string& text);
}  // namespace QelTest
