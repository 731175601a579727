// The Type 15 collection and the container over machine images: the log is found through
// SMBIOS, copied and decoded afresh on every request, and every failure is reported as such.
#include "EventLogTestSupport.h"
#include "MachineImage.h"
#include "Requires.h"
#include "SMBiosTables.h"
#include "TempSysRoot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

using namespace QelImage;
using namespace QelSim;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace
{
constexpr uint32_t kArea = 0x000E6010;
const EventTime kTime = Bcd(22, 6, 14, 13, 5, 20);

MachineImage Machine()
{
    BiosInformation bios;
    bios.vendor = "V";
    bios.version = "K5 FALCON 1.05";
    MachineImage image;
    image.Add(MakeBiosInformation(bios));
    return image;
}

EventLogArea Area()
{
    EventLogArea area;
    area.records = {OemRecord(0x17, kTime, {'I', "BIOS"}),
                    LimitRecord(kTime, 0x31, 0xFFFFFFFF, {'E', "HWMON"}, 4650)};
    area.length = 256;
    return area;
}

SystemEventLogFields Fields(uint8_t status = kLogStatusValid, uint32_t token = 7)
{
    SystemEventLogFields f;
    f.status = status;
    f.changeToken = token;
    f.descriptors = DecodedTypeDescriptors();
    return f;
}

long Count(const std::vector<std::string>& messages, const std::string& message)
{
    return std::count(messages.begin(), messages.end(), message);
}

class EventLogContainerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fan.dwSensorType = SENSOR_KIND_COOLING;
        fan.strDescription = "CPU Fan";
        source.sensors[0x31] = &fan;
    }

    SENSOR_STATUS Initialise(EventLogContainer& container)
    {
        SENSOR_STATUS status = SS_SUCCESS;
        QelTest::CaptureStdout([&] { status = container.Initialise(&source); });
        return status;
    }
    SENSOR_STATUS Get(EventLogContainer& container, CSystemEventLog& log)
    {
        SENSOR_STATUS status = SS_SUCCESS;
        QelTest::CaptureStdout([&] { status = container.GetSystemEventLog(log); });
        return status;
    }

    QelTest::TempSysRoot root;
    QelTest::FakeSensorSource source;
    CSMBios_TYPE27 fan;
};
}  // namespace

TEST_F(EventLogContainerTest, EveryRequestReadsTheLogAsItIsNow)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    MachineImage image = Machine();
    AddEventLog(image, 0x40, kArea, Area(), Fields(kLogStatusValid, 7));
    root.Install(image);
    EventLogContainer container;
    ASSERT_EQ(Initialise(container), SS_SUCCESS);
    // The first decoding, inside Initialise, does not reach the chip manager.
    EXPECT_EQ(source.calls, 0);
    CSystemEventLog log;
    container.CopyEventLogInformation(log);
    EXPECT_THAT(log.LogLines[1], HasSubstr(":HWMON: - Probe (0x0031) transitioned"));
    EXPECT_TRUE(log.LogValid);
    EXPECT_FALSE(log.LogFull);
    EXPECT_EQ(log.LogMultipleEventTimeWindow, 60);  // 0x60, BCD
    EXPECT_EQ(log.LogMultipleEventCountIncrement, 1);

    // The BIOS adds a record, marks the log full and changes its token.
    EventLogArea more = Area();
    more.records.push_back(OemRecord(0x17, Bcd(22, 6, 15, 8, 0, 0), {'I', "BIOS"}));
    more.header.timeWindow = 0x15;
    more.header.countIncrement = 4;
    image = Machine();
    AddEventLog(image, 0x40, kArea, more, Fields(kLogStatusValid | kLogStatusFull, 8));
    root.Install(image);
    log.LogLines = {"kept"};
    ASSERT_EQ(Get(container, log), SS_SUCCESS);
    EXPECT_EQ(source.calls, 1);
    EXPECT_THAT(
        log.LogLines,
        ElementsAre(
            "kept", "System boot:2022-06-14:13.05.20:Information:BIOS::",
            "System Limit Exceeded:2022-06-14:13.05.20:Error:HWMON:CPU Fan transitioned from "
            "within-limit to out-of-limit condition - Multiple-event count=1:Snapshot reading 4650 RPM ",
            "System boot:2022-06-15:08.00.00:Information:BIOS::"));
    EXPECT_TRUE(log.LogValid && log.LogFull);
    EXPECT_EQ(log.LogMultipleEventTimeWindow, 15);
    EXPECT_EQ(log.LogMultipleEventCountIncrement, 4);
    EXPECT_EQ(container.m_dwLastChangeToken, 7u);
    EXPECT_TRUE(container.HasTokenChanged());

    image = Machine();
    AddEventLog(image, 0x40, kArea, Area(), Fields(0x00, 8));
    root.Install(image);
    ASSERT_EQ(Get(container, log), SS_SUCCESS);
    EXPECT_FALSE(log.LogValid || log.LogFull);
    EXPECT_FALSE(container.HasTokenChanged());
}

