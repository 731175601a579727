// The structure walk, string lookup and BIOS information over tables held in exactly-sized
// blocks: every case at the table's end must stay inside it (AddressSanitizer builds check).
#include "Capture.h"
#include "SMBiosMachineData.h"
#include "SMBiosTables.h"
#include "TempSysRoot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using QelImage::BiosInformation;
using QelImage::MakeBiosInformation;
using QelImage::MakeEndOfTable;
using QelImage::Structure;
using QelTest::Concat;
using QelTest::CTestCollection;
using QelTest::RawHolding;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace
{
constexpr char kLabel[] = "CTestCollection::GetStructures";

struct Visit
{
    size_t offset;
    uint8_t type;
};

std::vector<Visit> Walk(CTestCollection& c)
{
    std::vector<Visit> visits;
    c.WalkStructures(kLabel,
                     [&](const uint8_t* p) {
                         visits.push_back({static_cast<size_t>(p - c.m_pRawBytes), c.GetByte(p, 0)});
                     });
    return visits;
}

std::vector<size_t> Offsets(const std::vector<Visit>& visits)
{
    std::vector<size_t> offsets;
    for (const Visit& v : visits)
        offsets.push_back(v.offset);
    return offsets;
}

Structure Plain(uint8_t type, uint16_t handle, size_t formattedLength)
{
    Structure s(type, handle);
    s.data.assign(formattedLength - 4, 0x5A);
    return s;
}

// The sample BIOS information with every field distinct, so a field read from the wrong
// offset shows.
BiosInformation DistinctBios()
{
    BiosInformation bios;
    bios.vendor = "V";
    bios.version = "1.2";
    bios.releaseDate = "";
    bios.startSegment = 0xE800;
    bios.romSize = 0x3F;
    bios.characteristics = 0x8877665544332211ull;
    bios.extension = {0x91, 0x92};
    bios.biosMajor = 0xA1;
    bios.biosMinor = 0xA2;
    bios.firmwareMajor = 0xA3;
    bios.firmwareMinor = 0xA4;
    return bios;
}

class SMBiosWalkTest : public ::testing::Test
{
protected:
    QelTest::TempSysRoot root;  // a log with every level, under a throw-away root
};
}  // namespace

TEST_F(SMBiosWalkTest, WalkVisitsEveryStructureAfterTheFirstUpToEndOfTable)
{
    Structure withStrings = Plain(34, 0x0101, 0x0B);
    withStrings.AddString("ab");
    withStrings.AddString("c");
    const std::vector<uint8_t> table =
        Concat({Plain(1, 0, 0x0B), withStrings, MakeEndOfTable(0x0102), Plain(2, 0x0103, 8)});
    auto raw = RawHolding(table);
    CTestCollection c;
    c.Initialise(*raw);

    // 0x0B formatted bytes and two NULs; then 0x0B bytes, "ab", "c" and the set's closing NUL.
    const std::vector<Visit> visits = Walk(c);
    EXPECT_THAT(Offsets(visits), ElementsAre(0x0D, 0x0D + 0x0B + 3 + 2 + 1));  // nothing after End-of-Table
    ASSERT_EQ(visits.size(), 2u);
    EXPECT_EQ(visits[1].type, 127);

    char pTableLine[64];
    snprintf(pTableLine, sizeof(pTableLine), "%s - pTable=0x%x", kLabel,
             static_cast<unsigned>(reinterpret_cast<uintptr_t>(c.m_pRawBytes + 0x0D)));
    const std::vector<std::string> log = root.LogMessages();
    const std::vector<std::string> expected = {pTableLine, "Header:", "  Type:   0x22, (34)",
                                               "  Length: 0x0b", "  Handle: 0x0101"};
    auto at = std::search(log.begin(), log.end(), expected.begin(), expected.end());
    EXPECT_NE(at, log.end()) << "per-structure lines missing";
    EXPECT_THAT(log, Contains("CSMBiosData::GetNextTable - End Structure (127) found"));
}

