// The record decoder over hand-built log areas: every decoded type, every way a log or a record
// can be wrong, and the message tables.
#include "EventLogTestSupport.h"
#include "TempSysRoot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace QelSim;
using QelTest::Declared;
using QelTest::Decode;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace
{
const EventTime kTime = Bcd(19, 3, 15, 10, 22, 5);
const std::string kFixed = ":2019-03-15:10.22.05:";
const OemEntry kSource{'I', "SRCNAME1"};

EventLogArea AreaOf(std::vector<EventRecord> records)
{
    EventLogArea area;
    area.records = std::move(records);
    return area;
}

class SELogTest : public ::testing::Test
{
protected:
    std::vector<std::string> Log() const { return root.LogMessages(); }
    QelTest::TempSysRoot root;
};
}  // namespace

TEST_F(SELogTest, EveryDecodedTypeGivesItsLine)
{
    const QelTest::Decoded d = Decode(AreaOf({
        OemRecord(0x17, kTime, kSource),
        OemRecord(0x01, Bcd(49, 1, 2, 3, 4, 5), {'W', "MEM"}),
        OemRecord(0x02, Bcd(50, 12, 31, 23, 59, 59), {'E', "MEM"}),
        OemRecord(0x06, Bcd(99, 1, 1, 0, 0, 0), {'X', "NMI"}),
        OemRecord(0x09, kTime, {'i', "PCI"}),
        OemRecord(0x0A, kTime, {0, "PCI"}),
        OemRecord(0x16, kTime, {'I', ""}),
        PostErrorRecord(kTime, 1u << 3 | 1u << 18, 1u << 1, {'W', "POST"}),
        PostErrorRecord(kTime, 1u << 28, 0, {'E', "POST"}, "WD12AB34"),
        DiskRecord(kTime, 1u << 28 | 1u << 29, {'I', "SATA"}, "SSD 128GB"),
        DiskRecord(kTime, 0, {'I', "SATA"}, ""),
    }));
    ASSERT_TRUE(d.ok);
    EXPECT_THAT(
        d.lines,
        ElementsAre("System boot" + kFixed + "Information:SRCNAME1::",
                    "Single-bit ECC memory error:2049-01-02:03.04.05:Warning:MEM::",
                    "Multi-bit ECC memory error:1950-12-31:23.59.59:Error:MEM::",
                    "Software NMI:1999-01-01:00.00.00:Unknown(X):NMI::",
                    "PCI Parity Error" + kFixed + "Unknown(i):PCI::",
                    // A zero severity byte must not end the line where it is passed on as a C string.
                    "PCI System Error" + kFixed + "Unknown(0x00):PCI::",
                    "Log Area Reset/Cleared" + kFixed + "Information:::",
                    "POST Error" + kFixed +
                        "Warning:POST:CMOS Battery Failure; CMOS Time Not Set; VPD Invalid::",
                    "POST Error" + kFixed + "Error:POST:Hard Disk 0 failure:Disk serial number WD12AB34",
                    "Hard-disk information" + kFixed + "Information:SATA:Hard Disk 0:SSD 128GB",
                    "Hard-disk information" + kFixed + "Information:SATA:Hard Disk:"));
    EXPECT_THAT(d.out, IsEmpty());  // every checksum holds
}

