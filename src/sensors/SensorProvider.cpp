#include "SensorProvider.h"

#include "BuildInfo.h"
#include "CmpiCalls.h"
#include "PxtNames.h"
#include "chip.h"
#include "log.h"

#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <strings.h>
#include <unistd.h>

using CmpiCalls::Status;

namespace
{
const char kProductVersion[] = "TARNL Version " QEL_VERSION;
const char kBuildStamp[] = "Built " QEL_BUILD_DATE;
const char kMIName[] = "instanceSensorProvider";
const int kMIVersion = 100;

pthread_mutex_t g_providerMutex;
SensorProvider* g_provider = nullptr;

const CMPIInstanceMIFT g_instanceMIFT = {
    kMIVersion,           kMIVersion,        kMIName,        drvInstanceCleanup,
    drvEnumInstanceNames, drvEnumInstances,  drvGetInstance, drvCreateInstance,
    drvModifyInstance,    drvDeleteInstance, drvExecQuery,
};

CMPIInstanceMI g_instanceMI = {nullptr, &g_instanceMIFT};

// Holds the provider mutex for a scope.
class ProviderLock
{
public:
    ProviderLock() { __drv_synch(); }
    ~ProviderLock() { __drv_unsynch(); }
    ProviderLock(const ProviderLock&) = delete;
    ProviderLock& operator=(const ProviderLock&) = delete;
};

// A path's namespace or class name; a broker that gives none yields the empty text, which names
// no namespace and no class of ours.
const char* OrEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

const char* NameSpaceOf(const CMPIObjectPath* path)
{
    if (path == nullptr)
        return "";
    return OrEmpty(CmpiCalls::Text(path->ft->getNameSpace(path, nullptr)));
}

const char* ClassNameOf(const CMPIObjectPath* path)
{
    if (path == nullptr)
        return "";
    return OrEmpty(CmpiCalls::Text(path->ft->getClassName(path, nullptr)));
}

// The key "Name" of a path as characters; throws when it cannot be had.
const char* KeyName(const CMPIObjectPath* path)
{
    if (path == nullptr)
        throw Status(CMPI_RC_ERR_INVALID_PARAMETER);
    CMPIStatus status = Status(CMPI_RC_OK);
    const CMPIData key = path->ft->getKey(path, "Name", &status);
    if (status.rc != CMPI_RC_OK)
        throw status;
    const char* name = nullptr;
    if (key.type == CMPI_string)
    {
        if (key.value.string == nullptr)
            throw Status(CMPI_RC_ERR_FAILED);
        status = Status(CMPI_RC_OK);
        name = key.value.string->ft->getCharPtr(key.value.string, &status);
        if (status.rc != CMPI_RC_OK)
            throw status;
    }
    else if (key.type == CMPI_chars)
    {
        name = key.value.chars;
    }
    else
    {
        throw Status(CMPI_RC_ERR_TYPE_MISMATCH);
    }
    if (name == nullptr)
        throw Status(CMPI_RC_ERR_FAILED);
    return name;
}

const char* MessageOf(const CMPIStatus& status)
{
    const char* text = CmpiCalls::Text(status.msg);
    return text != nullptr ? text : "no message";
}

enum InstanceKind
{
    kNoClass = -1,
    kNumericSensor = 0,
    kSystemEventLog = 1
};
}  // namespace

// ---------------------------------------------------------------------------------------------
// The provider object

SensorProvider::SensorProvider()
    : m_bInitialised(false), m_bEventLogOnly(false), m_broker(nullptr), m_pChip(nullptr)
{
    LogQuick(LOG_DEBUG, "SensorProvider::constructor");
}

SensorProvider::~SensorProvider()
{
    Log(LOG_DEBUG, "SensorProvider::destructor - chip=0x%p", static_cast<void*>(m_pChip));
    if (m_pChip != nullptr)
    {
        LogQuick(LOG_DEBUG, "deleting Chip object");
        delete m_pChip;
        m_pChip = nullptr;
    }
    g_provider = nullptr;
    LogQuick(LOG_INFO, "SensorProvider - provider destroyed");
}

