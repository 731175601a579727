#include "Support.h"

#include "SysRoot.h"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace QelTool
{
namespace
{
// Why a device file of the machine cannot be opened, and what to do about it. served: the file
// exists only while qelsim serves the machine.
Failure DeviceFailure(const std::string& path, int err, const char* needs, bool served)
{
    Failure failure;
    failure.message = "cannot open " + path + ": " + strerror(err);
    const std::string root = QelSys::SysRoot();
    if ((err == EACCES || err == EPERM) && geteuid() == 0)
        failure.message += "\n  the kernel refuses it even to root: kernel lockdown (see "
                           "/sys/kernel/security/lockdown) or a security module; " +
                           std::string(needs) + " needs a kernel that allows it";
    else if (err == EACCES || err == EPERM)
        failure.message += std::string("\n  ") + needs +
                           " needs root: run qelsensors as root, or point --sysroot at a machine image";
    else if (err == ENOENT && !root.empty() && served)
        failure.message +=
            "\n  " + root + " is no served machine: bring one up with 'qelsim up PROFILE " + root + "'";
    else if (err == ENOENT && !root.empty())
        failure.message += "\n  " + root + " is no machine image: create one with 'qelsim sample " + root +
                           "', or bring up a served one with 'qelsim up PROFILE " + root + "'";
    else if (err == ENOENT)
        failure.message +=
            "\n  this system offers no such device (a container?); point --sysroot at a machine "
            "image (qelsim up PROFILE DIR)";
    return failure;
}

int64_t PowerOfTen(int32_t exponent)
{
    int64_t p = 1;
    for (int32_t i = 0; i < exponent; ++i)
        p *= 10;
    return p;
}
}  // namespace

const char* StatusName(SENSOR_STATUS status)
{
    switch (status)
    {
    case SS_SUCCESS:
        return "success";
    case SS_NOT_INITIALISED:
        return "not initialised";
    case SS_SMBIOS_ERROR:
        return "SMBIOS error";
    case SS_NO_DRIVER:
        return "no driver";
    case SS_HWMON_ERROR:
        return "hardware monitor error";
    case SS_NO_SENSORS:
        return "no sensors";
    case SS_INVALID_HANDLE:
        return "invalid handle";
    case SS_UNSUPPORTED_SYSTEM:
        return "unsupported system";
    case SS_EVENT_LOG_ERROR:
        return "event log error";
    case SS_INTERNAL_ERROR:
        return "internal error";
    default:
        return "unknown status";
    }
}

std::string StatusText(SENSOR_STATUS status)
{
    return std::string(StatusName(status)) + " (" + std::to_string(status) + ")";
}

int Report(Context& context, const char* command, const Failure& failure)
{
    fprintf(stderr, "qelsensors %s: %s\n", command, failure.message.c_str());
    if (context.json)
    {
        Json error = {{"command", command}, {"message", failure.message}};
        error["status"] = failure.status ? Json(*failure.status) : Json();
        error["statusName"] = failure.status ? Json(StatusName(*failure.status)) : Json();
        WriteJson(context.out, Json{{"schema", kJsonSchema}, {"error", error}});
    }
    return kExitFailure;
}

std::optional<Failure> CheckPhysMem()
{
    const std::string path = QelSys::SysPath("/dev/mem");
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0)
    {
        close(fd);
        return std::nullopt;
    }
    const int err = errno;
    // A locked-down kernel refuses the device but keeps its own copy of the table readable.
    if (access(QelSys::SysPath("/sys/firmware/dmi/tables/DMI").c_str(), R_OK) == 0)
        return std::nullopt;
    return DeviceFailure(path, err, "reading SMBIOS", false);
}

std::optional<Failure> CheckPortDevice()
{
    // Without the port device the chip drivers still start, and then every reading fails (a
    // hardware monitor error): said once here instead of once per sensor.
    const std::string path = QelSys::SysPath("/dev/port");
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0)
    {
        close(fd);
        return std::nullopt;
    }
    // Root refused (a kernel locked down under Secure Boot): the chips are read through their
    // kernel drivers, and each one that has none says so.
    if (errno == EPERM && geteuid() == 0)
        return std::nullopt;
    return DeviceFailure(path, errno, "reading the monitoring chips", true);
}

