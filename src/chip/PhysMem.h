// Read-only access to physical memory through "/dev/mem".
//
// The SMBIOS table copy and the event-log area both map physical memory; this is the one place
// that opens the device and maps it. In tests and on the simulator "/dev/mem" is a sparse regular
// file under the system root, where mapping past the file's end would raise SIGBUS on the first
// read instead of failing: such a mapping is refused up front, so callers see an ordinary mmap
// failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The open device. Closed by Close or, at the latest, by the destructor.
class CPhysMemFile
{
public:
    CPhysMemFile() = default;
    ~CPhysMemFile();
    CPhysMemFile(const CPhysMemFile&) = delete;
    CPhysMemFile& operator=(const CPhysMemFile&) = delete;

    // Opens "/dev/mem" read-only; false with errno set.
    bool Open();
    void Close();
    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
};

// One read-only, private mapping. Unmapped by Unmap or, at the latest, by the destructor.
class CPhysMemMapping
{
public:
    CPhysMemMapping() = default;
    ~CPhysMemMapping();
    CPhysMemMapping(const CPhysMemMapping&) = delete;
    CPhysMemMapping& operator=(const CPhysMemMapping&) = delete;

    // Maps length bytes from the page-aligned physical address qwBase; false with errno set
    // (ENXIO when the backing regular file ends before the region does).
    bool Map(const CPhysMemFile& file, uint64_t qwBase, size_t length);
    void Unmap();

    const uint8_t* Bytes() const { return m_pBytes; }
    size_t Length() const { return m_length; }

private:
    const uint8_t* m_pBytes = nullptr;
    size_t m_length = 0;
};

// The kernel's copies of firmware memory under /sys/firmware (the SMBIOS table, the event-log
// area), which stay readable where "/dev/mem" is refused (a kernel locked down under Secure
// Boot). Reads the whole file at the absolute fixed path, at most limit bytes: 0, the errno of a
// failed open or read, or EFBIG when the file holds more than limit bytes.
int ReadFirmwareFile(const char* path, size_t limit, std::vector<uint8_t>& bytes);