void SensorProvider::initialise(const CMPIContext* /*ctx*/)
{
    LogQuick(LOG_DEBUG, "SensorProvider::initialise");
    m_pChip = new CChip();
    SENSOR_STATUS status = m_pChip->Initialise();
    if (status != SS_SUCCESS)
    {
        Log(LOG_ERROR, "SensorProvider::initialize - Initialise Service Driver failed - sscode=0x%08x",
            status);
        // A till whose chips the kernel keeps from us still has its event log to publish.
        CSystemEventLog log;
        m_bEventLogOnly = m_pChip->GetSystemEventLog(log) == SS_SUCCESS;
        if (m_bEventLogOnly)
            LogQuick(LOG_INFO,
                     "SensorProvider - serving PXT_SystemEventLog only: the chips could not be started");
        return;
    }
    status = initSensorProvider();
    if (status != SS_SUCCESS)
    {
        Log(LOG_ERROR, "SensorProvider::initialize - initSensorProvider failed - sscode=0x%08x", status);
        return;
    }
    m_bInitialised = true;
    LogQuick(LOG_INFO, "SensorProvider created and initialised");
}

SENSOR_STATUS SensorProvider::initSensorProvider()
{
    LogQuick(LOG_DEBUG, "SensorProvider::InitSensorProvider");
    CSensorHandleList handles;
    SENSOR_STATUS status = m_pChip->EnumerateSensorHandles(handles);
    if (status != SS_SUCCESS)
    {
        Log(LOG_ERROR, "SensorProvider::InitSensorProvider - EnumerateSensorHandles failed, sscode=0x%08x",
            status);
        return status;
    }

    SENSOR_STATUS firstFailure = SS_SUCCESS;
    size_t read = 0;
    for (SENSOR_HANDLE handle : handles)
    {
        CSensorInformation info;
        status = m_pChip->GetSensorInformation(handle, info);
        if (status != SS_SUCCESS)
        {
            Log(LOG_ERROR,
                "SensorProvider::initSensorProvider - GetSensorInformation failed, sscode=0x%08x\n", status);
            return status;
        }
        CSensorReading reading;
        reading.Translate = 1;
        // A sensor that cannot be read (one the kernel's driver does not expose) is listed without
        // a reading rather than taking every other sensor with it; none readable is a failure.
        const SENSOR_STATUS readStatus = m_pChip->ReadSensor(handle, reading);
        if (readStatus != SS_SUCCESS && firstFailure == SS_SUCCESS)
        {
            Log(LOG_ERROR, "SensorProvider::initSensorProvider - ReadSensor failed, sscode=0x%08x",
                readStatus);
            firstFailure = readStatus;
        }
        else if (readStatus != SS_SUCCESS)
        {
            Log(LOG_ERROR, "SensorProvider::initSensorProvider - sensor 0x%08x listed without a reading",
                handle);
        }
        read += readStatus == SS_SUCCESS;

        char hex[64];
        snprintf(hex, sizeof(hex), "%08x", handle);
        std::string typeWord;
        getSensorTypeString(info.SensorType, typeWord);
        const std::string name = info.Description + "(" + hex + ")";

        PXT_NumericSensor sensor(handle);
        sensor.setName(name);
        sensor.setCaption(typeWord + "(" + hex + ")");
        sensor.setDescription(name + ": " + typeWord + " sensor");
        sensor.setDeviceID(hex);
        sensor.setCurrentReading(static_cast<int32_t>(static_cast<uint32_t>(reading.CurrentReading)));
        sensor.setInformation(info);
        if (readStatus != SS_SUCCESS)
            sensor.forgetReading();
        m_sensors.push_back(sensor);
    }
    if (read == 0 && firstFailure != SS_SUCCESS)
    {
        m_sensors.clear();
        return firstFailure;
    }

    m_additionalInfo.initialise(m_sensors);
    return SS_SUCCESS;
}

