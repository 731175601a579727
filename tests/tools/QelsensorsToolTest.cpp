// qelsim and qelsensors as a user runs them: exit codes, messages, and a clean standard output.
#include "MachineImage.h"
#include "RunProgram.h"
#include "SampleMachine.h"
#include "TempSysRoot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using QelTest::BuiltProgram;
using QelTest::ProgramResult;
using QelTest::RunProgram;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

namespace
{
ProgramResult Qelsim(const std::vector<std::string>& args)
{
    return RunProgram(BuiltProgram("sim/qelsim"), args);
}

ProgramResult Qelsensors(const std::vector<std::string>& args)
{
    return RunProgram(BuiltProgram("tools/qelsensors"), args);
}

class ToolTest : public ::testing::Test
{
protected:
    QelTest::TempSysRoot root;  // logs every level, so stray library output would show
};
}  // namespace

TEST_F(ToolTest, SmbiosShowsTheSampleMachineAndNothingElse)
{
    for (bool efi : {false, true})
    {
        SCOPED_TRACE(efi ? "UEFI" : "legacy");
        std::vector<std::string> args = {"sample", root.Path()};
        if (efi)
            args.push_back("--efi");
        ASSERT_EQ(Qelsim(args).exitCode, 0);

        const ProgramResult r = Qelsensors({"smbios", "--sysroot", root.Path()});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const QelSim::MachineImage image = QelSim::SampleMachine(efi);
        char address[32];
        snprintf(address, sizeof(address), "0x%08X", image.TableAddress());
        EXPECT_THAT(r.out,
                    AllOf(HasSubstr("  Version           2.8\n"), HasSubstr(address),
                          HasSubstr("  Checksum          ok\n"),
                          HasSubstr("  Vendor            American Megatrends Inc.\n"),
                          HasSubstr("  Version           " + QelSim::SampleBiosInformation().version + "\n"),
                          HasSubstr("  Release date      03/14/2022\n"),
                          HasSubstr("  0x0002     2      15  Base Board Information\n"),
                          HasSubstr("  0x0005   127       4  End Of Table\n")));
        EXPECT_THAT(r.out, AllOf(Not(HasSubstr("pagemask")), Not(HasSubstr("phys_mem")),
                                 Not(HasSubstr("Logger created")), Not(HasSubstr("link count"))));
        EXPECT_EQ(r.err, "");
        root.Remove("/sys");
    }
}

TEST_F(ToolTest, VerboseSendsTheLibraryLinesToStandardError)
{
    ASSERT_EQ(Qelsim({"sample", root.Path()}).exitCode, 0);
    const ProgramResult r = Qelsensors({"smbios", "--verbose", "--sysroot", root.Path()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_THAT(r.err, HasSubstr("pagemask=0x"));
    EXPECT_THAT(r.out, AllOf(HasSubstr("BIOS information"), Not(HasSubstr("pagemask"))));
}

TEST_F(ToolTest, FailuresSayWhatFailedAndExitWithOne)
{
    struct Case
    {
        const char* name;
        QelSim::MachineImage image;
        std::string message;
    };
    QelSim::MachineImage noEntryPoint = QelSim::SampleMachine(false);
    noEntryPoint.Entry().place = QelSim::EntryPointPlace::None;
    QelSim::MachineImage badChecksum = QelSim::SampleMachine(false);
    badChecksum.Entry().checksumDelta = 3;
    QelSim::MachineImage shortMemory = QelSim::SampleMachine(false);
    shortMemory.SetTableAddress(0x00200000).SetMemorySize(0x100000);
    const Case cases[] = {
        {"no entry point", noEntryPoint, "no '_SM_' anchor in the BIOS segment"},
        {"bad checksum", badChecksum, "fails its checksum"},
        {"table outside memory", shortMemory, "cannot map the structure table (address 0x00200000"},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        root.Install(k.image);
        const ProgramResult r = Qelsensors({"smbios", "--sysroot", root.Path()});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_THAT(r.err, HasSubstr(k.message));
        EXPECT_EQ(r.out, "");
    }

    root.Remove("/dev/mem");
    const ProgramResult r = Qelsensors({"smbios", "--sysroot", root.Path()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err,
                AllOf(HasSubstr("cannot open " + root.Path() + "/dev/mem"), HasSubstr("qelsim sample")));
}

TEST_F(ToolTest, BadUsageExitsWithTwo)
{
    const std::vector<std::vector<std::string>> qelsensors = {
        {},
        {"nonsense"},
        {"smbios", "extra"},
        {"smbios", "--sysroot"},
        {"smbios", "--sysroot", "/nonexistent/qel"},
    };
    for (const auto& args : qelsensors)
    {
        const ProgramResult r = Qelsensors(args);
        EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(args);
        EXPECT_THAT(r.err, HasSubstr("usage: qelsensors")) << testing::PrintToString(args);
    }
    const std::vector<std::vector<std::string>> qelsim = {
        {}, {"nonsense"}, {"sample"}, {"sample", "a", "b"}, {"sample", root.Path(), "--uefi"},
    };
    for (const auto& args : qelsim)
    {
        const ProgramResult r = Qelsim(args);
        EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(args);
        EXPECT_THAT(r.err, HasSubstr("usage: qelsim")) << testing::PrintToString(args);
    }
    EXPECT_EQ(Qelsensors({"--help"}).exitCode, 0);
    EXPECT_EQ(Qelsim({"--help"}).exitCode, 0);
}
