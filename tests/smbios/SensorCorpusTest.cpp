// The sensor structures of real firmware tables (dmidecode dumps of the shared corpus, read in
// place): every field the library keeps for Types 26, 27, 28, 34, 35 and 36 must say what
// dmidecode prints, and each chip's sensors must be those that a reading of dmidecode's text ties
// to it, with their names and limits attached. Several boards carry broken handle references: the
// library has to skip those links with its messages and go on.
#include "Capture.h"
#include "MachineImage.h"
#include "RawSMBios.h"
#include "SMBiosChipData.h"
#include "SMBiosSensorData.h"
#include "SMBiosTables.h"
#include "TempSysRoot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace
{
const std::string kCorpus = QelTest::CorpusDirectory();

using QelTest::Format;

std::string Hex(unsigned handle)
{
    return Format("0x%04X", handle);
}

// ---------------------------------------------------------------------------------------------
// dmidecode's text

// One structure as dmidecode prints it: its header and the "\tName: value" lines of its body
// (nested list lines are left out).
struct DmiStructure
{
    unsigned handle = 0;
    unsigned type = 0;
    unsigned length = 0;
    std::map<std::string, std::string> fields;
};

std::vector<DmiStructure> ReadDmidecode(const std::string& name)
{
    std::vector<DmiStructure> structures;
    std::istringstream text(QelTest::ReadTextFile(kCorpus + "/dmidecode/" + name + ".txt"));
    std::string line;
    while (std::getline(text, line))
    {
        DmiStructure s;
        if (sscanf(line.c_str(), "Handle 0x%x, DMI type %u, %u bytes", &s.handle, &s.type, &s.length) == 3)
        {
            structures.push_back(s);
        }
        else if (!structures.empty() && line.size() > 1 && line[0] == '\t' && line[1] != '\t')
        {
            const size_t colon = line.find(": ");
            if (colon != std::string::npos)
                structures.back().fields[line.substr(1, colon - 1)] = line.substr(colon + 2);
        }
    }
    return structures;
}

std::vector<const DmiStructure*> OfTypes(const std::vector<DmiStructure>& all, std::vector<unsigned> types)
{
    std::vector<const DmiStructure*> out;
    for (const DmiStructure& s : all)
        if (std::find(types.begin(), types.end(), s.type) != types.end())
            out.push_back(&s);
    return out;
}

// What dmidecode prints in place of a field it leaves out.
const std::string kNotPrinted = "(not printed)";

std::string Printed(const DmiStructure& s, const std::string& field)
{
    const auto it = s.fields.find(field);
    return it == s.fields.end() ? kNotPrinted : it->second;
}

// A handle field: 0xFFFF where dmidecode leaves it out (it does so for "none").
uint16_t HandleField(const DmiStructure& s, const std::string& field)
{
    const std::string text = Printed(s, field);
    return text == kNotPrinted ? SMBIOS_NO_HANDLE : static_cast<uint16_t>(strtoul(text.c_str(), nullptr, 16));
}

// A threshold: dmidecode prints it as a signed decimal, and leaves out the unknown 0x8000.
uint16_t ThresholdField(const DmiStructure& s, const std::string& field)
{
    const std::string text = Printed(s, field);
    return text == kNotPrinted ? SMBIOS_WORD_UNKNOWN
                               : static_cast<uint16_t>(strtol(text.c_str(), nullptr, 10));
}

// ---------------------------------------------------------------------------------------------
// The library's records printed the way dmidecode prints the structure

// A string: number 0 is "Not Specified", a number past the string set "<BAD INDEX>", control
// characters become dots.
std::string AsDmidecode(const std::string& s, uint8_t number)
{
    if (number == 0)
        return "Not Specified";
    if (s.empty())
        return "<BAD INDEX>";
    std::string out = s;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            c = '.';
    return out;
}

// A name the library attached from a Type 35 structure: the record no longer says which string
// number it came from, so an empty name stands for both of dmidecode's words for "no string".
std::string NameAsDmidecode(const std::string& s)
{
    return AsDmidecode(s, s.empty() ? 0 : 1);
}

std::string NormalisedName(const std::string& printed)
{
    return printed == "<BAD INDEX>" ? "Not Specified" : printed;
}

// dmidecode's words for the enumerated fields (the SMBIOS standard's lists), numbered from a
// first code.
using WordTable = std::map<unsigned, std::string>;
WordTable Words(unsigned first, const std::vector<std::string>& words, WordTable table = {})
{
    for (const std::string& word : words)
        table[first++] = word;
    return table;
}
const WordTable kStatus = Words(1, {"Other", "Unknown", "OK", "Non-critical", "Critical", "Non-recoverable"});
const WordTable kVoltageLocation =
    Words(1, {"Other", "Unknown", "Processor", "Disk", "Peripheral Bay", "System Management Module",
              "Motherboard", "Memory Module", "Processor Module", "Power Unit", "Add-in Card"});
const WordTable kTemperatureLocation =
    Words(12, {"Front Panel Board", "Back Panel Board", "Power System Board", "Drive Back Plane"},
          kVoltageLocation);
const WordTable kCoolingDeviceType =
    Words(0x10, {"Active Cooling", "Passive Cooling"},
          Words(1, {"Other", "Unknown", "Fan", "Centrifugal Blower", "Chip Fan", "Cabinet Fan",
                    "Power Supply Fan", "Heat Pipe", "Integrated Refrigeration"}));
const WordTable kManagementDeviceType =
    Words(1, {"Other", "Unknown", "LM75", "LM78", "LM79", "LM80", "LM81", "ADM9240", "DS1780", "MAX1617",
              "GL518SM", "W83781D", "HT82H791"});
const WordTable kAddressType = Words(1, {"Other", "Unknown", "I/O Port", "Memory", "SMBus"});

std::string Word(const WordTable& words, unsigned code)
{
    const auto it = words.find(code);
    return it == words.end() ? "<OUT OF SPEC>" : it->second;
}

// A measured word: "Unknown" for 0x8000, else the value over its divisor.
std::string Measured(uint16_t word, bool isSigned, double divisor, const char* format)
{
    if (word == SMBIOS_WORD_UNKNOWN)
        return "Unknown";
    const double value = isSigned ? static_cast<int16_t>(word) : word;
    return Format(format, value / divisor);
}

// The units of a probe: maximum, minimum, tolerance and nominal value share one.
struct ProbeUnits
{
    const WordTable& locations;
    const char* valueFormat;
    double valueDivisor;
    const char* resolutionFormat;
    double resolutionDivisor;
};
const ProbeUnits kVoltageUnits = {kVoltageLocation, "%.3f V", 1000, "%.1f mV", 10};  // mV, 1/10 mV
const ProbeUnits kTemperatureUnits = {kTemperatureLocation, "%.1f deg C", 10, "%.3f deg C",
                                      1000};  // 1/10, 1/1000

using Fields = std::vector<std::pair<std::string, std::string>>;

Fields PrintType34(const CSMBios_TYPE34& r)
{
    return {{"Description", AsDmidecode(r.strDescription, r.byDescriptionString)},
            {"Type", Word(kManagementDeviceType, r.byDeviceType)},
            {"Address", Format("0x%08X", r.dwAddress)},
            {"Address Type", Word(kAddressType, r.byAddressType)}};
}

Fields PrintProbe(const CSMBios_Probe& r, const ProbeUnits& units)
{
    auto value = [&](uint16_t word) { return Measured(word, true, units.valueDivisor, units.valueFormat); };
    return {{"Description", AsDmidecode(r.strDescription, r.byDescriptionString)},
            {"Location", Word(units.locations, r.byLocationAndStatus & 0x1F)},
            {"Status", Word(kStatus, r.byLocationAndStatus >> 5)},
            {"Maximum Value", value(r.wMaximumValue)},
            {"Minimum Value", value(r.wMinimumValue)},
            {"Resolution", Measured(r.wResolution, false, units.resolutionDivisor, units.resolutionFormat)},
            {"Tolerance", value(r.wTolerance)},
            {"Accuracy", Measured(r.wAccuracy, false, 100, "%.2f%%")},
            {"OEM-specific Information", Format("0x%08X", r.dwOEMDefined)},
            {"Nominal Value", r.byLength >= 0x16 ? value(r.wNominalValue) : kNotPrinted}};
}

// The description that newer Cooling Devices carry at 0x0E is not kept by the library.
Fields PrintType27(const CSMBios_TYPE27& r)
{
    return {
        {"Temperature Probe Handle",
         r.wTemperatureProbeHandle == SMBIOS_NO_HANDLE ? kNotPrinted : Hex(r.wTemperatureProbeHandle)},
        {"Type", Word(kCoolingDeviceType, r.byDeviceTypeAndStatus & 0x1F)},
        {"Status", Word(kStatus, r.byDeviceTypeAndStatus >> 5)},
        {"Cooling Unit Group", r.byCoolingUnitGroup != 0 ? Format("%u", r.byCoolingUnitGroup) : kNotPrinted},
        {"OEM-specific Information", Format("0x%08X", r.dwOEMDefined)},
        {"Nominal Speed", r.byLength < 0x0E                        ? kNotPrinted
                          : r.wNominalSpeed == SMBIOS_WORD_UNKNOWN ? "Unknown Or Non-rotating"
                                                                   : Format("%u rpm", r.wNominalSpeed)}};
}

Fields PrintSensor(const CSMBios_Sensor& r)
{
    switch (r.byType)
    {
    case 26:
        return PrintProbe(static_cast<const CSMBios_TYPE26&>(r), kVoltageUnits);
    case 27:
        return PrintType27(static_cast<const CSMBios_TYPE27&>(r));
    default:
        return PrintProbe(static_cast<const CSMBios_TYPE28&>(r), kTemperatureUnits);
    }
}

Fields PrintType35(const CSMBios_TYPE35& r)
{
    return {
        {"Description", AsDmidecode(r.strDescription, r.byDescriptionString)},
        {"Management Device Handle", Hex(r.wManagementDeviceHandle)},
        {"Component Handle", Hex(r.wComponentHandle)},
        {"Threshold Handle", r.wThresholdHandle == SMBIOS_NO_HANDLE ? kNotPrinted : Hex(r.wThresholdHandle)}};
}

const char* const kThresholdNames[6] = {"Lower Non-critical Threshold",    "Upper Non-critical Threshold",
                                        "Lower Critical Threshold",        "Upper Critical Threshold",
                                        "Lower Non-recoverable Threshold", "Upper Non-recoverable Threshold"};

template <typename Record>
std::array<uint16_t, 6> Limits(const Record& r)
{
    return {r.wLowerNonCritical, r.wUpperNonCritical,    r.wLowerCritical,
            r.wUpperCritical,    r.wLowerNonRecoverable, r.wUpperNonRecoverable};
}

Fields PrintType36(const CSMBios_TYPE36& r)
{
    Fields fields;
    const std::array<uint16_t, 6> limits = Limits(r);
    for (size_t i = 0; i < limits.size(); ++i)
        fields.emplace_back(kThresholdNames[i], limits[i] == SMBIOS_WORD_UNKNOWN
                                                    ? kNotPrinted
                                                    : Format("%d", static_cast<int16_t>(limits[i])));
    return fields;
}

void ExpectPrintedAsDmidecode(const DmiStructure& dmi, const Fields& fields)
{
    for (const auto& field : fields)
        EXPECT_EQ(Printed(dmi, field.first), field.second) << field.first;
}

// The records of one kind, in table order, against dmidecode's structures of those types.
template <typename Record>
void ExpectRecordsAsDmidecode(const std::vector<Record*>& records,
                              const std::vector<const DmiStructure*>& structures,
                              Fields (*print)(const Record&))
{
    std::vector<std::string> libraryHandles, dmidecodeHandles;
    for (const Record* r : records)
        libraryHandles.push_back(Hex(r->wHandle));
    for (const DmiStructure* s : structures)
        dmidecodeHandles.push_back(Hex(s->handle));
    ASSERT_EQ(libraryHandles, dmidecodeHandles);

    for (size_t i = 0; i < records.size(); ++i)
    {
        const DmiStructure& dmi = *structures[i];
        SCOPED_TRACE(Format("handle 0x%04X, type %u", dmi.handle, dmi.type));
        EXPECT_EQ(records[i]->byType, dmi.type);
        EXPECT_EQ(records[i]->byLength, dmi.length);
        ExpectPrintedAsDmidecode(dmi, print(*records[i]));
    }
}

// ---------------------------------------------------------------------------------------------
// The association, worked out from dmidecode's text

// A sensor without Threshold Data: every limit unknown.
std::array<uint16_t, 6> NoLimits()
{
    std::array<uint16_t, 6> limits;
    limits.fill(SMBIOS_WORD_UNKNOWN);
    return limits;
}

struct ExpectedSensor
{
    std::string name;  // dmidecode's text of the last Type 35 description attached
    std::array<uint16_t, 6> limits = NoLimits();
};

struct ExpectedChip
{
    std::vector<unsigned> sensors;             // component handles, in Type 35 order
    std::map<unsigned, ExpectedSensor> state;  // what each listed sensor ends up with
    std::vector<std::string> skipped;          // the messages of the links left out
};

// Each Type 35 structure naming the chip ties the first probe or cooling device with its
// component handle to it, renames it and gives it the limits of the first Threshold Data with its
// threshold handle; links to nothing are skipped.
ExpectedChip Associate(const std::vector<DmiStructure>& dmi, unsigned chip)
{
    std::map<unsigned, const DmiStructure*> sensors, thresholds;
    for (const DmiStructure& s : dmi)
    {
        if (s.type == 26 || s.type == 27 || s.type == 28)
            sensors.emplace(s.handle, &s);
        else if (s.type == 36)
            thresholds.emplace(s.handle, &s);
    }

    const char* const label = "CSMBiosSensorData::GetThisChipSensors";
    ExpectedChip expected;
    for (const DmiStructure* component : OfTypes(dmi, {35}))
    {
        const unsigned handle = component->handle;
        const uint16_t device = HandleField(*component, "Management Device Handle");
        const uint16_t sensor = HandleField(*component, "Component Handle");
        const uint16_t threshold = HandleField(*component, "Threshold Handle");
        if (device == SMBIOS_NO_HANDLE)
        {
            expected.skipped.push_back(Format("%s - Type 35: 0x%04x - No Type 34", label, handle));
            continue;
        }
        if (device != chip)
            continue;
        if (sensor == SMBIOS_NO_HANDLE)
        {
            expected.skipped.push_back(Format("%s - Type 35(0x%04x) - Sensor handle=0xffff", label, handle));
            continue;
        }
        if (sensors.count(sensor) == 0)
        {
            expected.skipped.push_back(Format(
                "%s - Type 35(0x%04x) - No Sensor found for Sensor handle 0x%04x", label, handle, sensor));
            continue;
        }
        expected.sensors.push_back(sensor);
        ExpectedSensor& state = expected.state[sensor];
        state.name = NormalisedName(Printed(*component, "Description"));
        if (threshold == SMBIOS_NO_HANDLE)
        {
            expected.skipped.push_back(
                Format("%s - Type 35(0x%04x) - Threshold handle=0xffff", label, handle));
            continue;
        }
        const auto limits = thresholds.find(threshold);
        if (limits == thresholds.end())
        {
            expected.skipped.push_back(
                Format("%s - Type 35(0x%04x) - No Threshold found for Threshold handle 0x%04x", label, handle,
                       threshold));
            continue;
        }
        for (size_t i = 0; i < state.limits.size(); ++i)
            state.limits[i] = ThresholdField(*limits->second, kThresholdNames[i]);
    }
    return expected;
}

uint32_t KindOf(unsigned type)
{
    return type == 26 ? SENSOR_KIND_VOLTAGE : type == 27 ? SENSOR_KIND_COOLING : SENSOR_KIND_TEMPERATURE;
}

// The chips to ask for: every Type 34, every other handle that a Type 35 names as its device
// (broken references among them), "none" and a handle that no structure has.
std::vector<uint16_t> ChipHandles(const CSMBiosChipData& chips, const std::vector<DmiStructure>& dmi)
{
    std::vector<uint16_t> handles;
    auto add = [&](uint16_t h)
    {
        if (std::find(handles.begin(), handles.end(), h) == handles.end())
            handles.push_back(h);
    };
    for (const CSMBios_TYPE34* device : chips.m_vDevices)
        add(device->wHandle);
    for (const DmiStructure* component : OfTypes(dmi, {35}))
        add(HandleField(*component, "Management Device Handle"));
    add(SMBIOS_NO_HANDLE);
    uint16_t unused = 0xFFFE;
    while (std::any_of(dmi.begin(), dmi.end(), [&](const DmiStructure& s) { return s.handle == unused; }))
        --unused;
    add(unused);
    return handles;
}

class SensorCorpusTest : public ::testing::TestWithParam<std::string>
{
protected:
    // Debug level: the skipped links are reported there.
    QelTest::TempSysRoot root{3};
};
}  // namespace

