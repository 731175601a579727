// Finding the entry point and copying the table, through the real code paths: the library maps
// the machine image under a temporary system root exactly as it maps /dev/mem.
#include "RawSMBios.h"
#include "Capture.h"
#include "LittleEndian.h"
#include "MachineImage.h"
#include "SampleMachine.h"
#include "TempSysRoot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <unistd.h>

using QelImage::BiosInformation;
using QelImage::EntryPointPlace;
using QelImage::MachineImage;
using QelTest::CaptureStdout;
using QelTest::LibraryDebugLines;
using ::testing::Contains;
using ::testing::ElementsAre;

namespace
{
template <typename... Args>
std::string Format(const char* format, Args... args)
{
    char text[128];
    snprintf(text, sizeof(text), format, args...);
    return text;
}

// "name=%d, 0x%08x" as the library prints it.
std::string Pair(const char* name, uint32_t value)
{
    return std::string(name) + Format("=%d, 0x%08x", static_cast<int>(value), value);
}

MachineImage SmallMachine()
{
    BiosInformation bios;
    bios.vendor = "V";
    bios.version = "K5 1.00";
    bios.releaseDate = "01/02/2023";
    MachineImage image;
    image.Add(QelImage::MakeBiosInformation(bios));
    return image;
}

MachineImage EfiMachine(uint32_t entryPoint, uint32_t table)
{
    MachineImage image = SmallMachine();
    image.Entry().place = EntryPointPlace::Efi;
    image.Entry().address = entryPoint;
    image.SetTableAddress(table);
    return image;
}

std::vector<uint8_t> Copy(const CRawSMBios& raw)
{
    return std::vector<uint8_t>(raw.m_pBytes, raw.m_pBytes + raw.m_dwLength);
}

int OpenDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd"))
    {
        while (readdir(dir) != nullptr)
            ++count;
        closedir(dir);
    }
    return count;
}

bool DevMemMapped(const std::string& root)
{
    return QelTest::ReadTextFile("/proc/self/maps").find(root + "/dev/mem") != std::string::npos;
}

class RawSMBiosTest : public ::testing::Test
{
protected:
    struct Outcome
    {
        bool ok = false;
        std::vector<std::string> out;  // the library's lines on standard output
    };

    Outcome Initialise(CRawSMBios& raw)
    {
        Outcome o;
        o.out = LibraryDebugLines(CaptureStdout([&] { o.ok = raw.Initialise(); }));
        return o;
    }

    Outcome Initialise(const MachineImage& image)
    {
        root.Install(image);
        CRawSMBios raw;
        return Initialise(raw);
    }

    std::vector<std::string> Log() const { return root.LogMessages(); }

    QelTest::TempSysRoot root;
};
}  // namespace

TEST_F(RawSMBiosTest, TableIsMappedFromItsPageAndCopiedFromItsFirstByte)
{
    const uint32_t page = static_cast<uint32_t>(getpagesize());
    for (uint32_t address : {0x000E0000u, 0x000E0010u, 0x000E0FF0u})
    {
        SCOPED_TRACE(Format("table at 0x%08x", address));
        MachineImage image = SmallMachine();
        image.SetTableAddress(address);
        image.PutBytes(0x000E0000, std::vector<uint8_t>(0x1000, 0xEE));  // not part of the table
        root.Install(image);
        const uint32_t length = static_cast<uint32_t>(image.TableBytes().size());
        const uint32_t delta = address % page;

        CRawSMBios raw;
        const Outcome o = Initialise(raw);
        ASSERT_TRUE(o.ok);
        EXPECT_TRUE(raw.m_bInit);
        EXPECT_THAT(
            o.out, ElementsAre(Format("pagemask=0x%08x", ~(page - 1)), Pair("phys_mem_addr", address - delta),
                               Pair("phys_mem_length", length + delta), Pair("smbios_offset", delta)));
        EXPECT_EQ(raw.m_dwLength, length);
        EXPECT_EQ(Copy(raw), image.TableBytes());
    }
}

