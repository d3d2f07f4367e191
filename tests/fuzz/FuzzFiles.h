// A private folder per fuzz process, for targets whose parsers read files;
// removed when the process ends.
#pragma once
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class FuzzFolder {
public:
    FuzzFolder()
    {
        std::string tmpl = std::filesystem::temp_directory_path().string() + "/norvfuzz.XXXXXX";
        if (!::mkdtemp(tmpl.data())) std::abort();
        m_Dir = tmpl;
    }
    ~FuzzFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_Dir, ec);
    }
    const std::string& Dir() const { return m_Dir; }

private:
    std::string m_Dir;
};

inline const std::string& FuzzDir()
{
    static const FuzzFolder folder;
    return folder.Dir();
}

inline std::string WriteFuzzFile(const std::string& name, const void* data, size_t size)
{
    std::string path = FuzzDir() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), std::streamsize(size));
    return path;
}
