// The sensor configuration that switches the NVMe readings on: which lines count, and what an
// unknown key says.
#include "Capture.h"
#include "NvmeSsd.h"
#include "TempSysRoot.h"

#include <gtest/gtest.h>

namespace
{
struct ConfigCase
{
    const char* content;  // nullptr: no file
    int expected;         // starting from -1
    int complaints;       // " Sensor configs not found." lines on standard error
};

class SensorConfigTest : public ::testing::TestWithParam<ConfigCase>
{
};

TEST_P(SensorConfigTest, ReadsTheSetting)
{
    const ConfigCase& c = GetParam();
    QelTest::TempSysRoot root;
    if (c.content != nullptr)
        root.WriteFile("/etc/tarn/sensor.conf", c.content);
    int setting = -1;
    QelTest::FdCapture error(2);
    NvmeSsd::getConfig(setting);
    const std::string complaints = error.Finish();
    EXPECT_EQ(setting, c.expected);
    std::string expected;
    for (int i = 0; i < c.complaints; ++i)
        expected += " Sensor configs not found.\n";
    EXPECT_EQ(complaints, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SensorConfigTest,
    ::testing::Values(ConfigCase{nullptr, -1, 0},               // no file: left as it is
                      ConfigCase{"", -1, 0},                    // empty file
                      ConfigCase{"NvmeReadings=1\n", 1, 0},     //
                      ConfigCase{"NvmeReadings=0\n", 0, 0},     //
                      ConfigCase{"NvmeReadings=1", 1, 0},       // no newline at the end
                      ConfigCase{"NvmeReadings=  1 \n", 1, 0},  // blanks after "=" are skipped
                      ConfigCase{"NvmeReadings = 1\n", -1, 1},  // blanks before it are part of the key
                      ConfigCase{"nvmereadings=1\n", -1, 1},    // case matters
                      ConfigCase{"NvmeReadings=2\n", -1, 0},    // only 0 and 1
                      ConfigCase{"NvmeReadings=on\n", -1, 0},   // no number
                      ConfigCase{"NvmeReadings=\n", -1, 0},     // no value
                      ConfigCase{"NvmeReadings=-1\n", -1, 0},   //
                      ConfigCase{"=1\nNvmeReadings\n# comment\n", -1, 0},    // lines without a key or "="
                      ConfigCase{"NvmeReadings=1\nNvmeReadings=0\n", 0, 0},  // the last valid line wins
                      ConfigCase{"NvmeReadings=1\nNvmeReadings=7\n", 1, 0},  // an invalid one changes nothing
                      ConfigCase{"Fans=1\nNvmeReadings=1\nLeds=0\n", 1, 2}));
}  // namespace