TEST_F(EventLogContainerTest, AnUnreadableLogIsAnEventLogErrorAndLeavesTheRecordAlone)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    MachineImage noType15 = Machine();
    MachineImage indexed = Machine();
    SystemEventLogFields method0 = Fields();
    method0.accessMethod = 0;
    AddEventLog(indexed, 0x40, kArea, Area(), method0);
    MachineImage outside = Machine();
    AddEventLog(outside, 0x40, 0x00200000, Area(), Fields());
    outside.SetMemorySize(0x00100000);
    MachineImage revision2 = Machine();
    EventLogArea badHeader = Area();
    badHeader.header.revision = 2;
    AddEventLog(revision2, 0x40, kArea, badHeader, Fields());
    MachineImage noSmbios = Machine();
    noSmbios.Entry().place = EntryPointPlace::None;

    using Step = EventLogReport::Step;
    const struct
    {
        MachineImage* image;
        const char* message;
        Step reached;  // what the report says failed
    } cases[] = {
        {&noType15, "CSMBiosEventLogData::Initialise - No Type 15 event logs found", Step::Type15},
        {&indexed,
         "EventLogContainer::UpdateSELog - Incorrect AccessMethod 0 - Only MMapPhysical32 supported",
         Step::AccessMethod},
        {&outside, "CRawEvLog::GetBytesFromEvLog - mmap evlog failed, errno=0x00000006", Step::Area},
        {&revision2, "SELog::InitLogHeader - Unknown Log Header Revision 2", Step::Header},
        {&noSmbios, "EventLogContainer::UpdateSMBiosLog - Cannot initialize RawBYtes", Step::SMBiosTable},
    };
    MachineImage good = Machine();
    AddEventLog(good, 0x40, kArea, Area(), Fields());
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.message);
        root.Install(*c.image);
        EventLogContainer container;
        EXPECT_EQ(Initialise(container), SS_EVENT_LOG_ERROR);
        EXPECT_FALSE(container.m_bInit);
        EXPECT_THAT(root.LogMessages(), Contains(c.message));
        EXPECT_EQ(container.m_Report.reached, c.reached);
        EXPECT_EQ(container.m_Report.type15.has_value(), c.reached > Step::Type15);
        EXPECT_TRUE(container.m_Report.events.empty());

        // After a good start a failed refresh changes nothing, and the next one tries afresh.
        root.Install(good);
        ASSERT_EQ(Initialise(container), SS_SUCCESS);
        root.Install(*c.image);
        CSystemEventLog log;
        log.LogLines = {"kept"};
        EXPECT_EQ(Get(container, log), SS_EVENT_LOG_ERROR);
        EXPECT_TRUE(container.m_bInit);
        EXPECT_THAT(log.LogLines, ElementsAre("kept"));
        EXPECT_FALSE(log.LogValid);
        EXPECT_EQ(container.m_Report.reached, c.reached);
        root.Install(good);
        EXPECT_EQ(Get(container, log), SS_SUCCESS);
        EXPECT_EQ(log.LogLines.size(), 3u);
        EXPECT_EQ(container.m_Report.reached, Step::Decoded);
        EXPECT_EQ(container.m_Report.events.size(), 2u);
    }
}

