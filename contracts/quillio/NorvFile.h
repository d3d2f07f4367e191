// A plain file, opened with stdio modes. A file it creates is private in a
// private folder (seam/PrivateFiles.h).
#pragma once
#include <cstdio>
#include <memory>
#include <string>

#include "seam/Export.h"

class NORV_EXPORT CNorvFile {
public:
    CNorvFile();
    ~CNorvFile();
    CNorvFile(const CNorvFile&) = delete;
    CNorvFile& operator=(const CNorvFile&) = delete;

    bool Open(const char* path, const char* mode);
    bool IsOpen() const { return m_File != nullptr; }
    // Byte length of the named file; -1 when it cannot be read.
    static long GetLength(const char* path);
    int Read(void* buffer, int count);
    int Write(const void* buffer, int count);
    bool WriteString(const char* text);
    bool Flush();
    void Close();

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> m_File;
};
