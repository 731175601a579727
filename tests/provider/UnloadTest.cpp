// An object manager unloads an idle provider and loads it again on the next request. Every cycle
// must leave nothing behind: no descriptor (the log files of both libraries), no mapping, no memory.
#include "Capture.h"
#include "ProviderTestSupport.h"
#include "log.h"

#include <dirent.h>
#include <fstream>
#include <malloc.h>
#include <unistd.h>

extern "C" int __lsan_do_recoverable_leak_check() __attribute__((weak));

using namespace ProviderTest;

namespace
{
std::vector<std::string> OpenFiles()
{
    std::vector<std::string> files;
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr)
        return files;
    while (const dirent* entry = readdir(dir))
    {
        if (entry->d_name[0] == '.')
            continue;
        char target[4096];
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t n = readlink(link.c_str(), target, sizeof(target) - 1);
        files.push_back(n > 0 ? std::string(target, static_cast<size_t>(n)) : link);
    }
    closedir(dir);
    return files;
}

size_t OpenFilesNamed(const std::string& path)
{
    const std::vector<std::string> files = OpenFiles();
    return static_cast<size_t>(std::count(files.begin(), files.end(), path));
}

std::vector<std::string> Mappings()
{
    std::vector<std::string> lines;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        lines.push_back(line);
    return lines;
}

// Mappings of files: libraries, and the physical memory the libraries map while they read it.
// Anonymous ones come and go with the allocator (under AddressSanitizer, its own regions).
size_t FileMappings()
{
    size_t count = 0;
    for (const std::string& line : Mappings())
        if (line.find(" /") != std::string::npos)
            ++count;
    return count;
}

bool Mapped(const std::string& library)
{
    for (const std::string& line : Mappings())
        if (line.find(library) != std::string::npos)
            return true;
    return false;
}

size_t HeapInUse()
{
    return mallinfo2().uordblks;
}

class UnloadTest : public ProviderFixture
{
};

// The logging module of each library used to keep its log file open until the process ended.
TEST_F(UnloadTest, UnloadClosesBothLibrariesLogFiles)
{
    m_machine.reset(new QelTest::SimulatedMachine("wren"));
    const std::string logFile = Machine().SysRoot().PathOf("/var/log/tarn/tarn.log");
    ReleaseLogger();  // this test program's own logger, should it have written
    ASSERT_EQ(OpenFilesNamed(logFile), 0u);

    QelTest::FdCapture quiet(STDERR_FILENO);
    Host host;
    ASSERT_TRUE(LoadProvider(host));
    ASSERT_EQ(host.EnumerateInstances(kNameSpace, kSensorClass).rc, CMPI_RC_OK);
    // Both libraries log at start-up: each has the file open.
    EXPECT_EQ(OpenFilesNamed(logFile), 2u);
    ASSERT_EQ(host.Cleanup(false).rc, CMPI_RC_OK);
    std::string error;
    ASSERT_TRUE(host.Unload(error)) << error;
    quiet.Finish();

    EXPECT_EQ(OpenFilesNamed(logFile), 0u);
    EXPECT_FALSE(Mapped("libqelsensors.so"));
    EXPECT_FALSE(Mapped("libqelchip.so"));
    // Logging goes on after a reload, into the same file.
    EXPECT_EQ(Logged("SensorProvider - provider destroyed"), 1u);
}

TEST_F(UnloadTest, TwoHundredCyclesLeaveNothingBehind)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    m_machine.reset(new QelTest::SimulatedMachine("wren", 2));
    const size_t sensors = SensorCount(Machine().Profile());
    QelTest::FdCapture capture(STDERR_FILENO);  // the provider's trace lines, counted below

    size_t descriptors = 0;
    size_t mappings = 0;
    size_t fileMappings = 0;
    size_t heap = 0;
    int failures = 0;
    for (int cycle = 1; cycle <= 200 && failures < 3; ++cycle)
    {
        {
            Host host;
            std::string error;
            bool ok = host.Load(ProviderPath(), error) && host.CreateMI().rc == CMPI_RC_OK;
            ok = ok && host.EnumerateInstances(kNameSpace, kSensorClass).instances.size() == sensors;
            ok = ok && host.GetInstance(kNameSpace, kLogClass, kLogName).rc == CMPI_RC_OK;
            ok = ok && host.Cleanup(false).rc == CMPI_RC_OK && host.Unload(error);
            if (!ok || Mapped("libqelsensors.so") || Mapped("libqelchip.so"))
            {
                ++failures;
                ADD_FAILURE() << "cycle " << cycle << " " << error;
            }
        }
        if (cycle == 10)
        {
            descriptors = OpenFiles().size();
            mappings = Mappings().size();
            fileMappings = FileMappings();
            heap = HeapInUse();
        }
    }
    const size_t descriptorsAfter = OpenFiles().size();
    const size_t mappingsAfter = Mappings().size();
    const size_t fileMappingsAfter = FileMappings();
    const size_t heapAfter = HeapInUse();
    const std::vector<std::string> trace = QelTest::SplitLines(capture.Finish());
    ASSERT_EQ(failures, 0);

    EXPECT_EQ(descriptorsAfter, descriptors);
    EXPECT_EQ(fileMappingsAfter, fileMappings);
    // One left per cycle would be 190 more.
    EXPECT_LE(mappingsAfter, mappings + 8);
    // A logger left behind per cycle alone would be 190 handlers with their stream buffers.
    EXPECT_LT(heapAfter, heap + 64 * 1024);
    EXPECT_EQ(QelCim::Broker::LiveObjects(), 0u);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "CONSTRUCTOR"), 200);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "DESTRUCTOR"), 200);
    if (__lsan_do_recoverable_leak_check != nullptr)
    {
        EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
    }
}
}  // namespace
