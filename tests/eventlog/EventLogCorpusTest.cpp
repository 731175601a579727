// Real firmware tables (the shared corpus, read in place): the System Event Log structure the
// library stores reads as dmidecode reads it, and the container refuses every log it cannot
// reach by physical address.
#include "EventLogTestSupport.h"
#include "MachineImage.h"
#include "Requires.h"
#include "SMBiosTables.h"
#include "TempSysRoot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <dirent.h>
#include <sstream>

using ::testing::Contains;

namespace
{
const std::string kCorpus = QelTest::CorpusDirectory();

std::string Format(const char* format, unsigned value)
{
    char text[160];
    snprintf(text, sizeof(text), format, value);
    return text;
}

const char* const kAccessMethods[] = {"Indexed I/O, one 8-bit index port, one 8-bit data port",
                                      "Indexed I/O, two 8-bit index ports, one 8-bit data port",
                                      "Indexed I/O, one 16-bit index port, one 8-bit data port",
                                      "Memory-mapped physical 32-bit address",
                                      "General-purpose non-volatile data functions"};
const char* const kEventTypes[] = {nullptr,
                                   "Single-bit ECC memory error",
                                   "Multi-bit ECC memory error",
                                   "Parity memory error",
                                   "Bus timeout",
                                   "I/O channel block",
                                   "Software NMI",
                                   "POST memory resize",
                                   "POST error",
                                   "PCI parity error",
                                   "PCI system error",
                                   "CPU failure",
                                   "EISA failsafe timer timeout",
                                   "Correctable memory log disabled",
                                   "Logging disabled",
                                   nullptr,
                                   "System limit exceeded",
                                   "Asynchronous hardware timer expired",
                                   "System configuration information",
                                   "Hard disk information",
                                   "System reconfigured",
                                   "Uncorrectable CPU-complex error",
                                   "Log area reset/cleared",
                                   "System boot"};
const char* const kDataFormats[] = {"None",
                                    "Handle",
                                    "Multiple-event",
                                    "Multiple-event handle",
                                    "POST results bitmap",
                                    "System management",
                                    "Multiple-event system management"};

// dmidecode has its own word for codes outside its tables; none of the corpus uses one, so any
// such code shows up as a difference.
const char* const kUnknownCode = "(code outside dmidecode's tables)";

std::string EventType(uint8_t code)
{
    if (code < sizeof(kEventTypes) / sizeof(kEventTypes[0]) && kEventTypes[code] != nullptr)
        return kEventTypes[code];
    return code == 0xFF ? "End of log" : code >= 0x80 ? "OEM-specific" : kUnknownCode;
}

// The record in dmidecode's words, one attribute per line.
std::vector<std::string> AsDmidecode(const CSMBios_TYPE15& t)
{
    std::vector<std::string> lines;
    if (t.byLength < 0x14)
        return lines;
    lines.push_back(Format("Area Length: %u bytes", t.wLogAreaLength));
    lines.push_back(Format("Header Start Offset: 0x%04X", t.wLogHeaderStartOffset));
    // dmidecode subtracts as int and prints as unsigned.
    const int header = t.wLogDataStartOffset - t.wLogHeaderStartOffset;
    if (header != 0)
        lines.push_back(Format("Header Length: %u byte", static_cast<unsigned>(header)) +
                        (header > 1 ? "s" : ""));
    lines.push_back(Format("Data Start Offset: 0x%04X", t.wLogDataStartOffset));
    const uint8_t method = t.byAccessMethod;
    lines.push_back(std::string("Access Method: ") + (method <= 4      ? kAccessMethods[method]
                                                      : method >= 0x80 ? "OEM-specific"
                                                                       : kUnknownCode));
    const EventLogAccessMethodAddress& a = t.AccessMethodAddress;
    if (method <= 2)
        lines.push_back(Format("Access Address: Index 0x%04X", a.IO.IndexAddr) +
                        Format(", Data 0x%04X", a.IO.DataAddr));
    else if (method == 3)
        lines.push_back(Format("Access Address: 0x%08X", a.PhysicalAddr32));
    else if (method == 4)
        lines.push_back(Format("Access Address: 0x%04X", a.GPNVHandle));
    else
        lines.push_back("Access Address: Unknown");
    lines.push_back(std::string("Status: ") + (t.byLogStatus & 1 ? "Valid" : "Invalid") + ", " +
                    (t.byLogStatus & 2 ? "Full" : "Not Full"));
    lines.push_back(Format("Change Token: 0x%08X", t.dwLogChangeToken));
    if (t.byLength < 0x17)
        return lines;
    const uint8_t format = t.byLogHeaderFormat;
    lines.push_back(std::string("Header Format: ") + (format == 0      ? "No Header"
                                                      : format == 1    ? "Type 1"
                                                      : format >= 0x80 ? "OEM-specific"
                                                                       : kUnknownCode));
    lines.push_back(Format("Supported Log Type Descriptors: %u", t.byNumberOfSupportedLogTypeDescriptors));
    if (t.byLength < 0x17 + t.byNumberOfSupportedLogTypeDescriptors * t.byLengthOfLogTypeDescriptor)
        return lines;
    for (size_t i = 0; i < t.Descriptors.size(); ++i)
    {
        const uint8_t f = t.Descriptors[i].byVDFType;
        lines.push_back(Format("Descriptor %u: ", unsigned(i + 1)) + EventType(t.Descriptors[i].byLogType));
        lines.push_back(Format("Data Format %u: ", unsigned(i + 1)) + (f <= 6      ? kDataFormats[f]
                                                                       : f >= 0x80 ? "OEM-specific"
                                                                                   : kUnknownCode));
    }
    return lines;
}

struct DmidecodeType15
{
    unsigned handle = 0;
    std::vector<std::string> lines;
};

// The first System Event Log in dmidecode's text, if any.
bool ReadDmidecode(const std::string& name, DmidecodeType15& out)
{
    std::istringstream text(QelTest::ReadTextFile(kCorpus + "/dmidecode/" + name + ".txt"));
    std::string line;
    bool inside = false;
    while (std::getline(text, line))
    {
        unsigned handle = 0, type = 0;
        if (sscanf(line.c_str(), "Handle 0x%x, DMI type %u,", &handle, &type) == 2)
        {
            if (inside)
                return true;
            inside = type == 15;
            out.handle = handle;
        }
        else if (inside && !line.empty() && line[0] == '\t')
        {
            out.lines.push_back(line.substr(1));
        }
    }
    return inside;
}

class EventLogCorpusTest : public ::testing::TestWithParam<std::string>
{
protected:
    QelTest::TempSysRoot root{1};  // errors only: the tables are large
};
}  // namespace

