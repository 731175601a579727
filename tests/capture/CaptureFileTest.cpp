// The capture archive as outside bytes: what a capture holds survives writing and reading, and a
// capture that is cut short, lists its members wrongly or holds oversized ones is refused with a
// message that names what is wrong; such a capture is not served.
#include "CaptureFile.h"
#include "RunProgram.h"
#include "SMBiosTables.h"
#include "TempSysRoot.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using QelCapture::Capture;
using QelCapture::CaptureError;
using QelCapture::TarMember;

namespace
{
Capture SmallTill()
{
    Capture c;
    c.tool = "qelsensors test";
    c.time = "2026-12-09T12:00:00Z";
    c.biosVersion = "K5FC0107";
    c.model = "Falcon (K5)";
    c.chipStart = "success (0)";
    // A 2.x entry point at 0xF0000 and a table of one structure and End of Table.
    c.table = {0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x7F, 0x04, 0x01, 0x00, 0x00, 0x00};
    c.tableAddress = 0xE0000;
    uint8_t* ep = c.entryPoint.data();
    memcpy(ep, "_SM_", 4);
    ep[0x05] = 0x1F;
    ep[0x06] = 2;
    ep[0x07] = 8;
    memcpy(ep + 0x10, "_DMI_", 5);
    ep[0x16] = static_cast<uint8_t>(c.table.size());
    ep[0x1A] = 0x0E;  // 0x000E0000
    ep[0x1C] = 2;
    c.eventLogAddress = 0xE6010;
    c.eventLogArea.assign(64, 0xAB);
    QelCapture::CapturedChip chip;
    chip.description = "Nuvoton NCT6106D";
    chip.port = 0x2E;
    chip.deviceId = 0xC452;
    chip.monitorBase = 0xA20;
    chip.monitorActive = true;
    chip.config[0x0B][0x60] = 0x0A;
    chip.banks[0][0x20] = 0x55;
    chip.banks[1][0x50] = 0x12;
    c.chips.push_back(chip);
    QelCapture::CapturedSsd ssd;
    ssd.device = "nvme0";
    ssd.nsid = 1;
    ssd.namespaces = 1;
    ssd.identifyController = std::vector<uint8_t>(QelCapture::kIdentifySize, 0x20);
    ssd.overThreshold = 343;
    ssd.smartLog = std::vector<uint8_t>(QelCapture::kSmartLogSize, 0);
    c.ssds.push_back(ssd);
    return c;
}

std::vector<uint8_t> Encoded(const Capture& c)
{
    return QelCapture::EncodeCapture(c, 1765281600);
}

// The archive's members, one of them edited, written back.
std::vector<uint8_t> Edited(const std::vector<uint8_t>& archive,
                            const std::function<void(std::vector<TarMember>&)>& edit)
{
    std::vector<TarMember> members = QelCapture::ReadTar(archive.data(), archive.size());
    edit(members);
    return QelCapture::WriteTar(members, 1765281600);
}

std::vector<TarMember>::iterator Member(std::vector<TarMember>& members, const std::string& name)
{
    return std::find_if(members.begin(), members.end(), [&](const TarMember& m) { return m.name == name; });
}

// What DecodeCapture says of the bytes; "" when it takes them.
std::string Refusal(const std::vector<uint8_t>& bytes)
{
    try
    {
        QelCapture::DecodeCapture(bytes.data(), bytes.size());
        return "";
    }
    catch (const CaptureError& e)
    {
        return e.what();
    }
}

void EditManifest(std::vector<uint8_t>& archive, const std::function<void(nlohmann::json&)>& edit)
{
    archive = Edited(archive,
                     [&](std::vector<TarMember>& members)
                     {
                         auto manifest = Member(members, "manifest.json");
                         nlohmann::json j =
                             nlohmann::json::parse(manifest->data.begin(), manifest->data.end());
                         edit(j);
                         const std::string text = j.dump();
                         manifest->data.assign(text.begin(), text.end());
                     });
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
}  // namespace

TEST(CaptureFile, KeepsEverythingTheTillGave)
{
    const Capture c = SmallTill();
    const Capture back = QelCapture::DecodeCapture(Encoded(c).data(), Encoded(c).size());
    EXPECT_EQ(back.biosVersion, c.biosVersion);
    EXPECT_EQ(back.model, c.model);
    EXPECT_EQ(back.entryPoint, c.entryPoint);
    EXPECT_EQ(back.table, c.table);
    EXPECT_EQ(back.tableAddress, c.tableAddress);
    EXPECT_EQ(back.entryPointAddress, 0xF0000u);
    EXPECT_EQ(back.eventLogAddress, c.eventLogAddress);
    EXPECT_EQ(back.eventLogArea, c.eventLogArea);
    ASSERT_EQ(back.chips.size(), 1u);
    EXPECT_EQ(back.chips[0].config, c.chips[0].config);
    EXPECT_EQ(back.chips[0].banks, c.chips[0].banks);
    EXPECT_EQ(back.chips[0].monitorBase, 0xA20);
    ASSERT_EQ(back.ssds.size(), 1u);
    EXPECT_EQ(back.ssds[0].identifyController, c.ssds[0].identifyController);
    EXPECT_FALSE(back.ssds[0].identifyNamespace.has_value());  // not captured stays not captured
    EXPECT_EQ(back.ssds[0].overThreshold, 343u);
    EXPECT_FALSE(back.ssds[0].underThreshold.has_value());
}

TEST(CaptureFile, RefusesACaptureCutShort)
{
    const std::vector<uint8_t> whole = Encoded(SmallTill());
    // Inside a header, inside a member's data, and just before the closing blocks.
    for (size_t size : {size_t{100}, size_t{512 + 300}, whole.size() / 2, whole.size() - 1024 - 1})
    {
        SCOPED_TRACE(size);
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(size));
        EXPECT_NE(Refusal(cut), "");
    }
}

