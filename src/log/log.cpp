#include "log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>

#include "LogHandler.h"
#include "LogRecord.h"

namespace
{
const size_t kBufferSize = 4096;

// This library's logger; the other library compiles its own copy of this file and so has its own.
// Atomic so that the level check of a filtered message needs no lock.
std::atomic<LogHandler*> g_pLogger{nullptr};
// Guards creation and release of the logger and every line the handler writes, so that its
// stream is closed, reopened or stopped by one thread at a time.
std::mutex g_mutex;

LogHandler* GetLogger()
{
    LogHandler* logger = g_pLogger.load(std::memory_order_acquire);
    if (logger != nullptr)
        return logger;
    std::lock_guard<std::mutex> lock(g_mutex);
    logger = g_pLogger.load(std::memory_order_relaxed);
    if (logger == nullptr)
    {
        printf("Logger created\n");
        logger = new FileLogHandler();
        g_pLogger.store(logger, std::memory_order_release);
    }
    return logger;
}

// The logger, or none when the message would not be written; costs one virtual call once the
// logger exists.
LogHandler* LoggerFor(LOG_LEVEL level)
{
    LogHandler* logger = GetLogger();
    if (static_cast<int>(level) > logger->GetLevel())
        return nullptr;
    return logger;
}

void Write(LogHandler*, LogRecord& record)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    // Read again under the lock: the library may have released its logger (at unload) since
    // the level check; the line is then dropped rather than written through a freed handler.
    LogHandler* logger = g_pLogger.load(std::memory_order_relaxed);
    if (logger != nullptr)
        logger->Log(record);
}
}  // namespace

void Log(LOG_LEVEL level, const char* format, ...)
{
    try
    {
        LogHandler* logger = LoggerFor(level);
        if (logger == nullptr || format == nullptr)
            return;

        std::unique_ptr<char[]> text(new char[kBufferSize]);
        va_list args;
        va_start(args, format);
        int length = vsnprintf(text.get(), kBufferSize, format, args);
        va_end(args);
        if (length < 0)
            return;
        LogRecord record(level, text.get());
        text.reset();
        Write(logger, record);
    }
    catch (...)
    {
        // Logging never changes the behaviour of the code that logs.
    }
}

void LogQuick(LOG_LEVEL level, const char* message)
{
    try
    {
        LogHandler* logger = LoggerFor(level);
        if (logger == nullptr || message == nullptr)
            return;
        LogRecord record(level, message);
        Write(logger, record);
    }
    catch (...)
    {
    }
}

void WLog(LOG_LEVEL level, const wchar_t* format, ...)
{
    try
    {
        LogHandler* logger = LoggerFor(level);
        if (logger == nullptr || format == nullptr)
            return;

        // Zeroed: on overflow vswprintf stops without a terminator, and the text so far is kept.
        std::unique_ptr<wchar_t[]> wide(new wchar_t[kBufferSize]());
        va_list args;
        va_start(args, format);
        int length = vswprintf(wide.get(), kBufferSize, format, args);
        va_end(args);
        // vswprintf reports overflow and failure alike; only a full buffer means the text was cut.
        if (length < 0 && wcsnlen(wide.get(), kBufferSize) < kBufferSize - 1)
            return;

        // At most 4095 bytes, so the text always ends within the buffer; wcstombs never splits
        // a character.
        std::unique_ptr<char[]> text(new char[kBufferSize]);
        size_t bytes = wcstombs(text.get(), wide.get(), kBufferSize - 1);
        wide.reset();
        if (bytes == static_cast<size_t>(-1))
            return;
        text[bytes] = '\0';
        LogRecord record(level, text.get());
        text.reset();
        Write(logger, record);
    }
    catch (...)
    {
    }
}

void ReleaseLogger()
{
    try
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        delete g_pLogger.exchange(nullptr, std::memory_order_acq_rel);
    }
    catch (...)
    {
    }
}
