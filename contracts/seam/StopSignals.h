// The signals that stop a console program's run: Ctrl-C, and the requests to
// end it (SIGTERM, and SIGHUP where there is one), one implementation per
// platform (a static library, not exported).
#pragma once

namespace platform {

using SignalHandler = void (*)(int);

// Ctrl-C goes to `interrupt`, the requests to end to `terminate`; system
// calls under way go on.
void CatchStopSignals(SignalHandler interrupt, SignalHandler terminate);
// Back to the system's default for all of them.
void ResetStopSignals();
// The number of the hang-up signal (the console closed on Windows).
int HangUpSignal();

} // namespace platform
