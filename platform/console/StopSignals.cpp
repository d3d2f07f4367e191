#include "seam/StopSignals.h"

#include <csignal>

namespace platform {

void CatchStopSignals(SignalHandler interrupt, SignalHandler terminate)
{
    struct sigaction sa {};
    sa.sa_handler = interrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    sa.sa_handler = terminate;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
}

void ResetStopSignals()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
}

int HangUpSignal()
{
    return SIGHUP;
}

} // namespace platform
