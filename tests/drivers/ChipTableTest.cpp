// The chip table: rows the shared code can act on, voltage steps as the chips have them, and each
// chip's four classes reading one and the same row.
#include "ChipTable.h"
#include "IteChips.h"
#include "NuvotonChips.h"
#include "TempSysRoot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>

using ::testing::ElementsAre;

namespace
{
template <class Driver>
std::unique_ptr<CChipDriver> Make()
{
    return std::unique_ptr<CChipDriver>(new Driver(nullptr, "", 0, 3, 0));
}
}  // namespace

TEST(ChipTable, RowsAreUsableByTheSharedCode)
{
    std::set<std::string> descriptions;
    for (const ChipVariant& row : kChips)
    {
        SCOPED_TRACE(row.driverName);
        ASSERT_NE(row.smbiosNames[0].description, nullptr) << "no description selects the chip";
        for (const SmbiosName& name : row.smbiosNames)
            if (name.description != nullptr)
            {
                EXPECT_TRUE(descriptions.insert(name.description).second)
                    << name.description << " would select two chips";
                EXPECT_NE(name.factoryWords, nullptr);
            }
        ASSERT_NE(row.registers.rows, nullptr);
        EXPECT_GT(row.registers.count, 0u);
        if (row.oemLayout == OemLayout::Nuvoton)
        {
            // The probe drops the revision nibble of what it reads: an ID with one never matches.
            EXPECT_NE(row.deviceId, 0);
            EXPECT_EQ(row.deviceId & 0x000F, 0);
            EXPECT_NE(row.configPorts[0], 0);
            EXPECT_NE(row.configPorts[1], 0);
            EXPECT_NE(row.configPorts[0], row.configPorts[1]);
            EXPECT_FALSE(row.Has(Quirk::SettleBeforeAccess)) << "an ITE quirk";
        }
        else
        {
            EXPECT_EQ(row.deviceId, 0) << "the ITE controllers are not probed";
            EXPECT_FALSE(row.Has(Quirk::LeaveWithKey) || row.Has(Quirk::FanIsCount));
        }
    }
}

TEST(ChipTable, VoltageStepsAtTheEdgesOfTheirRanges)
{
    const struct
    {
        Chip chip;
        uint8_t bank, reg;
        unsigned millivolts;
    } cases[] = {
        // Every bank counts; the unused entries of the row match nothing.
        {Chip::NCT6106, 0, 0x00, 8},
        {Chip::NCT6106, 9, 0x02, 16},
        {Chip::NCT6106, 9, 0x04, 8},
        {Chip::NCT6106, 0, 0x08, 16},
        {Chip::NCT6106, 0, 0x09, 8},
        // Bank 0, 0x20 to 0x26, 0x22 no input.
        {Chip::NCT6776, 0, 0x1F, 0},
        {Chip::NCT6776, 0, 0x20, 8},
        {Chip::NCT6776, 0, 0x22, 0},
        {Chip::NCT6776, 0, 0x23, 16},
        {Chip::NCT6776, 0, 0x26, 8},
        {Chip::NCT6776, 0, 0x27, 0},
        {Chip::NCT6776, 1, 0x20, 0},
        // Bank 4, 0x80 to 0x8E; the NCT6793D has no 0x85.
        {Chip::NCT6796D, 4, 0x7F, 0},
        {Chip::NCT6796D, 4, 0x80, 8},
        {Chip::NCT6796D, 4, 0x82, 16},
        {Chip::NCT6796D, 4, 0x84, 8},
        {Chip::NCT6796D, 4, 0x85, 8},
        {Chip::NCT6796D, 4, 0x89, 16},
        {Chip::NCT6796D, 4, 0x8A, 8},
        {Chip::NCT6796D, 4, 0x8E, 8},
        {Chip::NCT6796D, 4, 0x8F, 0},
        {Chip::NCT6796D, 0, 0x80, 0},
        {Chip::NCT6793D, 4, 0x85, 0},
        {Chip::NCT6793D, 4, 0x84, 8},
        {Chip::NCT6793D, 4, 0x87, 16},
        {Chip::NCT6793D, 4, 0x8E, 8},
        {Chip::NCT6793D, 5, 0x85, 0},
        // Halved: bank 0 0x22 and 0x23, bank 5 0x50 and 0x51; any other register 8.
        {Chip::W83627EHF, 0, 0x00, 8},
        {Chip::W83627EHF, 0, 0x21, 8},
        {Chip::W83627EHF, 0, 0x23, 16},
        {Chip::W83627EHF, 5, 0x22, 8},
        {Chip::W83627EHF, 5, 0x50, 16},
        {Chip::W83627EHF, 5, 0x52, 8},
    };
    for (const auto& c : cases)
    {
        const ChipVariant& row = ChipRow(c.chip);
        EXPECT_EQ(row.voltageSteps.Step(c.bank, c.reg), c.millivolts)
            << row.driverName << " bank " << int(c.bank) << " register 0x" << std::hex << int(c.reg);
    }
}

TEST(ChipTable, EachChipsClassesReadItsRow)
{
    const struct
    {
        Chip chip;
        std::function<std::unique_ptr<CChipDriver>()> make;
    } cases[] = {
        {Chip::NCT6106, Make<NCT6106>},     {Chip::NCT6776, Make<NCT6776>},
        {Chip::NCT6793D, Make<NCT6793D>},   {Chip::NCT6796D, Make<NCT6796D>},
        {Chip::W83627EHF, Make<w83627ehf>}, {Chip::IT5571, Make<IT5571>},
        {Chip::IT5571_v2, Make<IT5571_v2>},
    };
    for (const auto& c : cases)
    {
        const ChipVariant& row = ChipRow(c.chip);
        SCOPED_TRACE(row.driverName);
        QelTest::TempSysRoot root;
        const std::unique_ptr<CChipDriver> driver = c.make();
        EXPECT_THAT(root.LogMessages(),
                    ElementsAre("CSensors Constructed", std::string(row.accessName) + " constructed",
                                std::string(row.hwmonName) + " constructed",
                                std::string(row.driverName) + " Constructed"));
        for (size_t i = 0; i < row.registers.count; ++i)
            EXPECT_NE(driver->Table().GetConversion(row.registers.rows[i].bankPort), nullptr)
                << "BankPort 0x" << std::hex << row.registers.rows[i].bankPort;
    }
}
