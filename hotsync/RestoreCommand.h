// `hotsync restore`: lists a user's backups, and puts one back onto a
// handheld once it has shown what that replaces and the person agreed, the
// handheld as it was backed up first.
#pragma once
#include <string>

class CRestoreCommand {
public:
    struct Args {
        std::string home; // empty: $HOTSYNC_HOME, else the default
        std::string user, handheld, from;
        int generation = 0; // 0: not given
        bool list = false;
        bool yes = false; // restore without asking
    };

    // The exit status: 0 done, 1 a database could not be written or nothing
    // was restored, 2 a usage error or no such backup, 3 the handheld is busy.
    static int Run(const Args& a);

    // "the last 3 backups", as the lists and `configure --backups` say it.
    static std::string KeptText(int keep);
};
