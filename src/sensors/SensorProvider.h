// The CMPI instance provider: its entry points, the instance-MI table an object manager calls,
// and the one SensorProvider behind them, which opens the chip library at start-up, keeps one
// PXT_NumericSensor per sensor and the event log, and answers enumerate and get requests for
// both classes in root/cimv2.
//
// One process-wide mutex serialises the factory and the three requests for their whole length:
// the chip library's queries drive the hardware and must not run from two threads at once.
#pragma once

#include "AdditionalInfo.h"
#include "PXT_NumericSensor.h"
#include "PXT_SystemEventLog.h"
#include "SensorInterface.h"
#include "cmpi/Cmpi.h"

#include <string>
#include <vector>

class CChip;

class SensorProvider
{
public:
    SensorProvider();
    virtual ~SensorProvider();
    SensorProvider(const SensorProvider&) = delete;
    SensorProvider& operator=(const SensorProvider&) = delete;

    // Opens the chip library and builds the sensors; the provider serves requests only when all of
    // it succeeded, or, where the chips could not be started but the library still reads the event
    // log, requests for the event log alone. The context is not used.
    void initialise(const CMPIContext* ctx);
    SENSOR_STATUS initSensorProvider();

    // The three requests; each calls returnDone once whatever happens. The property list is never
    // consulted: every instance carries all its properties.
    CMPIStatus enumInstanceNames(const CMPIContext* ctx, const CMPIResult* rslt, const CMPIObjectPath* ref);
    CMPIStatus enumInstances(const CMPIContext* ctx, const CMPIResult* rslt, const CMPIObjectPath* ref,
                             const char** properties);
    CMPIStatus getInstance(const CMPIContext* ctx, const CMPIResult* rslt, const CMPIObjectPath* cop,
                           const char** properties);

    // 0 for PXT_NumericSensor, 1 for PXT_SystemEventLog (exactly, case-sensitive), -1 otherwise.
    static int getPxtInstanceClass(const char* className);
    // root/cimv2, ignoring case.
    static bool isCimV2Namespace(const char* nameSpace);
    // The word for a CIM SensorType value ("Unknown" for values outside the table).
    static void getSensorTypeString(uint16_t sensorType, std::string& word);

    // Refreshes a chip sensor's reading, at most once per update interval; throws a CMPIStatus when
    // the chip cannot be read.
    void updateReading(PXT_NumericSensor& sensor);
    // Fetches the event log afresh; throws a CMPIStatus when it cannot be read, keeping the
    // previous copy.
    void updateLog();

    bool isInitialised() const { return m_bInitialised; }
    // Whether requests for the class are answered (rather than refused with 16).
    bool serves(const char* className) const;
    void setBroker(const CMPIBroker* broker) { m_broker = broker; }

private:
    void refresh(PXT_NumericSensor& sensor);

    bool m_bInitialised;
    bool m_bEventLogOnly;  // not initialised, yet the library reads the event log
    const CMPIBroker* m_broker;
    CChip* m_pChip;
    std::vector<PXT_NumericSensor> m_sensors;
    PXT_SystemEventLog m_eventLog;
    AdditionalInfo m_additionalInfo;
};

// The library's external interface, under plain names.
extern "C" CMPIInstanceMI* SensorProvider_Create_InstanceMI(const CMPIBroker* broker, const CMPIContext* ctx,
                                                            CMPIStatus* rc);

extern "C" CMPIStatus drvInstanceCleanup(CMPIInstanceMI* mi, const CMPIContext* ctx, CMPIBoolean terminating);
extern "C" CMPIStatus drvEnumInstanceNames(CMPIInstanceMI* mi, const CMPIContext* ctx, const CMPIResult* rslt,
                                           const CMPIObjectPath* ref);
extern "C" CMPIStatus drvEnumInstances(CMPIInstanceMI* mi, const CMPIContext* ctx, const CMPIResult* rslt,
                                       const CMPIObjectPath* ref, const char** properties);
extern "C" CMPIStatus drvGetInstance(CMPIInstanceMI* mi, const CMPIContext* ctx, const CMPIResult* rslt,
                                     const CMPIObjectPath* cop, const char** properties);
extern "C" CMPIStatus drvCreateInstance(CMPIInstanceMI* mi, const CMPIContext* ctx, const CMPIResult* rslt,
                                        const CMPIObjectPath* cop, const CMPIInstance* inst);
extern "C" CMPIStatus drvModifyInstance(CMPIInstanceMI* mi, const CMPIContext* ctx, const CMPIResult* rslt,
                                        const CMPIObjectPath* cop, const CMPIInstance* inst,
                                        const char** properties);
extern "C" CMPIStatus drvDeleteInstance(CMPIInstanceMI* mi, const CMPIContext* ctx, const CMPIResult* rslt,
                                        const CMPIObjectPath* cop);
extern "C" CMPIStatus drvExecQuery(CMPIInstanceMI* mi, const CMPIContext* ctx, const CMPIResult* rslt,
                                   const CMPIObjectPath* ref, const char* query, const char* lang);

// Run by the loader when the library is loaded and unloaded: they create and destroy the mutex.
extern "C" void CONSTRUCTOR();
extern "C" void DESTRUCTOR();
extern "C" void __drv_synch();
extern "C" void __drv_unsynch();