bool SensorProvider::serves(const char* className) const
{
    return m_bInitialised || (m_bEventLogOnly && getPxtInstanceClass(className) == kSystemEventLog);
}

int SensorProvider::getPxtInstanceClass(const char* className)
{
    if (className == nullptr)
        return kNoClass;
    if (strcmp(className, PXT_NumericSensor::kClassName) == 0)
        return kNumericSensor;
    if (strcmp(className, PXT_SystemEventLog::kClassName) == 0)
        return kSystemEventLog;
    return kNoClass;
}

bool SensorProvider::isCimV2Namespace(const char* nameSpace)
{
    return nameSpace != nullptr && strcasecmp(nameSpace, kPxtNamespace) == 0;
}

void SensorProvider::getSensorTypeString(uint16_t sensorType, std::string& word)
{
    const char* name = CimSensorTypeName(sensorType);
    word = name != nullptr ? name : "Unknown";
}

void SensorProvider::updateReading(PXT_NumericSensor& sensor)
{
    LogQuick(LOG_DEBUG, "SensorProvider::UpdateReading (Sensor)");
    if (!sensor.needsReading())
    {
        Log(LOG_TRACE, "SensorProvider::UpdateReading - No need to update sensor 0x%08x yet",
            sensor.getHandle());
        return;
    }
    CSensorReading reading;
    reading.Translate = 1;
    const SENSOR_STATUS status = m_pChip->ReadSensor(sensor.getHandle(), reading);
    if (status != SS_SUCCESS)
    {
        Log(LOG_ERROR, "SensorProvider::UpdateReading - failed to read sensor 0x%08x, sscode=0x%08x",
            sensor.getHandle(), status);
        sensor.forgetReading();
        throw Status(CMPI_RC_ERR_FAILED);
    }
    sensor.setCurrentReading(static_cast<int32_t>(static_cast<uint32_t>(reading.CurrentReading)));
}

void SensorProvider::updateLog()
{
    LogQuick(LOG_DEBUG, "SensorProvider::GetSystemEventLog");
    CSystemEventLog log;
    const SENSOR_STATUS status = m_pChip->GetSystemEventLog(log);
    if (status != SS_SUCCESS)
    {
        Log(LOG_ERROR, "SensorProvider::GetSystemEventLog - failed to get log information, sscode=0x%08x",
            status);
        throw Status(CMPI_RC_ERR_FAILED);
    }
    m_eventLog.clear();
    m_eventLog.setLogFull(log.LogFull);
    m_eventLog.setLogLines(log.LogLines);
    m_eventLog.setLogMultipleEventCountIncrement(log.LogMultipleEventCountIncrement);
    m_eventLog.setLogMultipleEventTimeWindow(log.LogMultipleEventTimeWindow);
    m_eventLog.setLogValid(log.LogValid);
}

void SensorProvider::refresh(PXT_NumericSensor& sensor)
{
    if (!sensor.isAdditional())
        updateReading(sensor);
    else if (!m_additionalInfo.updateReading(sensor))
    {
        Log(LOG_ERROR, "SensorProvider::UpdateReading - failed to read sensor %s", sensor.getName());
        throw Status(CMPI_RC_ERR_FAILED);
    }
}

// ---------------------------------------------------------------------------------------------
// The three requests

