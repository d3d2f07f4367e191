// Temporary handheld directories and databases for the PalmKit tests.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>

#include "palmkit/HandheldStore.h"
#include "quillio/PdbFile.h"

namespace palmkit_test {

class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "palmkit-XXXXXX").string();
        m_Path = ::mkdtemp(tmpl.data());
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_Path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_Path; }

private:
    std::string m_Path;
};

inline void AddRecord(CPdbFile& f, BYTE attrib, DWORD id, const std::string& data)
{
    auto r = std::make_unique<CPdbRecord>(reinterpret_cast<const BYTE*>(data.data()), long(data.size()));
    r->m_UniqueId = id;
    f.m_RecordSet.AddRecord(std::move(r), attrib);
}

inline void SaveDb(const std::string& dir, const CPdbFile& f)
{
    CHandheldStore store(dir);
    store.Save(f);
}

} // namespace palmkit_test