TEST_F(RawSMBiosTest, LegacySearchFindsTheAnchorAtAnyByteOfTheSegment)
{
    // 0xFFFDF is the last address from which 33 bytes still lie in the segment.
    const std::vector<std::pair<uint32_t, bool>> cases = {
        {0xF0000, true}, {0xF1233, true}, {0xFFFDF, true}, {0xFFFE0, false}, {0xEFFF0, false}};
    for (const auto& k : cases)
    {
        SCOPED_TRACE(Format("entry point at 0x%05x", k.first));
        MachineImage image = SmallMachine();
        image.Entry().address = k.first;
        EXPECT_EQ(Initialise(image).ok, k.second);
    }
    const std::vector<std::string> log = Log();
    EXPECT_EQ(
        std::count(log.begin(), log.end(), "CRawSMBios::getSmbiosHdrBios - _SM_ anchor Not found in BIOS"),
        2);
    EXPECT_EQ(
        std::count_if(log.begin(), log.end(),
                      [](const std::string& m)
                      { return m.rfind("CRawSMBios::getSmbiosHdrBios - found _SM_ anchor @ 0x", 0) == 0; }),
        3);
}

TEST_F(RawSMBiosTest, LegacySearchTakesTheFirstAnchorOnly)
{
    MachineImage image = SmallMachine();
    image.Entry().address = 0xF2000;
    std::array<uint8_t, 32> decoy = image.EntryPointBytes();
    decoy[4] ^= 0x01;  // same entry point, wrong checksum, found first
    image.PutBytes(0xF0100, std::vector<uint8_t>(decoy.begin(), decoy.end()));

    EXPECT_FALSE(Initialise(image).ok);
    EXPECT_THAT(Log(), Contains("CRawSMBios::getSmbiosHdrBios - failed to validate SMBIOS Header"));

    image.Entry().anchor = {'_', 'S', 'X', '_'};  // no anchor anywhere now
    image.PutBytes(0xF0100, std::vector<uint8_t>(32, 0));
    EXPECT_FALSE(Initialise(image).ok);
    EXPECT_THAT(Log(), Contains("CRawSMBios::getSmbiosHdrBios - _SM_ anchor Not found in BIOS"));
}

TEST_F(RawSMBiosTest, ChecksumCoversEpStructLenBytesOfTheThirtyTwoHeld)
{
    struct Case
    {
        std::optional<uint8_t> length;
        uint8_t delta;
        bool valid;
        const char* message;
    };
    const Case cases[] = {
        {0x1F, 0, true, "CRawSMBios::validateSmbiosHdr - chksum=0"},
        {0x1F, 1, false, "CRawSMBios::validateSmbiosHdr - checksum failed, ChkSum=0x01 (1)"},
        {0x1F, 0xFF, false, "CRawSMBios::validateSmbiosHdr - checksum failed, ChkSum=0xff (255)"},
        {0x00, 0x37, true, "CRawSMBios::validateSmbiosHdr - chksum=0"},
        {0x10, 0, true, "CRawSMBios::validateSmbiosHdr - chksum=0"},
        {0x20, 0, true, "CRawSMBios::validateSmbiosHdr - chksum=0"},
        {0x21, 0, false, "CRawSMBios::validateSmbiosHdr - entry point length 33 exceeds the 32 bytes read"},
        {0xFF, 0, false, "CRawSMBios::validateSmbiosHdr - entry point length 255 exceeds the 32 bytes read"},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.message);
        MachineImage image = SmallMachine();
        image.Entry().length = k.length;
        image.Entry().checksumDelta = k.delta;
        std::array<uint8_t, 32> bytes = image.EntryPointBytes();
        if (k.length && *k.length == 0x10)
            bytes[0x1D] ^= 0x5A;  // beyond the covered bytes: must not matter

        CRawSMBios raw;
        memcpy(&raw.m_Header, bytes.data(), bytes.size());
        EXPECT_EQ(raw.validateSmbiosHdr(), k.valid);
        EXPECT_EQ(Log().back(), k.message);
    }

    MachineImage broken = SmallMachine();
    broken.Entry().checksumDelta = 1;
    EXPECT_FALSE(Initialise(broken).ok);
    broken.Entry().place = EntryPointPlace::Efi;
    EXPECT_FALSE(Initialise(broken).ok);
    EXPECT_THAT(Log(), Contains("CRawSMBios::getSmbiosHdrEfi - failed to validate SMBIOS Header"));
}

