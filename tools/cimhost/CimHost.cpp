#include "CimHost.h"

#include <climits>
#include <dlfcn.h>
#include <unistd.h>

namespace QelCim
{
namespace
{
std::string DirectoryOfProgram()
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0)
        return std::string();
    path[n] = '\0';
    std::string directory(path);
    const size_t slash = directory.rfind('/');
    return slash == std::string::npos ? std::string() : directory.substr(0, slash);
}

bool Exists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

std::string LoaderError()
{
    const char* message = dlerror();
    return message != nullptr ? message : "unknown loader error";
}
}  // namespace

ObjectPath MakePath(const std::string& nameSpace, const std::string& className, const std::string& name)
{
    ObjectPath path;
    path.nameSpace = nameSpace;
    path.className = className;
    if (!name.empty())
        path.keys.emplace_back("Name", Value::String(name));
    return path;
}

Host::~Host()
{
    if (m_mi != nullptr)
        Cleanup(true);
    std::string ignored;
    Unload(ignored);
}

std::vector<std::string> Host::ProviderCandidates()
{
    std::vector<std::string> candidates;
    const std::string here = DirectoryOfProgram();
    if (!here.empty())
    {
        for (const std::string& directory : {here, here + "/..", here + "/../" QEL_INSTALL_LIBDIR})
        {
            const std::string path = directory + "/" + kProviderLibrary;
            if (Exists(path))
                candidates.push_back(path);
        }
    }
    candidates.push_back(kProviderLibrary);  // the dynamic loader's search
    return candidates;
}

bool Host::Load(const std::string& library, std::string& error, const std::string& provider)
{
    if (m_library != nullptr)
    {
        error = "a provider is already loaded";
        return false;
    }
    dlerror();
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (handle == nullptr)
    {
        error = LoaderError();
        return false;
    }
    const std::string symbol = provider + "_Create_InstanceMI";
    dlerror();
    void* factory = dlsym(handle, symbol.c_str());
    if (factory == nullptr)
    {
        error = library + ": no " + symbol + " (" + LoaderError() + ")";
        dlclose(handle);
        return false;
    }
    m_library = handle;
    m_factory = reinterpret_cast<CMPIInstanceMIFactory>(factory);
    return true;
}

bool Host::LoadDefault(std::string& error)
{
    std::string first;
    for (const std::string& candidate : ProviderCandidates())
    {
        std::string message;
        if (Load(candidate, message))
            return true;
        if (first.empty())
            first = message;
    }
    error = first;
    return false;
}

CMPIStatus Host::CreateMI()
{
    CMPIStatus status{CMPI_RC_ERR_FAILED, nullptr};
    if (m_factory == nullptr)
        return status;
    Broker::RequestScope scope(m_broker);
    m_mi = m_factory(m_broker.Handle(), m_broker.Context(), &status);
    status.msg = nullptr;  // its text went with the scope
    if (m_mi == nullptr && status.rc == CMPI_RC_OK)
        status.rc = CMPI_RC_ERR_FAILED;
    return status;
}

template <typename Call>
Reply Host::Request(const ObjectPath& path, Call call)
{
    Reply reply;
    if (m_mi == nullptr)
    {
        reply.rc = CMPI_RC_ERR_FAILED;
        reply.hasMessage = true;
        reply.message = "no provider";
        return reply;
    }
    Broker::RequestScope scope(m_broker);
    Result result;
    const CMPIStatus status = call(result.Handle(), NewObjectPath(m_broker, path));
    static_cast<Collected&>(reply) = std::move(result.Data());
    reply.rc = status.rc;
    if (status.msg != nullptr && status.msg->hdl != nullptr)
    {
        reply.hasMessage = true;
        reply.message = static_cast<const char*>(status.msg->hdl);
    }
    return reply;
}

Reply Host::EnumerateInstanceNames(const std::string& nameSpace, const std::string& className)
{
    return Request(MakePath(nameSpace, className), [this](const CMPIResult* result, const CMPIObjectPath* op)
                   { return m_mi->ft->enumerateInstanceNames(m_mi, m_broker.Context(), result, op); });
}

Reply Host::EnumerateInstances(const std::string& nameSpace, const std::string& className,
                               const char** properties)
{
    return Request(MakePath(nameSpace, className),
                   [this, properties](const CMPIResult* result, const CMPIObjectPath* op) {
                       return m_mi->ft->enumerateInstances(m_mi, m_broker.Context(), result, op, properties);
                   });
}

Reply Host::GetInstance(const std::string& nameSpace, const std::string& className, const std::string& name)
{
    return GetInstance(MakePath(nameSpace, className, name));
}

Reply Host::GetInstance(const ObjectPath& path, const char** properties)
{
    return Request(path, [this, properties](const CMPIResult* result, const CMPIObjectPath* op)
                   { return m_mi->ft->getInstance(m_mi, m_broker.Context(), result, op, properties); });
}

Reply Host::CreateInstance(const ObjectPath& path)
{
    return Request(path,
                   [this](const CMPIResult* result, const CMPIObjectPath* op)
                   {
                       CMPIStatus rc;
                       CMPIInstance* instance =
                           m_broker.Handle()->eft->newInstance(m_broker.Handle(), op, &rc);
                       return m_mi->ft->createInstance(m_mi, m_broker.Context(), result, op, instance);
                   });
}

Reply Host::ModifyInstance(const ObjectPath& path)
{
    return Request(
        path,
        [this](const CMPIResult* result, const CMPIObjectPath* op)
        {
            CMPIStatus rc;
            CMPIInstance* instance = m_broker.Handle()->eft->newInstance(m_broker.Handle(), op, &rc);
            return m_mi->ft->modifyInstance(m_mi, m_broker.Context(), result, op, instance, nullptr);
        });
}

Reply Host::DeleteInstance(const ObjectPath& path)
{
    return Request(path, [this](const CMPIResult* result, const CMPIObjectPath* op)
                   { return m_mi->ft->deleteInstance(m_mi, m_broker.Context(), result, op); });
}

Reply Host::ExecQuery(const ObjectPath& path, const char* query, const char* language)
{
    return Request(path, [this, query, language](const CMPIResult* result, const CMPIObjectPath* op)
                   { return m_mi->ft->execQuery(m_mi, m_broker.Context(), result, op, query, language); });
}

CMPIStatus Host::Cleanup(bool terminating)
{
    CMPIStatus status{CMPI_RC_ERR_FAILED, nullptr};
    if (m_mi == nullptr)
        return status;
    Broker::RequestScope scope(m_broker);
    status = m_mi->ft->cleanup(m_mi, m_broker.Context(), terminating ? 1 : 0);
    status.msg = nullptr;
    // A provider that asks to stay loaded keeps its MI.
    if (status.rc == CMPI_RC_OK)
        m_mi = nullptr;
    return status;
}

bool Host::Unload(std::string& error)
{
    if (m_library == nullptr)
        return true;
    m_mi = nullptr;
    m_factory = nullptr;
    void* handle = m_library;
    m_library = nullptr;
    dlerror();
    if (dlclose(handle) != 0)
    {
        error = LoaderError();
        return false;
    }
    return true;
}
}  // namespace QelCim
