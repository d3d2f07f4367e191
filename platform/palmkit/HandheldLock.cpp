#include "palmkit/HandheldLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

CHandheldLock::~CHandheldLock()
{
    Release();
}

CHandheldLock::Result CHandheldLock::Acquire(const std::string& dir)
{
    Release();
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Result::NotADirectory;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return Result::Busy;
    }
    m_Fd = fd;
    return Result::Locked;
}

void CHandheldLock::Release()
{
    if (m_Fd >= 0) {
        ::flock(m_Fd, LOCK_UN);
        ::close(m_Fd);
        m_Fd = -1;
    }
}
