// Real firmware tables (dmidecode dumps of the shared corpus, read in place) placed in a machine
// image: the library's copy, walk and BIOS information must agree with dmidecode's reading.
#include "Capture.h"
#include "MachineImage.h"
#include "RawSMBios.h"
#include "SMBiosMachineData.h"
#include "SMBiosTables.h"
#include "TempSysRoot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <sstream>

namespace
{
const std::string kCorpus = QelTest::CorpusDirectory();

struct Header
{
    unsigned handle;
    unsigned type;
    unsigned length;
    bool operator==(const Header& o) const
    {
        return handle == o.handle && type == o.type && length == o.length;
    }
};

std::ostream& operator<<(std::ostream& out, const Header& h)
{
    return out << "{handle " << h.handle << ", type " << h.type << ", length " << h.length << "}";
}

struct DmidecodeReading
{
    std::vector<Header> headers;
    std::string vendor, version, releaseDate;  // of the first BIOS Information
};

DmidecodeReading ReadDmidecode(const std::string& name)
{
    DmidecodeReading r;
    std::istringstream text(QelTest::ReadTextFile(kCorpus + "/dmidecode/" + name + ".txt"));
    std::string line;
    bool inBios = false, biosSeen = false;
    while (std::getline(text, line))
    {
        Header h{};
        if (sscanf(line.c_str(), "Handle 0x%x, DMI type %u, %u bytes", &h.handle, &h.type, &h.length) == 3)
        {
            r.headers.push_back(h);
            inBios = false;
        }
        else if (line == "BIOS Information" && !biosSeen)
        {
            inBios = biosSeen = true;
        }
        else if (inBios)
        {
            for (auto field :
                 {std::make_pair("\tVendor: ", &r.vendor), std::make_pair("\tVersion: ", &r.version),
                  std::make_pair("\tRelease Date: ", &r.releaseDate)})
                if (line.rfind(field.first, 0) == 0)
                    *field.second = line.substr(strlen(field.first));
        }
    }
    return r;
}

// A string as dmidecode prints it.
std::string AsDmidecode(const std::string& s)
{
    if (s.empty())
        return "Not Specified";
    std::string out = s;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            c = '.';
    return out;
}

class SMBiosCorpusTest : public ::testing::TestWithParam<std::string>
{
protected:
    QelTest::TempSysRoot root{1};  // errors only: the tables are large
};
}  // namespace

TEST(SMBiosCorpus, IsThere)
{
    if (QelTest::CorpusDumps().empty())
        GTEST_SKIP() << "no dumps under " << kCorpus << ": the real tables were not read";
    EXPECT_GE(QelTest::CorpusDumps().size(), 10u) << "too few dumps under " << kCorpus;
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(SMBiosCorpusTest);

TEST_P(SMBiosCorpusTest, LibraryReadsTheTableAsDmidecodeDoes)
{
    const std::string name = GetParam();
    // Not page-aligned, so the copy has to start inside the mapping.
    const QelImage::MachineImage image =
        QelImage::MachineImage::FromDump(kCorpus + "/dumps/" + name + ".bin", 0x000E1230);
    root.Install(image);

    CRawSMBios raw;
    bool ok = false;
    QelTest::CaptureStdout([&] { ok = raw.Initialise(); });
    ASSERT_TRUE(ok);
    const std::vector<uint8_t> table = image.TableBytes();
    ASSERT_EQ(std::vector<uint8_t>(raw.m_pBytes, raw.m_pBytes + raw.m_dwLength), table);

    // dmidecode lists the entry point's count of structures, and only whole headers; so does the
    // library's walk.
    QelTest::CTestCollection walk;
    walk.Initialise(raw);
    std::vector<Header> headers = {{walk.GetWord(raw.m_pBytes, 2), raw.m_pBytes[0], raw.m_pBytes[1]}};
    walk.WalkStructures(
        "Corpus",
        [&](const uint8_t* p)
        {
            if (walk.InTable(p, 0, 4))
                headers.push_back({walk.GetWord(p, 2), walk.GetByte(p, 0), walk.GetByte(p, 1)});
        });
    const DmidecodeReading expected = ReadDmidecode(name);
    ASSERT_FALSE(expected.headers.empty()) << "no dmidecode reading for " << name;
    EXPECT_EQ(headers, expected.headers);

    // The BIOS information is the first Type 0 structure, wherever it stands.
    CSMBiosMachineData machine;
    ASSERT_TRUE(machine.Initialise(raw));
    EXPECT_EQ(machine.m_Type00.byType, 0);
    EXPECT_EQ(AsDmidecode(machine.m_Type00.strVendor), expected.vendor);
    EXPECT_EQ(AsDmidecode(machine.m_Type00.strVersion), expected.version);
    EXPECT_EQ(AsDmidecode(machine.m_Type00.strReleaseDate), expected.releaseDate);
}

INSTANTIATE_TEST_SUITE_P(Dumps, SMBiosCorpusTest, ::testing::ValuesIn(QelTest::CorpusDumps()),
                         [](const ::testing::TestParamInfo<std::string>& test)
                         { return QelTest::CorpusTestName(test.param); });
