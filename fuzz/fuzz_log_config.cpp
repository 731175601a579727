// The log configuration reader on arbitrary bytes: it must neither read out of bounds nor leave
// a setting outside its range.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "LogHandler.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Every handler starts from the defaults, never from the machine's own configuration.
    setenv("QEL_SYSROOT", "/nonexistent/qel-fuzz-log-config", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (file == nullptr)
        return 0;
    FileLogHandler handler;
    handler.ReadConfig(file);
    fclose(file);

    if (handler.GetLevel() < LOG_OFF || handler.GetLevel() > LOG_TRACE || handler.GetMaxLength() < 4096 ||
        handler.GetFileName().empty() || handler.IsStopped())
        abort();
    return 0;
}