namespace
{
// What every request does once it has logged its path: the namespace and class checks, its body
// (which returns false when it found no instance), the failures that end it, logged under the
// request's own name, and returnDone.
template <typename Body>
CMPIStatus Answer(const char* request, const CMPIResult* rslt, bool inNamespace, int kind, Body&& body)
{
    const bool single = strcmp(request, "getInstance") == 0;
    const char* notFound = single ? "No instance found" : "No instances found";
    CMPIStatus status = Status(CMPI_RC_OK);
    if (!inNamespace)
    {
        status = Status(CMPI_RC_ERR_INVALID_NAMESPACE);
    }
    else if (kind == kNoClass)
    {
        status = Status(CMPI_RC_ERR_INVALID_CLASS);
    }
    else
    {
        bool returned = false;
        try
        {
            if (!body(returned))
            {
                Log(LOG_DEBUG, "SensorProvider::%s - %s", request, notFound);
                // A name that matches no instance is the client's miss, not a server fault.
                status = Status(single ? CMPI_RC_ERR_NOT_FOUND : CMPI_RC_ERR_FAILED);
            }
        }
        catch (const CMPIStatus& failure)
        {
            Log(LOG_ERROR, "SensorProvider::%s - CMPIStatus %i, %s", request, failure.rc, MessageOf(failure));
            if (!returned)
                Log(LOG_DEBUG, "SensorProvider::%s - %s", request, notFound);
            status = Status(CMPI_RC_ERR_FAILED);
        }
        catch (...)
        {
            Log(LOG_ERROR, "SensorProvider::%s -  Unknown Exception", request);
            if (!returned)
                Log(LOG_DEBUG, "SensorProvider::%s - %s", request, notFound);
            status = Status(CMPI_RC_ERR_FAILED);
        }
    }
    rslt->ft->returnDone(rslt);
    return status;
}
}  // namespace

CMPIStatus SensorProvider::enumInstanceNames(const CMPIContext* /*ctx*/, const CMPIResult* rslt,
                                             const CMPIObjectPath* ref)
{
    const char* nameSpace = NameSpaceOf(ref);
    const char* className = ClassNameOf(ref);
    Log(LOG_DEBUG, "SensorProvider::enumInstanceNames - Reference object path: class = %s, namespace = %s\n",
        className, nameSpace);
    return Answer("enumerateInstanceNames", rslt, isCimV2Namespace(nameSpace), getPxtInstanceClass(className),
                  [&](bool& returned)
                  {
                      if (getPxtInstanceClass(className) == kSystemEventLog)
                      {
                          rslt->ft->returnObjectPath(rslt, m_eventLog.getObjectPath(m_broker));
                          returned = true;
                          return true;
                      }
                      for (const PXT_NumericSensor& sensor : m_sensors)
                      {
                          rslt->ft->returnObjectPath(rslt, sensor.getObjectPath(m_broker));
                          returned = true;
                      }
                      return !m_sensors.empty();
                  });
}

CMPIStatus SensorProvider::enumInstances(const CMPIContext* /*ctx*/, const CMPIResult* rslt,
                                         const CMPIObjectPath* ref, const char** /*properties*/)
{
    const char* nameSpace = NameSpaceOf(ref);
    const char* className = ClassNameOf(ref);
    Log(LOG_DEBUG, "SensorProvider::enumInstances - Reference object path: class = %s, namespace = %s\n",
        className, nameSpace);
    return Answer("enumerateInstances", rslt, isCimV2Namespace(nameSpace), getPxtInstanceClass(className),
                  [&](bool& returned)
                  {
                      if (getPxtInstanceClass(className) == kSystemEventLog)
                      {
                          updateLog();
                          rslt->ft->returnInstance(rslt, m_eventLog.getInstance(m_broker));
                          returned = true;
                          return true;
                      }
                      for (PXT_NumericSensor& sensor : m_sensors)
                      {
                          refresh(sensor);
                          rslt->ft->returnInstance(rslt, sensor.getInstance(m_broker));
                          returned = true;
                      }
                      return !m_sensors.empty();
                  });
}

