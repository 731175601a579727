// A CMPI host: loads an instance provider the way a CIM object manager does (dlopen with
// RTLD_NOW | RTLD_GLOBAL, then "<provider>_Create_InstanceMI"), hands it our broker, and makes
// its requests. `qelsensors cim`, the tests and the benchmarks drive libqelsensors through it.
//
// Requests may come from several threads at once, as from an object manager's; loading, the
// factory, cleanup and unloading are for one thread while no request runs.
#pragma once

#include "CimBroker.h"

#include <string>
#include <vector>

namespace QelCim
{
constexpr char kProviderLibrary[] = "libqelsensors.so.0";
constexpr char kProviderName[] = "SensorProvider";
constexpr char kDefaultNameSpace[] = "root/cimv2";

// What one request gave back.
struct Reply : Collected
{
    CMPIrc rc = CMPI_RC_OK;
    bool hasMessage = false;
    std::string message;

    bool Ok() const { return rc == CMPI_RC_OK; }
};

class Host
{
public:
    Host() = default;
    // Cleans up and unloads a provider still loaded.
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Where the provider library is looked for without --provider: beside the program, in the
    // build tree above it, in the installed library directory next to its bin, then by the
    // dynamic loader's own search.
    static std::vector<std::string> ProviderCandidates();

    // dlopen and the factory's look-up; false, with the loader's message, when either fails.
    bool Load(const std::string& library, std::string& error, const std::string& provider = kProviderName);
    // The first candidate that loads.
    bool LoadDefault(std::string& error);

    // Calls the factory (again, if asked); the MI it returns is kept for the requests.
    CMPIStatus CreateMI();
    CMPIInstanceMI* MI() const { return m_mi; }

    Reply EnumerateInstanceNames(const std::string& nameSpace, const std::string& className);
    Reply EnumerateInstances(const std::string& nameSpace, const std::string& className,
                             const char** properties = nullptr);
    // The path's key Name given as a string, as object managers pass a client's key.
    Reply GetInstance(const std::string& nameSpace, const std::string& className, const std::string& name);
    Reply GetInstance(const ObjectPath& path, const char** properties = nullptr);
    Reply CreateInstance(const ObjectPath& path);
    Reply ModifyInstance(const ObjectPath& path);
    Reply DeleteInstance(const ObjectPath& path);
    Reply ExecQuery(const ObjectPath& path, const char* query, const char* language);

    // The MI's cleanup; the MI is forgotten when it agrees (a new CreateMI is then needed).
    CMPIStatus Cleanup(bool terminating);
    // dlclose; false with the loader's message when it fails.
    bool Unload(std::string& error);

    Broker& GetBroker() { return m_broker; }

private:
    template <typename Call>
    Reply Request(const ObjectPath& path, Call call);

    Broker m_broker;
    void* m_library = nullptr;
    CMPIInstanceMIFactory m_factory = nullptr;
    CMPIInstanceMI* m_mi = nullptr;
};

// The path of a request for a class in a namespace, with the key Name when a name is given.
ObjectPath MakePath(const std::string& nameSpace, const std::string& className, const std::string& name = "");
}  // namespace QelCim
