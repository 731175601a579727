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