TEST_F(SELogTest, LimitEventsNameTheirProbeThroughTheContainer)
{
    CSMBios_TYPE27 fan;
    fan.dwSensorType = SENSOR_KIND_COOLING;
    fan.strDescription = "CPU Fan";
    CSMBios_TYPE28 temperature;
    temperature.dwSensorType = SENSOR_KIND_TEMPERATURE;
    CSMBios_TYPE26 volts;
    volts.dwSensorType = SENSOR_KIND_VOLTAGE;
    CSMBios_Sensor odd;
    odd.dwSensorType = 7;
    odd.strDescription = "not used";
    QelTest::FakeSensorSource source;
    source.sensors = {{0x31, &fan}, {0x32, &temperature}, {0x33, &volts}, {0x34, &odd}};
    EventLogContainer container;
    container.m_pChipManager = &source;
    container.m_bInit = true;  // as after its first refresh

    const OemEntry error{'E', "SRCNAME1"};
    const OemEntry info{'I', "HWMON"};
    const EventLogArea area = AreaOf({
        LimitRecord(kTime, 0x31, 0xFFFFFFFF, error, 1840),
        LimitRecord(kTime, 0x32, 5, info, 45),
        LimitRecord(kTime, 0x33, 0x80000000, {'W', "HWMON"}, 65535),
        LimitRecord(kTime, 0x34, 1, error, 0),
        LimitRecord(kTime, 0x99, 2, error, 7),
    });
    const std::string head = "System Limit Exceeded" + kFixed;
    EXPECT_THAT(Decode(area, &container).lines,
                ElementsAre(head + "Error:SRCNAME1:CPU Fan transitioned from within-limit to out-of-limit "
                                   "condition - Multiple-event count=1:Snapshot reading 1840 RPM ",
                            head +
                                "Information:HWMON:Temperature probe (0x0032) transitioned from out-of-limit "
                                "to within-limit condition - Multiple-event count=5:Snapshot reading 45 "
                                "degrees C ",
                            head + "Warning:HWMON:Voltage probe (0x0033) transitioned - Multiple-event "
                                   "count=2147483648:Snapshot reading 65535 mV ",
                            head + "Error:SRCNAME1:Probe (0x0034) transitioned from within-limit to "
                                   "out-of-limit condition - Multiple-event count=1:Snapshot reading 0",
                            head + "Error:SRCNAME1: - Probe (0x0099) transitioned from within-limit to "
                                   "out-of-limit condition - Multiple-event count=2:Snapshot reading 7"));
    EXPECT_EQ(source.calls, 5);

    // Before the container's first refresh has finished, the chip manager is not asked.
    container.m_bInit = false;
    EXPECT_THAT(Decode(area, &container).lines[0], HasSubstr(":SRCNAME1: - Probe (0x0031) transitioned"));
    EXPECT_EQ(source.calls, 5);
    EXPECT_THAT(Log(), Contains("EventLogContainer::GetEventLog - Not initialised"));
}

TEST_F(SELogTest, RecordsTooShortForTheirTypeLoseOnlyWhatIsMissing)
{
    EventRecord shortPost = PostErrorRecord(kTime, 1, 0, kSource);
    shortPost.length = 24;
    EventRecord noSerial = PostErrorRecord(kTime, 1u << 28, 0, kSource);
    noSerial.length = 26;
    EventRecord shortDisk = DiskRecord(kTime, 0, kSource, "");
    shortDisk.length = 24;
    EventRecord shortLimit = LimitRecord(kTime, 0x31, 1, kSource, 1);
    shortLimit.length = 28;
    // The "record read" flag is not part of the length: these are short records all the same.
    EventRecord readNoSerial = noSerial;
    readNoSerial.read = true;
    EventRecord readLimit = shortLimit;
    readLimit.read = true;
    // A disk text without its zero byte ends with the record, not in the next one.
    EventRecord unterminated = DiskRecord(kTime, 1u << 31, kSource, "ABCDEFGHIJ");
    unterminated.data.pop_back();
    EventRecord readDisk = DiskRecord(kTime, 1u << 30, kSource, "disk text");
    readDisk.read = true;

    const QelTest::Decoded d =
        Decode(AreaOf({shortPost, noSerial, shortDisk, shortLimit, readNoSerial, readLimit, unterminated,
                       OemRecord(0x17, kTime, kSource), readDisk}));
    EXPECT_THAT(d.lines,
                ElementsAre("POST Error" + kFixed + "::",
                            "POST Error" + kFixed + "Information:SRCNAME1:Hard Disk 0 failure:",
                            "Hard-disk information" + kFixed + "::", "System Limit Exceeded" + kFixed + "::",
                            "POST Error" + kFixed + "Information:SRCNAME1:Hard Disk 0 failure:",
                            "System Limit Exceeded" + kFixed + "::",
                            "Hard-disk information" + kFixed + "Information:SRCNAME1:Hard Disk 3:ABCDEFGHIJ",
                            "System boot" + kFixed + "Information:SRCNAME1::",
                            "Hard-disk information" + kFixed + "Information:SRCNAME1:Hard Disk 2:disk text"));
    EXPECT_THAT(
        Log(), Contains("SELog::addPostErrLogLine - record too short, expected (0x19) 25, actual (0x18) 24"));
    EXPECT_THAT(Log(),
                Contains("SELog::addPostErrLogLine - record with oem data is too short, expected (0x21) 33, "
                         "actual (0x1a) 26"));
    EXPECT_THAT(Log(), Contains("SELog::addSystemLimitExceededMultiEventLogLine - record too short, expected "
                                "(0x1d) 29, actual (0x1c) 28"));
}

