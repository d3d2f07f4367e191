// access-list.exe PATH: prints who may do what on a file or folder, in SDDL
// (tests/common/win32/AccessList.h), for the Wine tests to compare.
#include <cstdio>

#include "../common/win32/AccessList.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: access-list PATH\n");
        return 2;
    }
    const std::wstring list = AccessList(argv[1]);
    if (list == L"?") {
        std::fprintf(stderr, "access-list: cannot read the access list of %ls\n", argv[1]);
        return 1;
    }
    std::printf("%ls\n", list.c_str());
    return 0;
}
