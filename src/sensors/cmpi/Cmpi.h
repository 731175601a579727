// Our declarations of the CMPI binary interface: the records and function tables through which a
// CIM object manager and an instance provider talk. Only the members that the provider and our
// own host (qelsensors cim) call carry their full signatures; every other slot keeps its place in
// its table as an opaque function pointer, so the layout stays that of the tables a real broker
// hands over (CMPI 1.0 is a prefix of 2.0; the 2.0 members at the end of a table may be null).
// CmpiLayout.h checks every offset and size.
#pragma once

#include <cstdint>

// Plain C structures, laid out as C lays them out.

typedef unsigned short CMPIType;
typedef unsigned short CMPIValueState;
typedef unsigned char CMPIBoolean;
typedef unsigned int CMPICount;
typedef unsigned short CMPIChar16;

enum CMPIrc
{
    CMPI_RC_OK = 0,
    CMPI_RC_ERR_FAILED = 1,
    CMPI_RC_ERR_ACCESS_DENIED = 2,
    CMPI_RC_ERR_INVALID_NAMESPACE = 3,
    CMPI_RC_ERR_INVALID_PARAMETER = 4,
    CMPI_RC_ERR_INVALID_CLASS = 5,
    CMPI_RC_ERR_NOT_FOUND = 6,
    CMPI_RC_ERR_NOT_SUPPORTED = 7,
    CMPI_RC_ERR_CLASS_HAS_CHILDREN = 8,
    CMPI_RC_ERR_CLASS_HAS_INSTANCES = 9,
    CMPI_RC_ERR_INVALID_SUPERCLASS = 10,
    CMPI_RC_ERR_ALREADY_EXISTS = 11,
    CMPI_RC_ERR_NO_SUCH_PROPERTY = 12,
    CMPI_RC_ERR_TYPE_MISMATCH = 13,
    CMPI_RC_ERR_QUERY_LANGUAGE_NOT_SUPPORTED = 14,
    CMPI_RC_ERR_INVALID_QUERY = 15,
    CMPI_RC_ERR_METHOD_NOT_AVAILABLE = 16,
    CMPI_RC_ERR_METHOD_NOT_FOUND = 17,
    CMPI_RC_DO_NOT_UNLOAD = 50,
    CMPI_RC_NEVER_UNLOAD = 51
};

// Type codes.
#define CMPI_null ((CMPIType)0)
#define CMPI_boolean ((CMPIType)2)
#define CMPI_char16 ((CMPIType)6)
#define CMPI_real32 ((CMPIType)8)
#define CMPI_real64 ((CMPIType)12)
#define CMPI_uint8 ((CMPIType)128)
#define CMPI_uint16 ((CMPIType)144)
#define CMPI_uint32 ((CMPIType)160)
#define CMPI_uint64 ((CMPIType)176)
#define CMPI_sint8 ((CMPIType)192)
#define CMPI_sint16 ((CMPIType)208)
#define CMPI_sint32 ((CMPIType)224)
#define CMPI_sint64 ((CMPIType)240)
#define CMPI_instance ((CMPIType)0x1000)
#define CMPI_ref ((CMPIType)0x1100)
#define CMPI_string ((CMPIType)0x1600)
#define CMPI_chars ((CMPIType)0x1700)
#define CMPI_dateTime ((CMPIType)0x1800)
#define CMPI_ARRAY ((CMPIType)0x2000)
#define CMPI_charsA ((CMPIType)(CMPI_ARRAY | CMPI_chars))
#define CMPI_stringA ((CMPIType)(CMPI_ARRAY | CMPI_string))

// Value states.
#define CMPI_goodValue ((CMPIValueState)0)
#define CMPI_nullValue ((CMPIValueState)0x100)
#define CMPI_keyValue ((CMPIValueState)0x200)
#define CMPI_notFound ((CMPIValueState)0x400)
#define CMPI_badValue ((CMPIValueState)0x8000)

// An object's table slot that neither the provider nor our host calls. It only holds the place.
typedef void (*CMPIUnusedFunction)(void);

struct CMPIBroker;
struct CMPIContext;
struct CMPIResult;
struct CMPIInstance;
struct CMPIObjectPath;
struct CMPIArray;
struct CMPIString;
struct CMPIInstanceMI;

// Tables this code never looks into.
struct CMPIBrokerExtFT;
struct CMPIBrokerMemFT;
struct CMPIContextFT;

struct CMPIStatus
{
    CMPIrc rc;
    CMPIString* msg;
};

union CMPIValue
{
    uint64_t uint64;
    uint32_t uint32;
    uint16_t uint16;
    uint8_t uint8;
    int64_t sint64;
    int32_t sint32;
    int16_t sint16;
    int8_t sint8;
    double real64;
    float real32;
    CMPIBoolean boolean;
    CMPIChar16 char16;
    CMPIInstance* inst;
    CMPIObjectPath* ref;
    void* args;
    void* filter;
    void* Enum;
    CMPIArray* array;
    CMPIString* string;
    char* chars;
    void* dateTime;
    struct
    {
        void* ptr;
        CMPICount length;
    } dataPtr;
};

