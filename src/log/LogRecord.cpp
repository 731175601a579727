#include "LogRecord.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdio>

namespace
{
// Always five characters so that the message column lines up.
const char* LevelWord(LOG_LEVEL level)
{
    switch (level)
    {
    case LOG_OFF:
        return "Off  ";
    case LOG_ERROR:
        return "Error";
    case LOG_INFO:
        return "Info ";
    case LOG_DEBUG:
        return "Debug";
    case LOG_TRACE:
        return "Trace";
    }
    // Only a caller that casts a number into LOG_LEVEL gets here (5 and above are never written).
    return "?????";
}
}  // namespace

LogRecord::LogRecord(LOG_LEVEL level, const char* message)
    : m_eLevel(level), m_strMessage(message != nullptr ? message : ""), m_tSeconds(0), m_wMilliseconds(0)
{
    // The same wall clock as ftime(), which glibc now marks deprecated.
    timespec now{};
    if (clock_gettime(CLOCK_REALTIME, &now) == 0)
    {
        m_tSeconds = now.tv_sec;
        m_wMilliseconds = static_cast<unsigned short>(now.tv_nsec / 1000000);
    }
    m_dwThreadId = static_cast<uint32_t>(pthread_self());
    m_dwProcessId = static_cast<uint32_t>(getpid());
}

LogRecord::~LogRecord() = default;

void LogRecord::GetLogLine(std::string& line) const
{
    line.clear();
    line.reserve(128);
    GetTimeString(line);
    line += '\t';
    GetPidString(line);
    line += ' ';
    GetTidString(line);
    line += '\t';
    GetLevelString(line);
    line += '\t';
    line += m_strMessage;
    line += '\n';
}

void LogRecord::GetTimeString(std::string& str) const
{
    char buffer[256];
    tm local{};
    localtime_r(&m_tSeconds, &local);
    size_t length = strftime(buffer, sizeof(buffer), "%d/%m/%Y %H:%M:%S.", &local);
    snprintf(buffer + length, sizeof(buffer) - length, "%03hu", m_wMilliseconds);
    str += buffer;
}

void LogRecord::GetPidString(std::string& str) const
{
    char buffer[16];
    snprintf(buffer, sizeof(buffer), "P[%08x]", m_dwProcessId);
    str += buffer;
}

void LogRecord::GetTidString(std::string& str) const
{
    char buffer[16];
    snprintf(buffer, sizeof(buffer), "T[%08x]", m_dwThreadId);
    str += buffer;
}

void LogRecord::GetLevelString(std::string& str) const
{
    str += LevelWord(m_eLevel);
}
