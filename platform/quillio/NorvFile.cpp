#include "quillio/NorvFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "seam/PrivateFiles.h"

CNorvFile::CNorvFile() = default;
CNorvFile::~CNorvFile() = default;

bool CNorvFile::Open(const char* path, const char* mode)
{
    Close();
    if (path == nullptr || mode == nullptr) return false;
    if (mode[0] != 'w' && mode[0] != 'a') {
        m_File.reset(std::fopen(path, mode));
        return m_File != nullptr;
    }
    // What it creates gets the mode of its folder (seam/PrivateFiles.h).
    int flags = std::strchr(mode, '+') ? O_RDWR : O_WRONLY;
    flags |= O_CREAT | (mode[0] == 'w' ? O_TRUNC : O_APPEND);
    if (std::strchr(mode, 'x')) flags |= O_EXCL;
    const int fd = platform::OpenFile(path, flags);
    if (fd < 0) return false;
    m_File.reset(::fdopen(fd, mode));
    if (!m_File) ::close(fd);
    return m_File != nullptr;
}

long CNorvFile::GetLength(const char* path)
{
    struct stat st {};
    if (path == nullptr || ::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return long(st.st_size);
}

int CNorvFile::Read(void* buffer, int count)
{
    if (!m_File || buffer == nullptr || count <= 0) return 0;
    return int(std::fread(buffer, 1, std::size_t(count), m_File.get()));
}

int CNorvFile::Write(const void* buffer, int count)
{
    if (!m_File || count <= 0) return 0;
    if (buffer == nullptr) return 0;
    return int(std::fwrite(buffer, 1, std::size_t(count), m_File.get()));
}

bool CNorvFile::WriteString(const char* text)
{
    if (!m_File || text == nullptr) return false;
    return std::fputs(text, m_File.get()) >= 0;
}

bool CNorvFile::Flush()
{
    return m_File && std::fflush(m_File.get()) == 0;
}

void CNorvFile::Close()
{
    m_File.reset();
}
