// Shared set-up of the client tests: messages loaded, a private registry,
// fresh source and destination directories.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "lexmo/Lexmo.h"
#include "winreg/WinReg.h"

class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "ferrylink-test.XXXXXX").string();
        if (mkdtemp(tmpl.data())) m_Path = tmpl;
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!m_Path.empty()) std::filesystem::remove_all(m_Path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_Path; }
    std::string operator/(const std::string& name) const { return m_Path + "/" + name; }

private:
    std::string m_Path;
};

inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

class FerrylinkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        KESA_LoadMessages("Lexmo.dll");
        static TempDir registry;
        winreg::SetStorePath(registry / "registry.db");
    }
    TempDir m_Src;
    TempDir m_Dst;
};
