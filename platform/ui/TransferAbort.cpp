#include "seam/TransferAbort.h"

#include <atomic>

namespace platform {

namespace {
static_assert(std::atomic<bool>::is_always_lock_free, "set from signal handlers");
std::atomic<bool> g_aborted{false};
} // namespace

void AbortTransfers() noexcept { g_aborted.store(true); }
bool TransfersAborted() noexcept { return g_aborted.load(); }
void ResumeTransfers() noexcept { g_aborted.store(false); }

} // namespace platform
