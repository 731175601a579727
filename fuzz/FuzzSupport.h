// What the fuzz targets share: an empty system root (so logging never touches the real
// configuration or log file), files written below it, a check that aborts, and the input as an
// SMBIOS table.
#pragma once

#include "RawSMBios.h"
#include "SysRoot.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace QelFuzz
{
// A broken invariant is a finding.
inline void Check(bool condition)
{
    if (!condition)
        abort();
}

// Points QEL_SYSROOT at a fresh empty directory, once per process, and returns it; removed with
// whatever the target wrote below it at exit. In memory where there is a tmpfs: a disk file
// system flushes a file rewritten in place on every close, which would cost the targets that
// write files most of their speed.
inline const char* UseEmptySysRoot()
{
    static char root[64];
    if (root[0] != '\0')
        return root;
    const bool shm = access("/dev/shm", W_OK) == 0;
    snprintf(root, sizeof(root), "%s/qel-fuzz-root-XXXXXX", shm ? "/dev/shm" : "/tmp");
    Check(mkdtemp(root) != nullptr);
    setenv(QelSys::kSysRootVariable, root, 1);
    atexit(
        []
        {
            nftw(
                root, [](const char* path, const struct stat*, int, FTW*) { return remove(path); }, 16,
                FTW_DEPTH | FTW_PHYS);
        });
    return root;
}

// The path of a machine path below the root ("/etc/tarn/sensor.conf"), its directories made.
inline std::string PathBelowRoot(const std::string& machinePath)
{
    const std::string path = UseEmptySysRoot() + machinePath;
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0755);
    return path;
}

// Replaces the file's contents with the bytes.
inline void WriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Check(fd >= 0);
    Check(size == 0 || write(fd, data, size) == static_cast<ssize_t>(size));
    close(fd);
}

// Sends the library's progress lines on standard output to /dev/null; they would drown the
// fuzzer's own.
inline void SilenceStandardOutput()
{
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0)
    {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
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