TEST(SensorCorpus, IsThere)
{
    if (QelTest::CorpusDumps().empty())
        GTEST_SKIP() << "no dumps under " << kCorpus << ": the sensor structures were not compared";
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(SensorCorpusTest);

TEST_P(SensorCorpusTest, SensorStructuresAndTheirAssociationAsDmidecodeReadsThem)
{
    const std::string name = GetParam();
    const std::vector<DmiStructure> dmi = ReadDmidecode(name);
    ASSERT_FALSE(dmi.empty()) << "no dmidecode reading for " << name;
    root.Install(QelImage::MachineImage::FromDump(kCorpus + "/dumps/" + name + ".bin"));

    // At debug level the logger echoes every line to standard output: the library runs under a
    // capture, and the checks come after it so that their own messages are seen.
    std::unique_ptr<CRawSMBios> rawHolder;
    std::unique_ptr<CSMBiosChipData> chipsHolder;
    std::unique_ptr<CSMBiosSensorData> allHolder;  // every structure, before any association
    std::vector<uint16_t> chipHandles;
    std::vector<std::unique_ptr<CSMBiosSensorData>> perChip;
    std::vector<bool> perChipOk;
    bool rawOk = false, chipsOk = false;
    QelTest::CaptureStdout(
        [&]
        {
            rawHolder = std::make_unique<CRawSMBios>();
            chipsHolder = std::make_unique<CSMBiosChipData>();
            allHolder = std::make_unique<CSMBiosSensorData>(SMBIOS_NO_HANDLE);
            CRawSMBios& raw = *rawHolder;
            rawOk = raw.Initialise();
            if (!rawOk)
                return;
            chipsOk = chipsHolder->Initialise(raw);
            allHolder->UseTable(raw);
            allHolder->GetStructures();
            chipHandles = ChipHandles(*chipsHolder, dmi);
            for (uint16_t handle : chipHandles)
            {
                perChip.push_back(std::make_unique<CSMBiosSensorData>(handle));
                perChipOk.push_back(perChip.back()->Initialise(raw));
            }
        });
    ASSERT_TRUE(rawOk);
    const CSMBiosChipData& chips = *chipsHolder;
    CSMBiosSensorData& all = *allHolder;

    EXPECT_EQ(chipsOk, !chips.m_vDevices.empty());
    {
        SCOPED_TRACE("Management Devices");
        ExpectRecordsAsDmidecode(chips.m_vDevices, OfTypes(dmi, {34}), PrintType34);
    }
    {
        SCOPED_TRACE("probes and cooling devices");
        ExpectRecordsAsDmidecode(all.m_vAllSensors, OfTypes(dmi, {26, 27, 28}), PrintSensor);
        for (const CSMBios_Sensor* sensor : all.m_vAllSensors)
            EXPECT_EQ(sensor->dwSensorType, KindOf(sensor->byType))
                << Format("handle 0x%04X", sensor->wHandle);
    }
    {
        SCOPED_TRACE("Management Device Components");
        ExpectRecordsAsDmidecode(all.m_vAllComponents, OfTypes(dmi, {35}), PrintType35);
    }
    {
        SCOPED_TRACE("Threshold Data");
        ExpectRecordsAsDmidecode(all.m_vAllThresholds, OfTypes(dmi, {36}), PrintType36);
    }

    // Each chip's sensors, against the links read from dmidecode's text. The association only
    // runs when the table has a sensor at all.
    std::vector<std::string> expectedSkips;
    for (size_t c = 0; c < chipHandles.size(); ++c)
    {
        SCOPED_TRACE(Format("chip handle 0x%04X", chipHandles[c]));
        const ExpectedChip expected = Associate(dmi, chipHandles[c]);
        const CSMBiosSensorData& data = *perChip[c];
        if (!all.m_vAllSensors.empty())
            expectedSkips.insert(expectedSkips.end(), expected.skipped.begin(), expected.skipped.end());

        std::vector<std::string> handles, expectedHandles;
        for (const CSMBios_Sensor* sensor : data.m_vThisChipSensors)
            handles.push_back(Hex(sensor->wHandle));
        for (unsigned handle : expected.sensors)
            expectedHandles.push_back(Hex(handle));
        EXPECT_EQ(handles, expectedHandles);
        EXPECT_EQ(perChipOk[c], !expected.sensors.empty());
        if (handles != expectedHandles)
            continue;
        for (const CSMBios_Sensor* sensor : data.m_vThisChipSensors)
        {
            SCOPED_TRACE(Format("sensor 0x%04X", sensor->wHandle));
            const ExpectedSensor& state = expected.state.at(sensor->wHandle);
            EXPECT_EQ(NameAsDmidecode(sensor->strDescription), state.name);
            EXPECT_EQ(Limits(*sensor), state.limits);
            // Naming and limits leave the probe's own fields alone.
            const CSMBios_Sensor* before = all.GetSensorForHandle(sensor->wHandle);
            ASSERT_NE(before, nullptr);
            EXPECT_EQ(sensor->byType, before->byType);
            EXPECT_EQ(sensor->dwSensorType, before->dwSensorType);
            EXPECT_EQ(sensor->dwOEMDefined, before->dwOEMDefined);
        }
    }

    std::vector<std::string> skips;
    const std::string skipPrefix = "CSMBiosSensorData::GetThisChipSensors - Type 35";
    for (const std::string& message : root.LogMessages())
        if (message.compare(0, skipPrefix.size(), skipPrefix) == 0)
            skips.push_back(message);
    std::sort(skips.begin(), skips.end());
    std::sort(expectedSkips.begin(), expectedSkips.end());
    EXPECT_EQ(skips, expectedSkips) << "the links left out, with their messages";
}

INSTANTIATE_TEST_SUITE_P(Dumps, SensorCorpusTest, ::testing::ValuesIn(QelTest::CorpusDumps()),
                         [](const ::testing::TestParamInfo<std::string>& test)
                         { return QelTest::CorpusTestName(test.param); });
