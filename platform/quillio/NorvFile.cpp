#include "quillio/NorvFile.h"

#include <sys/stat.h>

CNorvFile::CNorvFile() = default;
CNorvFile::~CNorvFile() = default;

bool CNorvFile::Open(const char* path, const char* mode)
{
    Close();
    if (path == nullptr || mode == nullptr) return false;
    m_File.reset(std::fopen(path, mode));
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
