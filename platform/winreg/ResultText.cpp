// What a registry result code means, in words, for messages and logs.
#include "winreg/WinReg.h"

namespace winreg {

std::string ResultText(LSTATUS code)
{
    switch (code) {
    case ERROR_SUCCESS:
        return "success";
    case ERROR_FILE_NOT_FOUND:
        return "not found";
    case ERROR_ACCESS_DENIED:
        return "access denied";
    case ERROR_INVALID_HANDLE:
        return "invalid key handle";
    case ERROR_INVALID_FUNCTION:
        return "operation abandoned";
    case ERROR_OUTOFMEMORY:
        return "out of memory";
    case ERROR_INVALID_PARAMETER:
        return "invalid parameter";
    case ERROR_BAD_PATHNAME:
        return "invalid key path";
    case ERROR_MORE_DATA:
        return "more data than the buffer holds";
    case ERROR_NO_MORE_ITEMS:
        return "no more items";
    case ERROR_BADDB:
        return "the settings store is damaged or is not a settings store";
    case ERROR_CANTOPEN:
        return "the settings store cannot be opened";
    case ERROR_CANTREAD:
        return "the settings store cannot be read (busy or unreadable)";
    case ERROR_CANTWRITE:
        return "the settings store cannot be written (busy, read-only or full)";
    case ERROR_KEY_DELETED:
        return "the key has been deleted";
    default:
        return "error " + std::to_string(code);
    }
}

} // namespace winreg