TEST_F(RawSMBiosTest, SystabLineNamesTheEntryPoint)
{
    struct Case
    {
        const char* name;
        std::string systab;
        uint32_t entryPoint;
        bool ok;
        std::string message;
    };
    const Case cases[] = {
        {"eight digits with 0x", "ACPI20=0x3ff7e014\nACPI=0x3ff7e000\nSMBIOS=0x3ff6f000\n", 0x3FF6F000, true,
         "CRawSMBios::getSmbiosHdrEfi - Got SMBIOS Hdr physical address 0x3ff6f000"},
        {"0x1 is 11 characters", "SMBIOS=0x1\n", 0x1, true,
         "CRawSMBios::getSmbiosHdrEfi - Got SMBIOS Hdr physical address 0x00000001"},
        {"1 is 9 characters", "SMBIOS=1\n", 0x1, false,
         "CRawSMBios::getSmbiosHdrEfi - invalid 'SMBIOS=xxx' string length 9"},
        {"version 3 only", "ACPI=0x3ff7e000\nSMBIOS3=0x3ff6f000\n", 0x3FF6F000, false,
         "CRawSMBios::getSmbiosHdrEfi - failed to find 'SMBIOS=' in systab"},
        {"not at a line start", "ACPI=0 SMBIOS=0x3ff6f000\n", 0x3FF6F000, false,
         "CRawSMBios::getSmbiosHdrEfi - failed to find 'SMBIOS=' in systab"},
        {"after 63 characters a line goes on as a new one", std::string(63, 'X') + "SMBIOS=0x3ff6f000\n",
         0x3FF6F000, true, "CRawSMBios::getSmbiosHdrEfi - Got SMBIOS Hdr physical address 0x3ff6f000"},
        {"no line feed at the end", "SMBIOS=0x3ff6f000", 0x3FF6F000, true,
         "CRawSMBios::getSmbiosHdrEfi - Got SMBIOS Hdr physical address 0x3ff6f000"},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        MachineImage image = EfiMachine(k.entryPoint, 0x000E0000);
        image.Entry().systab = k.systab;
        const Outcome o = Initialise(image);
        EXPECT_EQ(o.ok, k.ok);
        EXPECT_THAT(Log(), Contains(k.message));
        ASSERT_FALSE(o.out.empty());
        EXPECT_EQ(o.out.front(), "CRawSMBios::getSmbiosHdrEfi");
    }
}

TEST_F(RawSMBiosTest, EfiEntryPointIsMappedByWholePages)
{
    const uint32_t page = static_cast<uint32_t>(getpagesize());
    // The 32 bytes fit the page, end exactly at its end, or cross into the next one.
    for (uint32_t offset : {0x1u, page - 32, page - 31})
    {
        SCOPED_TRACE(Format("entry point offset 0x%x", offset));
        const uint32_t address = 0x3FF6F000 + offset;
        MachineImage image = EfiMachine(address, 0x3FF6E000);
        image.Entry().anchor = {'N', 'O', 'N', 'E'};  // not compared on this path
        const Outcome o = Initialise(image);
        ASSERT_TRUE(o.ok);
        ASSERT_GE(o.out.size(), 4u);
        EXPECT_THAT(std::vector<std::string>(o.out.begin(), o.out.begin() + 4),
                    ElementsAre("CRawSMBios::getSmbiosHdrEfi", Pair("phys_mem_offset", 0x3FF6F000),
                                Pair("phys_mem_length", offset + 32 <= page ? page : 2 * page),
                                Pair("smbios_hdr_virt_offset", offset)));
    }
}

