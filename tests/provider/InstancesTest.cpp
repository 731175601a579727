// The instances the provider builds: every property with the type of the class definition, values
// that follow what the chip library reports for the same machine, unknown values left out, and the
// event log with and without lines.
#include "PXT_NumericSensor.h"
#include "PXT_SystemEventLog.h"
#include "ProviderTestSupport.h"
#include "PxtNames.h"
#include "chip.h"

#include "EventLogArea.h"

#include <gmock/gmock.h>

#include <cstdio>
#include <map>

using namespace ProviderTest;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace
{
// The numeric sensor's properties in the order the provider sets them, with their CIM types.
const std::vector<std::pair<std::string, CMPIType>> kSensorProperties = {
    {"Accuracy", CMPI_sint32},
    {"BaseUnits", CMPI_uint16},
    {"Caption", CMPI_chars},
    {"CreationClassName", CMPI_chars},
    {"CurrentReading", CMPI_sint32},
    {"Description", CMPI_chars},
    {"DeviceID", CMPI_chars},
    {"Hysteresis", CMPI_uint32},
    {"IsLinear", CMPI_boolean},
    {"LowerThresholdCritical", CMPI_sint32},
    {"LowerThresholdFatal", CMPI_sint32},
    {"LowerThresholdNonCritical", CMPI_sint32},
    {"MaxReadable", CMPI_sint32},
    {"MinReadable", CMPI_sint32},
    {"Name", CMPI_chars},
    {"NominalReading", CMPI_sint32},
    {"OtherSensorTypeDescription", CMPI_chars},
    {"RateUnits", CMPI_uint16},
    {"Resolution", CMPI_uint32},
    {"SensorType", CMPI_uint16},
    {"SystemCreationClassName", CMPI_chars},
    {"SystemName", CMPI_chars},
    {"UnitModifier", CMPI_sint32},
    {"UpperThresholdCritical", CMPI_sint32},
    {"UpperThresholdFatal", CMPI_sint32},
    {"UpperThresholdNonCritical", CMPI_sint32},
};

const std::vector<std::pair<std::string, CMPIType>> kLogProperties = {
    {"Caption", CMPI_chars},
    {"CreationClassName", CMPI_chars},
    {"Description", CMPI_chars},
    {"DeviceID", CMPI_chars},
    {"LogFull", CMPI_boolean},
    {"LogLines", CMPI_charsA},
    {"LogMultipleEventCountIncrement", CMPI_uint8},
    {"LogMultipleEventTimeWindow", CMPI_uint8},
    {"LogValid", CMPI_boolean},
    {"Name", CMPI_chars},
    {"SystemCreationClassName", CMPI_chars},
    {"SystemName", CMPI_chars},
};

std::vector<std::string> Names(const Instance& instance)
{
    std::vector<std::string> names;
    for (const QelCim::Named& property : instance.properties)
        names.push_back(property.first);
    return names;
}

// Every property carries the type the class gives it.
void ExpectTypes(const Instance& instance, const std::vector<std::pair<std::string, CMPIType>>& table)
{
    std::map<std::string, CMPIType> types(table.begin(), table.end());
    for (const QelCim::Named& property : instance.properties)
    {
        ASSERT_TRUE(types.count(property.first)) << "unexpected property " << property.first;
        EXPECT_EQ(property.second.type, types[property.first]) << property.first;
        EXPECT_FALSE(property.second.null) << property.first;
    }
}

// What the provider must show for a sensor the chip library describes as `info`, reading `reading`.
std::vector<std::pair<std::string, std::string>> Expected(SENSOR_HANDLE handle,
                                                          const CSensorInformation& info, int32_t reading)
{
    const char* typeName = CimSensorTypeName(info.SensorType);
    const std::string word = typeName != nullptr ? typeName : "Unknown";
    char hex[16];
    snprintf(hex, sizeof(hex), "%08x", handle);
    const std::string name = info.Description + "(" + hex + ")";
    auto number = [](int64_t v) { return std::to_string(v); };
    std::vector<std::pair<std::string, std::string>> out;
    auto optional = [&](const char* property, int32_t v)
    {
        if (v != SENSOR_VALUE_UNKNOWN)
            out.emplace_back(property, number(v));
    };
    auto optionalUnsigned = [&](const char* property, uint64_t v)
    {
        if (static_cast<uint32_t>(v) != 0x80000000u)
            out.emplace_back(property, number(static_cast<uint32_t>(v)));
    };
    optional("Accuracy", info.Accuracy);
    out.emplace_back("BaseUnits", number(info.BaseUnits));
    out.emplace_back("Caption", word + "(" + hex + ")");
    out.emplace_back("CreationClassName", "PXT_NumericSensor");
    out.emplace_back("CurrentReading", number(reading));
    out.emplace_back("Description", name + ": " + word + " sensor");
    out.emplace_back("DeviceID", hex);
    optionalUnsigned("Hysteresis", info.Hysteresis);
    out.emplace_back("IsLinear", info.IsLinear ? "true" : "false");
    optional("LowerThresholdCritical", info.LowerThresholdCritical);
    optional("LowerThresholdFatal", info.LowerThresholdFatal);
    optional("LowerThresholdNonCritical", info.LowerThresholdNonCritical);
    optional("MaxReadable", info.MaxReadable);
    optional("MinReadable", info.MinReadable);
    out.emplace_back("Name", name);
    optional("NominalReading", info.NominalReading);
    out.emplace_back("OtherSensorTypeDescription", info.OtherSensorTypeDescription);
    out.emplace_back("RateUnits", number(info.RateUnits));
    optionalUnsigned("Resolution", info.Resolution);
    out.emplace_back("SensorType", number(info.SensorType));
    out.emplace_back("SystemCreationClassName", "Computer System");
    out.emplace_back("SystemName", "Kestrel POS Sensor Drivers and System Event Log");
    out.emplace_back("UnitModifier", number(info.UnitModifier));
    optional("UpperThresholdCritical", info.UpperThresholdCritical);
    optional("UpperThresholdFatal", info.UpperThresholdFatal);
    optional("UpperThresholdNonCritical", info.UpperThresholdNonCritical);
    return out;
}

std::string Text(const Value& value)
{
    switch (value.type)
    {
    case CMPI_chars:
    case CMPI_string:
        return value.text;
    case CMPI_boolean:
        return value.boolean ? "true" : "false";
    case CMPI_uint8:
    case CMPI_uint16:
    case CMPI_uint32:
        return std::to_string(value.uint);
    default:
        return std::to_string(value.sint);
    }
}

std::vector<std::pair<std::string, std::string>> Shown(const Instance& instance)
{
    std::vector<std::pair<std::string, std::string>> out;
    for (const QelCim::Named& property : instance.properties)
        out.emplace_back(property.first, Text(property.second));
    return out;
}

class InstancesTest : public ProviderFixture
{
};

// Each machine's sensors, as the provider shows them, against the chip library's own answers.
TEST_F(InstancesTest, SensorInstancesFollowTheChipLibrary)
{
    for (const char* profile : {"falcon", "ambercoral", "fenwick"})
    {
        SCOPED_TRACE(profile);
        Host& host = Start(profile);
        const Reply reply = host.EnumerateInstances(kNameSpace, kSensorClass);
        ASSERT_EQ(reply.rc, CMPI_RC_OK);

        CChip chip;
        ASSERT_EQ(chip.Initialise(), SS_SUCCESS);
        CSensorHandleList handles;
        ASSERT_EQ(chip.EnumerateSensorHandles(handles), SS_SUCCESS);
        ASSERT_EQ(reply.instances.size(), handles.size());
        size_t i = 0;
        for (SENSOR_HANDLE handle : handles)
        {
            CSensorInformation info;
            CSensorReading reading;
            reading.Translate = 1;
            ASSERT_EQ(chip.GetSensorInformation(handle, info), SS_SUCCESS);
            ASSERT_EQ(chip.ReadSensor(handle, reading), SS_SUCCESS);
            const Instance& instance = reply.instances[i++];
            ExpectTypes(instance, kSensorProperties);
            EXPECT_THAT(Shown(instance), ElementsAreArray(Expected(
                                             handle, info, static_cast<int32_t>(reading.CurrentReading))));
            EXPECT_EQ(instance.path.Key("Name")->text, NameOf(instance));
        }
        TearDown();
    }
}

// A threshold of 0 is a value like any other; only the unknown marker leaves a property out.
TEST_F(InstancesTest, ZeroThresholdIsShown)
{
    QelSim::Profile profile = QelSim::LoadProfile(QelSim::FindProfile("falcon"));
    QelSim::BoardSensor& fan = profile.chips.at(0).board.sensors.back();
    ASSERT_EQ(fan.kind, QelSim::BoardSensor::Kind::Cooling);
    fan.thresholds = QelSim::Thresholds{0, 0x8000, 0, 0x8000, 0x8000, 0x8000};
    Host& host = Start(profile);

    const Reply reply = host.EnumerateInstances(kNameSpace, kSensorClass);
    ASSERT_EQ(reply.rc, CMPI_RC_OK);
    const Instance& instance = reply.instances.back();
    ASSERT_THAT(NameOf(instance), ::testing::StartsWith(fan.name + "("));
    for (const char* property : {"LowerThresholdNonCritical", "LowerThresholdCritical"})
    {
        const Value* value = instance.Property(property);
        ASSERT_NE(value, nullptr) << property;
        EXPECT_EQ(value->type, CMPI_sint32);
        EXPECT_EQ(value->sint, 0);
    }
    for (const char* property : {"UpperThresholdNonCritical", "UpperThresholdCritical", "LowerThresholdFatal",
                                 "UpperThresholdFatal"})
        EXPECT_EQ(instance.Property(property), nullptr) << property;
}

// A sensor whose every optional value is unknown keeps the fourteen that are always there.
TEST(NumericSensorInstance, UnknownValuesAreLeftOut)
{
    PXT_NumericSensor sensor(0x00010003);
    for (auto set :
         {&PXT_NumericSensor::setAccuracy, &PXT_NumericSensor::setLowerThresholdCritical,
          &PXT_NumericSensor::setLowerThresholdFatal, &PXT_NumericSensor::setLowerThresholdNonCritical,
          &PXT_NumericSensor::setMaxReadable, &PXT_NumericSensor::setMinReadable,
          &PXT_NumericSensor::setNominalReading, &PXT_NumericSensor::setUpperThresholdCritical,
          &PXT_NumericSensor::setUpperThresholdFatal, &PXT_NumericSensor::setUpperThresholdNonCritical})
        (sensor.*set)(SENSOR_VALUE_UNKNOWN);
    sensor.setHysteresis(0x80000000u);
    sensor.setResolution(0x80000000u);
    sensor.setName("CPU(00010003)");
    sensor.setUnitModifier(SENSOR_VALUE_UNKNOWN);  // not one of the optional ones: always shown
    sensor.setCurrentReading(SENSOR_VALUE_UNKNOWN);

    QelCim::Broker broker;
    QelCim::Broker::RequestScope scope(broker);
    const Instance* instance = QelCim::InstanceOf(sensor.getInstance(broker.Handle()));
    ASSERT_NE(instance, nullptr);
    EXPECT_THAT(Names(*instance),
                ElementsAre("BaseUnits", "Caption", "CreationClassName", "CurrentReading", "Description",
                            "DeviceID", "IsLinear", "Name", "OtherSensorTypeDescription", "RateUnits",
                            "SensorType", "SystemCreationClassName", "SystemName", "UnitModifier"));
    ExpectTypes(*instance, kSensorProperties);
    EXPECT_EQ(instance->Property("UnitModifier")->sint, INT32_MIN);
    EXPECT_EQ(instance->path.className, "PXT_NumericSensor");
    EXPECT_EQ(instance->path.Key("Name")->text, "CPU(00010003)");
}

TEST_F(InstancesTest, EventLogWithLinesMatchesTheDecodedLog)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    Host& host = Start("falcon");
    const Reply reply = host.GetInstance(kNameSpace, kLogClass, kLogName);
    ASSERT_EQ(reply.rc, CMPI_RC_OK);
    ASSERT_EQ(reply.instances.size(), 1u);
    const Instance& instance = reply.instances[0];

    CChip chip;
    ASSERT_EQ(chip.Initialise(), SS_SUCCESS);
    CSystemEventLog log;
    ASSERT_EQ(chip.GetSystemEventLog(log), SS_SUCCESS);
    ASSERT_FALSE(log.LogLines.empty());

    std::vector<std::string> names;
    for (const auto& property : kLogProperties)
        names.push_back(property.first);
    EXPECT_THAT(Names(instance), ElementsAreArray(names));
    ExpectTypes(instance, kLogProperties);
    const Value* lines = instance.Property("LogLines");
    ASSERT_NE(lines, nullptr);
    std::vector<std::string> shown;
    for (const Value& line : lines->elements)
    {
        EXPECT_EQ(line.type, CMPI_chars);
        shown.push_back(line.text);
    }
    EXPECT_EQ(shown, log.LogLines);
    EXPECT_EQ(instance.Property("LogFull")->boolean, log.LogFull);
    EXPECT_EQ(instance.Property("LogValid")->boolean, log.LogValid);
    EXPECT_EQ(instance.Property("LogMultipleEventCountIncrement")->uint, log.LogMultipleEventCountIncrement);
    EXPECT_EQ(instance.Property("LogMultipleEventTimeWindow")->uint, log.LogMultipleEventTimeWindow);
    for (const char* text : {"Caption", "DeviceID", "Name"})
        EXPECT_EQ(instance.Property(text)->text, kLogName);
    EXPECT_EQ(instance.Property("CreationClassName")->text, kLogClass);
}