TEST_F(SMBiosWalkTest, WalkStopsInsideShortAndCutOffTables)
{
    const std::vector<uint8_t> first = Plain(1, 0, 0x0B).Encode();
    Structure unterminated(5, 7);
    unterminated.AddString("abc");
    unterminated.terminated = false;

    struct Case
    {
        const char* name;
        std::vector<uint8_t> table;
        std::vector<size_t> visited;
        bool pastEndMessage;
    };
    std::vector<uint8_t> lastFour = first;
    lastFour.insert(lastFour.end(), {9, 4, 0x07, 0x00});  // a header and nothing after it
    std::vector<uint8_t> lastThree = first;
    lastThree.insert(lastThree.end(), {9, 4, 0x07});
    std::vector<uint8_t> cutSet = first;
    const std::vector<uint8_t> cut = unterminated.Encode();
    cutSet.insert(cutSet.end(), cut.begin(), cut.end());
    std::vector<uint8_t> firstCut(first.begin(), first.end() - 1);

    const std::vector<Case> cases = {
        {"structure in the last 4 bytes", lastFour, {0x0D}, false},
        {"structure in the last 3 bytes", lastThree, {0x0D}, true},
        {"string set without its end", cutSet, {0x0D}, false},
        {"first structure's set cut off", firstCut, {}, false},
        {"table shorter than a header", {0, 3, 0}, {}, true},
        {"empty table", {}, {}, true},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        auto raw = RawHolding(k.table);
        CTestCollection c;
        c.Initialise(*raw);
        const size_t before = root.LogMessages().size();
        EXPECT_THAT(Offsets(Walk(c)), ElementsAreArray(k.visited));
        const std::vector<std::string> log = root.LogMessages();
        const bool pastEnd = std::any_of(
            log.begin() + before, log.end(),
            [](const std::string& m)
            { return m.rfind("CSMBiosData::GetNextTable - Past end of SMBIOS, pCurrent=0x", 0) == 0; });
        EXPECT_EQ(pastEnd, k.pastEndMessage);
    }
}

// A structure shorter than its header breaks the table, and a 2.x table ends after the entry
// point's count of structures: the walk keeps what came before and says once where it stopped.
TEST_F(SMBiosWalkTest, WalkStopsAtABrokenStructureAndAfterTheEntryPointsCount)
{
    Structure broken(219, 0x0EEE);
    broken.length = 2;
    const std::vector<uint8_t> whole =
        Concat({Plain(1, 0, 0x0B), Plain(2, 1, 8), Plain(34, 2, 0x0B), MakeEndOfTable(3)});
    struct Case
    {
        const char* name;
        std::vector<uint8_t> table;
        uint16_t count;
        std::vector<size_t> visited;
        std::string stop;  // the one line that says so
    };
    const std::vector<Case> cases = {
        {"broken structure",
         Concat({Plain(1, 0, 0x0B), Plain(2, 1, 8), broken, Plain(34, 2, 0x0B), MakeEndOfTable(3)}),
         0,
         {0x0D},
         "CSMBiosData::GetNextTable - Structure at offset 0x0017 has length 2, shorter than its header: "
         "the table is broken, the rest of it is ignored"},
        {"count of 2",
         whole,
         2,
         {0x0D},
         "CSMBiosData::WalkStructures - The entry point counts 2 structures: the rest of the table from "
         "offset 0x0017 is ignored"},
        {"count up to End-of-Table", whole, 4, {0x0D, 0x17, 0x24}, ""},
        {"no count", whole, 0, {0x0D, 0x17, 0x24}, ""},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        auto raw = RawHolding(k.table);
        raw->m_Header.NumSmbiosStructs = k.count;
        CTestCollection c;
        c.Initialise(*raw);
        const size_t before = root.LogMessages().size();
        EXPECT_THAT(Offsets(Walk(c)), ElementsAreArray(k.visited));
        const std::vector<std::string> log = root.LogMessages();
        std::vector<std::string> stops;
        std::copy_if(log.begin() + before, log.end(), std::back_inserter(stops),
                     [](const std::string& m) { return m.find("is ignored") != std::string::npos; });
        EXPECT_EQ(stops, k.stop.empty() ? std::vector<std::string>() : std::vector<std::string>{k.stop});
    }
}

