// Shared set-up of the client tests: messages loaded, a private registry,
// fresh source and destination directories.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/TestFiles.h"
#include "lexmo/Lexmo.h"
#include "winreg/WinReg.h"

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