// A log without records has no LogLines property; its other eleven are there. The log is read
// afresh on every request, so the machine's memory can change under a running provider.
TEST_F(InstancesTest, EmptyEventLogHasNoLinesAndEveryRequestRereadsIt)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    QelSim::Profile profile = QelSim::LoadProfile(QelSim::FindProfile("falcon"));
    Host& host = Start(profile);
    const Reply full = host.EnumerateInstances(kNameSpace, kLogClass);
    ASSERT_EQ(full.rc, CMPI_RC_OK);
    ASSERT_NE(full.instances.at(0).Property("LogLines"), nullptr);

    QelSim::Profile withoutLog = profile;
    withoutLog.eventLog.reset();
    QelImage::MachineImage image = QelSim::BuildImage(withoutLog);
    QelSim::SystemEventLogFields fields;
    fields.status = QelSim::kLogStatusValid | QelSim::kLogStatusFull;
    fields.descriptors = QelSim::DecodedTypeDescriptors();
    QelSim::EventLogArea empty;
    empty.header.timeWindow = 0x15;  // BCD
    empty.header.countIncrement = 4;
    QelSim::AddEventLog(image, 0x0F00, QelSim::kSampleEventLogAddress, empty, fields);
    Machine().SysRoot().Install(image);

    for (const Reply& reply :
         {host.EnumerateInstances(kNameSpace, kLogClass), host.GetInstance(kNameSpace, kLogClass, kLogName)})
    {
        ASSERT_EQ(reply.rc, CMPI_RC_OK);
        ASSERT_EQ(reply.instances.size(), 1u);
        const Instance& instance = reply.instances[0];
        EXPECT_EQ(instance.properties.size(), 11u);
        EXPECT_EQ(instance.Property("LogLines"), nullptr);
        ExpectTypes(instance, kLogProperties);
        EXPECT_TRUE(instance.Property("LogFull")->boolean);
        EXPECT_EQ(instance.Property("LogMultipleEventTimeWindow")->uint, 15u);
        EXPECT_EQ(instance.Property("LogMultipleEventCountIncrement")->uint, 4u);
    }

    // Without any event log the request fails, and the provider goes on serving the sensors.
    Machine().SysRoot().Install(QelSim::BuildImage(withoutLog));
    const Reply none = host.EnumerateInstances(kNameSpace, kLogClass);
    EXPECT_EQ(none.rc, CMPI_RC_ERR_FAILED);
    EXPECT_EQ(none.doneCount, 1);
    EXPECT_TRUE(none.instances.empty());
    EXPECT_GE(Logged("SensorProvider::enumerateInstances - No instances found"), 1u);
    EXPECT_EQ(host.EnumerateInstances(kNameSpace, kSensorClass).rc, CMPI_RC_OK);
}

TEST(SystemEventLogInstance, LinesKeepTheirOrderAndClearLeavesTheFlags)
{
    PXT_SystemEventLog log;
    log.setLogFull(true);
    log.setLogLines({"first", "second", "third"});
    QelCim::Broker broker;
    QelCim::Broker::RequestScope scope(broker);
    const Instance* withLines = QelCim::InstanceOf(log.getInstance(broker.Handle()));
    ASSERT_NE(withLines, nullptr);
    const Value* lines = withLines->Property("LogLines");
    ASSERT_NE(lines, nullptr);
    ASSERT_EQ(lines->elements.size(), 3u);
    EXPECT_EQ(lines->elements[0].text, "first");
    EXPECT_EQ(lines->elements[2].text, "third");

    log.clear();
    const Instance* cleared = QelCim::InstanceOf(log.getInstance(broker.Handle()));
    EXPECT_EQ(cleared->properties.size(), 11u);
    EXPECT_EQ(cleared->Property("LogLines"), nullptr);
    EXPECT_TRUE(cleared->Property("LogFull")->boolean);
}
}  // namespace
