// What the conduit library keeps for the whole process between runs: the
// directory that was current when it was loaded, the module its strings come
// from and the count of its start-ups.
#pragma once
#include <string>

#include "palmkit/PalmKitInit.h"

// First start-up loads the language resources and the kit's libraries.
void ConduitStartup();
// Last shut-down releases the language resources.
void ConduitShutdown();
int ConduitUseCount();

// The current directory at start-up, ending with "/".
std::string ConduitLoadDirectory();
// The module of the conduit's strings: the language catalog, or the conduit itself.
PALMMODULE ConduitResourceModule();
// String `id` of the resource module, else the conduit's built-in text.
std::string ConduitString(unsigned id);