TEST_F(SELogTest, UndeclaredAndUndecodedTypesStillGiveALine)
{
    const EventLogArea area = AreaOf(
        {OemRecord(0x04, kTime, kSource), OemRecord(0x17, kTime, kSource), OemRecord(0x20, kTime, kSource)});
    EXPECT_THAT(Decode(area.Encode(), Declared({{0x04, 0}, {0x17, 0}})).lines,
                ElementsAre("Bus time-out" + kFixed + "Unsupported Event Type:",
                            "System boot" + kFixed + "Information:SRCNAME1::",
                            "Unknown(0x20)" + kFixed + "Bad Event Descriptor:"));
    EXPECT_THAT(Decode(area.Encode(), {}).lines,
                ElementsAre("Bus time-out" + kFixed + "Bad Event Descriptor:",
                            "System boot" + kFixed + "Bad Event Descriptor:",
                            "Unknown(0x20)" + kFixed + "Bad Event Descriptor:"));
    EXPECT_THAT(Log(), Contains("Event type 0x04 - Bus time-out -  not supported by this software"));
}

// Beside each line the decoder keeps what its fields were made from: the type, the OEM entry's
// severity byte where the line shows one, and the time when every field is a BCD number in range.
TEST_F(SELogTest, EachEventKeepsTheTypeSeverityAndTimeOfItsLine)
{
    EventTime letters = kTime;
    letters.month = 0x1a;
    EventTime month13 = kTime;
    month13.month = 0x13;
    EventRecord shortLimit = LimitRecord(kTime, 0x31, 1, kSource, 1);
    shortLimit.length = 28;
    const QelTest::Decoded d = Decode(AreaOf({
        OemRecord(0x17, Bcd(49, 1, 2, 3, 4, 5), {'W', "MEM"}),
        OemRecord(0x17, Bcd(50, 12, 31, 23, 59, 59), {0x07, "HWMON"}),
        OemRecord(0x17, letters, kSource),
        OemRecord(0x17, month13, kSource),
        shortLimit,
        OemRecord(0x20, kTime, kSource),
    }));
    ASSERT_EQ(d.events.size(), d.lines.size());
    for (size_t i = 0; i < d.lines.size(); ++i)
        EXPECT_EQ(d.events[i].line, d.lines[i]);
    const auto time = [](const SELogEvent& e)
    {
        if (!e.time)
            return std::string("none");
        char text[32];
        snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u", e.time->year, e.time->month,
                 e.time->day, e.time->hour, e.time->minute, e.time->second);
        return std::string(text);
    };
    EXPECT_EQ(d.events[0].type, 0x17);
    EXPECT_EQ(d.events[0].severity, std::optional<uint8_t>('W'));
    EXPECT_EQ(time(d.events[0]), "2049-01-02 03:04:05");
    EXPECT_EQ(d.events[1].severity, std::optional<uint8_t>(0x07));
    EXPECT_EQ(time(d.events[1]), "1950-12-31 23:59:59");
    // BCD bytes that are no date: the line shows them, the event has no time.
    EXPECT_EQ(d.lines[2], "System boot:2019-1a-15:10.22.05:Information:SRCNAME1::");
    EXPECT_EQ(time(d.events[2]), "none");
    EXPECT_EQ(d.lines[3], "System boot:2019-13-15:10.22.05:Information:SRCNAME1::");
    EXPECT_EQ(time(d.events[3]), "none");
    // No OEM entry in the line: no severity.
    EXPECT_EQ(d.lines[4], "System Limit Exceeded" + kFixed + "::");
    EXPECT_EQ(d.events[4].type, 0x10);
    EXPECT_EQ(d.events[4].severity, std::nullopt);
    EXPECT_EQ(time(d.events[4]), "2019-03-15 10:22:05");
    EXPECT_EQ(d.lines[5], "Unknown(0x20)" + kFixed + "Bad Event Descriptor:");
    EXPECT_EQ(d.events[5].type, 0x20);
    EXPECT_EQ(d.events[5].severity, std::nullopt);
}

