// Where the running program lies: the libraries look for their catalogs and
// companions relative to it. Linked into each library that needs it (a
// static library, not exported).
#pragma once
#include <string>

namespace platform {

// The full path of the running program's file, or empty when unknown.
std::string ProgramPath();

} // namespace platform
