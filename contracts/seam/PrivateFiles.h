// Files and folders that hold a user's data are closed to other accounts.
// A folder closed to group and others is "private"; a file created in one is
// created 0600, whatever the umask; elsewhere a file gets 0666 less the umask.
#pragma once
#include <sys/types.h>

#include <string>

#include "seam/Export.h"

namespace platform {

// Whom a new file is for: as its folder decides, or (a file meant to be
// shared, such as an export) the umask alone.
enum class NewFileMode { AsFolder, Umask };

// True when `dir` is a folder that grants group and others nothing.
NORV_EXPORT bool IsPrivateDir(const std::string& dir);

// The mode to create a file of `dir` with; the umask still applies.
NORV_EXPORT mode_t CreationMode(const std::string& dir, NewFileMode mode = NewFileMode::AsFolder);

// open(2) of `path`, close-on-exec; a file it creates gets the creation mode
// of its folder. A file opened for writing in a private folder loses what it
// grants group and others.
NORV_EXPORT int OpenFile(const std::string& path, int flags);

// mkstemp(3) with a mode: replaces the trailing "XXXXXX" of `pathTemplate`
// and creates that file exclusively, open for reading and writing.
NORV_EXPORT int CreateUniqueFile(std::string& pathTemplate, mode_t mode);

struct PrivateDir {
    bool exists = false;    // `dir` is a folder now
    std::string narrowed;   // the line that says it was made private, or empty
    std::string error;      // why it could not be created or made private
};

// Creates `dir` private, its missing parents with the usual modes. An
// existing folder that grants group or others anything loses it, and
// `narrowed` says so; the owner's bits stay as they are.
NORV_EXPORT PrivateDir MakePrivateDir(const std::string& dir);

} // namespace platform
