// A small general registry class: a root, a current key path below it, and
// string and binary values of that key. Results are booleans or defaults; no
// key is kept open between calls.
#pragma once
#include <string>

#include "winreg/WinReg.h"

class CRegAccess {
public:
    CRegAccess() = default;
    ~CRegAccess();
    CRegAccess(const CRegAccess&) = delete;
    CRegAccess& operator=(const CRegAccess&) = delete;

    // Accepts HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and
    // HKEY_USERS only; anything else is refused and the root kept.
    bool SetRootKey(HKEY root);
    // An empty path clears the current path. Otherwise creates or opens the key
    // with full access; on success it becomes the current path.
    bool SetKey(std::string path, bool create);
    // The value's registry type, 0 when the key or value cannot be read.
    DWORD GetValueType(std::string name);
    // The value's text when it is a string that fits in 255 bytes, else `def`.
    std::string ReadString(std::string name, std::string def);
    // Refuses texts longer than 254 characters; writes a REG_SZ with its zero.
    bool WriteString(std::string name, std::string text);
    // Four bytes, least significant first, as REG_BINARY.
    bool WriteBinaryDword(std::string name, DWORD value);

    // When false, every successful write or key creation is flushed at once.
    void SetLazyWrite(bool lazy) { m_LazyWrite = lazy; }
    bool GetLazyWrite() const { return m_LazyWrite; }
    HKEY GetRootKey() const { return m_RootKey; }
    const std::string& GetKey() const { return m_KeyPath; }
    // Result of the last open or creation of a key.
    LSTATUS GetLastError() const { return m_LastError; }

private:
    void Flush(HKEY key);

    LSTATUS m_LastError = ERROR_SUCCESS;
    HKEY m_RootKey = HKEY_CURRENT_USER;
    bool m_LazyWrite = true;
    std::string m_KeyPath;
};