TEST_F(RawSMBiosTest, EmptyTableIsAFailure)
{
    for (uint32_t address : {0x000E0000u, 0x000E0010u})
    {
        MachineImage image = SmallMachine();
        image.SetTableAddress(address);
        image.Entry().tableLength = 0;
        root.Install(image);
        CRawSMBios raw;
        EXPECT_FALSE(Initialise(raw).ok);
        EXPECT_FALSE(raw.m_bInit);
        EXPECT_EQ(raw.m_dwLength, 0u);
    }
    // Mapping nothing at a page boundary is refused outright.
    EXPECT_THAT(Log(), Contains("CRawSMBios::getSmbiosBytes - mmap around smbios failed, errno=22"));
}

// Whatever fails, the process survives and every descriptor and mapping is released.
TEST_F(RawSMBiosTest, MissingOrShortPhysicalMemoryFailsCleanly)
{
    const std::string euid = std::to_string(geteuid());
    struct Case
    {
        const char* name;
        MachineImage image;
        bool removeDevMem;
        std::string message;
    };
    MachineImage legacy = SmallMachine();
    MachineImage efi = EfiMachine(0x3FF6F000, 0x3FF6E000);
    MachineImage shortSegment = SmallMachine();
    shortSegment.SetMemorySize(0xF8000);
    MachineImage tableBeyond = SmallMachine();
    tableBeyond.SetTableAddress(0x200000).SetMemorySize(0x100000);
    MachineImage tableAcrossEnd = SmallMachine();
    tableAcrossEnd.Entry().address = 0xF0000;
    tableAcrossEnd.SetTableAddress(0xFFFF0).SetMemorySize(0x100000);
    MachineImage efiBeyond = EfiMachine(0x3FF6F000, 0xE0000);
    efiBeyond.SetMemorySize(0x100000);

    const Case cases[] = {
        {"no dev/mem, legacy", legacy, true,
         "CRawSMBios::getSmbiosHdrBios - open /dev/mem failed, errno=2, euid=" + euid},
        {"no dev/mem, UEFI", efi, true,
         "CRawSMBios::getSmbiosHdrFromPhys - open /dev/mem failed, errno=2, euid=" + euid},
        {"dev/mem ends in the BIOS segment", shortSegment, false,
         "CRawSMBios::getSmbiosHdrBios - mmap bios segment failed, errno=0x00000006"},
        {"table beyond dev/mem", tableBeyond, false,
         "CRawSMBios::getSmbiosBytes - mmap around smbios failed, errno=6"},
        {"table across the end of dev/mem", tableAcrossEnd, false,
         "CRawSMBios::getSmbiosBytes - mmap around smbios failed, errno=6"},
        {"UEFI entry point beyond dev/mem", efiBeyond, false,
         "CRawSMBios::getSmbiosHdrFromPhys - mmap around smbios header failed, errno=6"},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        root.Remove("/sys");
        root.Install(k.image);
        if (k.removeDevMem)
            root.Remove("/dev/mem");
        {
            CRawSMBios raw;  // logs, so the log file is open before counting
            const int descriptors = OpenDescriptors();
            EXPECT_FALSE(Initialise(raw).ok);
            EXPECT_FALSE(raw.m_bInit);
            EXPECT_EQ(OpenDescriptors(), descriptors);
            EXPECT_FALSE(DevMemMapped(root.Path()));
        }
        EXPECT_THAT(Log(), Contains(k.message));
    }
}

TEST_F(RawSMBiosTest, FailedInitialiseMayBeRepeatedAndASuccessfulOneIsKept)
{
    CRawSMBios raw;
    EXPECT_FALSE(Initialise(raw).ok);  // nothing installed yet
    root.Install(SmallMachine());
    const int descriptors = OpenDescriptors();
    ASSERT_TRUE(Initialise(raw).ok);
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_FALSE(DevMemMapped(root.Path()));
    EXPECT_EQ(Copy(raw), SmallMachine().TableBytes());
    EXPECT_THAT(Log(), Contains("CRawSMBios::Initialise - Get SMBIOS Success"));

    // The copy is a snapshot: later changes to memory, even its loss, do not reach it.
    root.Remove("/dev/mem");
    const Outcome again = Initialise(raw);
    EXPECT_TRUE(again.ok);
    EXPECT_TRUE(again.out.empty());
    EXPECT_EQ(Copy(raw), SmallMachine().TableBytes());
    EXPECT_EQ(Log().back(), "CRawSMBios::Initialise - Already initialised");
}

