// Windows: a folder that holds a user's data gets an access list granting the
// user and SYSTEM alone, cut off from what its parent grants and inherited by
// all that is created inside, so that each file is private from the moment it
// exists. Files are always opened in binary mode (a PDB file is bytes) and not
// inherited by child processes.
#include "seam/PrivateFiles.h"
#include "seam/UserFolders.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

namespace fs = std::filesystem;

namespace {

std::wstring Wide(const std::string& path)
{
    return fs::path(path).wstring();
}

std::string SystemText(DWORD code)
{
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = n > 0 && text ? std::string(text, n) : "error " + std::to_string(code);
    if (text) ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.' || out.back() == ' '))
        out.pop_back();
    return out;
}

struct LocalDeleter {
    void operator()(void* p) const { ::LocalFree(p); }
};
template <typename T>
using LocalPtr = std::unique_ptr<T, LocalDeleter>;

// The running account's SID as text ("S-1-5-21-..."), empty when unknown.
const std::wstring& UserSidText()
{
    static const std::wstring sid = [] {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return std::wstring();
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::unique_ptr<BYTE[]> buffer(new BYTE[size ? size : 1]);
        std::wstring text;
        wchar_t* sidText = nullptr;
        if (size && ::GetTokenInformation(token, TokenUser, buffer.get(), size, &size) &&
            ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid, &sidText)) {
            text = sidText;
            ::LocalFree(sidText);
        }
        ::CloseHandle(token);
        return text;
    }();
    return sid;
}

// Full control for the user and SYSTEM, nothing from the parent ("P"); a
// folder's is inherited by the files and folders made inside.
LocalPtr<void> PrivateDescriptor(bool folder = true)
{
    if (UserSidText().empty()) return nullptr;
    const std::wstring flags = folder ? L"OICI" : L"";
    const std::wstring sddl =
        L"D:P(A;" + flags + L";FA;;;" + UserSidText() + L")(A;" + flags + L";FA;;;SY)";
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
        return nullptr;
    return LocalPtr<void>(sd);
}

// Whether the access list of `path` lets no account but the user and SYSTEM
// in. Deny entries only narrow it; a missing list lets everybody in.
bool GrantsUserAlone(const std::string& path)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (::GetNamedSecurityInfoW(Wide(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                &dacl, nullptr, &raw) != ERROR_SUCCESS)
        return false;
    const LocalPtr<void> sd(raw);
    if (dacl == nullptr || UserSidText().empty()) return false;
    PSID user = nullptr;
    if (!::ConvertStringSidToSidW(UserSidText().c_str(), &user)) return false;
    const LocalPtr<void> userSid(user);
    BYTE systemBuffer[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof systemBuffer;
    BYTE creatorBuffer[SECURITY_MAX_SID_SIZE];
    DWORD creatorSize = sizeof creatorBuffer;
    if (!::CreateWellKnownSid(WinLocalSystemSid, nullptr, systemBuffer, &systemSize) ||
        !::CreateWellKnownSid(WinCreatorOwnerSid, nullptr, creatorBuffer, &creatorSize))
        return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* raw_ace = nullptr;
        if (!::GetAce(dacl, i, &raw_ace)) return false;
        const auto* header = static_cast<const ACE_HEADER*>(raw_ace);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
        PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(raw_ace)->SidStart;
        if (::EqualSid(sid, user) || ::EqualSid(sid, systemBuffer)) continue;
        // The creator stands for the user in what is created inside.
        if ((header->AceFlags & INHERIT_ONLY_ACE) && ::EqualSid(sid, creatorBuffer)) continue;
        return false;
    }
    return true;
}

// Creates the file `path` with the private access list. Windows would hand
// the folder's down by itself; not every file system keeps access lists
// (Wine keeps mode bits), so the list is the file's own from the start.
bool CreatePrivateFile(const std::string& path)
{
    const LocalPtr<void> sd = PrivateDescriptor(false);
    SECURITY_ATTRIBUTES sa{sizeof sa, sd.get(), FALSE};
    const HANDLE h = ::CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, sd ? &sa : nullptr,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(h);
    return true;
}