TEST(CaptureFile, RefusesAManifestThatDoesNotMatchTheArchive)
{
    const std::vector<uint8_t> whole = Encoded(SmallTill());
    struct Case
    {
        const char* what;
        std::function<void(nlohmann::json&)> edit;
        const char* message;
    };
    const Case cases[] = {
        {"a size that is not the member's", [](nlohmann::json& j) { j["members"][0]["size"] = 1; },
         "the manifest says 1"},
        {"a member it does not have",
         [](nlohmann::json& j) {
             j["members"].push_back({{"name", "chips/chip7.json"}, {"size", 3}, {"content", "x"}});
         },
         "which the archive does not hold"},
        {"a member left out", [](nlohmann::json& j) { j["members"].erase(j["members"].size() - 1); },
         "does not list member"},
        {"another format version", [](nlohmann::json& j) { j["formatVersion"] = 2; }, "format version 2"},
        {"another format", [](nlohmann::json& j) { j["format"] = "something"; }, "format is not"},
        {"a table length the entry point does not give",
         [](nlohmann::json& j) { j["smbios"]["tableLength"] = 13; }, "disagrees with the entry point"},
        {"more chips than files", [](nlohmann::json& j) { j["chips"] = 2; }, "chips/chip1.json"},
        {"an SSD that is no controller", [](nlohmann::json& j) { j["ssds"][0]["device"] = "sda"; },
         "is not nvme0"},
        {"a legacy entry point outside the BIOS segment",
         [](nlohmann::json& j) { j["smbios"]["entryPointAddress"] = 0x1000; }, "BIOS segment"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> archive = whole;
        EditManifest(archive, c.edit);
        EXPECT_NE(Refusal(archive).find(c.message), std::string::npos) << Refusal(archive);
    }

    // A dmi.bin whose entry point is not the till's.
    const std::vector<uint8_t> otherDump =
        Edited(whole, [](std::vector<TarMember>& m) { Member(m, "smbios/dmi.bin")->data[0x06] = 3; });
    EXPECT_NE(Refusal(otherDump).find("disagrees with smbios/entry-point.bin"), std::string::npos);
}

TEST(CaptureFile, RefusesOversizedMembers)
{
    const std::vector<uint8_t> whole = Encoded(SmallTill());
    // A member past the bound the reader holds every archive to.
    const std::vector<uint8_t> big = Edited(
        whole,
        [](std::vector<TarMember>& m) {
            m.push_back({"etc/sensor.conf", std::vector<uint8_t>(QelCapture::kMaxTarMemberSize + 1, 'x')});
        });
    EXPECT_NE(Refusal(big), "");
    // Members within the archive's bound but over what they hold.
    for (const char* name : {"nvme/nvme0/smart-log.bin", "nvme/nvme0/identify-controller.bin"})
    {
        SCOPED_TRACE(name);
        std::vector<uint8_t> archive =
            Edited(whole, [name](std::vector<TarMember>& m) { Member(m, name)->data.resize(8192); });
        EditManifest(archive,
                     [name](nlohmann::json& j)
                     {
                         for (auto& member : j["members"])
                             if (member["name"] == name)
                                 member["size"] = 8192;
                     });
        EXPECT_NE(Refusal(archive).find("8192 bytes, not"), std::string::npos) << Refusal(archive);
    }
    // A file over the capture bound is not even read.
    QelTest::TempSysRoot dir;
    const std::string path = dir.PathOf("/huge.capture");
    WriteFile(path, whole);
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(QelCapture::kMaxCaptureSize) + 1), 0);
    EXPECT_THROW(QelCapture::ReadFileBytes(path, QelCapture::kMaxCaptureSize), CaptureError);
}

