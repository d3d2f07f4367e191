// The settings a fresh installation starts from (share/norvelia/defaults.reg):
// the product key, its servers and Users. The first program that finds them
// missing applies them once, adding only what is absent and never MsgDll, so
// that nothing the user set is overwritten and the language stays theirs.
#pragma once
#include <string>
#include <vector>

class CShippedDefaults {
public:
    struct Result {
        bool applied = false;             // the store lacked them and now holds them
        std::string file;                 // the defaults file read
        std::vector<std::string> servers; // "name url" of each server added
        std::string error;                // why they could not be applied
    };

    // The installed defaults.reg: $NORVELIA_MSGDIR, then beside the program's
    // share/norvelia, then the source tree's; empty when none is found.
    static std::string DefaultsFile();
    // Whether the store lacks the product key or its Servers key.
    static bool Missing();
    // Applies `file` when Missing(), in one transaction: keys created, values
    // written only where absent, MsgDll left out. Does nothing otherwise.
    static Result ApplyIfMissing(const std::string& file = DefaultsFile());
};
