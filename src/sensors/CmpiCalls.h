// The broker calls the provider makes, each checked the way the requests need: a call whose status
// counts throws that CMPIStatus when it is not OK, and the request that made it ends with code 1.
#pragma once

#include "cmpi/Cmpi.h"

#include <string>

namespace CmpiCalls
{
// A status without message.
CMPIStatus Status(CMPIrc rc);

// The text of a broker string (its handle), or null.
const char* Text(const CMPIString* string);

// Object path with the one key "Name" (added as characters; its status is not looked at).
CMPIObjectPath* NewPathWithName(const CMPIBroker* broker, const char* className, const std::string& name);
CMPIInstance* NewInstance(const CMPIBroker* broker, const CMPIObjectPath* path);
CMPIArray* NewArray(const CMPIBroker* broker, CMPICount size, CMPIType type);

// setProperty for each type the classes use.
void SetChars(const CMPIInstance* instance, const char* name, const std::string& value);
void SetChars(const CMPIInstance* instance, const char* name, const char* value);
void SetSint32(const CMPIInstance* instance, const char* name, int32_t value);
void SetUint32(const CMPIInstance* instance, const char* name, uint32_t value);
void SetUint16(const CMPIInstance* instance, const char* name, uint16_t value);
void SetUint8(const CMPIInstance* instance, const char* name, uint8_t value);
void SetBoolean(const CMPIInstance* instance, const char* name, bool value);
void SetArray(const CMPIInstance* instance, const char* name, CMPIArray* array, CMPIType type);

// setElementAt with characters; its status is not looked at.
void SetElementChars(CMPIArray* array, CMPICount index, const std::string& value);
}  // namespace CmpiCalls
