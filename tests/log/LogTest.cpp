// The log functions end to end: a fresh system root per test, the configuration file under it
// and the lines that reach the log file, standard error and standard output.
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log.h"

namespace fs = std::filesystem;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace
{
const std::regex kLine(R"((\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)\.\d{3}\tP\[([0-9a-f]{8})\] )"
                       R"(T\[([0-9a-f]{8})\]\t(Off  |Error|Info |Debug|Trace)\t(.*))");
// Everything before the message: time, process, thread and level columns.
const size_t kPrefix = 54;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// The message column of each line; "" for an empty line, "<malformed>" for any other line that
// does not match the format.
std::vector<std::string> Messages(const std::string& text)
{
    std::vector<std::string> messages;
    std::istringstream in(text);
    std::smatch match;
    for (std::string line; std::getline(in, line);)
        messages.push_back(line.empty()                           ? ""
                           : std::regex_match(line, match, kLine) ? match[5].str()
                                                                  : "<malformed>");
    return messages;
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

using Texts = std::vector<std::string>;
}  // namespace

class LogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qel_log_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        const char* previous = getenv("QEL_SYSROOT");
        m_previousRoot = previous != nullptr ? previous : "";
        setenv("QEL_SYSROOT", m_root.c_str(), 1);
        fs::create_directories(m_root + "/etc/tarn");
        fs::create_directories(m_root + "/var/log/tarn");
        m_log = m_root + "/var/log/tarn/tarn.log";
        ReleaseLogger();
    }

    void TearDown() override
    {
        ReleaseLogger();
        setenv("QEL_SYSROOT", m_previousRoot.c_str(), 1);
        fs::remove_all(m_root);
    }

    void Config(const std::string& text) { std::ofstream(m_root + "/etc/tarn/log.conf") << text; }

    std::string m_previousRoot;
    std::string m_root;
    std::string m_log;
};

TEST_F(LogTest, DefaultsWriteInfoAndBelowToDefaultFile)
{
    CaptureStdout();
    Log(LOG_DEBUG, "hidden");
    Log(LOG_INFO, "shown %d", 42);
    Log(LOG_ERROR, "%s", "failed");
    EXPECT_EQ(GetCapturedStdout(), "Logger created\nlink count=1\n");
    EXPECT_EQ(Messages(ReadFile(m_log)), (Texts{"shown 42", "failed"}));
}

TEST_F(LogTest, LineCarriesLocalTimeProcessThreadAndLevelWord)
{
    Config("Level=4\n");
    time_t before = time(nullptr);
    for (int level = LOG_OFF; level <= LOG_TRACE; ++level)
        Log(static_cast<LOG_LEVEL>(level), "m");
    time_t after = time(nullptr);

    char ids[32];
    snprintf(ids, sizeof(ids), "%08x %08x", static_cast<unsigned>(getpid()),
             static_cast<unsigned>(static_cast<uint32_t>(pthread_self())));
    std::istringstream lines(ReadFile(m_log));
    std::string line, words;
    for (std::smatch match; std::getline(lines, line);)
    {
        ASSERT_TRUE(std::regex_match(line, match, kLine)) << line;
        tm stamp{};
        ASSERT_NE(strptime(match[1].str().c_str(), "%d/%m/%Y %H:%M:%S", &stamp), nullptr);
        stamp.tm_isdst = -1;
        EXPECT_GE(mktime(&stamp), before - 1);
        EXPECT_LE(mktime(&stamp), after + 1);
        EXPECT_EQ(match[2].str() + " " + match[3].str(), ids);
        words += match[4].str() + "|";
    }
    EXPECT_EQ(words, "Off  |Error|Info |Debug|Trace|");
}

TEST_F(LogTest, LevelsAndReadingTheConfigurationOnce)
{
    Config("Level=4\n");
    Log(static_cast<LOG_LEVEL>(5), "five");
    LogQuick(static_cast<LOG_LEVEL>(7), "seven");
    WLog(static_cast<LOG_LEVEL>(5), L"wide five");
    Config("Level=0\n");
    Log(LOG_TRACE, "old level");
    ReleaseLogger();
    Log(LOG_ERROR, "error");
    Log(LOG_OFF, "off");
    EXPECT_EQ(Messages(ReadFile(m_log)), (Texts{"old level", "off"}));
}

TEST_F(LogTest, ConsoleGoesToStandardErrorOnly)
{
    Config("IsConsole=True\nFileName=" + m_root + "/other.log\n");
    CaptureStdout();
    CaptureStderr();
    Log(LOG_INFO, "to console");
    EXPECT_EQ(Messages(GetCapturedStderr()), Texts{"to console"});
    EXPECT_EQ(GetCapturedStdout(), "Logger created\n");
    EXPECT_FALSE(fs::exists(m_log));
    EXPECT_FALSE(fs::exists(m_root + "/other.log"));
}

