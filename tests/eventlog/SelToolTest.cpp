// qelsensors sel as a user runs it against a machine image with an event log.
#include "EventLogArea.h"
#include "MachineImage.h"
#include "Requires.h"
#include "RunProgram.h"
#include "TempSysRoot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

using QelTest::ProgramResult;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

namespace
{
QelImage::MachineImage Till()
{
    QelImage::BiosInformation bios;
    bios.vendor = "American Megatrends Inc.";
    bios.version = "K5 FALCON 1.05";
    QelImage::MachineImage image;
    image.Add(QelImage::MakeBiosInformation(bios));
    return image;
}

ProgramResult Sel(const std::string& root)
{
    return QelTest::RunProgram(QelTest::BuiltProgram("tools/qelsensors"), {"sel", "--sysroot", root});
}
}  // namespace

TEST(SelTool, ShowsTheDecodedLogAndItsFlagsOnACleanOutput)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    QelTest::TempSysRoot root;  // logs every level, so stray library output would show
    QelImage::MachineImage image = Till();
    QelSim::AddSampleEventLog(image, 0x0040, 0x0031);
    root.Install(image);

    const ProgramResult r = Sel(root.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_THAT(r.out,
                AllOf(HasSubstr("  Area address      0x000E6010\n"),
                      HasSubstr("  Area length       4096 bytes\n"),
                      HasSubstr("  Change token      0x00000009\n"), HasSubstr("  Valid             yes\n"),
                      HasSubstr("  Full              no\n"), HasSubstr("  Time window       60 minutes\n"),
                      HasSubstr("  Count increment   1\n"), HasSubstr("Events (9)\n")));
    EXPECT_THAT(r.out,
                HasSubstr("\n  System Limit Exceeded:2022-06-14:13.05.20:Error:HWMON: - Probe (0x0031) "
                          "transitioned from within-limit to out-of-limit condition - Multiple-event "
                          "count=1:Snapshot reading 4650\n"));
    EXPECT_THAT(
        r.out, AllOf(Not(HasSubstr("pagemask")), Not(HasSubstr("Logger created")), Not(HasSubstr("case #"))));
}

TEST(SelTool, SaysWhyTheLogCannotBeRead)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    QelTest::TempSysRoot root;
    QelImage::MachineImage indexed = Till();
    QelSim::SystemEventLogFields fields;
    fields.accessMethod = 2;
    QelSim::AddEventLog(indexed, 0x40, 0x000E6010, QelSim::EventLogArea(), fields);
    const std::pair<QelImage::MachineImage, const char*> cases[] = {
        {Till(), "no System Event Log structure (Type 15)"},
        {indexed, "access method is 2 (Indexed IO - 1 x 16-bit index port, 1 x 8-bit data port); only 3"},
    };
    for (const auto& c : cases)
    {
        root.Install(c.first);
        const ProgramResult r = Sel(root.Path());
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_THAT(r.err, HasSubstr(c.second));
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(QelTest::RunProgram(QelTest::BuiltProgram("tools/qelsensors"), {"sel", "extra"}).exitCode, 2);
}