TEST_F(SMBiosWalkTest, HeaderCutOffByTheTableEndReadsOnlyWhatIsInside)
{
    std::vector<uint8_t> table = Plain(1, 0, 0x0B).Encode();
    table.insert(table.end(), {0x09, 0x04, 0x37});  // type, length and the handle's low byte
    auto raw = RawHolding(table);
    CTestCollection c;
    c.Initialise(*raw);
    const uint8_t* last = c.GetNextTable(c.m_pRawBytes);
    ASSERT_EQ(last, c.m_pRawBytes + 0x0D);
    EXPECT_EQ(c.GetWord(last, 2), 0x0037);
    EXPECT_EQ(c.GetDWord(last, 0), 0x00370409u);
    EXPECT_EQ(c.GetByte(last, 200), 0);
    EXPECT_TRUE(c.InTable(last, 0, 3));
    EXPECT_FALSE(c.InTable(last, 2, 2));
    EXPECT_FALSE(c.HasField(last, 2, 2));
    EXPECT_TRUE(c.HasField(last, 1, 1));
    EXPECT_FALSE(c.HasField(c.m_pRawBytes, 0x0A, 2));  // past the formatted length, inside the table
    EXPECT_TRUE(c.InTable(c.m_pRawBytes, 0x0A, 2));
}

TEST_F(SMBiosWalkTest, StringsAreLookedUpByNumberInsideTheTable)
{
    Structure s(11, 0);
    s.Byte(1);
    s.AddString("V");
    s.AddString("1.2");
    auto raw = RawHolding(s.Encode());
    CTestCollection c;
    c.Initialise(*raw);
    const uint8_t* set = c.m_pRawBytes + 5;

    std::string text = "stale";
    const std::vector<std::pair<uint8_t, std::string>> cases = {
        {1, "V"}, {2, "1.2"}, {0, ""}, {3, ""}, {5, ""}};
    for (const auto& k : cases)
    {
        c.GetString(text, set, k.first);
        EXPECT_EQ(text, k.second) << "string " << int(k.first);
    }
    c.GetString(text, c.m_pRawBytes + raw->m_dwLength, 1);  // a set that starts at the end
    EXPECT_EQ(text, "");
    c.GetFieldString(text, c.m_pRawBytes, 4);
    EXPECT_EQ(text, "V");

    // The last string of a set cut off by the table's end is read up to the end.
    Structure cut(11, 0);
    cut.AddString("V");
    cut.AddString("1.2");
    cut.terminated = false;
    auto rawCut = RawHolding(cut.Encode());
    CTestCollection d;
    d.Initialise(*rawCut);
    d.GetString(text, d.m_pRawBytes + 4, 2);
    EXPECT_EQ(text, "1.2");
}

