// Shared libraries build with hidden visibility; exported names carry this mark.
#pragma once
#ifdef _WIN32
// A DLL without any dllexport mark exports all its symbols and its users
// import them by name: one header serves the library and its users.
#define NORV_EXPORT
#else
#define NORV_EXPORT __attribute__((visibility("default")))
#endif
