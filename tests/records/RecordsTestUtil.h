// Helpers for the record library tests.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/TestFiles.h"
#include "seam/Types.h"
#include "quillio/PdbRecord.h"
#include "records/PdbPackedRecord.h"

inline std::vector<BYTE> BytesOf(const CPdbPackedRecord& rec)
{
    return std::vector<BYTE>(rec.Buffer(), rec.Buffer() + rec.Size());
}

inline void Append(std::vector<BYTE>& v, const std::string& s, bool zero = true)
{
    v.insert(v.end(), s.begin(), s.end());
    if (zero) v.push_back(0);
}

inline void Put16(std::vector<BYTE>& v, unsigned x)
{
    v.push_back(BYTE(x >> 8));
    v.push_back(BYTE(x));
}

inline void Put32(std::vector<BYTE>& v, unsigned x)
{
    for (int s = 24; s >= 0; s -= 8) v.push_back(BYTE(x >> s));
}

inline CPdbRecord RecordOf(const CPdbPackedRecord& rec)
{
    return CPdbRecord(rec.Buffer(), rec.Size());
}

// A folder of this test process only, removed when the process ends, so
// that test programs running side by side never share a file.
inline const std::string& TestDir()
{
    static const TempDir folder("recshelf-test");
    static const std::string text = folder.Path() + "/";
    return text;
}

inline std::string WriteTempFile(const std::string& name, const std::string& content)
{
    std::string path = TestDir() + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
    return path;
}
