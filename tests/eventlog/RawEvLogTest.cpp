// The copy of the log area out of physical memory (a machine image under a temporary system
// root), its hexadecimal dump, the refusal without root and the BCD conversion.
#include "RawEvLog.h"
#include "MachineImage.h"
#include "Requires.h"
#include "TempSysRoot.h"
#include "log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using ::testing::Contains;

namespace
{
int OpenDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd"))
    {
        while (readdir(dir) != nullptr)
            ++count;
        closedir(dir);
    }
    return count;
}

std::vector<uint8_t> Pattern(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    return bytes;
}

class RawEvLogTest : public ::testing::Test
{
protected:
    QelTest::TempSysRoot root;
};
}  // namespace

TEST(Bcd, TwoDigitsWithNibblesAboveNineCountingAsNine)
{
    const std::pair<uint8_t, int> cases[] = {{0x59, 59}, {0xFF, 99}, {0x00, 0},
                                             {0x1A, 19}, {0xF5, 95}, {0x60, 60}};
    for (const auto& c : cases)
        EXPECT_EQ(bcd2decimal(c.first), c.second) << std::hex << int(c.first);
}

TEST_F(RawEvLogTest, AreaIsMappedFromItsPageAndCopiedFromItsFirstByte)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    const uint64_t page = static_cast<uint64_t>(getpagesize());
    const std::vector<uint8_t> area = Pattern(300);
    for (uint64_t address : {0x000E6000ull, 0x000E6010ull, 0x000E6FF0ull})
    {
        SCOPED_TRACE(address);
        QelImage::MachineImage image;
        image.PutBytes(0x000E5000, std::vector<uint8_t>(0x3000, 0xEE)).PutBytes(address, area);
        root.Install(image);
        LogQuick(LOG_DEBUG, "the logger keeps its file open");
        const int descriptors = OpenDescriptors();

        CRawEvLog raw;
        ASSERT_TRUE(raw.Initialise(address, static_cast<uint32_t>(area.size())));
        EXPECT_EQ(std::vector<uint8_t>(raw.m_Bytes, raw.m_Bytes + raw.m_dwLength), area);
        const uint64_t delta = address % page;
        auto logged = [&](const char* name, uint64_t value)
        {
            char text[128];
            snprintf(text, sizeof(text), "CRawEvLog::GetBytesFromEvLog - %s=%d, 0x%x", name, int(value),
                     unsigned(value));
            return Contains(std::string(text));
        };
        EXPECT_THAT(root.LogMessages(), logged("PhysMemOffset", address - delta));
        EXPECT_THAT(root.LogMessages(), logged("PhysMemLength", area.size() + delta));
        EXPECT_THAT(root.LogMessages(), logged("EvLogVirtOffset", delta));
        // Device and mapping are gone once the copy is taken.
        EXPECT_EQ(OpenDescriptors(), descriptors);
        EXPECT_EQ(QelTest::ReadTextFile("/proc/self/maps").find(root.Path()), std::string::npos);
    }
}

TEST_F(RawEvLogTest, FailuresLeaveTheObjectEmpty)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    QelImage::MachineImage image;
    image.SetMemorySize(0x100000);
    root.Install(image);
    CRawEvLog raw;
    EXPECT_EQ(raw.GetBytesFromEvLog(0x000FFF00, 0x200), ENODEV);  // runs past the end of memory
    EXPECT_FALSE(raw.Initialise(0x000E0000, 0));
    EXPECT_EQ(raw.m_Bytes, nullptr);
    EXPECT_THAT(root.LogMessages(),
                Contains("CRawEvLog::GetBytesFromEvLog - mmap evlog failed, errno=0x00000006"));

    root.Remove("/dev/mem");
    EXPECT_EQ(raw.GetBytesFromEvLog(0x000E0000, 16), ENOENT);
    EXPECT_THAT(root.LogMessages(),
                Contains("CRawEvLog::GetBytesFromEvLog - open /dev/mem failed, errno=0x00000002"));

    const uint8_t byte = 1;
    raw.Copy(nullptr, 4);
    raw.Copy(&byte, 0);
    EXPECT_EQ(raw.m_dwLength, 0u);
    EXPECT_EQ(raw.m_Bytes, nullptr);
}

TEST_F(RawEvLogTest, WithoutRootNothingIsOpened)
{
    QelImage::MachineImage image;
    image.PutBytes(0x000E6000, Pattern(64));
    root.Install(image);
    chmod(root.Path().c_str(), 0755);  // so that only the library's own check can refuse

    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, root.PathOf("/dev/mem").c_str(), IN_OPEN), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        // As nobody, unless the test already runs as someone other than root.
        if (geteuid() == 0 && (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0))
            _exit(100);
        CRawEvLog raw;
        const int result = raw.GetBytesFromEvLog(0x000E6000, 64);
        _exit(result == EPERM && raw.m_dwLength == 0 && !raw.Initialise(0x000E6000, 64) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    char events[256];
    EXPECT_EQ(read(watch, events, sizeof(events)), -1) << "the child opened " << root.PathOf("/dev/mem");
    EXPECT_EQ(errno, EAGAIN);
    close(watch);
}

TEST(RawEvLogDump, RowsOfSixteenWithAlignedCharacterColumn)
{
    QelTest::TempSysRoot root;
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 17; ++i)
        bytes.push_back(static_cast<uint8_t>("AB !\x7f\x80\x21ghijklmnopQ"[i]));
    CRawEvLog raw;
    raw.Copy(bytes.data(), 16);
    EXPECT_EQ(raw.dumpText(),
              "\n\n--- EvLog Bytes ---\n\n 00000000 41 42 20 21 7f 80 21 67 68 69 6a 6b 6c 6d 6e 6f"
              " | AB.!\x7f.!ghijklmno\n-------------------\n");
    raw.Copy(bytes.data(), 17);
    EXPECT_EQ(raw.dumpText(),
              "\n\n--- EvLog Bytes ---\n\n 00000000 41 42 20 21 7f 80 21 67 68 69 6a 6b 6c 6d 6e 6f"
              " | AB.!\x7f.!ghijklmno\n 00000010 70" +
                  std::string(45, ' ') + " | p\n-------------------\n");

    // The log keeps 4095 characters of a message; a large dump is built only that far.
    const std::vector<uint8_t> large = Pattern(4096);
    raw.Copy(large.data(), static_cast<uint32_t>(large.size()));
    const std::string full = raw.dumpText();
    const std::string cut = raw.dumpText(4095);
    EXPECT_GE(cut.size(), 4095u);
    EXPECT_LT(cut.size(), 4095u + 80u);
    EXPECT_EQ(full.compare(0, cut.size(), cut), 0);
    raw.dump();
    EXPECT_THAT(QelTest::ReadTextFile(root.PathOf("/var/log/tarn/tarn.log")),
                ::testing::HasSubstr(
                    "\n 00000000 03 0a 11 18 1f 26 2d 34 3b 42 49 50 57 5e 65 6c | .....&-4;BIPW^el\n"));
}
