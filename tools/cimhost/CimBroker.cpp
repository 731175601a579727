#include "CimBroker.h"

#include <algorithm>
#include <atomic>
#include <strings.h>

namespace QelCim
{
struct Broker::Object
{
    explicit Object(Broker* broker) : owner(broker) { ++s_live; }
    virtual ~Object() { --s_live; }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    Broker* owner;
    static std::atomic<size_t> s_live;
};

std::atomic<size_t> Broker::Object::s_live{0};

struct Arena
{
    std::vector<std::unique_ptr<Broker::Object>> objects;
};

namespace
{
using Object = Broker::Object;

thread_local Arena* t_arena = nullptr;

// Each CMPI object is followed by a pointer to the broker object that holds it, so the table
// functions find their object whatever the handle holds (a string's handle is its text).
template <typename Cmpi>
struct Box
{
    Cmpi cmpi;
    Object* self;
};

template <typename Cmpi>
Object* SelfOf(const Cmpi* cmpi)
{
    return cmpi != nullptr ? reinterpret_cast<const Box<Cmpi>*>(cmpi)->self : nullptr;
}

struct StringObject : Object
{
    StringObject(Broker* broker, const char* value) : Object(broker), text(value != nullptr ? value : "")
    {
        box.self = this;
        box.cmpi.hdl = const_cast<char*>(text.c_str());
    }
    Box<CMPIString> box;
    const std::string text;
};

struct PathObject : Object
{
    PathObject(Broker* broker, ObjectPath value) : Object(broker), data(std::move(value))
    {
        box.self = this;
        box.cmpi.hdl = this;
    }
    Box<CMPIObjectPath> box;
    ObjectPath data;
};

struct InstanceObject : Object
{
    InstanceObject(Broker* broker, Instance value) : Object(broker), data(std::move(value))
    {
        box.self = this;
        box.cmpi.hdl = this;
    }
    Box<CMPIInstance> box;
    Instance data;
};

struct ArrayObject : Object
{
    ArrayObject(Broker* broker, CMPIType type, std::vector<Value> values)
        : Object(broker), elementType(type), elements(std::move(values))
    {
        box.self = this;
        box.cmpi.hdl = this;
    }
    Box<CMPIArray> box;
    CMPIType elementType;
    std::vector<Value> elements;
};

template <typename Derived, typename Cmpi>
Derived* As(const Cmpi* cmpi)
{
    return dynamic_cast<Derived*>(SelfOf(cmpi));
}

CMPIStatus Ok()
{
    return CMPIStatus{CMPI_RC_OK, nullptr};
}

void Set(CMPIStatus* rc, CMPIStatus status)
{
    if (rc != nullptr)
        *rc = status;
}

extern const CMPIStringFT kStringFT;
extern const CMPIObjectPathFT kPathFT;
extern const CMPIInstanceFT kInstanceFT;
extern const CMPIArrayFT kArrayFT;

CMPIString* MakeString(Broker* broker, const char* text)
{
    auto* object = new StringObject(broker, text);
    object->box.cmpi.ft = &kStringFT;
    broker->Adopt(object);
    return &object->box.cmpi;
}

CMPIObjectPath* MakePath(Broker* broker, ObjectPath path)
{
    auto* object = new PathObject(broker, std::move(path));
    object->box.cmpi.ft = &kPathFT;
    broker->Adopt(object);
    return &object->box.cmpi;
}

CMPIInstance* MakeInstance(Broker* broker, Instance instance)
{
    auto* object = new InstanceObject(broker, std::move(instance));
    object->box.cmpi.ft = &kInstanceFT;
    broker->Adopt(object);
    return &object->box.cmpi;
}

CMPIArray* MakeArray(Broker* broker, CMPIType type, std::vector<Value> elements)
{
    auto* object = new ArrayObject(broker, type, std::move(elements));
    object->box.cmpi.ft = &kArrayFT;
    broker->Adopt(object);
    return &object->box.cmpi;
}

CMPIStatus Plain(CMPIrc rc)
{
    return CMPIStatus{rc, nullptr};
}

// The object behind a handle the provider passed, with rc saying whether it was one of ours.
template <typename Derived, typename Cmpi>
Derived* Checked(const Cmpi* cmpi, CMPIStatus* rc)
{
    Derived* self = As<Derived>(cmpi);
    Set(rc, self == nullptr ? Plain(CMPI_RC_ERR_INVALID_PARAMETER) : Ok());
    return self;
}

// The release function of every kind of object.
template <typename Cmpi>
CMPIStatus Release(Cmpi* cmpi)
{
    Object* self = SelfOf(cmpi);
    if (self == nullptr)
        return Plain(CMPI_RC_ERR_INVALID_PARAMETER);
    self->owner->Release(self);
    return Ok();
}

bool IsText(CMPIType type)
{
    return type == CMPI_chars || type == CMPI_string;
}

// The value a provider passes (for characters the pointer is the text itself).
bool ToValue(const CMPIValue* value, CMPIType type, Value& out)
{
    out = Value();
    out.type = type;
    if ((type & CMPI_ARRAY) != 0)
    {
        const CMPIArray* array = value != nullptr ? value->array : nullptr;
        if (array == nullptr)
            return true;
        const ArrayObject* object = As<ArrayObject>(array);
        if (object == nullptr)
            return false;
        out.elements = object->elements;
        out.null = false;
        return true;
    }
    if (type == CMPI_chars)
    {
        const char* text = reinterpret_cast<const char*>(value);
        if (text != nullptr)
        {
            out.text = text;
            out.null = false;
        }
        return true;
    }
    if (value == nullptr)
        return true;
    out.null = false;
    switch (type)
    {
    case CMPI_string:
    {
        const char* text = value->string != nullptr ? static_cast<const char*>(value->string->hdl) : nullptr;
        out.null = text == nullptr;
        out.text = text != nullptr ? text : "";
        return true;
    }
    case CMPI_boolean:
        out.boolean = value->boolean != 0;
        return true;
    case CMPI_char16:
        out.uint = value->char16;
        return true;
    case CMPI_uint8:
        out.uint = value->uint8;
        return true;
    case CMPI_uint16:
        out.uint = value->uint16;
        return true;
    case CMPI_uint32:
        out.uint = value->uint32;
        return true;
    case CMPI_uint64:
        out.uint = value->uint64;
        return true;
    case CMPI_sint8:
        out.sint = value->sint8;
        return true;
    case CMPI_sint16:
        out.sint = value->sint16;
        return true;
    case CMPI_sint32:
        out.sint = value->sint32;
        return true;
    case CMPI_sint64:
        out.sint = value->sint64;
        return true;
    case CMPI_real32:
        out.real = value->real32;
        return true;
    case CMPI_real64:
        out.real = value->real64;
        return true;
    default:
        return false;  // references, instances, date-times: nothing our provider sends
    }
}

// The data a provider reads back; strings and arrays become new broker objects.
CMPIData ToData(Broker* broker, const Value& value)
{
    CMPIData data;
    data.type = value.type;
    data.state = value.null ? CMPI_nullValue : CMPI_goodValue;
    data.value.uint64 = 0;
    if (value.null)
        return data;
    if (value.IsArray())
    {
        data.value.array = MakeArray(broker, value.ElementType(), value.elements);
        return data;
    }
    switch (value.type)
    {
    case CMPI_chars:
        data.value.chars = const_cast<char*>(value.text.c_str());
        break;
    case CMPI_string:
        data.value.string = MakeString(broker, value.text.c_str());
        break;
    case CMPI_boolean:
        data.value.boolean = value.boolean ? 1 : 0;
        break;
    case CMPI_char16:
        data.value.char16 = static_cast<CMPIChar16>(value.uint);
        break;
    case CMPI_uint8:
        data.value.uint8 = static_cast<uint8_t>(value.uint);
        break;
    case CMPI_uint16:
        data.value.uint16 = static_cast<uint16_t>(value.uint);
        break;
    case CMPI_uint32:
        data.value.uint32 = static_cast<uint32_t>(value.uint);
        break;
    case CMPI_uint64:
        data.value.uint64 = value.uint;
        break;
    case CMPI_sint8:
        data.value.sint8 = static_cast<int8_t>(value.sint);
        break;
    case CMPI_sint16:
        data.value.sint16 = static_cast<int16_t>(value.sint);
        break;
    case CMPI_sint32:
        data.value.sint32 = static_cast<int32_t>(value.sint);
        break;
    case CMPI_sint64:
        data.value.sint64 = value.sint;
        break;
    case CMPI_real32:
        data.value.real32 = static_cast<float>(value.real);
        break;
    case CMPI_real64:
        data.value.real64 = value.real;
        break;
    default:
        data.state = CMPI_badValue;
        break;
    }
    return data;
}

CMPIData NotFound(CMPIType type = CMPI_null)
{
    CMPIData data;
    data.type = type;
    data.state = CMPI_notFound;
    data.value.uint64 = 0;
    return data;
}

Value* Find(std::vector<Named>& list, const char* name)
{
    for (Named& entry : list)
        if (strcasecmp(entry.first.c_str(), name) == 0)
            return &entry.second;
    return nullptr;
}

const Value* Find(const std::vector<Named>& list, const std::string& name)
{
    for (const Named& entry : list)
        if (strcasecmp(entry.first.c_str(), name.c_str()) == 0)
            return &entry.second;
    return nullptr;
}

// Sets or replaces a named value (in place, so the order stays that of the first setting).
void Store(std::vector<Named>& list, const char* name, Value value)
{
    if (Value* existing = Find(list, name))
        *existing = std::move(value);
    else
        list.emplace_back(name, std::move(value));
}

// --- strings

CMPIString* StringClone(const CMPIString* string, CMPIStatus* rc)
{
    Object* self = SelfOf(string);
    if (self == nullptr)
    {
        Set(rc, Plain(CMPI_RC_ERR_INVALID_PARAMETER));
        return nullptr;
    }
    Set(rc, Ok());
    return MakeString(self->owner, static_cast<const char*>(string->hdl));
}

const char* StringCharPtr(const CMPIString* string, CMPIStatus* rc)
{
    if (string == nullptr)
    {
        Set(rc, Plain(CMPI_RC_ERR_INVALID_PARAMETER));
        return nullptr;
    }
    Set(rc, Ok());
    return static_cast<const char*>(string->hdl);
}

const CMPIStringFT kStringFT = {Broker::kFunctionTableVersion, Release<CMPIString>, StringClone,
                                StringCharPtr};

// --- object paths

CMPIObjectPath* PathClone(const CMPIObjectPath* path, CMPIStatus* rc)
{
    PathObject* self = Checked<PathObject>(path, rc);
    return self == nullptr ? nullptr : MakePath(self->owner, self->data);
}

CMPIStatus SetPathText(CMPIObjectPath* path, std::string ObjectPath::*field, const char* text)
{
    PathObject* self = As<PathObject>(path);
    if (self == nullptr)
        return Plain(CMPI_RC_ERR_INVALID_PARAMETER);
    self->data.*field = text != nullptr ? text : "";
    return Ok();
}

CMPIString* GetPathText(const CMPIObjectPath* path, const std::string ObjectPath::*field, CMPIStatus* rc)
{
    PathObject* self = Checked<PathObject>(path, rc);
    return self == nullptr ? nullptr : MakeString(self->owner, (self->data.*field).c_str());
}

CMPIStatus PathSetNameSpace(CMPIObjectPath* path, const char* nameSpace)
{
    return SetPathText(path, &ObjectPath::nameSpace, nameSpace);
}

CMPIString* PathGetNameSpace(const CMPIObjectPath* path, CMPIStatus* rc)
{
    return GetPathText(path, &ObjectPath::nameSpace, rc);
}

CMPIStatus PathSetHostname(CMPIObjectPath* path, const char* host)
{
    return SetPathText(path, &ObjectPath::host, host);
}

CMPIString* PathGetHostname(const CMPIObjectPath* path, CMPIStatus* rc)
{
    return GetPathText(path, &ObjectPath::host, rc);
}

CMPIStatus PathSetClassName(CMPIObjectPath* path, const char* className)
{
    return SetPathText(path, &ObjectPath::className, className);
}

CMPIString* PathGetClassName(const CMPIObjectPath* path, CMPIStatus* rc)
{
    return GetPathText(path, &ObjectPath::className, rc);
}

CMPIStatus PathAddKey(CMPIObjectPath* path, const char* name, const CMPIValue* value, CMPIType type)
{
    PathObject* self = As<PathObject>(path);
    if (self == nullptr || name == nullptr)
        return Plain(CMPI_RC_ERR_INVALID_PARAMETER);
    Value key;
    if (!ToValue(value, type, key))
        return Plain(CMPI_RC_ERR_TYPE_MISMATCH);
    Store(self->data.keys, name, std::move(key));
    return Ok();
}

CMPIData PathGetKey(const CMPIObjectPath* path, const char* name, CMPIStatus* rc)
{
    PathObject* self = As<PathObject>(path);
    if (self == nullptr || name == nullptr)
    {
        Set(rc, Plain(CMPI_RC_ERR_INVALID_PARAMETER));
        return NotFound();
    }
    const Value* key = Find(self->data.keys, name);
    if (key == nullptr)
    {
        Set(rc, Plain(CMPI_RC_ERR_NOT_FOUND));
        return NotFound();
    }
    Set(rc, Ok());
    CMPIData data = ToData(self->owner, *key);
    data.state = static_cast<CMPIValueState>(data.state | CMPI_keyValue);
    return data;
}

CMPIData PathGetKeyAt(const CMPIObjectPath* path, CMPICount index, CMPIString** name, CMPIStatus* rc)
{
    PathObject* self = As<PathObject>(path);
    if (self == nullptr || index >= self->data.keys.size())
    {
        Set(rc, Plain(self == nullptr ? CMPI_RC_ERR_INVALID_PARAMETER : CMPI_RC_ERR_NO_SUCH_PROPERTY));
        return NotFound();
    }
    const Named& key = self->data.keys[index];
    if (name != nullptr)
        *name = MakeString(self->owner, key.first.c_str());
    Set(rc, Ok());
    CMPIData data = ToData(self->owner, key.second);
    data.state = static_cast<CMPIValueState>(data.state | CMPI_keyValue);
    return data;
}

CMPICount PathGetKeyCount(const CMPIObjectPath* path, CMPIStatus* rc)
{
    PathObject* self = Checked<PathObject>(path, rc);
    return self == nullptr ? 0 : static_cast<CMPICount>(self->data.keys.size());
}

const CMPIObjectPathFT kPathFT = {
    Broker::kFunctionTableVersion,
    Release<CMPIObjectPath>,
    PathClone,
    PathSetNameSpace,
    PathGetNameSpace,
    PathSetHostname,
    PathGetHostname,
    PathSetClassName,
    PathGetClassName,
    PathAddKey,
    PathGetKey,
    PathGetKeyAt,
    PathGetKeyCount,
    nullptr,  // setNameSpaceFromObjectPath
    nullptr,  // setHostAndNameSpaceFromObjectPath
    nullptr,  // getClassQualifier
    nullptr,  // getPropertyQualifier
    nullptr,  // getMethodQualifier
    nullptr,  // getParameterQualifier
    nullptr,  // toString
};

// --- instances

CMPIInstance* InstanceClone(const CMPIInstance* instance, CMPIStatus* rc)
{
    InstanceObject* self = Checked<InstanceObject>(instance, rc);
    return self == nullptr ? nullptr : MakeInstance(self->owner, self->data);
}

CMPIData InstanceGetProperty(const CMPIInstance* instance, const char* name, CMPIStatus* rc)
{
    InstanceObject* self = As<InstanceObject>(instance);
    if (self == nullptr || name == nullptr)
    {
        Set(rc, Plain(CMPI_RC_ERR_INVALID_PARAMETER));
        return NotFound();
    }
    const Value* value = Find(self->data.properties, name);
    if (value == nullptr)
    {
        Set(rc, Plain(CMPI_RC_ERR_NO_SUCH_PROPERTY));
        return NotFound();
    }
    Set(rc, Ok());
    return ToData(self->owner, *value);
}

CMPIData InstanceGetPropertyAt(const CMPIInstance* instance, CMPICount index, CMPIString** name,
                               CMPIStatus* rc)
{
    InstanceObject* self = As<InstanceObject>(instance);
    if (self == nullptr || index >= self->data.properties.size())
    {
        Set(rc, Plain(self == nullptr ? CMPI_RC_ERR_INVALID_PARAMETER : CMPI_RC_ERR_NO_SUCH_PROPERTY));
        return NotFound();
    }
    const Named& property = self->data.properties[index];
    if (name != nullptr)
        *name = MakeString(self->owner, property.first.c_str());
    Set(rc, Ok());
    return ToData(self->owner, property.second);
}

CMPICount InstanceGetPropertyCount(const CMPIInstance* instance, CMPIStatus* rc)
{
    InstanceObject* self = Checked<InstanceObject>(instance, rc);
    return self == nullptr ? 0 : static_cast<CMPICount>(self->data.properties.size());
}

CMPIStatus InstanceSetProperty(const CMPIInstance* instance, const char* name, const CMPIValue* value,
                               CMPIType type)
{
    InstanceObject* self = As<InstanceObject>(instance);
    if (self == nullptr || name == nullptr)
        return Plain(CMPI_RC_ERR_INVALID_PARAMETER);
    Value stored;
    if (!ToValue(value, type, stored))
        return Plain(CMPI_RC_ERR_TYPE_MISMATCH);
    Store(self->data.properties, name, std::move(stored));
    return Ok();
}

CMPIObjectPath* InstanceGetObjectPath(const CMPIInstance* instance, CMPIStatus* rc)
{
    InstanceObject* self = Checked<InstanceObject>(instance, rc);
    return self == nullptr ? nullptr : MakePath(self->owner, self->data.path);
}

const CMPIInstanceFT kInstanceFT = {
    Broker::kFunctionTableVersion,
    Release<CMPIInstance>,
    InstanceClone,
    InstanceGetProperty,
    InstanceGetPropertyAt,
    InstanceGetPropertyCount,
    InstanceSetProperty,
    InstanceGetObjectPath,
    nullptr,  // setPropertyFilter
    nullptr,  // setObjectPath
    nullptr,  // setPropertyWithOrigin
};

// --- arrays

CMPIArray* ArrayClone(const CMPIArray* array, CMPIStatus* rc)
{
    ArrayObject* self = Checked<ArrayObject>(array, rc);
    return self == nullptr ? nullptr : MakeArray(self->owner, self->elementType, self->elements);
}

CMPICount ArrayGetSize(const CMPIArray* array, CMPIStatus* rc)
{
    ArrayObject* self = Checked<ArrayObject>(array, rc);
    return self == nullptr ? 0 : static_cast<CMPICount>(self->elements.size());
}

CMPIType ArrayGetSimpleType(const CMPIArray* array, CMPIStatus* rc)
{
    ArrayObject* self = Checked<ArrayObject>(array, rc);
    return self == nullptr ? CMPI_null : self->elementType;
}

CMPIData ArrayGetElementAt(const CMPIArray* array, CMPICount index, CMPIStatus* rc)
{
    ArrayObject* self = As<ArrayObject>(array);
    if (self == nullptr || index >= self->elements.size())
    {
        Set(rc, Plain(self == nullptr ? CMPI_RC_ERR_INVALID_PARAMETER : CMPI_RC_ERR_NO_SUCH_PROPERTY));
        return NotFound();
    }
    Set(rc, Ok());
    return ToData(self->owner, self->elements[index]);
}

CMPIStatus ArraySetElementAt(CMPIArray* array, CMPICount index, const CMPIValue* value, CMPIType type)
{
    ArrayObject* self = As<ArrayObject>(array);
    if (self == nullptr)
        return Plain(CMPI_RC_ERR_INVALID_PARAMETER);
    if (index >= self->elements.size())
        return Plain(CMPI_RC_ERR_NO_SUCH_PROPERTY);
    // Characters and strings are both CIM strings; any other type must be the array's own.
    if (type != self->elementType && !(IsText(type) && IsText(self->elementType)))
        return Plain(CMPI_RC_ERR_TYPE_MISMATCH);
    Value element;
    if (!ToValue(value, type, element))
        return Plain(CMPI_RC_ERR_TYPE_MISMATCH);
    element.type = self->elementType;
    self->elements[index] = std::move(element);
    return Ok();
}

const CMPIArrayFT kArrayFT = {Broker::kFunctionTableVersion,
                              Release<CMPIArray>,
                              ArrayClone,
                              ArrayGetSize,
                              ArrayGetSimpleType,
                              ArrayGetElementAt,
                              ArraySetElementAt};

// --- the broker's factories

Broker* BrokerOf(const CMPIBroker* broker)
{
    return broker != nullptr ? static_cast<Broker*>(broker->hdl) : nullptr;
}

CMPIInstance* NewInstance(const CMPIBroker* mb, const CMPIObjectPath* op, CMPIStatus* rc)
{
    Broker* broker = BrokerOf(mb);
    const PathObject* path = As<PathObject>(op);
    if (broker == nullptr || path == nullptr)
    {
        Set(rc, Plain(CMPI_RC_ERR_INVALID_PARAMETER));
        return nullptr;
    }
    Instance instance;
    instance.path = path->data;
    Set(rc, Ok());
    return MakeInstance(broker, std::move(instance));
}

CMPIObjectPath* NewObjectPathFn(const CMPIBroker* mb, const char* ns, const char* cn, CMPIStatus* rc)
{
    Broker* broker = BrokerOf(mb);
    if (broker == nullptr)
    {
        Set(rc, Plain(CMPI_RC_ERR_INVALID_PARAMETER));
        return nullptr;
    }
    ObjectPath path;
    path.nameSpace = ns != nullptr ? ns : "";
    path.className = cn != nullptr ? cn : "";
    Set(rc, Ok());
    return MakePath(broker, std::move(path));
}

CMPIString* NewString(const CMPIBroker* mb, const char* text, CMPIStatus* rc)
{
    Broker* broker = BrokerOf(mb);
    if (broker == nullptr)
    {
        Set(rc, Plain(CMPI_RC_ERR_INVALID_PARAMETER));
        return nullptr;
    }
    Set(rc, Ok());
    return MakeString(broker, text);
}

CMPIArray* NewArray(const CMPIBroker* mb, CMPICount size, CMPIType type, CMPIStatus* rc)
{
    Broker* broker = BrokerOf(mb);
    if (broker == nullptr)
    {
        Set(rc, Plain(CMPI_RC_ERR_INVALID_PARAMETER));
        return nullptr;
    }
    const CMPIType elementType = static_cast<CMPIType>(type & ~CMPI_ARRAY);
    Value element;
    element.type = elementType;
    Set(rc, Ok());
    return MakeArray(broker, elementType, std::vector<Value>(size, element));
}

const CMPIBrokerFT kBrokerFT = {
    0,
    Broker::kBrokerVersion,
    "qelsensors cim",
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

const CMPIBrokerEncFT kEncFT = {
    Broker::kFunctionTableVersion,
    NewInstance,
    NewObjectPathFn,
    nullptr,  // newArgs
    NewString,
    NewArray,
    nullptr,  // newDateTime
    nullptr,  // newDateTimeFromBinary
    nullptr,  // newDateTimeFromChars
    nullptr,  // newSelectExp
    nullptr,  // classPathIsA
    nullptr,  // toString
    nullptr,  // isOfType
    nullptr,  // getType
    nullptr,  // getMessage
    nullptr,  // logMessage
    nullptr,  // trace
    nullptr,  // newCMPIError
    nullptr,  // openMessageFile
    nullptr,  // closeMessageFile
    nullptr,  // getMessage2
};

// --- results

Collected* CollectedOf(const CMPIResult* result)
{
    return result != nullptr ? static_cast<Collected*>(result->hdl) : nullptr;
}

CMPIStatus ResultRelease(CMPIResult*)
{
    return Ok();  // a result belongs to the request that made it
}

CMPIResult* ResultClone(const CMPIResult*, CMPIStatus* rc)
{
    Set(rc, Plain(CMPI_RC_ERR_NOT_SUPPORTED));
    return nullptr;
}

CMPIStatus ResultReturnData(const CMPIResult*, const CMPIValue*, CMPIType)
{
    return Plain(CMPI_RC_ERR_NOT_SUPPORTED);  // not for instance requests
}

CMPIStatus ResultReturnInstance(const CMPIResult* result, const CMPIInstance* instance)
{
    Collected* data = CollectedOf(result);
    const InstanceObject* object = As<InstanceObject>(instance);
    if (data == nullptr || object == nullptr)
        return Plain(CMPI_RC_ERR_INVALID_PARAMETER);
    data->returnedAfterDone = data->returnedAfterDone || data->doneCount > 0;
    data->instances.push_back(object->data);
    return Ok();
}

CMPIStatus ResultReturnObjectPath(const CMPIResult* result, const CMPIObjectPath* path)
{
    Collected* data = CollectedOf(result);
    const PathObject* object = As<PathObject>(path);
    if (data == nullptr || object == nullptr)
        return Plain(CMPI_RC_ERR_INVALID_PARAMETER);
    data->returnedAfterDone = data->returnedAfterDone || data->doneCount > 0;
    data->paths.push_back(object->data);
    return Ok();
}

CMPIStatus ResultReturnDone(const CMPIResult* result)
{
    Collected* data = CollectedOf(result);
    if (data == nullptr)
        return Plain(CMPI_RC_ERR_INVALID_PARAMETER);
    ++data->doneCount;
    return Ok();
}

const CMPIResultFT kResultFT = {
    Broker::kFunctionTableVersion,
    ResultRelease,
    ResultClone,
    ResultReturnData,
    ResultReturnInstance,
    ResultReturnObjectPath,
    ResultReturnDone,
    nullptr,  // returnError
};
}  // namespace

// ---------------------------------------------------------------------------------------------

Value Value::Chars(const std::string& text)
{
    Value v;
    v.type = CMPI_chars;
    v.null = false;
    v.text = text;
    return v;
}

Value Value::String(const std::string& text)
{
    Value v = Chars(text);
    v.type = CMPI_string;
    return v;
}

Value Value::Sint32(int32_t value)
{
    Value v;
    v.type = CMPI_sint32;
    v.null = false;
    v.sint = value;
    return v;
}

const Value* ObjectPath::Key(const std::string& name) const
{
    return Find(keys, name);
}

const Value* Instance::Property(const std::string& name) const
{
    return Find(properties, name);
}

Broker::Broker()
{
    m_broker.hdl = this;
    m_broker.bft = &kBrokerFT;
    m_broker.eft = &kEncFT;
    m_broker.xft = nullptr;
    m_broker.mft = nullptr;
    m_context.hdl = nullptr;
    m_context.ft = nullptr;
}

Broker::~Broker() = default;

size_t Broker::LiveObjects()
{
    return Object::s_live.load();
}

void Broker::Adopt(Object* object)
{
    std::unique_ptr<Object> owned(object);
    if (t_arena != nullptr)
    {
        t_arena->objects.push_back(std::move(owned));
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unscoped.push_back(std::move(owned));
}

void Broker::Release(Object* object)
{
    auto erase = [object](std::vector<std::unique_ptr<Object>>& objects)
    {
        auto it = std::find_if(objects.begin(), objects.end(),
                               [object](const std::unique_ptr<Object>& o) { return o.get() == object; });
        if (it == objects.end())
            return false;
        objects.erase(it);
        return true;
    };
    if (t_arena != nullptr && erase(t_arena->objects))
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    erase(m_unscoped);
    // An object of another thread's request stays until that request ends.
}

Broker::RequestScope::RequestScope(Broker& /*broker*/) : m_arena(new Arena), m_previous(t_arena)
{
    t_arena = m_arena.get();
}

Broker::RequestScope::~RequestScope()
{
    t_arena = m_previous;
}

const ObjectPath* PathOf(const CMPIObjectPath* path)
{
    const PathObject* object = As<PathObject>(path);
    return object != nullptr ? &object->data : nullptr;
}

const Instance* InstanceOf(const CMPIInstance* instance)
{
    const InstanceObject* object = As<InstanceObject>(instance);
    return object != nullptr ? &object->data : nullptr;
}

CMPIObjectPath* NewObjectPath(Broker& broker, const ObjectPath& path)
{
    return MakePath(&broker, path);
}

Result::Result()
{
    m_result.hdl = &m_data;
    m_result.ft = &kResultFT;
}
}  // namespace QelCim
