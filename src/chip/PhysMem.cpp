#include "PhysMem.h"

#include "SysRoot.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

CPhysMemFile::~CPhysMemFile()
{
    Close();
}

bool CPhysMemFile::Open()
{
    Close();
    m_fd = open(QelSys::SysPath("/dev/mem").c_str(), O_RDONLY | O_CLOEXEC);
    return m_fd >= 0;
}

void CPhysMemFile::Close()
{
    if (m_fd >= 0)
    {
        int saved = errno;  // callers log errno after closing
        close(m_fd);
        errno = saved;
        m_fd = -1;
    }
}

CPhysMemMapping::~CPhysMemMapping()
{
    Unmap();
}

bool CPhysMemMapping::Map(const CPhysMemFile& file, uint64_t qwBase, size_t length)
{
    Unmap();
    if (file.Fd() < 0)
    {
        errno = EBADF;
        return false;
    }
    if (length == 0)
    {
        errno = EINVAL;
        return false;
    }
    struct stat st;
    if (fstat(file.Fd(), &st) != 0)
        return false;
    if (S_ISREG(st.st_mode))
    {
        uint64_t size = static_cast<uint64_t>(st.st_size);
        if (qwBase > size || length > size - qwBase)
        {
            errno = ENXIO;
            return false;
        }
    }
    void* p = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, file.Fd(), static_cast<off_t>(qwBase));
    if (p == MAP_FAILED)
        return false;
    m_pBytes = static_cast<const uint8_t*>(p);
    m_length = length;
    return true;
}

void CPhysMemMapping::Unmap()
{
    if (m_pBytes != nullptr)
    {
        int saved = errno;
        munmap(const_cast<uint8_t*>(m_pBytes), m_length);
        errno = saved;
        m_pBytes = nullptr;
        m_length = 0;
    }
}

int ReadFirmwareFile(const char* path, size_t limit, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    const int fd = open(QelSys::SysPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    // Sysfs binary files report no useful size: read until the end, one byte past the limit.
    uint8_t chunk[4096];
    int result = 0;
    for (;;)
    {
        const ssize_t got = read(fd, chunk, sizeof(chunk));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
        {
            result = errno;
            break;
        }
        if (got == 0)
            break;
        if (static_cast<size_t>(got) > limit - bytes.size())
        {
            result = EFBIG;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    close(fd);
    if (result != 0)
        bytes.clear();
    return result;
}
