// The factory's name table: whole, case-sensitive descriptions pick the driver class.
#include "ChipDeviceFactory.h"
#include "DriverTestSupport.h"
#include "IteChips.h"
#include "NuvotonChips.h"
#include "SMBiosChipData.h"
#include "TempSysRoot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <typeinfo>

using ::testing::Contains;
using ::testing::StartsWith;

namespace
{
// A chip collection holding one Type 34 record per description, in order, from handle 0x20.
void Fill(CSMBiosChipData& chips, const std::vector<std::string>& descriptions)
{
    for (const std::string& description : descriptions)
    {
        auto* device = new CSMBios_TYPE34;
        device->wHandle = static_cast<uint16_t>(0x20 + chips.m_vDevices.size());
        device->dwAddress = 0x0A20;
        device->byAddressType = 3;
        device->strDescription = description;
        chips.m_vDevices.push_back(device);
    }
}
}  // namespace

TEST(ChipDeviceFactory, EachDescriptionGivesItsDriverWithItsMessage)
{
    const struct
    {
        const char* description;
        const std::type_info& driver;
        const char* message;
    } cases[] = {
        {"Nuvoton W83627DHG-P", typeid(w83627ehf), "Instantiated w83627ehf um driver 0x"},
        {"Nuvoton NCT6106D", typeid(NCT6106), "Instantiated internal Nuvoton NCT6106 um driver 0x"},
        {"Nuvoton W83627DHG-PT", typeid(w83627ehf), "Instantiated internal Nuvoton w83627ehf um driver 0x"},
        {"Nuvoton NCT6793D", typeid(NCT6793D), "Instantiated internal Nuvoton NCT6793D um driver 0x"},
        {"Nuvoton NCT6776F", typeid(NCT6776), "Instantiated internal Nuvoton NCT6776 um driver 0x"},
        {"Nuvoton NCT6796D", typeid(NCT6796D), "Instantiated internal Nuvoton NCT6796D um driver 0x"},
        {"IT 5571", typeid(IT5571), "Instantiated internal ITE IT5571E-256 driver 0x"},
        {"ITE IT5571", typeid(IT5571_v2), "Instantiated internal ITE IT5571E-256 driver 0x"},
    };
    QelTest::TempSysRoot root;
    CSMBiosChipData chips;
    for (const auto& c : cases)
        Fill(chips, {c.description});

    for (size_t i = 0; i < std::size(cases); ++i)
    {
        SCOPED_TRACE(cases[i].description);
        std::unique_ptr<CChipDevice> device(
            CChipDeviceFactory::CreateInstance(nullptr, chips, static_cast<int>(i)));
        ASSERT_NE(device, nullptr);
        CChipDevice& created = *device;
        EXPECT_EQ(typeid(created), cases[i].driver);
        auto& driver = dynamic_cast<CChipDriver&>(created);
        EXPECT_EQ(driver.m_strDescription, cases[i].description);
        EXPECT_EQ(driver.m_wSMBiosHandle, 0x20 + i);
        EXPECT_EQ(driver.m_dwAddress, 0x0A20u);
        EXPECT_EQ(driver.m_dwAddressType, 3u);
        EXPECT_THAT(
            root.LogMessages(),
            Contains(StartsWith(std::string("CChipDeviceFactory::CreateInstance - ") + cases[i].message)));
    }
}

TEST(ChipDeviceFactory, NearMissesAndBadIndexesGiveNoDriver)
{
    QelTest::TempSysRoot root;
    CSMBiosChipData chips;
    Fill(chips, {"Nuvoton NCT6793D ", "nuvoton nct6793d", "ITE IT5571E", ""});
    chips.m_vDevices.push_back(nullptr);
    for (int index : {0, 1, 2, 3, 4, 5, -1})
        EXPECT_EQ(CChipDeviceFactory::CreateInstance(nullptr, chips, index), nullptr) << index;
    const std::vector<std::string> log = root.LogMessages();
    EXPECT_EQ(DriverTest::CountOf(
                  log, "CChipDeviceFactory::CreateInstance - No description name found for driver "),
              4u);
    EXPECT_THAT(log, Contains("CChipDeviceFactory::CreateInstance - No description name found for driver "
                              "Nuvoton NCT6793D "));
    for (int index : {4, 5, -1})
        EXPECT_THAT(log, Contains("CChipDeviceFactory::CreateInstance - No device at chip data index=" +
                                  std::to_string(index)));
}
