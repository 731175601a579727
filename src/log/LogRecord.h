// One message on its way to the log: the text plus the stamp (time, process, thread, level) taken
// when it was created, and the formatting of the line that reaches the sink.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "log.h"

class LogRecord
{
public:
    // The message is copied; the stamp is taken now, on the calling thread.
    LogRecord(LOG_LEVEL level, const char* message);
    virtual ~LogRecord();

    // Replaces line by the whole line: time, process, thread, level word, message, newline.
    void GetLogLine(std::string& line) const;

    // The pieces of the line; each appends to str.
    void GetTimeString(std::string& str) const;
    void GetPidString(std::string& str) const;
    void GetTidString(std::string& str) const;
    void GetLevelString(std::string& str) const;

    LOG_LEVEL GetLevel() const { return m_eLevel; }

private:
    LOG_LEVEL m_eLevel;
    std::string m_strMessage;
    time_t m_tSeconds;
    unsigned short m_wMilliseconds;
    uint32_t m_dwThreadId;
    uint32_t m_dwProcessId;
};