TEST_F(SMBiosWalkTest, StoreType00DecodesEveryField)
{
    auto raw = RawHolding(Concat({MakeBiosInformation(DistinctBios(), 0x0042), MakeEndOfTable(1)}));
    CTestCollection c;
    c.Initialise(*raw);
    c.StoreType00(c.m_pRawBytes);

    const CSMBios_TYPE00& t = c.m_Type00;
    EXPECT_EQ(t.byType, 0);
    EXPECT_EQ(t.byLength, 0x18);
    EXPECT_EQ(t.wHandle, 0x0042);
    EXPECT_EQ(t.byVendorString, 1);
    EXPECT_EQ(t.byVersionString, 2);
    EXPECT_EQ(t.wStartingSegment, 0xE800);
    EXPECT_EQ(t.byReleaseDateString, 0);
    EXPECT_EQ(t.byRomSize, 0x3F);
    EXPECT_THAT(t.abyCharacteristics, ElementsAre(0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88));
    EXPECT_THAT(t.abyExtension, ElementsAre(0x91, 0x92));
    EXPECT_EQ(t.byBiosMajorRelease, 0xA1);
    EXPECT_EQ(t.byBiosMinorRelease, 0xA2);
    EXPECT_EQ(t.byFirmwareMajorRelease, 0xA3);
    EXPECT_EQ(t.byFirmwareMinorRelease, 0xA4);
    EXPECT_EQ(t.strVendor, "V");
    EXPECT_EQ(t.strVersion, "1.2");
    EXPECT_EQ(t.strReleaseDate, "");

    // Every collection logs the decoded structure under the one label.
    const std::vector<std::string> expected = {"CSMBiosChipData::StoreType00", "  BIOS Vendor:            V",
                                               "  BIOS Version:           1.2", "  BIOS Release Date:      "};
    const std::vector<std::string> log = root.LogMessages();
    EXPECT_NE(std::search(log.begin(), log.end(), expected.begin(), expected.end()), log.end());
    EXPECT_THAT(log, Contains("                          0x88"));
}

// A Type 0 structure cut off anywhere by the table's end yields what lies inside and zeros
// (or empty strings) for the rest.
TEST_F(SMBiosWalkTest, Type0AtTheEndOfAShortTableStaysInside)
{
    BiosInformation bios = DistinctBios();
    bios.releaseDate = "D";
    const std::vector<uint8_t> full = MakeBiosInformation(bios).Encode();  // 0x18 + "V" "1.2" "D" + NUL
    ASSERT_EQ(full.size(), 0x18u + 2 + 4 + 2 + 1);

    struct Case
    {
        size_t length;
        const char* vendor;
        const char* version;
        const char* date;
    };
    const Case cases[] = {
        {1, "", "", ""},
        {5, "", "", ""},
        {7, "", "", ""},
        {0x10, "", "", ""},
        {0x17, "", "", ""},
        {0x19, "V", "", ""},
        {0x1C, "V", "1.", ""},
        {0x1F, "V", "1.2", "D"},
        {0x18, "", "", ""},
        {0x1E, "V", "1.2", ""},
        {full.size(), "V", "1.2", "D"},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE("table of " + std::to_string(k.length) + " bytes");
        auto raw = RawHolding(std::vector<uint8_t>(full.begin(), full.begin() + k.length));
        CTestCollection c;
        c.Initialise(*raw);
        c.StoreType00(c.m_pRawBytes);

        auto at = [&](size_t offset) { return offset < k.length ? full[offset] : 0; };
        const CSMBios_TYPE00& t = c.m_Type00;
        EXPECT_EQ(t.byLength, at(1));
        EXPECT_EQ(t.wHandle, at(2) | at(3) << 8);
        EXPECT_EQ(t.wStartingSegment, at(6) | at(7) << 8);
        EXPECT_EQ(t.byRomSize, at(9));
        EXPECT_EQ(t.abyCharacteristics[7], at(0x11));
        EXPECT_EQ(t.byFirmwareMinorRelease, at(0x17));
        EXPECT_EQ(t.strVendor, k.vendor);
        EXPECT_EQ(t.strVersion, k.version);
        EXPECT_EQ(t.strReleaseDate, k.date);
    }
}

