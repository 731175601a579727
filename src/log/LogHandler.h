// The sink behind Log, LogQuick and WLog: LogHandler is the interface, FileLogHandler appends the
// lines to the configured file (or writes them to standard error).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "LogRecord.h"

class LogHandler
{
public:
    virtual ~LogHandler();
    virtual void Log(LogRecord& record) = 0;
    // The highest level written; compared signed, so an out-of-range message level never passes.
    virtual int GetLevel() = 0;
};

// Not thread-safe by itself: the log functions serialise Log on their own mutex. GetLevel only
// reads a field fixed at construction and needs no lock.
class FileLogHandler : public LogHandler
{
public:
    FileLogHandler();
    ~FileLogHandler() override;

    void Log(LogRecord& record) override;
    int GetLevel() override;

    // Defaults, then /etc/tarn/log.conf if it can be read.
    void GetConfig();
    // Applies key=value lines from file on top of the current settings (the parser of the
    // configuration file, kept separate so it can be fed arbitrary bytes).
    void ReadConfig(FILE* file);

    void WriteLog(std::string& line);
    void WriteConsole(std::string& line);

    const std::string& GetFileName() const { return m_strFileName; }
    uint64_t GetMaxLength() const { return m_qwMaxLength; }
    bool IsConsole() const { return m_bConsole; }
    bool IsStopped() const { return m_bStopped; }

    FileLogHandler(const FileLogHandler&) = delete;
    FileLogHandler& operator=(const FileLogHandler&) = delete;

private:
    void ApplySetting(const std::string& key, const std::string& value);
    void CloseStream();

    uint32_t m_dwLevel;
    std::string m_strFileName;
    uint64_t m_qwMaxLength;
    bool m_bConsole;
    FILE* m_pFile;
    bool m_bStopped;
};
