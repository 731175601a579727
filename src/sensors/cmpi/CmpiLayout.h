// The layout that a broker built for x86-64 (LP64) expects of the CMPI records and tables. A table
// member in the wrong place calls the wrong function in the object manager, so every offset this
// code relies on is checked here, together with each size.
#pragma once

#include "Cmpi.h"

#include <cstddef>
#include <type_traits>

namespace CmpiLayout
{
constexpr size_t kPointer = 8;

// Scalars.
static_assert(sizeof(CMPIType) == 2 && sizeof(CMPIValueState) == 2, "CMPIType, CMPIValueState");
static_assert(sizeof(CMPIBoolean) == 1, "CMPIBoolean");
static_assert(sizeof(CMPICount) == 4, "CMPICount");
static_assert(sizeof(CMPIrc) == 4, "CMPIrc");
static_assert(sizeof(void*) == kPointer && sizeof(CMPIUnusedFunction) == kPointer, "LP64 pointers");

// Records.
static_assert(std::is_standard_layout<CMPIStatus>::value, "CMPIStatus");
static_assert(sizeof(CMPIStatus) == 16 && offsetof(CMPIStatus, rc) == 0 && offsetof(CMPIStatus, msg) == 8,
              "CMPIStatus");
static_assert(sizeof(CMPIValue) == 16 && alignof(CMPIValue) == 8, "CMPIValue");
static_assert(sizeof(CMPIData) == 24 && offsetof(CMPIData, type) == 0 && offsetof(CMPIData, state) == 2 &&
                  offsetof(CMPIData, value) == 8,
              "CMPIData");
static_assert(sizeof(CMPIBroker) == 40 && offsetof(CMPIBroker, hdl) == 0 && offsetof(CMPIBroker, bft) == 8 &&
                  offsetof(CMPIBroker, eft) == 16 && offsetof(CMPIBroker, xft) == 24 &&
                  offsetof(CMPIBroker, mft) == 32,
              "CMPIBroker");

// Every encapsulated object: handle, then its function table.
template <typename Object>
constexpr bool IsObject()
{
    return std::is_standard_layout<Object>::value && sizeof(Object) == 16 && offsetof(Object, hdl) == 0 &&
           offsetof(Object, ft) == 8;
}
static_assert(IsObject<CMPIInstance>(), "CMPIInstance");
static_assert(IsObject<CMPIObjectPath>(), "CMPIObjectPath");
static_assert(IsObject<CMPIArray>(), "CMPIArray");
static_assert(IsObject<CMPIString>(), "CMPIString");
static_assert(IsObject<CMPIResult>(), "CMPIResult");
static_assert(IsObject<CMPIContext>(), "CMPIContext");
static_assert(IsObject<CMPIInstanceMI>(), "CMPIInstanceMI");

// The value union's members all start at its beginning; the widest decide its size.
static_assert(sizeof(CMPIValue::dataPtr) == 16, "CMPIValue.dataPtr");

// Function tables. Slot n of a table whose first member is the int ftVersion (padded to 8) sits
// at 8 + 8 * (n - 1).
constexpr size_t Slot(size_t n)
{
    return kPointer + kPointer * (n - 1);
}

static_assert(sizeof(CMPIBrokerFT) == 160, "CMPIBrokerFT");
static_assert(offsetof(CMPIBrokerFT, brokerCapabilities) == 0 && offsetof(CMPIBrokerFT, brokerVersion) == 4 &&
                  offsetof(CMPIBrokerFT, brokerName) == 8 &&
                  offsetof(CMPIBrokerFT, prepareAttachThread) == 16 &&
                  offsetof(CMPIBrokerFT, enumerateInstanceNames) == 48 &&
                  offsetof(CMPIBrokerFT, enumerateInstances) == 96 &&
                  offsetof(CMPIBrokerFT, getProperty) == 152,
              "CMPIBrokerFT members");

static_assert(sizeof(CMPIBrokerEncFT) == 168, "CMPIBrokerEncFT");
static_assert(offsetof(CMPIBrokerEncFT, ftVersion) == 0 &&
                  offsetof(CMPIBrokerEncFT, newInstance) == Slot(1) &&
                  offsetof(CMPIBrokerEncFT, newObjectPath) == Slot(2) &&
                  offsetof(CMPIBrokerEncFT, newArgs) == Slot(3) &&
                  offsetof(CMPIBrokerEncFT, newString) == Slot(4) &&
                  offsetof(CMPIBrokerEncFT, newArray) == Slot(5) &&
                  offsetof(CMPIBrokerEncFT, trace) == Slot(16) &&
                  offsetof(CMPIBrokerEncFT, newCMPIError) == Slot(17) &&
                  offsetof(CMPIBrokerEncFT, getMessage2) == Slot(20),
              "CMPIBrokerEncFT members");

static_assert(sizeof(CMPIInstanceFT) == 88, "CMPIInstanceFT");
static_assert(offsetof(CMPIInstanceFT, ftVersion) == 0 && offsetof(CMPIInstanceFT, release) == Slot(1) &&
                  offsetof(CMPIInstanceFT, clone) == Slot(2) &&
                  offsetof(CMPIInstanceFT, getProperty) == Slot(3) &&
                  offsetof(CMPIInstanceFT, getPropertyAt) == Slot(4) &&
                  offsetof(CMPIInstanceFT, getPropertyCount) == Slot(5) &&
                  offsetof(CMPIInstanceFT, setProperty) == Slot(6) &&
                  offsetof(CMPIInstanceFT, getObjectPath) == Slot(7) &&
                  offsetof(CMPIInstanceFT, setPropertyFilter) == Slot(8) &&
                  offsetof(CMPIInstanceFT, setObjectPath) == Slot(9) &&
                  offsetof(CMPIInstanceFT, setPropertyWithOrigin) == Slot(10),
              "CMPIInstanceFT members");

static_assert(sizeof(CMPIObjectPathFT) == 160, "CMPIObjectPathFT");
static_assert(offsetof(CMPIObjectPathFT, ftVersion) == 0 && offsetof(CMPIObjectPathFT, release) == Slot(1) &&
                  offsetof(CMPIObjectPathFT, clone) == Slot(2) &&
                  offsetof(CMPIObjectPathFT, setNameSpace) == Slot(3) &&
                  offsetof(CMPIObjectPathFT, getNameSpace) == Slot(4) &&
                  offsetof(CMPIObjectPathFT, setHostname) == Slot(5) &&
                  offsetof(CMPIObjectPathFT, getHostname) == Slot(6) &&
                  offsetof(CMPIObjectPathFT, setClassName) == Slot(7) &&
                  offsetof(CMPIObjectPathFT, getClassName) == Slot(8) &&
                  offsetof(CMPIObjectPathFT, addKey) == Slot(9) &&
                  offsetof(CMPIObjectPathFT, getKey) == Slot(10) &&
                  offsetof(CMPIObjectPathFT, getKeyAt) == Slot(11) &&
                  offsetof(CMPIObjectPathFT, getKeyCount) == Slot(12) &&
                  offsetof(CMPIObjectPathFT, setNameSpaceFromObjectPath) == Slot(13) &&
                  offsetof(CMPIObjectPathFT, toString) == Slot(19),
              "CMPIObjectPathFT members");

static_assert(sizeof(CMPIArrayFT) == 56, "CMPIArrayFT");
static_assert(offsetof(CMPIArrayFT, ftVersion) == 0 && offsetof(CMPIArrayFT, release) == Slot(1) &&
                  offsetof(CMPIArrayFT, clone) == Slot(2) && offsetof(CMPIArrayFT, getSize) == Slot(3) &&
                  offsetof(CMPIArrayFT, getSimpleType) == Slot(4) &&
                  offsetof(CMPIArrayFT, getElementAt) == Slot(5) &&
                  offsetof(CMPIArrayFT, setElementAt) == Slot(6),
              "CMPIArrayFT members");

static_assert(sizeof(CMPIStringFT) == 32, "CMPIStringFT");
static_assert(offsetof(CMPIStringFT, ftVersion) == 0 && offsetof(CMPIStringFT, release) == Slot(1) &&
                  offsetof(CMPIStringFT, clone) == Slot(2) && offsetof(CMPIStringFT, getCharPtr) == Slot(3),
              "CMPIStringFT members");

static_assert(sizeof(CMPIResultFT) == 64, "CMPIResultFT");
static_assert(offsetof(CMPIResultFT, ftVersion) == 0 && offsetof(CMPIResultFT, release) == Slot(1) &&
                  offsetof(CMPIResultFT, clone) == Slot(2) && offsetof(CMPIResultFT, returnData) == Slot(3) &&
                  offsetof(CMPIResultFT, returnInstance) == Slot(4) &&
                  offsetof(CMPIResultFT, returnObjectPath) == Slot(5) &&
                  offsetof(CMPIResultFT, returnDone) == Slot(6) &&
                  offsetof(CMPIResultFT, returnError) == Slot(7),
              "CMPIResultFT members");

static_assert(sizeof(CMPIInstanceMIFT) == 80, "CMPIInstanceMIFT");
static_assert(offsetof(CMPIInstanceMIFT, ftVersion) == 0 && offsetof(CMPIInstanceMIFT, miVersion) == 4 &&
                  offsetof(CMPIInstanceMIFT, miName) == 8 && offsetof(CMPIInstanceMIFT, cleanup) == 16 &&
                  offsetof(CMPIInstanceMIFT, enumerateInstanceNames) == 24 &&
                  offsetof(CMPIInstanceMIFT, enumerateInstances) == 32 &&
                  offsetof(CMPIInstanceMIFT, getInstance) == 40 &&
                  offsetof(CMPIInstanceMIFT, createInstance) == 48 &&
                  offsetof(CMPIInstanceMIFT, modifyInstance) == 56 &&
                  offsetof(CMPIInstanceMIFT, deleteInstance) == 64 &&
                  offsetof(CMPIInstanceMIFT, execQuery) == 72,
              "CMPIInstanceMIFT members");

// The codes the provider and the brokers exchange.
static_assert(CMPI_boolean == 2 && CMPI_real32 == 8 && CMPI_real64 == 12 && CMPI_uint8 == 128 &&
                  CMPI_uint16 == 144 && CMPI_uint32 == 160 && CMPI_uint64 == 176 && CMPI_sint8 == 192 &&
                  CMPI_sint16 == 208 && CMPI_sint32 == 224 && CMPI_sint64 == 240,
              "scalar type codes");
static_assert(CMPI_instance == 0x1000 && CMPI_ref == 0x1100 && CMPI_string == 0x1600 &&
                  CMPI_chars == 0x1700 && CMPI_dateTime == 0x1800 && CMPI_ARRAY == 0x2000 &&
                  CMPI_charsA == 0x3700 && CMPI_stringA == 0x3600,
              "object type codes");
static_assert(CMPI_goodValue == 0 && CMPI_nullValue == 0x100 && CMPI_keyValue == 0x200 &&
                  CMPI_notFound == 0x400 && CMPI_badValue == 0x8000,
              "value states");
static_assert(CMPI_RC_ERR_INVALID_NAMESPACE == 3 && CMPI_RC_ERR_INVALID_CLASS == 5 &&
                  CMPI_RC_ERR_NOT_SUPPORTED == 7 && CMPI_RC_ERR_METHOD_NOT_AVAILABLE == 16 &&
                  CMPI_RC_ERR_METHOD_NOT_FOUND == 17 && CMPI_RC_DO_NOT_UNLOAD == 50 &&
                  CMPI_RC_NEVER_UNLOAD == 51,
              "return codes");
}  // namespace CmpiLayout
