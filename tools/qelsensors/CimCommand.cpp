// qelsensors cim: the machine as a CIM object manager sees it through libqelsensors. The provider
// is loaded and called exactly as an object manager does; instances are shown as MOF instance
// declarations (or JSON), a failed request as its CMPI status.
#include "CimHost.h"
#include "CimText.h"
#include "Commands.h"
#include "Support.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

namespace QelTool
{
namespace
{
const char kUsage[] =
    "usage: qelsensors cim enumerate-names CLASS [options]\n"
    "       qelsensors cim enumerate CLASS [options]\n"
    "       qelsensors cim get CLASS NAME [options]\n"
    "\n"
    "CLASS is PXT_NumericSensor or PXT_SystemEventLog (names are case-sensitive); NAME is the\n"
    "instance's key Name, as enumerate-names shows it.\n"
    "\n"
    "options:\n"
    "  --namespace NS   the request's namespace (default root/cimv2)\n"
    "  --provider PATH  the provider library to load (default: libqelsensors.so.0 beside this\n"
    "                   program, in the build tree above it, in ../" QEL_INSTALL_LIBDIR
    ", then the loader's search)\n"
    "  --repeat N       make the request N times (default 1), as an object manager polling\n"
    "  --interval MS    wait MS milliseconds between repeated requests (default 1000)\n"
    "  --json           one JSON document per request\n"
    "  --verbose        show the provider's debug lines on standard error\n"
    "\n"
    "exit status: 0 every request succeeded; 1 a request failed or the provider could not be\n"
    "loaded; 2 bad usage\n";

enum class Action
{
    EnumerateNames,
    Enumerate,
    Get
};

struct Options
{
    Action action = Action::Enumerate;
    std::string actionName;
    std::string className;
    std::string name;
    std::string nameSpace = QelCim::kDefaultNameSpace;
    std::string provider;
    long repeat = 1;
    long interval = 1000;
    bool json = false;
};

int Usage(const std::string& message)
{
    fprintf(stderr, "qelsensors cim: %s\n%s", message.c_str(), kUsage);
    return kExitUsage;
}

bool ParseCount(const std::string& text, long minimum, long& value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    errno = 0;
    char* end = nullptr;
    const long parsed = strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < minimum || parsed > INT_MAX)
        return false;
    value = parsed;
    return true;
}

// Empty when the command line is good; otherwise what is wrong.
std::string Parse(const std::vector<std::string>& args, Options& options)
{
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i)
    {
        const std::string& arg = args[i];
        auto value = [&](std::string& out)
        {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        std::string text;
        if (arg == "--namespace")
        {
            if (!value(options.nameSpace))
                return "--namespace needs a namespace";
        }
        else if (arg == "--provider")
        {
            if (!value(options.provider) || options.provider.empty())
                return "--provider needs a library path";
        }
        else if (arg == "--repeat")
        {
            if (!value(text) || !ParseCount(text, 1, options.repeat))
                return "--repeat needs a count of 1 or more";
        }
        else if (arg == "--interval")
        {
            if (!value(text) || !ParseCount(text, 0, options.interval))
                return "--interval needs a number of milliseconds";
        }
        else if (arg == "--json")
        {
            options.json = true;
        }
        else if (!arg.empty() && arg[0] == '-')
        {
            return "unknown option '" + arg + "'";
        }
        else
        {
            positional.push_back(arg);
        }
    }
    if (positional.empty())
        return "no request given";
    options.actionName = positional[0];
    size_t wanted = 2;
    if (options.actionName == "enumerate-names")
    {
        options.action = Action::EnumerateNames;
    }
    else if (options.actionName == "enumerate")
    {
        options.action = Action::Enumerate;
    }
    else if (options.actionName == "get")
    {
        options.action = Action::Get;
        wanted = 3;
    }
    else
    {
        return "unknown request '" + options.actionName + "'";
    }
    if (positional.size() < wanted)
        return options.action == Action::Get ? "get needs CLASS and NAME"
                                             : options.actionName + " needs CLASS";
    if (positional.size() > wanted)
        return "too many arguments";
    options.className = positional[1];
    if (options.action == Action::Get)
        options.name = positional[2];
    return std::string();
}

// The provider writes fixed debug lines to standard error (standard output is already kept apart
// by main). Unless they are wanted, descriptor 2 goes to /dev/null while the provider is loaded;
// the tool's own messages go to a duplicate of the real standard error.
class QuietStandardError
{
public:
    explicit QuietStandardError(bool verbose)
    {
        if (verbose)
            return;
        fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (m_saved >= 0 && null >= 0)
            dup2(null, STDERR_FILENO);
        if (null >= 0)
            close(null);
        if (m_saved >= 0)
            m_own = fdopen(dup(m_saved), "w");
    }
    ~QuietStandardError()
    {
        if (m_own != nullptr)
            fclose(m_own);
        if (m_saved >= 0)
        {
            fflush(stderr);
            dup2(m_saved, STDERR_FILENO);
            close(m_saved);
        }
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

    FILE* Own() const { return m_own != nullptr ? m_own : stderr; }

private:
    int m_saved = -1;
    FILE* m_own = nullptr;
};

std::string Now()
{
    timeval now;
    gettimeofday(&now, nullptr);
    tm local;
    localtime_r(&now.tv_sec, &local);
    char text[64];
    const size_t n = strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
    snprintf(text + n, sizeof(text) - n, ".%03d", static_cast<int>(now.tv_usec / 1000));
    return text;
}

Json ValueJson(const QelCim::Value& value)
{
    if (value.null)
        return Json();
    if (value.IsArray())
    {
        Json array = Json::array();
        for (const QelCim::Value& element : value.elements)
            array.push_back(ValueJson(element));
        return array;
    }
    switch (value.type)
    {
    case CMPI_chars:
    case CMPI_string:
        return value.text;
    case CMPI_boolean:
        return value.boolean;
    case CMPI_real32:
    case CMPI_real64:
        return value.real;
    case CMPI_uint8:
    case CMPI_uint16:
    case CMPI_uint32:
    case CMPI_uint64:
    case CMPI_char16:
        return value.uint;
    case CMPI_sint8:
    case CMPI_sint16:
    case CMPI_sint32:
    case CMPI_sint64:
        return value.sint;
    default:
        return Json();
    }
}

Json PathJson(const QelCim::ObjectPath& path)
{
    Json keys = Json::object();
    for (const QelCim::Named& key : path.keys)
        keys[key.first] = ValueJson(key.second);
    return Json{{"path", QelCim::PathText(path)},
                {"namespace", path.nameSpace},
                {"className", path.className},
                {"keys", keys}};
}

Json InstanceJson(const QelCim::Instance& instance)
{
    Json properties = Json::object();
    for (const QelCim::Named& property : instance.properties)
        properties[property.first] = ValueJson(property.second);
    return Json{{"path", QelCim::PathText(instance.path)},
                {"className", instance.path.className},
                {"properties", properties}};
}

QelCim::Reply Run(QelCim::Host& host, const Options& options)
{
    switch (options.action)
    {
    case Action::EnumerateNames:
        return host.EnumerateInstanceNames(options.nameSpace, options.className);
    case Action::Enumerate:
        return host.EnumerateInstances(options.nameSpace, options.className);
    case Action::Get:
        break;
    }
    return host.GetInstance(options.nameSpace, options.className, options.name);
}

std::string Describe(const Options& options)
{
    std::string text = options.actionName + " " + options.className;
    if (options.action == Action::Get)
        text += " \"" + options.name + "\"";
    return text;
}

void PrintText(FILE* out, const Options& options, const QelCim::Reply& reply)
{
    if (options.action == Action::EnumerateNames)
    {
        for (const QelCim::ObjectPath& path : reply.paths)
            fprintf(out, "%s\n", QelCim::PathText(path).c_str());
        return;
    }
    for (size_t i = 0; i < reply.instances.size(); ++i)
        fprintf(out, "%s%s", i > 0 ? "\n" : "", QelCim::MofInstance(reply.instances[i]).c_str());
}

Json ReplyJson(const Options& options, const QelCim::Reply& reply, long round)
{
    Json document = {{"schema", kJsonSchema},
                     {"request", options.actionName},
                     {"namespace", options.nameSpace},
                     {"className", options.className}};
    if (options.action == Action::Get)
        document["name"] = options.name;
    if (options.repeat > 1)
    {
        document["round"] = round;
        document["time"] = Now();
    }
    document["status"] = {{"code", static_cast<int>(reply.rc)},
                          {"name", QelCim::StatusName(reply.rc)},
                          {"message", reply.hasMessage ? Json(reply.message) : Json()}};
    if (options.action == Action::EnumerateNames)
    {
        Json paths = Json::array();
        for (const QelCim::ObjectPath& path : reply.paths)
            paths.push_back(PathJson(path));
        document["paths"] = paths;
    }
    else if (options.action == Action::Enumerate)
    {
        Json instances = Json::array();
        for (const QelCim::Instance& instance : reply.instances)
            instances.push_back(InstanceJson(instance));
        document["instances"] = instances;
    }
    else
    {
        document["instance"] = reply.instances.empty() ? Json() : InstanceJson(reply.instances.front());
    }
    return document;
}
}  // namespace

const char* CimUsage()
{
    return kUsage;
}

int RunCim(Context& context, const std::vector<std::string>& args)
{
    Options options;
    const std::string problem = Parse(args, options);
    if (!problem.empty())
        return Usage(problem);
    options.json = options.json || context.json;

    QuietStandardError quiet(context.verbose);
    FILE* err = quiet.Own();

    QelCim::Host host;
    std::string error;
    const bool loaded =
        options.provider.empty() ? host.LoadDefault(error) : host.Load(options.provider, error);
    if (!loaded)
    {
        fprintf(err, "qelsensors cim: cannot load the provider: %s\n", error.c_str());
        return kExitFailure;
    }
    const CMPIStatus created = host.CreateMI();
    if (created.rc != CMPI_RC_OK)
    {
        fprintf(err, "qelsensors cim: the provider's factory failed: CMPI status %d (%s)\n",
                static_cast<int>(created.rc), QelCim::StatusName(created.rc));
        return kExitFailure;
    }

    int status = kExitOk;
    for (long round = 1; round <= options.repeat; ++round)
    {
        if (round > 1 && options.interval > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(options.interval));
        const QelCim::Reply reply = Run(host, options);
        if (options.json)
        {
            WriteJson(context.out, ReplyJson(options, reply, round));
        }
        else
        {
            if (options.repeat > 1)
                fprintf(context.out, "%s// request %ld of %ld at %s\n", round > 1 ? "\n" : "", round,
                        options.repeat, Now().c_str());
            if (reply.Ok())
                PrintText(context.out, options, reply);
        }
        fflush(context.out);
        if (!reply.Ok())
        {
            fprintf(err, "qelsensors cim: %s: CMPI status %d (%s)%s%s\n", Describe(options).c_str(),
                    static_cast<int>(reply.rc), QelCim::StatusName(reply.rc), reply.hasMessage ? ": " : "",
                    reply.message.c_str());
            if (reply.rc == CMPI_RC_ERR_METHOD_NOT_AVAILABLE)
                fprintf(err,
                        "  the provider did not start; its log (/etc/tarn/log.conf names it) says why\n");
            status = kExitFailure;
        }
    }

    // As an object manager that shuts down.
    host.Cleanup(true);
    if (!host.Unload(error))
        fprintf(err, "qelsensors cim: unloading the provider: %s\n", error.c_str());
    return status;
}
}  // namespace QelTool
