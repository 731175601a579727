// The provider's answers to every request kind: namespace and class checks, names present and
// absent, returnDone exactly once, and the status codes an object manager sees.
#include "Capture.h"
#include "ProviderTestSupport.h"

#include <gmock/gmock.h>

using namespace ProviderTest;
using QelCim::MakePath;
using QelCim::ObjectPath;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace
{
class RequestTest : public ProviderFixture
{
protected:
    void SetUp() override
    {
        ProviderFixture::SetUp();
        if (IsSkipped())
            return;
        Host& host = Start("falcon");
        expectedSensors = SensorCount(Machine().Profile());
        const Reply names = host.EnumerateInstanceNames(kNameSpace, kSensorClass);
        ASSERT_TRUE(names.Ok());
        for (const QelCim::ObjectPath& path : names.paths)
            sensorNames.push_back(path.Key("Name")->text);
    }

    size_t expectedSensors = 0;
    std::vector<std::string> sensorNames;
};

// Every answer of the three requests ends with one returnDone and nothing after it.
void ExpectCompleted(const Reply& reply)
{
    EXPECT_EQ(reply.doneCount, 1);
    EXPECT_FALSE(reply.returnedAfterDone);
    EXPECT_FALSE(reply.hasMessage) << reply.message;
}

TEST_F(RequestTest, EnumerationsOfBothClassesInTheRightNamespace)
{
    Host& host = *m_host;
    ASSERT_EQ(sensorNames.size(), expectedSensors);
    // The names follow the profile's sensors, each with its handle.
    size_t i = 0;
    for (const QelSim::ChipProfile& chip : Machine().Profile().chips)
        for (const QelSim::BoardSensor& sensor : chip.board.sensors)
            EXPECT_THAT(sensorNames[i++], ::testing::StartsWith(sensor.name + "("));

    const Reply names = host.EnumerateInstanceNames(kNameSpace, kSensorClass);
    EXPECT_EQ(names.rc, CMPI_RC_OK);
    ExpectCompleted(names);
    for (const QelCim::ObjectPath& path : names.paths)
    {
        EXPECT_EQ(path.nameSpace, kNameSpace);
        EXPECT_EQ(path.className, kSensorClass);
        ASSERT_EQ(path.keys.size(), 1u);  // the class keys on Name alone
        EXPECT_EQ(path.keys[0].second.type, CMPI_chars);
    }

    const Reply instances = host.EnumerateInstances("ROOT/CIMV2", kSensorClass);  // case does not matter
    EXPECT_EQ(instances.rc, CMPI_RC_OK);
    ExpectCompleted(instances);
    ASSERT_EQ(instances.instances.size(), expectedSensors);
    for (size_t n = 0; n < expectedSensors; ++n)
        EXPECT_EQ(NameOf(instances.instances[n]), sensorNames[n]);

    const Reply logNames = host.EnumerateInstanceNames("Root/CimV2", kLogClass);
    EXPECT_EQ(logNames.rc, CMPI_RC_OK);
    ExpectCompleted(logNames);
    ASSERT_EQ(logNames.paths.size(), 1u);
    EXPECT_EQ(logNames.paths[0].Key("Name")->text, kLogName);

    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    const Reply log = host.EnumerateInstances(kNameSpace, kLogClass);
    EXPECT_EQ(log.rc, CMPI_RC_OK);
    ExpectCompleted(log);
    ASSERT_EQ(log.instances.size(), 1u);
    EXPECT_EQ(NameOf(log.instances[0]), kLogName);
}

TEST_F(RequestTest, WrongNamespaceOrClassIsRefusedAndStillCompleted)
{
    Host& host = *m_host;
    const std::vector<Reply> wrongNamespace = {
        host.EnumerateInstanceNames("root/interop", kSensorClass),
        host.EnumerateInstances("root/cimv", kLogClass),
        host.GetInstance("root/cimv2/", kSensorClass, sensorNames.at(0)),
        host.GetInstance("", kLogClass, kLogName),
    };
    for (const Reply& reply : wrongNamespace)
    {
        EXPECT_EQ(reply.rc, CMPI_RC_ERR_INVALID_NAMESPACE);
        ExpectCompleted(reply);
        EXPECT_TRUE(reply.paths.empty() && reply.instances.empty());
    }
    // Class names are matched exactly, case included; the namespace is checked first.
    const std::vector<Reply> wrongClass = {
        host.EnumerateInstanceNames(kNameSpace, "pxt_numericsensor"),
        host.EnumerateInstances(kNameSpace, "CIM_NumericSensor"),
        host.GetInstance(kNameSpace, "PXT_SystemEventLog ", kLogName),
        host.GetInstance(kNameSpace, "", kLogName),
    };
    for (const Reply& reply : wrongClass)
    {
        EXPECT_EQ(reply.rc, CMPI_RC_ERR_INVALID_CLASS);
        ExpectCompleted(reply);
        EXPECT_TRUE(reply.paths.empty() && reply.instances.empty());
    }
    EXPECT_EQ(host.EnumerateInstances("root/other", "pxt_numericsensor").rc, CMPI_RC_ERR_INVALID_NAMESPACE);
}

TEST_F(RequestTest, GetFindsEachNameExactlyAndNothingElse)
{
    QEL_REQUIRE_ROOT_FOR_EVENT_LOG();
    Host& host = *m_host;
    for (const std::string& name : sensorNames)
    {
        const Reply reply = host.GetInstance(kNameSpace, kSensorClass, name);
        EXPECT_EQ(reply.rc, CMPI_RC_OK) << name;
        ExpectCompleted(reply);
        ASSERT_EQ(reply.instances.size(), 1u);
        EXPECT_EQ(NameOf(reply.instances[0]), name);
    }
    const Reply log = host.GetInstance(kNameSpace, kLogClass, kLogName);
    EXPECT_EQ(log.rc, CMPI_RC_OK);
    ASSERT_EQ(log.instances.size(), 1u);

    // Names are compared exactly: another case, a missing handle or another class's name find
    // nothing, and the answer is CIM's "not found" (6) with the request completed.
    std::string upper = sensorNames.at(0);
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    const std::vector<Reply> absent = {
        host.GetInstance(kNameSpace, kSensorClass, "Vcore"),
        host.GetInstance(kNameSpace, kSensorClass, upper == sensorNames.at(0) ? "x" + upper : upper),
        host.GetInstance(kNameSpace, kSensorClass, kLogName),
        host.GetInstance(kNameSpace, kLogClass, "kestrel pos system event log"),
        host.GetInstance(kNameSpace, kLogClass, sensorNames.at(0)),
    };
    for (const Reply& reply : absent)
    {
        EXPECT_EQ(reply.rc, CMPI_RC_ERR_NOT_FOUND);
        ExpectCompleted(reply);
        EXPECT_TRUE(reply.instances.empty());
    }
    EXPECT_GE(Logged("SensorProvider::getInstance - No instance found"), absent.size());
}

TEST_F(RequestTest, KeyGivenAsCharactersIsAcceptedAnyOtherTypeFails)
{
    Host& host = *m_host;
    ObjectPath chars = MakePath(kNameSpace, kSensorClass);
    chars.keys.emplace_back("Name", Value::Chars(sensorNames.at(1)));
    const Reply found = host.GetInstance(chars);
    EXPECT_EQ(found.rc, CMPI_RC_OK);
    ASSERT_EQ(found.instances.size(), 1u);
    EXPECT_EQ(NameOf(found.instances[0]), sensorNames.at(1));

    ObjectPath number = MakePath(kNameSpace, kLogClass);
    number.keys.emplace_back("Name", Value::Sint32(7));
    const Reply wrongType = host.GetInstance(number);
    EXPECT_EQ(wrongType.rc, CMPI_RC_ERR_FAILED);
    ExpectCompleted(wrongType);

    const Reply noKey = host.GetInstance(MakePath(kNameSpace, kSensorClass));
    EXPECT_EQ(noKey.rc, CMPI_RC_ERR_FAILED);
    ExpectCompleted(noKey);
    EXPECT_GE(Logged("SensorProvider::getInstance - No instance found"), 2u);
}

TEST_F(RequestTest, ChangingRequestsAreNotSupported)
{
    Host& host = *m_host;
    const ObjectPath path = MakePath(kNameSpace, kSensorClass, sensorNames.at(0));
    std::vector<Reply> replies;
    const std::string out = QelTest::CaptureStdout(
        [&]
        {
            replies.push_back(host.CreateInstance(path));
            replies.push_back(host.ModifyInstance(path));
            replies.push_back(host.DeleteInstance(path));
            replies.push_back(host.ExecQuery(path, "SELECT * FROM PXT_NumericSensor", "WQL"));
        });
    for (const Reply& reply : replies)
    {
        EXPECT_EQ(reply.rc, CMPI_RC_ERR_NOT_SUPPORTED);
        EXPECT_EQ(reply.doneCount, 0);
    }
    EXPECT_THAT(QelTest::LibraryDebugLines(out),
                ElementsAre("drvCreateInstance - Unsupported", "drvModifyInstance - Unsupported",
                            "drvDeleteInstance - Unsupported", "drvExecQuery - Unsupported"));
    // The provider goes on serving.
    EXPECT_EQ(host.EnumerateInstances(kNameSpace, kSensorClass).instances.size(), expectedSensors);
}

TEST_F(RequestTest, RequestsAreTracedInTheLog)
{
    Host& host = *m_host;
    host.EnumerateInstances("ROOT/cimv2", kSensorClass);
    host.GetInstance(kNameSpace, kLogClass, "nothing");
    const std::vector<std::string> log = Machine().SysRoot().LogMessages();
    auto has = [&](const std::string& message)
    { return std::find(log.begin(), log.end(), message) != log.end(); };
    EXPECT_TRUE(has("SensorProvider::enumInstances - Reference object path: class = PXT_NumericSensor, "
                    "namespace = ROOT/cimv2"));
    EXPECT_TRUE(
        has("SensorProvider::getInstance - Object path: class = PXT_SystemEventLog, namespace = root/cimv2"));
    EXPECT_TRUE(has("SensorProvider::getInstance - Object path: instance name = 'nothing'"));
    EXPECT_TRUE(has("SensorProvider created and initialised"));
}
}  // namespace
