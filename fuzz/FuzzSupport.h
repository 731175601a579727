// What the fuzz targets share: an empty system root (so logging never touches the real
// configuration or log file), a check that aborts, and the input as an SMBIOS table.
#pragma once

#include "RawSMBios.h"
#include "SysRoot.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace QelFuzz
{
// A broken invariant is a finding.
inline void Check(bool condition)
{
    if (!condition)
        abort();
}

// Points QEL_SYSROOT at a fresh empty directory, once per process; removed at exit.
inline void UseEmptySysRoot()
{
    static char root[] = "/tmp/qel-fuzz-root-XXXXXX";
    static bool done = false;
    if (done)
        return;
    done = true;
    if (mkdtemp(root) == nullptr)
        return;
    setenv(QelSys::kSysRootVariable, root, 1);
    atexit([] { rmdir(root); });
}

// The input as the table raw holds, in a heap block of exactly its size, so AddressSanitizer
// reports the first byte read past it. False for an input longer than the table length the
// entry point can give (16 bits).
inline bool LoadTable(CRawSMBios& raw, const uint8_t* data, size_t size)
{
    if (size > 0xFFFF)
        return false;
    raw.m_pBytes = new uint8_t[size];
    if (size > 0)
        memcpy(raw.m_pBytes, data, size);
    raw.m_dwLength = static_cast<uint32_t>(size);
    raw.m_bInit = true;
    return true;
}
}  // namespace QelFuzz