struct CMPIData
{
    CMPIType type;
    CMPIValueState state;
    CMPIValue value;
};

// The broker's own services; no ftVersion.
struct CMPIBrokerFT
{
    unsigned int brokerCapabilities;
    unsigned int brokerVersion;
    const char* brokerName;
    CMPIUnusedFunction prepareAttachThread;
    CMPIUnusedFunction attachThread;
    CMPIUnusedFunction detachThread;
    CMPIUnusedFunction deliverIndication;
    CMPIUnusedFunction enumerateInstanceNames;
    CMPIUnusedFunction getInstance;
    CMPIUnusedFunction createInstance;
    CMPIUnusedFunction modifyInstance;
    CMPIUnusedFunction deleteInstance;
    CMPIUnusedFunction execQuery;
    CMPIUnusedFunction enumerateInstances;
    CMPIUnusedFunction associators;
    CMPIUnusedFunction associatorNames;
    CMPIUnusedFunction references;
    CMPIUnusedFunction referenceNames;
    CMPIUnusedFunction invokeMethod;
    CMPIUnusedFunction setProperty;
    CMPIUnusedFunction getProperty;
};

// The broker's factories for the objects it hands out.
struct CMPIBrokerEncFT
{
    int ftVersion;
    CMPIInstance* (*newInstance)(const CMPIBroker* mb, const CMPIObjectPath* op, CMPIStatus* rc);
    CMPIObjectPath* (*newObjectPath)(const CMPIBroker* mb, const char* ns, const char* cn, CMPIStatus* rc);
    CMPIUnusedFunction newArgs;
    CMPIString* (*newString)(const CMPIBroker* mb, const char* data, CMPIStatus* rc);
    CMPIArray* (*newArray)(const CMPIBroker* mb, CMPICount max, CMPIType type, CMPIStatus* rc);
    CMPIUnusedFunction newDateTime;
    CMPIUnusedFunction newDateTimeFromBinary;
    CMPIUnusedFunction newDateTimeFromChars;
    CMPIUnusedFunction newSelectExp;
    CMPIUnusedFunction classPathIsA;
    CMPIUnusedFunction toString;
    CMPIUnusedFunction isOfType;
    CMPIUnusedFunction getType;
    CMPIUnusedFunction getMessage;
    CMPIUnusedFunction logMessage;
    CMPIUnusedFunction trace;
    // 2.0
    CMPIUnusedFunction newCMPIError;
    CMPIUnusedFunction openMessageFile;
    CMPIUnusedFunction closeMessageFile;
    CMPIUnusedFunction getMessage2;
};

struct CMPIBroker
{
    void* hdl;
    const CMPIBrokerFT* bft;
    const CMPIBrokerEncFT* eft;
    const CMPIBrokerExtFT* xft;
    const CMPIBrokerMemFT* mft;
};

struct CMPIContext
{
    void* hdl;
    const CMPIContextFT* ft;
};

struct CMPIStringFT
{
    int ftVersion;
    CMPIStatus (*release)(CMPIString* st);
    CMPIString* (*clone)(const CMPIString* st, CMPIStatus* rc);
    const char* (*getCharPtr)(const CMPIString* st, CMPIStatus* rc);
};

// The handle of a broker's string is its NUL-terminated text, which providers read directly.
struct CMPIString
{
    void* hdl;
    const CMPIStringFT* ft;
};

struct CMPIArrayFT
{
    int ftVersion;
    CMPIStatus (*release)(CMPIArray* ar);
    CMPIArray* (*clone)(const CMPIArray* ar, CMPIStatus* rc);
    CMPICount (*getSize)(const CMPIArray* ar, CMPIStatus* rc);
    CMPIType (*getSimpleType)(const CMPIArray* ar, CMPIStatus* rc);
    CMPIData (*getElementAt)(const CMPIArray* ar, CMPICount index, CMPIStatus* rc);
    CMPIStatus (*setElementAt)(CMPIArray* ar, CMPICount index, const CMPIValue* value, CMPIType type);
};

struct CMPIArray
{
    void* hdl;
    const CMPIArrayFT* ft;
};