TEST_F(SELogTest, ChecksumFailuresArePrintedAndTheRecordDecodedAnyway)
{
    struct Case
    {
        RecordChecksum checksum;
        bool read;
        std::vector<std::string> out;
    };
    const Case cases[] = {
        {RecordChecksum::Computed, true, {}},
        {RecordChecksum::OverStoredByte, true, {"case #1 failed"}},
        {RecordChecksum::Broken, false, {"case #1 failed", "case #2 failed"}},
        {RecordChecksum::Broken, true, {"case #1 failed", "case #2 failed"}},
    };
    for (const Case& c : cases)
    {
        EventRecord r = OemRecord(0x17, kTime, kSource);
        r.checksum = c.checksum;
        r.read = c.read;
        const QelTest::Decoded d = Decode(AreaOf({r}));
        EXPECT_EQ(d.out, c.out);
        EXPECT_THAT(d.lines, ElementsAre("System boot" + kFixed + "Information:SRCNAME1::"));
    }
    EXPECT_THAT(Log(), Contains("SELog::addVariablePart - checksum failed"));
}

TEST_F(SELogTest, TheWalkStopsWhereTheLogEndsOrBreaksAndKeepsWhatCameBefore)
{
    const EventRecord boot = OemRecord(0x17, kTime, kSource);
    const std::string bootLine = "System boot" + kFixed + "Information:SRCNAME1::";
    EventRecord seventeen = boot;
    seventeen.length = 17;
    EventLogArea noEnd = AreaOf({boot, boot});
    noEnd.endOfLog = false;
    // A record that runs past the area's end is not decoded: its fields and checksum are cut off.
    EventLogArea cut = AreaOf({boot, PostErrorRecord(kTime, 1u << 28, 0, kSource, "SERIAL12")});
    cut.endOfLog = false;
    cut.length = 16 + 18 + 30;
    EventLogArea lengthOutside = AreaOf({boot});
    lengthOutside.endOfLog = false;
    lengthOutside.length = 16 + 18 + 1;
    lengthOutside.fill = 0x17;

    struct Case
    {
        const char* name;
        EventLogArea area;
        size_t lines;
        std::string message;
    };
    const Case cases[] = {
        {"end record", AreaOf({boot, boot}), 2, "SELog::initLogLines - End Log record found"},
        {"read flag, length 18",
         [&]
         {
             EventLogArea a = AreaOf({boot, boot});
             a.records[0].read = true;
             return a;
         }(),
         2, "SELog::initLogLines - End Log record found"},
        {"length 17", AreaOf({boot, seventeen, boot}), 1,
         "SELog::initLogLines - policy means some log lines may be missing"},
        {"no end record", noEnd, 2,
         "SELog::initLogLines - pointer now past end of log with no End Log 0xff found - exiting loop"},
        {"cut record", cut, 1,
         "SELog::initLogLines - record at offset 34, length 34, runs past the end of the log area (64 "
         "bytes) - exiting"},
        {"length byte outside", lengthOutside, 1,
         "SELog::initLogLines - record at offset 34 has no length byte inside the area - exiting"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const QelTest::Decoded d = Decode(c.area);
        EXPECT_TRUE(d.ok);
        EXPECT_EQ(d.lines, std::vector<std::string>(c.lines, bootLine));
        EXPECT_THAT(Log(), Contains(c.message));
    }
    EXPECT_THAT(Log(), Contains("SELog::initLogLines - Invalid record length 17 - exiting"));
}

TEST_F(SELogTest, HeaderDecidesWhetherTheLogIsReadAtAll)
{
    EventLogArea area = AreaOf({OemRecord(0x17, kTime, kSource)});
    const EventLogDescriptors all = Declared(DecodedTypeDescriptors());
    std::vector<uint8_t> bytes = area.Encode();

    EXPECT_FALSE(Decode(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 15), all).ok);
    EXPECT_THAT(Log(), Contains("SELog::InitLogHeader - Invalid header type #1 size=15"));
    area.header.revision = 2;
    EXPECT_FALSE(Decode(area).ok);
    EXPECT_THAT(Log(), Contains("SELog::InitLogHeader - Unknown Log Header Revision 2"));

    for (size_t size : {16, 17})
    {
        const QelTest::Decoded d = Decode(std::vector<uint8_t>(bytes.begin(), bytes.begin() + size), all);
        EXPECT_TRUE(d.ok);
        EXPECT_THAT(d.lines, IsEmpty()) << size;
        bytes[16] = 0xFF;
    }

    // Lines are handed out only by an initialised decoder.
    SELog log;
    std::vector<std::string> out = {"kept"};
    EXPECT_FALSE(log.getLogLines(out));
    EXPECT_THAT(out, ElementsAre("kept"));
}

