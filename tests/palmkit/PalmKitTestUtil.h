// Temporary handheld directories and databases for the PalmKit tests.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/TestFiles.h"
#include "palmkit/HandheldStore.h"
#include "quillio/PdbFile.h"

namespace palmkit_test {

using ::TempDir;

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