namespace
{
// A 3.x (64-bit) entry point of 24 bytes, its checksum made good, then shifted by delta.
std::string Entry3(uint32_t tableMax, uint64_t tableAddress, uint8_t delta = 0)
{
    std::array<uint8_t, 0x18> e{'_', 'S', 'M', '3', '_', 0, 0x18, 3, 2, 0, 1, 0};
    LittleEndian::Write(&e[0x0C], tableMax, 4);
    LittleEndian::Write(&e[0x10], tableAddress, 8);
    e[5] = static_cast<uint8_t>(QelImage::ChecksumByte(e.data(), e.size()) + delta);
    return std::string(e.begin(), e.end());
}
}  // namespace

// Where /dev/mem is refused, the kernel's copy of the entry point and table stands in, checked as
// memory's would be; a 3.x entry point is taken there, and in memory only where no 2.x one is.
TEST_F(RawSMBiosTest, TheKernelsCopyStandsInWhereDevMemIsRefused)
{
    const MachineImage image = SmallMachine();
    const std::vector<uint8_t> table = image.TableBytes();
    const std::string tableText(table.begin(), table.end());
    const std::array<uint8_t, 32> entry2 = image.EntryPointBytes();
    const std::string entry2Text(entry2.begin(), entry2.begin() + 0x1F);
    std::string badEntry2 = entry2Text;
    badEntry2[0x10] ^= 1;
    struct Case
    {
        const char* name;
        std::string entryPoint, dmi;
        bool ok, smbios3;
    };
    const Case cases[] = {
        {"2.x", entry2Text, tableText, true, false},
        {"2.x, checksum broken", badEntry2, tableText, false, false},
        {"2.x, table longer than announced", entry2Text, tableText + "x", false, false},
        {"3.x", Entry3(static_cast<uint32_t>(table.size()), 0x7F000000), tableText, true, true},
        {"3.x, checksum broken", Entry3(static_cast<uint32_t>(table.size()), 0x7F000000, 1), tableText, false,
         false},
        {"legacy _DMI_ only", entry2Text.substr(0x10, 15), tableText, false, false},
        {"no table", entry2Text, "", false, false},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        root.Remove("/sys");
        root.Install(image);
        root.Remove("/dev/mem");
        std::filesystem::create_directories(root.PathOf("/sys/firmware/dmi/tables"));
        root.WriteFile("/sys/firmware/dmi/tables/smbios_entry_point", k.entryPoint);
        root.WriteFile("/sys/firmware/dmi/tables/DMI", k.dmi);
        CRawSMBios raw;
        ASSERT_EQ(Initialise(raw).ok, k.ok);
        if (!k.ok)
            continue;
        EXPECT_EQ(raw.m_Source, SMBiosSource::Sysfs);
        EXPECT_EQ(raw.m_bSmbios3, k.smbios3);
        EXPECT_EQ(Copy(raw), table);
        EXPECT_EQ(raw.m_Header.SmbiosMjor, k.smbios3 ? 3 : 2);
    }

    // Memory that works is read as always, whatever sysfs holds.
    root.Install(image);
    CRawSMBios fromMemory;
    ASSERT_TRUE(Initialise(fromMemory).ok);
    EXPECT_EQ(fromMemory.m_Source, SMBiosSource::Memory);

    // A BIOS segment with a 3.x entry point only, on a paragraph boundary.
    MachineImage only3 = SmallMachine();
    only3.Entry().place = EntryPointPlace::None;
    const std::string e3 = Entry3(static_cast<uint32_t>(table.size()), only3.TableAddress());
    only3.PutBytes(0xF0100, std::vector<uint8_t>(e3.begin(), e3.end()));
    root.Remove("/sys");
    root.Install(only3);
    CRawSMBios raw3;
    ASSERT_TRUE(Initialise(raw3).ok);
    EXPECT_TRUE(raw3.m_bSmbios3);
    EXPECT_EQ(raw3.m_Source, SMBiosSource::Memory);
    EXPECT_EQ(Copy(raw3), table);
}
