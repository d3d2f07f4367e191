// A process-wide request to stop every transfer with the service at once: the
// program was asked to end (SIGTERM, SIGHUP) and must not wait for a slow
// answer. Setting it is safe from a signal handler.
#pragma once
#include "seam/Export.h"

namespace platform {

NORV_EXPORT void AbortTransfers() noexcept;
NORV_EXPORT bool TransfersAborted() noexcept;
// Lets transfers run again (a new run in the same process).
NORV_EXPORT void ResumeTransfers() noexcept;

} // namespace platform
