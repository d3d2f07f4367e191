#include "seam/StopSignals.h"

#include <csignal>

namespace platform {

// The C runtime turns Ctrl-C into SIGINT and Ctrl-Break or the console's
// closing into SIGBREAK; SIGTERM comes only from raise().
void CatchStopSignals(SignalHandler interrupt, SignalHandler terminate)
{
    std::signal(SIGINT, interrupt);
    std::signal(SIGTERM, terminate);
    std::signal(SIGBREAK, terminate);
}

void ResetStopSignals()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGBREAK, SIG_DFL);
}

int HangUpSignal()
{
    return SIGBREAK;
}

} // namespace platform
