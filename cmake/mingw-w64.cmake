# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads, so
# std::thread and std::shared_mutex work). Used by `make windows`.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(NORV_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${NORV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NORV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${NORV_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NORV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine (Debian keeps wine64 out of PATH).
find_program(NORV_WINE64 wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${NORV_WINE64})