struct CMPIObjectPathFT
{
    int ftVersion;
    CMPIStatus (*release)(CMPIObjectPath* op);
    CMPIObjectPath* (*clone)(const CMPIObjectPath* op, CMPIStatus* rc);
    CMPIStatus (*setNameSpace)(CMPIObjectPath* op, const char* ns);
    CMPIString* (*getNameSpace)(const CMPIObjectPath* op, CMPIStatus* rc);
    CMPIStatus (*setHostname)(CMPIObjectPath* op, const char* hn);
    CMPIString* (*getHostname)(const CMPIObjectPath* op, CMPIStatus* rc);
    CMPIStatus (*setClassName)(CMPIObjectPath* op, const char* cn);
    CMPIString* (*getClassName)(const CMPIObjectPath* op, CMPIStatus* rc);
    CMPIStatus (*addKey)(CMPIObjectPath* op, const char* name, const CMPIValue* value, CMPIType type);
    CMPIData (*getKey)(const CMPIObjectPath* op, const char* name, CMPIStatus* rc);
    CMPIData (*getKeyAt)(const CMPIObjectPath* op, CMPICount index, CMPIString** name, CMPIStatus* rc);
    CMPICount (*getKeyCount)(const CMPIObjectPath* op, CMPIStatus* rc);
    CMPIUnusedFunction setNameSpaceFromObjectPath;
    CMPIUnusedFunction setHostAndNameSpaceFromObjectPath;
    CMPIUnusedFunction getClassQualifier;
    CMPIUnusedFunction getPropertyQualifier;
    CMPIUnusedFunction getMethodQualifier;
    CMPIUnusedFunction getParameterQualifier;
    CMPIUnusedFunction toString;
};

struct CMPIObjectPath
{
    void* hdl;
    const CMPIObjectPathFT* ft;
};

struct CMPIInstanceFT
{
    int ftVersion;
    CMPIStatus (*release)(CMPIInstance* inst);
    CMPIInstance* (*clone)(const CMPIInstance* inst, CMPIStatus* rc);
    CMPIData (*getProperty)(const CMPIInstance* inst, const char* name, CMPIStatus* rc);
    CMPIData (*getPropertyAt)(const CMPIInstance* inst, CMPICount index, CMPIString** name, CMPIStatus* rc);
    CMPICount (*getPropertyCount)(const CMPIInstance* inst, CMPIStatus* rc);
    CMPIStatus (*setProperty)(const CMPIInstance* inst, const char* name, const CMPIValue* value,
                              CMPIType type);
    CMPIObjectPath* (*getObjectPath)(const CMPIInstance* inst, CMPIStatus* rc);
    CMPIUnusedFunction setPropertyFilter;
    CMPIUnusedFunction setObjectPath;
    // 2.0
    CMPIUnusedFunction setPropertyWithOrigin;
};

struct CMPIInstance
{
    void* hdl;
    const CMPIInstanceFT* ft;
};

struct CMPIResultFT
{
    int ftVersion;
    CMPIStatus (*release)(CMPIResult* rslt);
    CMPIResult* (*clone)(const CMPIResult* rslt, CMPIStatus* rc);
    CMPIStatus (*returnData)(const CMPIResult* rslt, const CMPIValue* value, CMPIType type);
    CMPIStatus (*returnInstance)(const CMPIResult* rslt, const CMPIInstance* inst);
    CMPIStatus (*returnObjectPath)(const CMPIResult* rslt, const CMPIObjectPath* op);
    CMPIStatus (*returnDone)(const CMPIResult* rslt);
    // 2.0
    CMPIUnusedFunction returnError;
};

struct CMPIResult
{
    void* hdl;
    const CMPIResultFT* ft;
};

// The provider's side: the instance MI and its table.
struct CMPIInstanceMIFT
{
    int ftVersion;
    int miVersion;
    const char* miName;
    CMPIStatus (*cleanup)(CMPIInstanceMI* mi, const CMPIContext* ctx, CMPIBoolean terminating);
    CMPIStatus (*enumerateInstanceNames)(CMPIInstanceMI* mi, const CMPIContext* ctx, const CMPIResult* rslt,
                                         const CMPIObjectPath* op);
    CMPIStatus (*enumerateInstances)(CMPIInstanceMI* mi, const CMPIContext* ctx, const CMPIResult* rslt,
                                     const CMPIObjectPath* op, const char** properties);
    CMPIStatus (*getInstance)(CMPIInstanceMI* mi, const CMPIContext* ctx, const CMPIResult* rslt,
                              const CMPIObjectPath* op, const char** properties);
    CMPIStatus (*createInstance)(CMPIInstanceMI* mi, const CMPIContext* ctx, const CMPIResult* rslt,
                                 const CMPIObjectPath* op, const CMPIInstance* inst);
    CMPIStatus (*modifyInstance)(CMPIInstanceMI* mi, const CMPIContext* ctx, const CMPIResult* rslt,
                                 const CMPIObjectPath* op, const CMPIInstance* inst, const char** properties);
    CMPIStatus (*deleteInstance)(CMPIInstanceMI* mi, const CMPIContext* ctx, const CMPIResult* rslt,
                                 const CMPIObjectPath* op);
    CMPIStatus (*execQuery)(CMPIInstanceMI* mi, const CMPIContext* ctx, const CMPIResult* rslt,
                            const CMPIObjectPath* op, const char* query, const char* lang);
};

struct CMPIInstanceMI
{
    void* hdl;
    const CMPIInstanceMIFT* ft;
};

// The factory an object manager looks up as "<provider>_Create_InstanceMI".
typedef CMPIInstanceMI* (*CMPIInstanceMIFactory)(const CMPIBroker* broker, const CMPIContext* ctx,
                                                 CMPIStatus* rc);

#include "CmpiLayout.h"