// Puts the private access list on `path`; the system's reason when it fails.
// SetNamedSecurityInfo also hands it down to what the folder holds; where it
// changes nothing (Wine), the file's own security is set.
DWORD MakePrivate(const std::string& path, bool folder)
{
    const LocalPtr<void> sd = PrivateDescriptor(folder);
    if (!sd) return ::GetLastError() ? ::GetLastError() : ERROR_INVALID_SID;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    if (!::GetSecurityDescriptorDacl(sd.get(), &present, &dacl, &defaulted)) return ::GetLastError();
    std::wstring wide = Wide(path);
    const DWORD rc = ::SetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT,
                                             DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                             nullptr, dacl, nullptr);
    if (rc == ERROR_SUCCESS && GrantsUserAlone(path)) return rc;
    if (!::SetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, sd.get())) return ::GetLastError();
    return ERROR_SUCCESS;
}

bool IsDirectory(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string DirOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 || path[slash - 1] == ':' ? slash + 1 : slash);
}

} // namespace

namespace platform {

bool IsPrivateDir(const std::string& dir)
{
    return IsDirectory(dir) && GrantsUserAlone(dir);
}

mode_t CreationMode(const std::string&, NewFileMode)
{
    return _S_IREAD | _S_IWRITE;
}

int OpenFile(const std::string& path, int flags)
{
    const bool exists = ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!exists && (flags & _O_CREAT) && IsPrivateDir(DirOf(path)) && CreatePrivateFile(path))
        flags &= ~(_O_CREAT | _O_EXCL);
    // A file written before its folder was made private: Windows hands the
    // folder's list down to it, but not every file system does.
    else if (exists && (flags & (_O_WRONLY | _O_RDWR)) != 0 && !GrantsUserAlone(path) && IsPrivateDir(DirOf(path)))
        MakePrivate(path, false);
    return ::_open(path.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

int CreateUniqueFile(std::string& pathTemplate, mode_t)
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static constexpr std::size_t kRandom = 6;
    if (pathTemplate.size() < kRandom || pathTemplate.compare(pathTemplate.size() - kRandom, kRandom, "XXXXXX") != 0) {
        errno = EINVAL;
        return -1;
    }
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    const bool closed = IsPrivateDir(DirOf(pathTemplate));
    for (int attempt = 0; attempt < 1000; ++attempt) {
        for (std::size_t i = pathTemplate.size() - kRandom; i < pathTemplate.size(); ++i)
            pathTemplate[i] = kLetters[pick(random)];
        if (closed) {
            // Made here, private, and never by anybody else.
            if (CreatePrivateFile(pathTemplate))
                return ::_open(pathTemplate.c_str(), _O_RDWR | _O_BINARY | _O_NOINHERIT);
            if (::GetLastError() == ERROR_FILE_EXISTS || ::GetLastError() == ERROR_ALREADY_EXISTS) continue;
        }
        const int fd = ::_open(pathTemplate.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                               _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

PrivateDir MakePrivateDir(const std::string& dir)
{
    PrivateDir out;
    const std::string shown = platform::NativePath(dir);
    auto fail = [&](const std::string& what, const std::string& why) {
        out.error = what + ": " + why;
        return out;
    };
    if (::GetFileAttributesW(Wide(dir).c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::error_code ec;
        const fs::path parent = fs::path(dir).parent_path();
        if (!parent.empty()) fs::create_directories(parent, ec);
        if (ec) return fail("cannot create " + platform::NativePath(parent.string()), ec.message());
        // Private from its creation: nothing is ever written in it open.
        const LocalPtr<void> sd = PrivateDescriptor();
        SECURITY_ATTRIBUTES sa{sizeof sa, sd.get(), FALSE};
        if (!::CreateDirectoryW(Wide(dir).c_str(), sd ? &sa : nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return fail("cannot create " + shown, SystemText(::GetLastError()));
    }
    if (!IsDirectory(dir)) return fail("cannot create " + shown, std::strerror(ENOTDIR));
    out.exists = true;
    if (GrantsUserAlone(dir)) return out;
    if (const DWORD rc = MakePrivate(dir, true); rc != ERROR_SUCCESS)
        return fail("cannot make " + shown + " private", SystemText(rc));
    if (!GrantsUserAlone(dir)) return fail("cannot make " + shown + " private", SystemText(ERROR_ACCESS_DENIED));
    out.narrowed = "made " + shown + " private (it was open to other accounts): it holds personal data";
    return out;
}

} // namespace platform