TEST_F(SMBiosWalkTest, BiosInformationIsTheFirstType0ReadWithinItsLength)
{
    // An old Type 0 of 0x12 bytes: its string set starts where the release bytes would be.
    Structure old(0, 0x20);
    old.String("Vendor").String("Ver").Word(0xF000).String("").Byte(0x0F).QWord(0x80);
    ASSERT_EQ(old.Encode()[1], 0x12);
    // Many tables start with another type.
    Structure system(1, 9);
    system.String("Maker").String("Product").String("").String("Serial").Byte(3);

    auto rawOld =
        RawHolding(Concat({system, old, MakeBiosInformation(DistinctBios(), 0x30), MakeEndOfTable(1)}));
    CSMBiosMachineData c;
    c.Initialise(*rawOld);
    EXPECT_EQ(c.m_Type00.wHandle, 0x20);
    EXPECT_EQ(c.m_Type00.strVendor, "Vendor");
    EXPECT_EQ(c.m_Type00.strVersion, "Ver");
    EXPECT_EQ(c.m_Type00.abyExtension[0], 0);
    EXPECT_EQ(c.m_Type00.byBiosMajorRelease, 0xFF);
    EXPECT_EQ(c.m_Type00.byFirmwareMinorRelease, 0xFF);

    // No Type 0: no BIOS information, whatever the first structure holds.
    auto rawNone = RawHolding(Concat({system, MakeEndOfTable(10)}));
    CSMBiosMachineData none;
    none.Initialise(*rawNone);
    EXPECT_EQ(none.m_Type00.byLength, 0);
    EXPECT_EQ(none.m_Type00.strVersion, "");

    // StoreType00 itself decodes what it is handed.
    auto rawSystem = RawHolding(Concat({system, MakeEndOfTable(10)}));
    CTestCollection d;
    d.Initialise(*rawSystem);
    d.StoreType00(d.m_pRawBytes);
    EXPECT_EQ(d.m_Type00.byType, 1);
    EXPECT_EQ(d.m_Type00.wHandle, 9);
    EXPECT_EQ(d.m_Type00.strVendor, "Maker");
    EXPECT_EQ(d.m_Type00.strVersion, "Product");
    EXPECT_EQ(d.m_Type00.strReleaseDate, "Serial");  // offset 0x08 (the UUID's first byte) names string 3
}

TEST_F(SMBiosWalkTest, NoTableViewReadsNothing)
{
    CTestCollection c;
    EXPECT_EQ(c.GetNextTable(nullptr), nullptr);
    bool visited = false;
    c.WalkStructures(kLabel, [&](const uint8_t*) { visited = true; });
    EXPECT_FALSE(visited);
    EXPECT_EQ(c.m_Type00.strVersion, "");
    EXPECT_THAT(root.LogMessages(), Contains("CSMBiosData::GetNextTable - m_pRawBytes==NULL"));
}

TEST_F(SMBiosWalkTest, MachineDataKeepsTheFirstInitialisation)
{
    BiosInformation first = DistinctBios();
    first.version = "K5 1.00";
    BiosInformation second = first;
    second.version = "M7 2.00";
    auto rawFirst = RawHolding(Concat({MakeBiosInformation(first), MakeEndOfTable(1)}));
    auto rawSecond = RawHolding(Concat({MakeBiosInformation(second), MakeEndOfTable(1)}));

    CSMBiosMachineData machine;
    EXPECT_TRUE(machine.Initialise(*rawFirst));
    EXPECT_TRUE(machine.Initialise(*rawSecond));
    EXPECT_EQ(machine.m_Type00.strVersion, "K5 1.00");
    EXPECT_THAT(root.LogMessages(), Contains("CSMBiosMachineData::Initialise - Already initialised"));

    // GetStructures decodes the (changed) copy again.
    rawFirst->m_pBytes[9] = 0x55;
    machine.GetStructures();
    EXPECT_EQ(machine.m_Type00.byRomSize, 0x55);

    // Even an empty copy initialises: there is simply nothing to store.
    CRawSMBios empty;
    CSMBiosMachineData none;
    EXPECT_TRUE(none.Initialise(empty));
    EXPECT_EQ(none.m_Type00.strVendor, "");
}