namespace
{
std::string g_logHint;
}  // namespace

void SetLibraryLogHint(const std::string& hint)
{
    g_logHint = hint;
}

std::string LibraryLogHint()
{
    if (!g_logHint.empty())
        return g_logHint;
    return "  the library log has the details (its level and file are set in " +
           QelSys::SysPath("/etc/tarn/log.conf") + ")";
}

void WriteJson(FILE* out, const Json& document)
{
    // Invalid UTF-8 from firmware strings is replaced rather than thrown on.
    const std::string text = document.dump(2, ' ', false, Json::error_handler_t::replace);
    fprintf(out, "%s\n", text.c_str());
}

std::string ScaledText(int64_t value, int32_t powerOfTen)
{
    char text[48];
    if (powerOfTen >= 0 && powerOfTen <= 9)
    {
        snprintf(text, sizeof(text), "%" PRId64, value * PowerOfTen(powerOfTen));
    }
    else if (powerOfTen < 0 && powerOfTen >= -9)
    {
        // Integer arithmetic: the digits the library gave, with the point set among them.
        const int64_t divisor = PowerOfTen(-powerOfTen);
        const uint64_t magnitude =
            value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        snprintf(text, sizeof(text), "%s%" PRIu64 ".%0*" PRIu64, value < 0 ? "-" : "",
                 magnitude / static_cast<uint64_t>(divisor), static_cast<int>(-powerOfTen),
                 magnitude % static_cast<uint64_t>(divisor));
    }
    else
    {
        snprintf(text, sizeof(text), "%" PRId64 "e%d", value, powerOfTen);
    }
    return text;
}

Json ScaledJson(int64_t value, int32_t powerOfTen)
{
    if (powerOfTen >= 0 && powerOfTen <= 9)
        return value * PowerOfTen(powerOfTen);
    // One division of exact integers: the nearest double to the decimal value, which prints as
    // the decimal itself (899 and -3 give 0.899, not 0.8990000000000001).
    if (powerOfTen < 0 && powerOfTen >= -18)
        return static_cast<double>(value) / static_cast<double>(std::pow(10.0, -powerOfTen));
    return static_cast<double>(value) * std::pow(10.0, powerOfTen);
}
AtomicFile::~AtomicFile()
{
    if (m_fd >= 0)
        close(m_fd);
    if (!m_temporary.empty())
        unlink(m_temporary.c_str());
}

std::optional<Failure> AtomicFile::Create(const std::string& path, mode_t mode)
{
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    const std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (base.empty())
        return Failure{path + ": names a directory, not a file", std::nullopt};
    std::string temporary = dir + "." + base + ".XXXXXX";
    m_fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (m_fd < 0)
        return Failure{"cannot create a file in " + dir + ": " + strerror(errno), std::nullopt};
    m_temporary = temporary;
    m_path = path;
    m_mode = mode;
    return std::nullopt;
}

std::optional<Failure> AtomicFile::Commit(const void* data, size_t size)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size)
    {
        const ssize_t n = write(m_fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Failure{"cannot write " + m_temporary + ": " + strerror(n < 0 ? errno : EIO),
                           std::nullopt};
        done += static_cast<size_t>(n);
    }
    if (fchmod(m_fd, m_mode) != 0 || fsync(m_fd) != 0)
        return Failure{"cannot write " + m_temporary + ": " + strerror(errno), std::nullopt};
    const int fd = m_fd;
    m_fd = -1;
    if (close(fd) != 0)
        return Failure{"cannot write " + m_temporary + ": " + strerror(errno), std::nullopt};
    if (rename(m_temporary.c_str(), m_path.c_str()) != 0)
        return Failure{"cannot replace " + m_path + ": " + strerror(errno), std::nullopt};
    m_temporary.clear();
    return std::nullopt;
}

}  // namespace QelTool