TEST_F(LogTest, MessageTexts)
{
    std::string longText(5000, 'x');
    Log(LOG_INFO, "%s", longText.c_str());
    LogQuick(LOG_INFO, longText.c_str());
    LogQuick(LOG_INFO, "100% %s %n");
    LogQuick(LOG_INFO, "ends in newline\n");
    // Through a pointer, which does not carry the format check that rejects a null format.
    void (*logUnchecked)(LOG_LEVEL, const char*, ...) = Log;
    logUnchecked(LOG_INFO, nullptr);
    LogQuick(LOG_INFO, nullptr);
    WLog(LOG_INFO, nullptr);
    EXPECT_EQ(Messages(ReadFile(m_log)),
              (Texts{std::string(4095, 'x'), longText, "100% %s %n", "ends in newline", ""}));
}

TEST_F(LogTest, WideMessagesAreConvertedAndCutWithinTheBuffer)
{
    WLog(LOG_INFO, L"%ls=%d", L"wide", 7);
    WLog(LOG_INFO, L"%ls", std::wstring(5000, L'w').c_str());
    WLog(LOG_INFO, L"caf\u00e9");  // not representable in the "C" locale: dropped
    ASSERT_NE(setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    WLog(LOG_INFO, L"caf\u00e9");
    // 4095 two-byte characters: only the whole characters that fit in 4095 bytes remain.
    WLog(LOG_INFO, L"%ls", std::wstring(4095, L'\u00e9').c_str());
    setlocale(LC_CTYPE, "C");

    std::string cut;
    for (int i = 0; i < 2047; ++i)
        cut += "\xc3\xa9";
    EXPECT_EQ(Messages(ReadFile(m_log)), (Texts{"wide=7", std::string(4095, 'w'), "caf\xc3\xa9", cut}));
}

TEST_F(LogTest, SizeLimitStopsFileLoggingForGood)
{
    Config("MaxLength=0\n");  // raised to 4096
    std::string text(1000, 'a');
    for (int i = 0; i < 6; ++i)
        LogQuick(LOG_INFO, text.c_str());
    // The size before each line is checked, so the file ends one line past the limit.
    EXPECT_EQ(fs::file_size(m_log), 4 * (kPrefix + text.size() + 1));
    fs::resize_file(m_log, 0);
    LogQuick(LOG_INFO, "after truncation");
    EXPECT_EQ(fs::file_size(m_log), 0u);
    fs::remove(m_log);
    LogQuick(LOG_INFO, "after deletion");
    EXPECT_FALSE(fs::exists(m_log));

    // Only an open stream is checked: the first line goes even into a file beyond the limit.
    ReleaseLogger();
    std::ofstream(m_log) << std::string(5000, '#');
    LogQuick(LOG_INFO, "first");
    LogQuick(LOG_INFO, "second");
    EXPECT_EQ(fs::file_size(m_log), 5000 + kPrefix + 6);
}

TEST_F(LogTest, LostFileIsCreatedAgainByTheNextLine)
{
    // No newline after the last line: the name keeps its last character.
    Config("FileName=" + m_root + "/dir/pos.log");
    const std::string log = m_root + "/dir/pos.log";
    LogQuick(LOG_INFO, "no directory");
    fs::create_directories(m_root + "/dir");
    CaptureStdout();
    LogQuick(LOG_INFO, "one");
    fs::remove(log);
    LogQuick(LOG_INFO, "two");
    LogQuick(LOG_INFO, "three");
    EXPECT_EQ(GetCapturedStdout(), "link count=0\nlink count=1\n");
    EXPECT_EQ(Messages(ReadFile(log)), (Texts{"two", "three"}));
}

TEST_F(LogTest, ConcurrentThreadsShareOneLoggerAndWriteWholeLines)
{
    const int threads = 8, perThread = 300;
    std::atomic<bool> go{false};
    std::vector<std::thread> workers;
    CaptureStdout();
    for (int t = 0; t < threads; ++t)
        workers.emplace_back(
            [&, t]
            {
                while (!go)
                    std::this_thread::yield();
                for (int i = 0; i < perThread; ++i)
                    Log(LOG_INFO, "thread %d line %d", t, i);
            });
    go = true;
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(Count(GetCapturedStdout(), "Logger created\n"), 1u);

    auto messages = Messages(ReadFile(m_log));
    ASSERT_EQ(messages.size(), static_cast<size_t>(threads * perThread));
    std::vector<int> next(threads, 0);
    for (const auto& message : messages)
    {
        int t = -1, i = -1;
        ASSERT_EQ(sscanf(message.c_str(), "thread %d line %d", &t, &i), 2) << message;
        ASSERT_TRUE(t >= 0 && t < threads);
        EXPECT_EQ(i, next[t]++);
    }
}

TEST_F(LogTest, ConcurrentThreadsStopAtTheLimitTogether)
{
    Config("MaxLength=4096\n");
    const std::string text(100, 'c');
    const size_t lineLength = kPrefix + text.size() + 1;
    // Several rounds, since an unguarded close races only now and then.
    for (int round = 0; round < 20; ++round)
    {
        ReleaseLogger();
        fs::remove(m_log);
        std::vector<std::thread> workers;
        for (int t = 0; t < 4; ++t)
            workers.emplace_back(
                [&]
                {
                    for (int i = 0; i < 50; ++i)
                        LogQuick(LOG_INFO, text.c_str());
                });
        for (auto& worker : workers)
            worker.join();
        ASSERT_EQ(fs::file_size(m_log), (4096 / lineLength + 1) * lineLength) << "round " << round;
    }
}