CMPIStatus SensorProvider::getInstance(const CMPIContext* /*ctx*/, const CMPIResult* rslt,
                                       const CMPIObjectPath* cop, const char** /*properties*/)
{
    const char* nameSpace = NameSpaceOf(cop);
    const char* className = ClassNameOf(cop);
    Log(LOG_DEBUG, "SensorProvider::getInstance - Object path: class = %s, namespace = %s", className,
        nameSpace);
    return Answer(
        "getInstance", rslt, isCimV2Namespace(nameSpace), getPxtInstanceClass(className),
        [&](bool& returned)
        {
            if (getPxtInstanceClass(className) == kSystemEventLog)
            {
                const char* name = KeyName(cop);
                Log(LOG_DEBUG, "SensorProvider::getInstance - Object path: instance name = '%s'", name);
                if (strcmp(name, m_eventLog.getName()) != 0)
                    return false;
                updateLog();
                rslt->ft->returnInstance(rslt, m_eventLog.getInstance(m_broker));
                returned = true;
                return true;
            }
            for (PXT_NumericSensor& sensor : m_sensors)
            {
                const char* name = KeyName(cop);
                Log(LOG_DEBUG, "SensorProvider::getInstance - Object path: instance name = '%s'", name);
                if (strcmp(name, sensor.getName()) == 0)
                {
                    refresh(sensor);
                    rslt->ft->returnInstance(rslt, sensor.getInstance(m_broker));
                    returned = true;
                    return true;
                }
            }
            return false;
        });
}

// ---------------------------------------------------------------------------------------------
// Entry points

// Each declared extern "C" in the header: the plain names an object manager looks up.

__attribute__((constructor)) void CONSTRUCTOR()
{
    fputs("CONSTRUCTOR\n", stderr);
    pthread_mutex_init(&g_providerMutex, nullptr);
}

__attribute__((destructor)) void DESTRUCTOR()
{
    fputs("DESTRUCTOR\n", stderr);
    pthread_mutex_destroy(&g_providerMutex);
}

void __drv_synch()
{
    pthread_mutex_lock(&g_providerMutex);
}

void __drv_unsynch()
{
    pthread_mutex_unlock(&g_providerMutex);
}

CMPIInstanceMI* SensorProvider_Create_InstanceMI(const CMPIBroker* broker, const CMPIContext* ctx,
                                                 CMPIStatus* rc)
{
    ProviderLock lock;
    try
    {
        Log(LOG_INFO, "Kestrel POS Sensor Drivers for Linux %s, %s", kProductVersion, kBuildStamp);
        const int version = broker != nullptr && broker->eft != nullptr ? broker->eft->ftVersion : 0;
        fprintf(stderr, "SensorProvider_Create_InstanceMI, broker=%p, version=%i\n",
                static_cast<const void*>(broker), version);
        fprintf(stderr, "SensorProvider_Create_InstanceMI - pid=%i\n", static_cast<int>(getpid()));
        Log(LOG_DEBUG, "SensorProvider_Create_InstanceMI, broker=%p, version=%i",
            static_cast<const void*>(broker), version);

        if (g_provider == nullptr)
        {
            g_provider = new SensorProvider();
            g_provider->setBroker(broker);
            g_instanceMI.hdl = g_provider;
            g_provider->initialise(ctx);
        }
    }
    catch (...)
    {
        // The MI goes back all the same; a provider that did not come up refuses every request.
        LogQuick(LOG_ERROR, "SensorProvider_Create_InstanceMI - start-up failed");
    }
    if (rc != nullptr)
        rc->rc = CMPI_RC_OK;
    return &g_instanceMI;
}

CMPIStatus drvInstanceCleanup(CMPIInstanceMI* /*mi*/, const CMPIContext* /*ctx*/, CMPIBoolean terminating)
{
    fprintf(stderr, "drvInstanceCleanup - provider=%p, terminating=%x\n", static_cast<void*>(g_provider),
            static_cast<unsigned>(terminating));
    Log(LOG_DEBUG, "drvInstanceCleanup - provider=%p, terminating=%x", static_cast<void*>(g_provider),
        static_cast<unsigned>(terminating));
    // The destructor clears g_provider.
    delete g_provider;
    return Status(CMPI_RC_OK);
}