TEST(EventLogCorpus, HoldsSystemEventLogs)
{
    if (QelTest::CorpusDumps().empty())
        GTEST_SKIP() << "no SMBIOS dumps under " << kCorpus << " (QEL_SHARED_DIR)";
    size_t withLog = 0;
    for (const std::string& name : QelTest::CorpusDumps())
    {
        DmidecodeType15 d;
        withLog += ReadDmidecode(name, d);
    }
    EXPECT_GE(withLog, 10u);
}

TEST_P(EventLogCorpusTest, StoredType15IsDmidecodesAndOnlyPhysicalLogsAreRead)
{
    const std::string name = GetParam();
    QelImage::MachineImage image = QelImage::MachineImage::FromDump(kCorpus + "/dumps/" + name + ".bin");
    const auto raw = QelTest::RawHolding(image.TableBytes());
    CSMBiosEventLogData data;
    DmidecodeType15 expected;
    const bool listed = ReadDmidecode(name, expected);
    ASSERT_EQ(data.Initialise(*raw), listed);
    if (!listed)
        return;
    const CSMBios_TYPE15& t = *data.m_pType15;
    EXPECT_EQ(t.wHandle, expected.handle);
    EXPECT_EQ(AsDmidecode(t), expected.lines);

    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    if (t.byAccessMethod == EVENT_LOG_ACCESS_PHYSICAL32)
    {
        // Give the firmware's address a log of the firmware's size.
        QelSim::EventLogArea area;
        area.records = {QelSim::OemRecord(0x17, QelSim::Bcd(23, 1, 2, 3, 4, 5), {'I', "BIOS"})};
        area.length = t.wLogAreaLength;
        image.PutBytes(t.AccessMethodAddress.PhysicalAddr32, area.Encode());
    }
    root.Install(image);
    QelTest::FakeSensorSource source;
    EventLogContainer container;
    SENSOR_STATUS status = SS_SUCCESS;
    QelTest::CaptureStdout([&] { status = container.Initialise(&source); });
    if (t.byAccessMethod != EVENT_LOG_ACCESS_PHYSICAL32)
    {
        EXPECT_EQ(status, SS_EVENT_LOG_ERROR);
        EXPECT_THAT(root.LogMessages(),
                    Contains(Format("EventLogContainer::UpdateSELog - Incorrect AccessMethod %u - "
                                    "Only MMapPhysical32 supported",
                                    t.byAccessMethod)));
        return;
    }
    if (t.wLogAreaLength == 0)  // an empty area has no header to read
    {
        EXPECT_EQ(status, SS_EVENT_LOG_ERROR);
        return;
    }
    ASSERT_EQ(status, SS_SUCCESS);
    CSystemEventLog log;
    container.CopyEventLogInformation(log);
    ASSERT_EQ(log.LogLines.size(), 1u);
    EXPECT_EQ(log.LogLines[0].rfind("System boot:2023-01-02:03.04.05:", 0), 0u) << log.LogLines[0];
    EXPECT_EQ(log.LogValid, (t.byLogStatus & 1) != 0);
}

INSTANTIATE_TEST_SUITE_P(Dumps, EventLogCorpusTest, ::testing::ValuesIn(QelTest::CorpusDumps()),
                         [](const ::testing::TestParamInfo<std::string>& test)
                         { return QelTest::CorpusTestName(test.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(EventLogCorpusTest);
