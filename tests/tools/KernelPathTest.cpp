// Tills whose kernel stands between us and the hardware: locked down under Secure Boot (dev/mem and
// dev/port refused) and with the chip's kernel driver bound. What the kernel offers must read as
// what the raw path reads, and what it does not offer must be a clear failure, never a number.
#include "RunProgram.h"
#include "SimulatedMachine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <set>
#include <sstream>

using QelTest::ProgramResult;
using ::testing::HasSubstr;
using Json = nlohmann::json;

namespace
{
ProgramResult OnMachine(const QelTest::SimulatedMachine& machine, std::vector<std::string> args)
{
    args.push_back("--sysroot");
    args.push_back(machine.Root());
    return QelTest::RunProgram(QelTest::BuiltProgram("tools/qelsensors"), args);
}

// The text without the line that names the kernel's copy as the source.
std::string WithoutSourceLine(const std::string& text)
{
    std::istringstream lines(text);
    std::string kept;
    for (std::string line; std::getline(lines, line);)
        if (line.find("  Read from         sysfs") != 0)
            kept += line + "\n";
    return kept;
}

struct Outputs
{
    std::string smbios, sel, eventLogInstance;
    ProgramResult sensors;
};

Outputs Read(const QelTest::SimulatedMachine& machine)
{
    Outputs o;
    o.smbios = WithoutSourceLine(OnMachine(machine, {"smbios"}).out);
    o.sel = OnMachine(machine, {"sel"}).out;
    o.eventLogInstance = OnMachine(machine, {"cim", "enumerate", "PXT_SystemEventLog"}).out;
    o.sensors = OnMachine(machine, {"sensors", "--json"});
    return o;
}

std::string KernelDriverOf(const std::string& kind)
{
    if (kind.rfind("NCT", 0) == 0)
        return "nct6775";
    return kind.rfind("W83627", 0) == 0 ? "w83627ehf" : "";
}

// The sensors of the shipped tills whose register the kernel's driver does not read.
const std::map<std::string, std::set<std::string>> kNotExposed = {
    {"fenwick", {"CPU Temperature", "CPU Fan", "System Fan"}},  // 0x220; 0x030, 0x032
    {"jetivory", {"CPU Fan", "System Fan"}},                    // 0x656, 0x658
};

class KernelPath : public QelTest::SimulatedMachineTest
{
protected:
    QelTest::SimulatedMachine& BringUp(const QelSim::Profile& profile)
    {
        m_machine.reset();
        m_machine.reset(new QelTest::SimulatedMachine(profile));
        return *m_machine;
    }
};
}  // namespace

// The SMBIOS description and the event log come out the same from the kernel's copies, with the
// chips read through their kernel driver; without one, the chips say plainly why they cannot be read
// and the table and the event log, the provider's included, are still there.
TEST_F(KernelPath, ALockedDownTillShowsWhatAnUnlockedOneShows)
{
    QEL_REQUIRE_ROOT("the tool reads through the kernel's drivers only where root is refused the ports");
    for (const std::string& path : QelSim::ShippedProfiles())
    {
        const QelSim::Profile profile = QelSim::LoadProfile(path);
        SCOPED_TRACE(profile.name);
        const Outputs open = Read(BringUp(profile));
        ASSERT_EQ(open.sensors.exitCode, 0) << open.sensors.err;

        QelSim::Profile locked = profile;
        locked.lockedDown = true;
        const Outputs unbound = Read(BringUp(locked));
        EXPECT_EQ(unbound.smbios, open.smbios);
        EXPECT_THAT(OnMachine(*m_machine, {"smbios"}).out, HasSubstr("  Read from         sysfs"));
        const std::string driver = KernelDriverOf(profile.chips.at(0).kind);
        EXPECT_EQ(unbound.sensors.exitCode, 1);
        EXPECT_THAT(unbound.sensors.err,
                    HasSubstr(driver.empty() ? "the kernel refuses /dev/port (locked down?), "
                                               "and Linux has no driver for this chip"
                                             : "load it with 'modprobe " + driver + "'"));
        // Limit events name their probe from the table, as the started chip would.
        EXPECT_EQ(unbound.sel, open.sel);
        EXPECT_EQ(unbound.eventLogInstance, open.eventLogInstance);
        EXPECT_THAT(OnMachine(*m_machine, {"cim", "enumerate", "PXT_NumericSensor"}).err,
                    HasSubstr("CMPI status 16 "));
        if (driver.empty())
            continue;

        locked.chips.at(0).kernelDriver = driver;
        const Outputs bound = Read(BringUp(locked));
        EXPECT_EQ(bound.smbios, open.smbios);
        EXPECT_EQ(bound.sel, open.sel);
        EXPECT_EQ(bound.eventLogInstance, open.eventLogInstance);
    }
}

// Every sensor the kernel's driver exposes reads, with the same name, limits and status, what the
// ports give; every other one is an error the log explains.
TEST_F(KernelPath, ThroughTheKernelsDriverEachExposedSensorReadsAsThroughThePorts)
{
    QEL_REQUIRE_ROOT("the tool reads through the kernel's drivers only where root is refused the ports");
    for (const std::string& path : QelSim::ShippedProfiles())
    {
        const QelSim::Profile profile = QelSim::LoadProfile(path);
        const std::string driver = KernelDriverOf(profile.chips.at(0).kind);
        if (driver.empty())
            continue;
        SCOPED_TRACE(profile.name);
        const Json raw = Json::parse(OnMachine(BringUp(profile), {"sensors", "--json"}).out);

        QelSim::Profile locked = profile;
        locked.lockedDown = true;
        locked.chips.at(0).kernelDriver = driver;
        QelTest::SimulatedMachine& machine = BringUp(locked);
        const ProgramResult run = OnMachine(machine, {"sensors", "--json"});
        const Json kernel = Json::parse(run.out);
        ASSERT_EQ(kernel["chips"].size(), 1u) << run.err;
        EXPECT_EQ(kernel["chips"][0]["readFrom"], "kernel driver");
        EXPECT_EQ(kernel["chips"][0]["kernelDriver"], driver);
        EXPECT_EQ(kernel["chips"][0]["smbiosFrom"], "sysfs");
        EXPECT_EQ(raw["chips"][0]["readFrom"], "ports");

        const std::set<std::string> notExposed =
            kNotExposed.count(profile.name) ? kNotExposed.at(profile.name) : std::set<std::string>();
        const Json& expected = raw["chips"][0]["sensors"];
        const Json& got = kernel["chips"][0]["sensors"];
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i)
        {
            const std::string name = expected[i]["name"];
            SCOPED_TRACE(name);
            if (notExposed.count(name) != 0)
            {
                EXPECT_EQ(got[i]["status"], "error");
                EXPECT_TRUE(got[i]["value"].is_null()) << got[i];
                continue;
            }
            EXPECT_EQ(got[i], expected[i]);
        }
        size_t explained = 0;
        for (const std::string& line : machine.SysRoot().LogMessages())
            explained += line.find("driver does not expose it") != std::string::npos;
        EXPECT_EQ(explained, notExposed.size());
        // Not one access reached the ports.
        const QelSim::PortStats stats = machine.Bus().Stats();
        EXPECT_EQ(stats.reads + stats.writes, 0u);
    }
}