CMPIStatus drvEnumInstanceNames(CMPIInstanceMI* /*mi*/, const CMPIContext* ctx, const CMPIResult* rslt,
                                const CMPIObjectPath* ref)
{
    SensorProvider* provider = g_provider;
    fprintf(stderr, "drvEnumInstanceNames - provider=%p\n", static_cast<void*>(provider));
    Log(LOG_DEBUG, "drvEnumInstanceNames - provider=%p", static_cast<void*>(provider));
    if (provider == nullptr || !provider->serves(ClassNameOf(ref)))
    {
        LogQuick(LOG_ERROR, "drvEnumInstanceNames - provider not initialised - is the kernel driver loaded?");
        return Status(CMPI_RC_ERR_METHOD_NOT_AVAILABLE);
    }
    ProviderLock lock;
    return provider->enumInstanceNames(ctx, rslt, ref);
}

CMPIStatus drvEnumInstances(CMPIInstanceMI* /*mi*/, const CMPIContext* ctx, const CMPIResult* rslt,
                            const CMPIObjectPath* ref, const char** properties)
{
    SensorProvider* provider = g_provider;
    Log(LOG_DEBUG, "drvEnumInstances - provider=%p", static_cast<void*>(provider));
    if (provider == nullptr || !provider->serves(ClassNameOf(ref)))
    {
        LogQuick(LOG_ERROR, "drvEnumInstances - provider not initialised - is the kernel driver loaded?");
        return Status(CMPI_RC_ERR_METHOD_NOT_AVAILABLE);
    }
    ProviderLock lock;
    return provider->enumInstances(ctx, rslt, ref, properties);
}

CMPIStatus drvGetInstance(CMPIInstanceMI* /*mi*/, const CMPIContext* ctx, const CMPIResult* rslt,
                          const CMPIObjectPath* cop, const char** properties)
{
    SensorProvider* provider = g_provider;
    Log(LOG_DEBUG, "drvGetInstance - provider=%p", static_cast<void*>(provider));
    if (provider == nullptr || !provider->serves(ClassNameOf(cop)))
    {
        LogQuick(LOG_ERROR, "drvGetInstance - provider not initialised - is the kernel driver loaded?");
        return Status(CMPI_RC_ERR_METHOD_NOT_AVAILABLE);
    }
    ProviderLock lock;
    return provider->getInstance(ctx, rslt, cop, properties);
}

CMPIStatus drvCreateInstance(CMPIInstanceMI* /*mi*/, const CMPIContext* /*ctx*/, const CMPIResult* /*rslt*/,
                             const CMPIObjectPath* /*cop*/, const CMPIInstance* /*inst*/)
{
    puts("drvCreateInstance - Unsupported");
    return Status(CMPI_RC_ERR_NOT_SUPPORTED);
}

CMPIStatus drvModifyInstance(CMPIInstanceMI* /*mi*/, const CMPIContext* /*ctx*/, const CMPIResult* /*rslt*/,
                             const CMPIObjectPath* /*cop*/, const CMPIInstance* /*inst*/,
                             const char** /*properties*/)
{
    puts("drvModifyInstance - Unsupported");
    return Status(CMPI_RC_ERR_NOT_SUPPORTED);
}

CMPIStatus drvDeleteInstance(CMPIInstanceMI* /*mi*/, const CMPIContext* /*ctx*/, const CMPIResult* /*rslt*/,
                             const CMPIObjectPath* /*cop*/)
{
    puts("drvDeleteInstance - Unsupported");
    return Status(CMPI_RC_ERR_NOT_SUPPORTED);
}

CMPIStatus drvExecQuery(CMPIInstanceMI* /*mi*/, const CMPIContext* /*ctx*/, const CMPIResult* /*rslt*/,
                        const CMPIObjectPath* /*ref*/, const char* /*query*/, const char* /*lang*/)
{
    puts("drvExecQuery - Unsupported");
    return Status(CMPI_RC_ERR_NOT_SUPPORTED);
}