TEST(CaptureFile, QelsimServesNothingOfARefusedCapture)
{
    QelTest::TempSysRoot dir;
    const std::vector<uint8_t> whole = Encoded(SmallTill());
    std::vector<uint8_t> wrongManifest = whole;
    EditManifest(wrongManifest, [](nlohmann::json& j) { j["members"][1]["size"] = 5; });
    const std::pair<const char*, std::vector<uint8_t>> bad[] = {
        {"truncated", std::vector<uint8_t>(whole.begin(), whole.begin() + 1500)},
        {"manifest", wrongManifest},
        {"oversized", Edited(whole,
                             [](std::vector<TarMember>& m) {
                                 m.push_back({"etc/sensor.conf",
                                              std::vector<uint8_t>(QelCapture::kMaxTarMemberSize + 1, 'x')});
                             })},
    };
    for (const auto& capture : bad)
    {
        SCOPED_TRACE(capture.first);
        const std::string file = dir.PathOf("/" + std::string(capture.first) + ".capture");
        const std::string root = dir.PathOf("/root-" + std::string(capture.first));
        WriteFile(file, capture.second);
        const QelTest::ProgramResult r =
            QelTest::RunProgram(QelTest::BuiltProgram("sim/qelsim"), {"up", file, root, "--detach"});
        EXPECT_NE(r.exitCode, 0);
        EXPECT_NE(r.err.find("not served"), std::string::npos) << r.err;
        struct stat st;
        EXPECT_NE(stat((root + "/dev/port").c_str(), &st), 0) << "a port device was served";
        EXPECT_NE(stat((root + "/dev/mem").c_str(), &st), 0) << "a memory image was written";
    }
}

TEST(CaptureFile, CorpusDumpsAreWhatDmidecodeWrites)
{
    const std::vector<std::string> dumps = QelTest::CorpusDumps();
    if (dumps.empty())
        GTEST_SKIP() << "no dumps under " << QelTest::CorpusDirectory() << ": the real tables were not read";
    size_t compared = 0;
    for (const std::string& name : dumps)
    {
        SCOPED_TRACE(name);
        std::ifstream in(QelTest::CorpusDirectory() + "/dumps/" + name + ".bin", std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
        const Capture c = QelCapture::ReadSmbiosSource(bytes.data(), bytes.size());
        EXPECT_FALSE(c.table.empty());
        if (memcmp(bytes.data(), "_SM_", 4) != 0)
            continue;  // 3.x: the 2.x entry point the library needs is made up
        // A 2.x dump written again from its entry point and table is the file dmidecode wrote.
        const std::vector<uint8_t> again = QelImage::WriteDump(c.entryPoint, c.table);
        EXPECT_EQ(again,
                  std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(again.size())));
        ++compared;
    }
    EXPECT_GT(compared, 0u);
}

TEST(CaptureFile, ReadsADumpsTableWhereItsEntryPointPutsIt)
{
    const Capture till = SmallTill();
    std::vector<uint8_t> dump = QelImage::WriteDump(till.entryPoint, till.table);
    // The table moved to offset 0x40, as dmidecode would find it there.
    dump.insert(dump.begin() + QelImage::kDumpTableOffset, 0x20, 0xEE);
    dump[0x18] = 0x40;
    const Capture c = QelCapture::ReadSmbiosSource(dump.data(), dump.size());
    EXPECT_EQ(c.table, till.table);
    EXPECT_EQ(c.tableAddress, 0x40u);
    dump[0x18] = 0xF0;  // past the end of the file
    EXPECT_THROW(QelCapture::ReadSmbiosSource(dump.data(), dump.size()), CaptureError);
}

TEST(CaptureFile, RefusesWhatIsNeitherCaptureNorDump)
{
    const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o'};
    EXPECT_THROW(QelCapture::ReadSmbiosSource(text.data(), text.size()), CaptureError);
    // An entry point that announces more table than the file has.
    std::vector<uint8_t> dump = QelImage::WriteDump(SmallTill().entryPoint, SmallTill().table);
    dump.resize(dump.size() - 4);
    try
    {
        QelCapture::ReadSmbiosSource(dump.data(), dump.size());
        ADD_FAILURE() << "a cut dump was taken";
    }
    catch (const CaptureError& e)
    {
        EXPECT_NE(std::string(e.what()).find("announces 12 table bytes"), std::string::npos) << e.what();
    }
}
