// The Falcon's NVMe SSD temperature sensors as an object manager sees them: appended after the chip
// sensors when the sensor configuration switches them on, their readings refreshed from the SSD at
// most once per second.
#include "ProviderTestSupport.h"

#include <chrono>
#include <thread>

using namespace ProviderTest;

namespace
{
constexpr char kOn[] = "NvmeReadings=1\n";

QelSim::Profile Shipped(const std::string& name)
{
    return QelSim::LoadProfile(QelSim::FindProfile(name));
}

int64_t Sint(const Instance& instance, const char* name)
{
    const Value* value = instance.Property(name);
    EXPECT_NE(value, nullptr) << name;
    return value != nullptr ? value->sint : -1;
}

std::string Text(const Instance& instance, const char* name)
{
    const Value* value = instance.Property(name);
    EXPECT_NE(value, nullptr) << name;
    return value != nullptr ? value->text : "";
}

std::vector<std::string> Names(const Reply& reply)
{
    std::vector<std::string> names;
    for (const Instance& instance : reply.instances)
        names.push_back(NameOf(instance));
    return names;
}

class NvmeSensorsTest : public ProviderFixture
{
};

TEST_F(NvmeSensorsTest, FalconPublishesOneSensorPerSsdAfterTheChipSensors)
{
    Host& host = Start(Shipped("falcon"), kOn);
    const size_t chipSensors = SensorCount(Machine().Profile());
    const Reply reply = host.EnumerateInstances(kNameSpace, kSensorClass);
    ASSERT_TRUE(reply.Ok());
    ASSERT_EQ(reply.instances.size(), chipSensors + 2);
    for (size_t i = 0; i < chipSensors; ++i)
        EXPECT_NE(NameOf(reply.instances[i]).compare(0, 3, "SSD"), 0) << NameOf(reply.instances[i]);

    const struct
    {
        const char* name;
        const char* deviceId;
        int reading;
        int over;
    } kExpected[] = {{"SSD1 Temperature(00000001)", "1", 38, 84},
                     {"SSD2 Temperature(00000002)", "2", 41, 82}};
    for (size_t i = 0; i < 2; ++i)
    {
        const Instance& ssd = reply.instances[chipSensors + i];
        SCOPED_TRACE(kExpected[i].name);
        EXPECT_EQ(NameOf(ssd), kExpected[i].name);
        EXPECT_EQ(Text(ssd, "Caption"), "Temperature ");
        EXPECT_EQ(Text(ssd, "Description"), std::string(kExpected[i].name) + ": Temperature sensor");
        EXPECT_EQ(Text(ssd, "DeviceID"), kExpected[i].deviceId);
        EXPECT_EQ(Sint(ssd, "CurrentReading"), kExpected[i].reading);
        EXPECT_EQ(Sint(ssd, "UpperThresholdCritical"), kExpected[i].over);
        EXPECT_EQ(Sint(ssd, "LowerThresholdCritical"), -5);
        EXPECT_EQ(Text(ssd, "OtherSensorTypeDescription"), "");
        ASSERT_NE(ssd.Property("IsLinear"), nullptr);
        EXPECT_FALSE(ssd.Property("IsLinear")->boolean);
        // What an SSD's composite temperature is, in the class's CIM types: Temperature, Degrees C,
        // no rate, no modifier.
        const struct
        {
            const char* property;
            CMPIType type;
            int64_t code;
        } kCodes[] = {{"SensorType", CMPI_uint16, 2},
                      {"BaseUnits", CMPI_uint16, 2},
                      {"RateUnits", CMPI_uint16, 0},
                      {"UnitModifier", CMPI_sint32, 0}};
        for (const auto& c : kCodes)
        {
            const Value* value = ssd.Property(c.property);
            ASSERT_NE(value, nullptr) << c.property;
            EXPECT_EQ(value->type, c.type) << c.property;
            EXPECT_EQ(c.type == CMPI_sint32 ? value->sint : static_cast<int64_t>(value->uint), c.code)
                << c.property;
        }
        // An SSD gives no other limit, range or accuracy: none is made up.
        for (const char* absent :
             {"Accuracy", "Hysteresis", "LowerThresholdFatal", "LowerThresholdNonCritical", "MaxReadable",
              "MinReadable", "NominalReading", "Resolution", "UpperThresholdFatal",
              "UpperThresholdNonCritical"})
            EXPECT_EQ(ssd.Property(absent), nullptr) << absent;
    }

    const Reply names = host.EnumerateInstanceNames(kNameSpace, kSensorClass);
    EXPECT_EQ(names.paths.size(), chipSensors + 2);
    const Reply one = host.GetInstance(kNameSpace, kSensorClass, "SSD2 Temperature(00000002)");
    ASSERT_TRUE(one.Ok());
    ASSERT_EQ(one.instances.size(), 1u);
    EXPECT_EQ(Text(one.instances[0], "DeviceID"), "2");
    EXPECT_EQ(Sint(one.instances[0], "CurrentReading"), 41);
    EXPECT_EQ(Logged("AdditionalInfo::initialise is falcon"), 1u);
}

TEST_F(NvmeSensorsTest, ReadingFollowsTheSsdOncePerInterval)
{
    Host& host = Start(Shipped("falcon"), kOn);
    const std::string name = "SSD1 Temperature(00000001)";
    QelSim::NvmeController& ssd = Machine().Ssd(0);
    ssd.SetTemperature(55);

    // Within the interval of the start-up reading: the stored value, and the SSD is not asked.
    const uint64_t before = ssd.Commands();
    Reply reply = host.GetInstance(kNameSpace, kSensorClass, name);
    ASSERT_TRUE(reply.Ok());
    EXPECT_EQ(Sint(reply.instances.at(0), "CurrentReading"), 38);
    EXPECT_EQ(ssd.Commands(), before);
    EXPECT_GE(Logged("SensorProvider::UpdateReading - No need to update sensor " + name + " yet"), 1u);

    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    reply = host.GetInstance(kNameSpace, kSensorClass, name);
    EXPECT_EQ(Sint(reply.instances.at(0), "CurrentReading"), 55);
    EXPECT_EQ(ssd.Commands(), before + 1);  // one health log read

    // The other SSD is refreshed through an enumeration alike.
    Machine().Ssd(1).SetTemperature(63);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    reply = host.EnumerateInstances(kNameSpace, kSensorClass);
    EXPECT_EQ(Sint(reply.instances.back(), "CurrentReading"), 63);
}

// An SSD that does not give its temperature fails the request, as a chip sensor does: never 0 °C.
TEST_F(NvmeSensorsTest, AnSsdWithoutItsTemperatureIsAFailureNotAReading)
{
    QelSim::Profile falcon = Shipped("falcon");
    falcon.ssds.at(0).failure = QelSim::SsdProfile::Failure::Health;
    Host& host = Start(falcon, kOn);
    EXPECT_EQ(host.GetInstance(kNameSpace, kSensorClass, "SSD1 Temperature(00000001)").rc,
              CMPI_RC_ERR_FAILED);
    EXPECT_EQ(host.EnumerateInstances(kNameSpace, kSensorClass).rc, CMPI_RC_ERR_FAILED);
    const Reply other = host.GetInstance(kNameSpace, kSensorClass, "SSD2 Temperature(00000002)");
    ASSERT_TRUE(other.Ok());
    EXPECT_EQ(Sint(other.instances.at(0), "CurrentReading"), 41);
}

TEST_F(NvmeSensorsTest, NoSsdSensorsUnlessSwitchedOnOnTheFalcon)
{
    const size_t falconSensors = SensorCount(Shipped("falcon"));
    struct Case
    {
        const char* what;
        std::string biosVersion;
        std::string config;
    };
    const Case kCases[] = {
        {"no configuration", "", ""},
        {"switched off", "", "NvmeReadings=0\n"},
        {"key not matched", "", "NvmeReadings = 1\n"},
        {"a Lark", "M8LK0102", kOn},
    };
    for (const Case& c : kCases)
    {
        SCOPED_TRACE(c.what);
        QelSim::Profile profile = Shipped("falcon");
        if (!c.biosVersion.empty())
            profile.bios.version = c.biosVersion;
        Host& host = Start(profile, c.config);
        const Reply reply = host.EnumerateInstances(kNameSpace, kSensorClass);
        ASSERT_TRUE(reply.Ok());
        EXPECT_EQ(reply.instances.size(), falconSensors);
        for (const std::string& name : Names(reply))
            EXPECT_NE(name.compare(0, 3, "SSD"), 0) << name;
        EXPECT_EQ(host.GetInstance(kNameSpace, kSensorClass, "SSD1 Temperature(00000001)").rc,
                  CMPI_RC_ERR_NOT_FOUND);  // as for any name no sensor has
        EXPECT_EQ(Logged("AdditionalInfo::initialise is LARK"), c.biosVersion.empty() ? 0u : 1u);
        EXPECT_EQ(Logged("Processing additionals for Falcon machine"), 0u);
        m_host.reset();
        m_machine.reset();
    }
}

TEST_F(NvmeSensorsTest, FalconWithoutSsdsStartsWithItsChipSensors)
{
    QelSim::Profile profile = Shipped("falcon");
    profile.ssds.clear();
    Host& host = Start(profile, kOn);
    EXPECT_EQ(host.EnumerateInstances(kNameSpace, kSensorClass).instances.size(), SensorCount(profile));
    EXPECT_EQ(Logged("AdditionalInfo::processFalcon - NvmeSsd devices not added."), 1u);
}
}  // namespace
