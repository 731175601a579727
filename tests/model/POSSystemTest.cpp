#include "POSSystem.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
struct ModelRow
{
    const char* code;
    bool (CPOSSystem::*query)() const;
    const char* driver;
};

const ModelRow kModels[] = {
    {"K2", &CPOSSystem::IsCedarHi, "internal_w83627ehf"},
    {"K1", &CPOSSystem::IsCedarLoBirch, "internal_w83627ehf"},
    {"M2", &CPOSSystem::IsFenwick, "internal_nct6106"},
    {"M1", &CPOSSystem::IsOspreyCeleron, "internal_w83627ehf"},
    {"M4", &CPOSSystem::IsOspreyI3, "internal_w83627ehf"},
    {"M3", &CPOSSystem::IsHarrow, "internal_w83627ehf"},
    {"M5", &CPOSSystem::IsLarchMoss, "internal_nct6793"},
    {"M6", &CPOSSystem::IsQuill, "internal_nct6793"},
    {"K4", &CPOSSystem::IsAmberCoral, "internal_nct6796"},
    {"K3", &CPOSSystem::IsJetIvory, "internal_nct6776F"},
    {"M7", &CPOSSystem::IsWren, "internal_it5571"},
    {"M8", &CPOSSystem::IsLark, "internal_it5571"},
    {"K5", &CPOSSystem::IsFalcon, "internal_it5571"},
};

void ExpectUnsupported(const CPOSSystem& system)
{
    EXPECT_FALSE(system.IsSupportedPOSSystem());
    EXPECT_FALSE(system.UseInternalDriver());
    std::string driver = "untouched";
    EXPECT_FALSE(system.GetHwmonDriverName(driver));
    EXPECT_EQ(driver, "untouched");
    for (const ModelRow& row : kModels)
        EXPECT_FALSE((system.*row.query)()) << row.code;
    EXPECT_FALSE(system.IsOsprey());
}
}  // namespace

TEST(POSSystem, EveryCodeSelectsExactlyItsModelAndDriver)
{
    CPOSSystem system;
    for (const ModelRow& row : kModels)
    {
        system.SetBiosVersion(std::string(row.code) + "XX 1.05.0");
        EXPECT_EQ(system.m_MachineType, row.code);
        for (const ModelRow& other : kModels)
            EXPECT_EQ((system.*other.query)(), &other == &row) << row.code << " asked as " << other.code;
        EXPECT_TRUE(system.IsSupportedPOSSystem()) << row.code;
        EXPECT_TRUE(system.UseInternalDriver()) << row.code;
        std::string driver;
        EXPECT_TRUE(system.GetHwmonDriverName(driver)) << row.code;
        EXPECT_EQ(driver, row.driver);
        EXPECT_EQ(system.IsOsprey(), row.code == std::string("M1") || row.code == std::string("M4"));
    }
}

TEST(POSSystem, VersionOfExactlyTwoCharactersMatches)
{
    CPOSSystem system;
    system.SetBiosVersion("M7");
    EXPECT_TRUE(system.IsWren());
    EXPECT_EQ(system.m_BiosVersion, "M7");
}

TEST(POSSystem, ShortUnknownOrWrongCaseVersionsMatchNothing)
{
    CPOSSystem system;
    ExpectUnsupported(system);  // before any version
    for (const char* version : {"", "K", "k5 1.0", "Z9 1.0", " K5"})
    {
        system.SetBiosVersion(version);
        SCOPED_TRACE(version);
        ExpectUnsupported(system);
    }
    system.SetBiosVersion("K");
    EXPECT_EQ(system.m_MachineType, "");
}

TEST(POSSystem, SecondVersionReplacesTheFirst)
{
    CPOSSystem system;
    system.SetBiosVersion("K5 2.1");
    ASSERT_TRUE(system.IsFalcon());
    system.SetBiosVersion("XX 2.1");
    EXPECT_EQ(system.m_BiosVersion, "XX 2.1");
    ExpectUnsupported(system);
}

TEST(POSSystem, CheckMachineTypeComparesWholeCodes)
{
    CPOSSystem system;
    system.SetBiosVersion("M5 0.9");
    EXPECT_TRUE(system.CheckMachineType("M5"));
    EXPECT_FALSE(system.CheckMachineType("M"));
    EXPECT_FALSE(system.CheckMachineType("M5 "));
    EXPECT_FALSE(system.CheckMachineType("m5"));
}
