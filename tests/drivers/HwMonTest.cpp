// The hwmon reader's walk of a sys/class/hwmon tree built of real directories and symbolic
// links, as sysfs lays it out: class entry -> device directory -> "device" -> "driver" link.
#include "HwMon.h"
#include "Capture.h"
#include "TempSysRoot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

using ::testing::Contains;
using ::testing::StartsWith;

namespace
{
class HwMonTree : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* dir : {"/sys", "/sys/class", "/sys/class/hwmon", "/sys/devices", "/sys/bus",
                                "/sys/bus/platform", "/sys/bus/platform/drivers"})
            MakeDir(dir);
    }

    void MakeDir(const std::string& relative)
    {
        ASSERT_EQ(mkdir(m_root.PathOf(relative).c_str(), 0755), 0) << relative;
    }
    void Link(const std::string& target, const std::string& relative)
    {
        ASSERT_EQ(symlink(target.c_str(), m_root.PathOf(relative).c_str()), 0) << relative;
    }

    // A platform device bound to the driver, with its hwmon class device linked as sysfs does.
    // linkClass, linkDevice, linkDriver: whether each level is a link (else a real directory).
    void AddDevice(const std::string& hwmon, const std::string& driver, bool linkClass = true,
                   bool linkDevice = true, bool linkDriver = true)
    {
        const std::string device = "/sys/devices/" + hwmon + "-dev";
        MakeDir(device);
        MakeDir(device + "/hwmon");
        const std::string classDevice = device + "/hwmon/" + hwmon;
        MakeDir(classDevice);
        if (access(m_root.PathOf("/sys/bus/platform/drivers/" + driver).c_str(), F_OK) != 0)
            MakeDir("/sys/bus/platform/drivers/" + driver);
        auto place = [&](bool link, const std::string& target, const std::string& path)
        { link ? Link(target, path) : MakeDir(path); };
        place(linkDriver, "../../bus/platform/drivers/" + driver, device + "/driver");
        place(linkDevice, "../../../" + hwmon + "-dev", classDevice + "/device");
        place(linkClass, "../../devices/" + hwmon + "-dev/hwmon/" + hwmon, "/sys/class/hwmon/" + hwmon);
        m_root.WriteFile(device + "/in0_input", hwmon == "hwmon0" ? "1040\n" : "2080\n");
    }

    std::string DeviceOf(const std::string& hwmon) const
    {
        return m_root.PathOf("/sys/class/hwmon/" + hwmon + "/device");
    }

    // The class entries in the order the directory lists them.
    std::vector<std::string> ListingOrder() const
    {
        std::vector<std::string> names;
        DIR* dir = opendir(m_root.PathOf("/sys/class/hwmon").c_str());
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                names.push_back(entry->d_name);
        closedir(dir);
        return names;
    }

    QelTest::TempSysRoot m_root;
};
}  // namespace

TEST_F(HwMonTree, MatchesTheDriverNameExactlyAndReadsItsInputs)
{
    AddDevice("hwmon0", "nct6775");
    CHwMon hwmon;
    EXPECT_FALSE(hwmon.Initialise("nct6776"));
    EXPECT_FALSE(hwmon.Initialise("nct677"));
    ASSERT_TRUE(hwmon.Initialise("nct6775"));
    EXPECT_EQ(hwmon.m_strDeviceDir, DeviceOf("hwmon0"));

    uint64_t value = 7;
    EXPECT_TRUE(hwmon.ReadSensor("in0_input", &value));
    EXPECT_EQ(value, 1040u);
    EXPECT_TRUE(hwmon.ReadSensor("in0_input", nullptr));
    m_root.WriteFile("/sys/devices/hwmon0-dev/name", "nct6775\n");
    EXPECT_TRUE(hwmon.ReadSensor("name", &value));
    EXPECT_EQ(value, 0u) << "a file that is not a number reads 0";
    value = 7;
    EXPECT_FALSE(hwmon.ReadSensor("temp1_input", &value));
    EXPECT_EQ(value, 7u) << "the result of a file that cannot be opened is not written";
    EXPECT_THAT(m_root.LogMessages(), Contains(StartsWith("CHwMon::ReadSensor - open ")));

    // A second Initialise keeps the first answer.
    EXPECT_TRUE(hwmon.Initialise("it87"));
    EXPECT_EQ(hwmon.m_strDriverName, "nct6775");
}

TEST_F(HwMonTree, FirstDeviceInDirectoryOrderWins)
{
    AddDevice("hwmon0", "nct6775");
    AddDevice("hwmon1", "nct6775");
    const std::vector<std::string> order = ListingOrder();
    ASSERT_EQ(order.size(), 2u);
    CHwMon hwmon;
    ASSERT_TRUE(hwmon.Initialise("nct6775"));
    EXPECT_EQ(hwmon.m_strDeviceDir, DeviceOf(order[0]));
}

TEST_F(HwMonTree, RealDirectoriesAreIgnoredAtEveryLevel)
{
    AddDevice("hwmon0", "nct6775", /*linkClass=*/false);
    AddDevice("hwmon1", "nct6775", true, /*linkDevice=*/false);
    AddDevice("hwmon2", "nct6775", true, true, /*linkDriver=*/false);
    CHwMon hwmon;
    EXPECT_FALSE(hwmon.Initialise("nct6775"));
    EXPECT_FALSE(hwmon.m_bInit);

    AddDevice("hwmon3", "nct6775");
    ASSERT_TRUE(hwmon.Initialise("nct6775"));
    EXPECT_EQ(hwmon.m_strDeviceDir, DeviceOf("hwmon3"));
}

TEST(HwMon, WithoutTheClassDirectoryNothingIsFound)
{
    QelTest::TempSysRoot root;
    CHwMon hwmon;
    QelTest::FdCapture err(2);
    EXPECT_FALSE(hwmon.Initialise("nct6775"));
    EXPECT_NE(err.Finish().find("opendir"), std::string::npos);
}
