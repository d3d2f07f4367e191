// The kit's library initialisations and the language-resource loader.
#pragma once
#include <cstddef>

#include "seam/Export.h"

// A module from which a conduit takes its strings.
using PALMMODULE = void*;

extern "C" {
// The table and common-dialog libraries; 0 on success.
NORV_EXPORT long InitTables5DLL();
NORV_EXPORT long InitPdcmn5DLL();

// Loads the language resources named `libraryName` ("NORVCONDLANG.DLL" looks
// for a catalog "NORVCONDLANG.msg" in $NORVELIA_MSGDIR, then beside the
// program in ../share/norvelia, then in the source tree's catalog folder).
// Returns the loaded module, or `self` when there is none. `work` may be null.
NORV_EXPORT PALMMODULE PalmLoadLanguage(const char* libraryName, PALMMODULE self, char* work,
                                        std::size_t workSize);
// Releases a module returned by PalmLoadLanguage (nothing for `self`).
NORV_EXPORT void PalmFreeLanguage(PALMMODULE module, PALMMODULE self);
// Copies string `id` of a loaded module into `buffer` (zero-terminated, cut to
// fit). Returns its length, 0 when the module has no such string.
NORV_EXPORT int PalmLoadString(PALMMODULE module, unsigned id, char* buffer, int bufferSize);
}