TEST_F(SELogTest, PostMessagesComeInTableOrderWithAColonFreeSeparator)
{
    EXPECT_EQ(SELog::getPostBitmapString(0, 0), "");
    EXPECT_EQ(SELog::getPostBitmapString(1, 0), "Channel 2 Timer error");
    EXPECT_EQ(SELog::getPostBitmapString(0x00100000, 0x0000007C), "");
    EXPECT_EQ(SELog::getPostBitmapString(0x80000000, 0), "Hard Disk 3 failure");
    EXPECT_EQ(SELog::getPostBitmapString(1u << 31, 1u << 31 | 1),
              "Hard Disk 3 failure; Memory failure; Audio Resource Conflict");

    // Every message once: 24 of the first word, 27 of the second.
    const std::string all = SELog::getPostBitmapString(0xFFFFFFFF, 0xFFFFFFFF);
    EXPECT_EQ(all.find(':'), std::string::npos);
    size_t messages = 1;
    for (size_t at = all.find("; "); at != std::string::npos; at = all.find("; ", at + 1))
        ++messages;
    EXPECT_EQ(messages, 24u + 27u);
    EXPECT_THAT(all, HasSubstr("CMOS Time Not Set; DDC Monitor Configuration Change  ; Hard Disk 0 failure"));

    EXPECT_EQ(SELog::getDiskInformationString(0x80000000, 0), "Hard Disk 3");
    EXPECT_EQ(SELog::getDiskInformationString(0x30000000, 0), "Hard Disk 0");
    EXPECT_EQ(SELog::getDiskInformationString(0x0FFFFFFF, 0xFFFFFFFF), "Hard Disk");
    EXPECT_EQ(SELog::getOemSeverityString(0x7F), "Unknown(0x7f)");
    EXPECT_EQ(SELog::getOemSeverityString(0xC3), "Unknown(0xc3)");
}

TEST_F(SELogTest, BuiltInSampleShowsEveryKindOfRecord)
{
    SELog log;
    std::vector<std::string> lines;
    std::string out = QelTest::CaptureStdout([&] { EXPECT_TRUE(log.mock__Initialise(nullptr)); });
    ASSERT_TRUE(log.getLogLines(lines));
    EXPECT_THAT(QelTest::LibraryDebugLines(out), ElementsAre("case #1 failed", "case #2 failed"));
    EXPECT_EQ(log.m_byMultipleEventTimeWindow, 0x60);
    EXPECT_THAT(
        lines,
        ElementsAre(
            "Log Area Reset/Cleared:2022-03-01:08.00.00:Information:BIOS::",
            "System boot:2022-03-01:08.00.12:Information:BIOS::",
            "POST Error:2022-03-01:08.00.15:Warning:POST:CMOS Battery Failure; CMOS Time Not Set::",
            "POST Error:2022-03-02:07.59.58:Error:POST:Hard Disk 0 failure; Primary Boot Device Not "
            "Found:Disk serial number WD12AB34",
            "Hard-disk information:2022-03-02:08.01.03:Information:SATA:Hard Disk 1:SSD 128GB",
            "System Limit Exceeded:2022-03-05:14.30.00:Error:HWMON: - Probe (0x0031) transitioned "
            "from within-limit to out-of-limit condition - Multiple-event count=1:Snapshot reading 3150",
            "System Limit Exceeded:2022-03-05:14.42.10:Information:HWMON: - Probe (0x0031) "
            "transitioned from out-of-limit to within-limit condition - Multiple-event "
            "count=3:Snapshot reading 2400",
            "Single-bit ECC memory error:2022-04-11:09.15.00:Warning:MEMORY::",
            "Multi-bit ECC memory error:2022-04-11:09.15.01:Error:MEMORY::",
            "Software NMI:2022-04-12:23.59.59:Error:NMI::",
            "PCI Parity Error:2022-05-01:00.00.01:Error:PCI::",
            "PCI System Error:2022-05-01:00.00.02:Error:PCI::",
            "System boot:2022-05-01:00.01.30:Information:BIOS::",
            "Bus time-out:2022-05-02:10.00.00:Bad Event Descriptor:",
            "Unknown(0x20):2022-05-02:10.00.05:Bad Event Descriptor:"));
}
