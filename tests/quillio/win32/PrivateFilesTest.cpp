// The access lists of private folders and of the files made in them, read
// back in SDDL, and folders made private once.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <fcntl.h>
#include <io.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "seam/PrivateFiles.h"
#include "../../common/TestFiles.h"
#include "../../common/win32/AccessList.h"

namespace {

std::wstring Wide(const std::string& path)
{
    return std::filesystem::path(path).wstring();
}

std::wstring Acl(const std::string& path)
{
    return AccessList(Wide(path));
}

// A folder made with the access list `sddl`, as another program could.
void MakeDirWith(const std::string& path, const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr));
    SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
    ASSERT_TRUE(::CreateDirectoryW(Wide(path).c_str(), &sa));
    ::LocalFree(sd);
}

std::string Native(std::string path)
{
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

void Write(const std::string& path)
{
    const int fd = platform::OpenFile(path, O_WRONLY | O_CREAT | O_TRUNC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::_write(fd, "data", 4), 4);
    ::_close(fd);
}

class PrivateFilesTest : public ::testing::Test {
protected:
    TempDir m_Tmp{"norv-acl"};
    const std::wstring m_User = UserSid();
    // Granted to the user and SYSTEM alone, and handed down.
    const std::wstring m_Folder = L"(A;OICI;FA;;;SY)(A;OICI;FA;;;USER)";
    const std::wstring m_File = L"(A;;FA;;;SY)(A;;FA;;;USER)";
};

TEST_F(PrivateFilesTest, AFolderAndEverythingMadeInsideGrantTheUserAndSystemAlone)
{
    ASSERT_FALSE(m_User.empty());
    const std::string home = m_Tmp / "home";
    const std::string user = home + "\\Anne";
    const platform::PrivateDir made = platform::MakePrivateDir(user); // its parent as usual
    ASSERT_TRUE(made.exists) << made.error;
    EXPECT_EQ(made.narrowed, "");
    EXPECT_EQ(made.error, "");
    EXPECT_EQ(Acl(user), m_Folder);
    EXPECT_TRUE(platform::IsPrivateDir(user));
    EXPECT_FALSE(platform::IsPrivateDir(m_Tmp.Path())); // the temporary folder is not

    // Through each way the programs make files: the file seam (a log, a
    // file made exclusively) and a unique file (each atomic replace).
    Write(user + "\\HotSync.log");
    const int excl = platform::OpenFile(user + "\\lock", O_WRONLY | O_CREAT | O_EXCL);
    ASSERT_GE(excl, 0);
    ::_close(excl);
    EXPECT_LT(platform::OpenFile(user + "\\lock", O_WRONLY | O_CREAT | O_EXCL), 0);
    std::string unique = user + "\\.new.XXXXXX";
    const int fd = platform::CreateUniqueFile(unique, platform::CreationMode(user));
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::_write(fd, "data", 4), 4);
    ::_close(fd);
    EXPECT_EQ(ReadAll(unique), "data");
    EXPECT_EQ(ReadAll(user + "\\HotSync.log"), "data");
    EXPECT_EQ(Acl(user + "\\HotSync.log"), m_File);
    EXPECT_EQ(Acl(user + "\\lock"), m_File);
    EXPECT_EQ(Acl(unique), m_File);
    // Outside a private folder a file is as the folder makes it.
    Write(m_Tmp / "export.pdb");
    EXPECT_NE(Acl(m_Tmp / "export.pdb"), m_File);

    // Made again: nothing to say.
    const platform::PrivateDir again = platform::MakePrivateDir(user);
    EXPECT_TRUE(again.exists);
    EXPECT_EQ(again.narrowed, "");
}

TEST_F(PrivateFilesTest, AFolderOpenToOthersIsClosedOnceAndSaysSo)
{
    const std::string open = m_Tmp / "open";
    // Everybody may read, as a folder of an earlier version might.
    MakeDirWith(open, (L"D:P(A;OICI;FA;;;" + m_User + L")(A;OICI;FR;;;WD)").c_str());
    const std::string old = open + "\\Orders.journal";
    {
        std::ofstream(old) << "x";
    }
    ASSERT_FALSE(platform::IsPrivateDir(open));
    const platform::PrivateDir made = platform::MakePrivateDir(open);
    ASSERT_TRUE(made.exists) << made.error;
    EXPECT_EQ(made.narrowed, "made " + Native(open) + " private (it was open to other accounts): it holds personal data")
        << made.error;
    EXPECT_EQ(Acl(open), m_Folder);
    EXPECT_TRUE(platform::IsPrivateDir(open));
    // A file written there earlier is closed when it is written again.
    Write(old);
    EXPECT_EQ(Acl(old), m_File);
    EXPECT_EQ(platform::MakePrivateDir(open).narrowed, "");
}

TEST_F(PrivateFilesTest, AFolderThatCannotBeMadeIsNamedWithTheReason)
{
    std::ofstream(m_Tmp / "file") << "x";
    const platform::PrivateDir made = platform::MakePrivateDir(m_Tmp / "file");
    EXPECT_FALSE(made.exists);
    EXPECT_EQ(made.error.rfind("cannot create " + Native(m_Tmp / "file") + ": ", 0), 0u) << made.error;
}

} // namespace
