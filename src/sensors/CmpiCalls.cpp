#include "CmpiCalls.h"

#include "PxtNames.h"

namespace CmpiCalls
{
namespace
{
// Some brokers fill the status only on failure, so it starts as OK.
CMPIStatus Fresh()
{
    return Status(CMPI_RC_OK);
}

void Check(const CMPIStatus& status)
{
    if (status.rc != CMPI_RC_OK)
        throw status;
}

// A broker that reports success but hands out nothing has failed all the same; going on would
// call through a null object.
template <typename Object>
Object* Checked(Object* object, const CMPIStatus& status)
{
    Check(status);
    if (object == nullptr)
        throw Status(CMPI_RC_ERR_FAILED);
    return object;
}

void SetValue(const CMPIInstance* instance, const char* name, const CMPIValue* value, CMPIType type)
{
    Check(instance->ft->setProperty(instance, name, value, type));
}

// For characters the value argument is the character pointer itself.
const CMPIValue* CharsValue(const char* text)
{
    return reinterpret_cast<const CMPIValue*>(text);
}
}  // namespace

CMPIStatus Status(CMPIrc rc)
{
    CMPIStatus status;
    status.rc = rc;
    status.msg = nullptr;
    return status;
}

const char* Text(const CMPIString* string)
{
    return string != nullptr ? static_cast<const char*>(string->hdl) : nullptr;
}

CMPIObjectPath* NewPathWithName(const CMPIBroker* broker, const char* className, const std::string& name)
{
    CMPIStatus status = Fresh();
    CMPIObjectPath* path =
        Checked(broker->eft->newObjectPath(broker, kPxtNamespace, className, &status), status);
    path->ft->addKey(path, "Name", CharsValue(name.c_str()), CMPI_chars);
    return path;
}

CMPIInstance* NewInstance(const CMPIBroker* broker, const CMPIObjectPath* path)
{
    CMPIStatus status = Fresh();
    return Checked(broker->eft->newInstance(broker, path, &status), status);
}

CMPIArray* NewArray(const CMPIBroker* broker, CMPICount size, CMPIType type)
{
    CMPIStatus status = Fresh();
    return Checked(broker->eft->newArray(broker, size, type, &status), status);
}

// One member of a CMPIValue set as a property of the given type.
template <typename T, typename V>
void SetMember(const CMPIInstance* instance, const char* name, T CMPIValue::*member, V value, CMPIType type)
{
    CMPIValue v;
    v.*member = static_cast<T>(value);
    SetValue(instance, name, &v, type);
}

void SetChars(const CMPIInstance* instance, const char* name, const std::string& value)
{
    SetValue(instance, name, CharsValue(value.c_str()), CMPI_chars);
}

void SetChars(const CMPIInstance* instance, const char* name, const char* value)
{
    SetValue(instance, name, CharsValue(value), CMPI_chars);
}

void SetSint32(const CMPIInstance* instance, const char* name, int32_t value)
{
    SetMember(instance, name, &CMPIValue::sint32, value, CMPI_sint32);
}

void SetUint32(const CMPIInstance* instance, const char* name, uint32_t value)
{
    SetMember(instance, name, &CMPIValue::uint32, value, CMPI_uint32);
}

void SetUint16(const CMPIInstance* instance, const char* name, uint16_t value)
{
    SetMember(instance, name, &CMPIValue::uint16, value, CMPI_uint16);
}

void SetUint8(const CMPIInstance* instance, const char* name, uint8_t value)
{
    SetMember(instance, name, &CMPIValue::uint8, value, CMPI_uint8);
}

void SetBoolean(const CMPIInstance* instance, const char* name, bool value)
{
    SetMember(instance, name, &CMPIValue::boolean, value ? 1 : 0, CMPI_boolean);
}

void SetArray(const CMPIInstance* instance, const char* name, CMPIArray* array, CMPIType type)
{
    SetMember(instance, name, &CMPIValue::array, array, type);
}

void SetElementChars(CMPIArray* array, CMPICount index, const std::string& value)
{
    array->ft->setElementAt(array, index, CharsValue(value.c_str()), CMPI_chars);
}
}  // namespace CmpiCalls