TEST_F(EventLogContainerTest, OnlyTheFirstType15CountsAndItsDescriptorsDecide)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    MachineImage image = Machine();
    SystemEventLogFields none = Fields();
    none.descriptors.clear();
    AddEventLog(image, 0x40, kArea, Area(), none);
    AddEventLog(image, 0x41, 0x000E7000, Area(), Fields());
    root.Install(image);
    EventLogContainer container;
    ASSERT_EQ(Initialise(container), SS_SUCCESS);
    CSystemEventLog log;
    ASSERT_EQ(Get(container, log), SS_SUCCESS);
    EXPECT_EQ(container.m_pSMBiosLog->wHandle, 0x40);
    EXPECT_THAT(log.LogLines, ElementsAre("System boot:2022-06-14:13.05.20:Bad Event Descriptor:",
                                          "System Limit Exceeded:2022-06-14:13.05.20:Bad Event Descriptor:"));
    EXPECT_EQ(Count(root.LogMessages(), "Found more than one system event log - only using the first"), 2);
}

TEST_F(EventLogContainerTest, ItNeedsAChipManagerAndAnInitialisation)
{
    EventLogContainer container;
    CSystemEventLog log;
    log.LogLines = {"kept"};
    EXPECT_EQ(container.GetSystemEventLog(log), SS_NOT_INITIALISED);
    EXPECT_EQ(container.Initialise(nullptr), SS_INTERNAL_ERROR);
    EXPECT_EQ(container.GetRawSensorFromFirstChipDevice(0x31), nullptr);
    EXPECT_THAT(log.LogLines, ElementsAre("kept"));
    EXPECT_THAT(root.LogMessages(), Contains("EventLogContainer::Initialise - ChipManager==NULL"));

    container.m_bInit = true;
    EXPECT_EQ(container.Initialise(nullptr), SS_SUCCESS);
    EXPECT_THAT(root.LogMessages(),
                Contains("EventLogContainer::Initialise - already initialised - ignoring"));
}

TEST(EventLogData, DescriptorsAreTakenOnlyFromInsideTheStructure)
{
    QelTest::TempSysRoot root;
    SystemEventLogFields fields = Fields(0x03, 0x12345678);
    fields.address = 0xFF890000;
    fields.areaLength = 0x1000;
    fields.descriptors = {{0x17, 0}, {0x08, 4}, {0x10, 6}};
    fields.descriptorCount = 5;  // two more than the structure holds
    Structure announced = MakeSystemEventLog(0x40, fields);
    announced.AddString("a string whose bytes are no descriptors");
    const auto raw =
        QelTest::RawHolding(QelTest::Concat({MakeBiosInformation({}), announced, MakeEndOfTable(0x41)}));
    CSMBiosEventLogData data;
    ASSERT_TRUE(data.Initialise(*raw));
    const CSMBios_TYPE15& t = *data.m_pType15;
    EXPECT_EQ(t.byLength, 0x17 + 6);
    EXPECT_EQ(t.wLogAreaLength, 0x1000);
    EXPECT_EQ(t.AccessMethodAddress.PhysicalAddr32, 0xFF890000u);
    EXPECT_EQ(t.AccessMethodAddress.IO.IndexAddr, 0x0000);
    EXPECT_EQ(t.AccessMethodAddress.IO.DataAddr, 0xFF89);
    EXPECT_EQ(t.dwLogChangeToken, 0x12345678u);
    EXPECT_EQ(t.byNumberOfSupportedLogTypeDescriptors, 5);
    ASSERT_EQ(t.Descriptors.size(), 3u);
    EXPECT_EQ(t.Descriptors[2].byLogType, 0x10);
    EXPECT_EQ(t.Descriptors[2].byVDFType, 6);
    EXPECT_THAT(root.LogMessages(),
                Contains("CSMBiosEventLogData::StoreType15 - only 3 of 5 log type descriptors "
                         "lie inside the structure (length 0x1d)"));

    // A structure cut off by the table's end: only the descriptors inside the table are taken.
    std::vector<uint8_t> table =
        QelTest::Concat({MakeBiosInformation({}), MakeSystemEventLog(0x40, Fields())});
    table.resize(table.size() - 12);
    CSMBiosEventLogData cut;
    ASSERT_TRUE(cut.Initialise(*QelTest::RawHolding(table)));
    EXPECT_EQ(cut.m_pType15->Descriptors.size(), 5u);
}
