// How the HotSync Manager hands a handheld to the Sync Manager, the HotSync
// log and the install aide for the length of one synchronization.
#pragma once
#include <string>

#include "seam/Export.h"
#include "seam/Types.h"

namespace palmkit {

enum class AttachResult { Ok, NotAHandheld, Locked, AlreadyAttached };

// Locks the handheld directory and serves it to the Sync Manager. userDir is
// the HotSync user's directory (for the install queue), userName its name.
NORV_EXPORT AttachResult Attach(const std::string& handheldDir, const std::string& userDir,
                                const std::string& userName);
// Closes what the conduit left open (writing it back), forgets the
// registration, releases the lock. False when a database could not be
// written to the handheld during the synchronization.
NORV_EXPORT bool Detach();
// Closes what the conduit left open (writing it back), staying attached.
NORV_EXPORT void CloseLeftOpen();
// A closed database reaches its file shortly after the close, while the
// conduit goes on (the Sync Manager itself always serves the closed state).
// Waits until every closed database is in its file, for a reader of the files
// during a synchronization; false when one of them could not be written.
// A database deleted during a synchronization leaves the Sync Manager's view
// at once; its file goes at Detach, and only when every database written
// during the synchronization is in place (else it stays, and the HotSync log
// says so). Created again under the same name, it is replaced when the new
// one is closed, and stays if the new one is dropped.
NORV_EXPORT bool WaitForWrites();
NORV_EXPORT bool IsAttached();

// Called by SyncYieldCycles on the conduit's HotSync thread.
using YieldHook = void (*)(void* context);
NORV_EXPORT void SetYieldHook(YieldHook hook, void* context);

// Current local wall-clock time as seconds since 1904-01-01, the handheld's dates.
NORV_EXPORT DWORD PalmNow();
// "YYYY-MM-DD HH:MM:SS", or "-" for 0.
NORV_EXPORT std::string PalmDateText(DWORD palmDate);

} // namespace palmkit
