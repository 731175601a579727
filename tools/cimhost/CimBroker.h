// The CMPI broker of `qelsensors cim`: the encoding services and the objects (strings, object
// paths, instances, arrays, results) a CIM object manager hands to an instance provider, built on
// our own CMPI declarations. It implements what a provider of ours calls; every other table slot
// is null.
//
// Memory is managed as object managers do it: an object belongs to the request during which it
// was created and goes when the request ends (RequestScope), so a provider never releases what it
// gets. Objects created outside any request live as long as the broker.
//
// Requests may run on several threads at once: each thread's objects go to its own scope.
#pragma once

#include "cmpi/Cmpi.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace QelCim
{
// A value as the host keeps it, apart from any broker object.
struct Value
{
    CMPIType type = CMPI_null;
    bool null = true;
    int64_t sint = 0;   // sint8 ... sint64
    uint64_t uint = 0;  // uint8 ... uint64, char16
    double real = 0;    // real32, real64
    bool boolean = false;
    std::string text;             // chars, string
    std::vector<Value> elements;  // arrays (type carries CMPI_ARRAY)

    bool IsArray() const { return (type & CMPI_ARRAY) != 0; }
    CMPIType ElementType() const { return static_cast<CMPIType>(type & ~CMPI_ARRAY); }

    static Value Chars(const std::string& text);
    static Value String(const std::string& text);
    static Value Sint32(int32_t value);
};

using Named = std::pair<std::string, Value>;

struct ObjectPath
{
    std::string host;
    std::string nameSpace;
    std::string className;
    std::vector<Named> keys;

    // CIM names compare without regard to case.
    const Value* Key(const std::string& name) const;
};

struct Instance
{
    ObjectPath path;
    std::vector<Named> properties;  // in the order the provider set them

    const Value* Property(const std::string& name) const;
};

// The objects of one request scope.
struct Arena;

class Broker
{
public:
    // ftVersion of the broker's tables and the broker version, as the object managers on Linux
    // report them; a provider must not depend on either.
    static constexpr int kFunctionTableVersion = 1;
    static constexpr unsigned kBrokerVersion = 0;

    Broker();
    ~Broker();
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    const CMPIBroker* Handle() const { return &m_broker; }
    const CMPIContext* Context() const { return &m_context; }

    // The objects of the calling thread's requests, from construction to destruction.
    class RequestScope
    {
    public:
        // Scopes nest; the innermost takes the thread's new objects.
        explicit RequestScope(Broker& broker);
        ~RequestScope();
        RequestScope(const RequestScope&) = delete;
        RequestScope& operator=(const RequestScope&) = delete;

    private:
        std::unique_ptr<Arena> m_arena;
        Arena* m_previous;
    };

    // Broker objects alive now, in every scope.
    static size_t LiveObjects();

    // For the table functions in the source file.
    struct Object;
    void Adopt(Object* object);    // into the calling thread's scope, or the broker's own
    void Release(Object* object);  // early, as a provider may ask

private:
    CMPIBroker m_broker;
    CMPIContext m_context;
    std::mutex m_mutex;                               // guards m_unscoped
    std::vector<std::unique_ptr<Object>> m_unscoped;  // objects made outside any request
};

// The object a broker path or instance stands for (null for objects of another broker).
const ObjectPath* PathOf(const CMPIObjectPath* path);
const Instance* InstanceOf(const CMPIInstance* instance);

// A new broker object path for a request, in the calling thread's scope.
CMPIObjectPath* NewObjectPath(Broker& broker, const ObjectPath& path);

// What a provider returned through one result.
struct Collected
{
    std::vector<ObjectPath> paths;
    std::vector<Instance> instances;
    int doneCount = 0;               // returnDone calls
    bool returnedAfterDone = false;  // anything returned after returnDone
};

// A result for one request, used by the thread that runs it.
class Result
{
public:
    Result();
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    const CMPIResult* Handle() const { return &m_result; }
    Collected& Data() { return m_data; }

private:
    CMPIResult m_result;
    Collected m_data;
};
}  // namespace QelCim
