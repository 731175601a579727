// The logging interface of both libraries: Log, LogQuick and WLog write one stamped line per
// message to the process-wide sink configured by /etc/tarn/log.conf.
#pragma once

#include <cwchar>

enum LOG_LEVEL
{
    LOG_OFF = 0,
    LOG_ERROR = 1,
    LOG_INFO = 2,
    LOG_DEBUG = 3,
    LOG_TRACE = 4
};

void Log(LOG_LEVEL level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void LogQuick(LOG_LEVEL level, const char* message);
void WLog(LOG_LEVEL level, const wchar_t* format, ...);

// Releases this library's logger and closes its stream. The next log call creates a new one
// (reading the configuration again). Not exported: the library calls it when it is unloaded,
// and the tests use it to start from a fresh logger. No other thread may be logging meanwhile.
void ReleaseLogger();
