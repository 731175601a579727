// What the commands of qelsensors share: the names of the library's status codes, the checks of
// the device files the library needs, one way to report a failure (in text or JSON), and JSON
// output.
#pragma once

#include "Commands.h"
#include "SensorInterface.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <sys/types.h>

namespace QelTool
{
// Keys keep the order they were written in, so documents read the same every time.
using Json = nlohmann::ordered_json;

// The version of every JSON document's layout; raised only when a field changes meaning or goes.
constexpr int kJsonSchema = 1;

// "unsupported system", "invalid handle", ...; "unknown status" for a code the library does not
// produce.
const char* StatusName(SENSOR_STATUS status);
// "unsupported system (14)".
std::string StatusText(SENSOR_STATUS status);

// What kept a command from its result: a message (its first line says what failed, further
// lines, indented by two blanks, what to do) and the library status behind it, if any.
struct Failure
{
    std::string message;
    std::optional<SENSOR_STATUS> status;
};

// Writes "qelsensors COMMAND: message" to standard error and, with --json, an error document to
// the output; returns kExitFailure.
int Report(Context& context, const char* command, const Failure& failure);

// The physical memory device opens for reading; otherwise why not and what to do.
std::optional<Failure> CheckPhysMem();
// The port device opens for reading and writing; otherwise why not and what to do.
std::optional<Failure> CheckPortDevice();

// "  the library log has the details (...)": the hint that ends most failures.
std::string LibraryLogHint();
// Replaces that hint, for a machine whose log goes with it (a dump decoded in a temporary root).
void SetLibraryLogHint(const std::string& hint);

// A file written beside its final name and renamed onto it only when it is whole, so a reader sees
// the old file or the new one, never a part, and a failure leaves nothing behind. The temporary
// file is hidden and ends in random letters (node_exporter's textfile collector reads every
// *.prom of its directory); the result has the mode given, whatever the umask: readable by all by
// default (the exporter runs as a user of its own). Create before the work, so that a directory
// that cannot be written fails first.
class AtomicFile
{
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    std::optional<Failure> Create(const std::string& path, mode_t mode = 0644);
    std::optional<Failure> Commit(const void* data, size_t size);

private:
    int m_fd = -1;
    mode_t m_mode = 0644;
    std::string m_temporary;
    std::string m_path;
};

// One document, pretty-printed, with a final newline.
void WriteJson(FILE* out, const Json& document);

// An integer reading or limit scaled by a power of ten, as text ("0.899", "-12.000", "2600") and
// as a JSON number.
std::string ScaledText(int64_t value, int32_t powerOfTen);
Json ScaledJson(int64_t value, int32_t powerOfTen);
}  // namespace QelTool
