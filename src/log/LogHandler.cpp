#include "LogHandler.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "SysRoot.h"

namespace
{
const char* const kConfigFile = "/etc/tarn/log.conf";
const char* const kDefaultLogFile = "/var/log/tarn/tarn.log";
const uint32_t kDefaultLevel = LOG_INFO;
const uint64_t kDefaultMaxLength = 10485760;
// A smaller limit would stop logging after a line or two.
const uint64_t kMinMaxLength = 4096;

// "%lu" as sscanf reads it (leading blanks, optional sign, decimal digits), without the
// undefined behaviour sscanf has on overflow; an overflow reads as ULONG_MAX like glibc's.
bool ParseUnsigned(const std::string& value, unsigned long& number)
{
    const char* begin = value.c_str();
    char* end = nullptr;
    unsigned long parsed = strtoul(begin, &end, 10);
    if (end == begin)
        return false;
    number = parsed;
    return true;
}

// Writes the line as one block so that lines from several writers on the file never interleave.
void WriteLine(FILE* file, const std::string& line)
{
    fwrite(line.data(), 1, line.size(), file);
    fflush(file);
}
}  // namespace

LogHandler::~LogHandler() = default;

FileLogHandler::FileLogHandler()
    : m_dwLevel(LOG_OFF), m_qwMaxLength(0), m_bConsole(false), m_pFile(nullptr), m_bStopped(false)
{
    GetConfig();
}

FileLogHandler::~FileLogHandler()
{
    CloseStream();
}

int FileLogHandler::GetLevel()
{
    return static_cast<int>(m_dwLevel);
}

void FileLogHandler::Log(LogRecord& record)
{
    std::string line;
    record.GetLogLine(line);
    if (m_bConsole)
        WriteConsole(line);
    else
        WriteLog(line);
}

void FileLogHandler::WriteConsole(std::string& line)
{
    fputs(line.c_str(), stderr);
}

void FileLogHandler::WriteLog(std::string& line)
{
    if (m_bStopped)
        return;

    if (m_pFile != nullptr)
    {
        struct stat status;
        if (fstat(fileno(m_pFile), &status) != 0)
            return;
        // No rotation: the limit ends file logging for good, so a runaway loop cannot fill the disk.
        if (static_cast<uint64_t>(status.st_size) >= m_qwMaxLength)
        {
            CloseStream();
            m_bStopped = true;
            return;
        }
        printf("link count=%ld\n", static_cast<long>(status.st_nlink));
        if (status.st_nlink != 0)
        {
            WriteLine(m_pFile, line);
            return;
        }
        // The file was deleted or moved away; start a new one under the configured name.
        CloseStream();
    }

    m_pFile = fopen(m_strFileName.c_str(), "a+");
    if (m_pFile == nullptr)
        return;
    WriteLine(m_pFile, line);
}

void FileLogHandler::CloseStream()
{
    if (m_pFile != nullptr)
    {
        fclose(m_pFile);
        m_pFile = nullptr;
    }
}

void FileLogHandler::GetConfig()
{
    m_dwLevel = kDefaultLevel;
    m_strFileName = QelSys::SysPath(kDefaultLogFile);
    m_qwMaxLength = kDefaultMaxLength;
    m_bConsole = false;

    std::unique_ptr<FILE, int (*)(FILE*)> file(fopen(QelSys::SysPath(kConfigFile).c_str(), "r"), &fclose);
    if (file == nullptr)
        return;
    ReadConfig(file.get());
}

void FileLogHandler::ReadConfig(FILE* file)
{
    for (;;)
    {
        // A fresh buffer per line, released even if building the strings below throws.
        char* buffer = nullptr;
        size_t capacity = 0;
        ssize_t count = getline(&buffer, &capacity, file);
        std::unique_ptr<char, void (*)(void*)> owner(buffer, &free);
        if (count == -1)
            break;

        // A NUL byte ends the text, as it would for any C string made from it.
        std::string line(buffer, strnlen(buffer, static_cast<size_t>(count)));
        size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0)
            continue;
        // Only a real newline is dropped: a last line without one keeps its last character.
        if (line.back() == '\n')
            line.pop_back();
        ApplySetting(line.substr(0, equals), line.substr(equals + 1));
    }
}

void FileLogHandler::ApplySetting(const std::string& key, const std::string& value)
{
    unsigned long number = 0;
    if (key == "FileName")
    {
        if (!value.empty())
            m_strFileName = value;
    }
    else if (key == "IsConsole")
    {
        if (!value.empty() && (value[0] == '1' || value[0] == 'T' || value[0] == 't'))
            m_bConsole = true;
    }
    else if (key == "Level")
    {
        if (ParseUnsigned(value, number) && number <= LOG_TRACE)
            m_dwLevel = static_cast<uint32_t>(number);
    }
    else if (key == "MaxLength")
    {
        if (ParseUnsigned(value, number))
            m_qwMaxLength = number < kMinMaxLength ? kMinMaxLength : number;
    }
}
