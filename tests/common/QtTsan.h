// ThreadSanitizer cannot see inside Qt, which is not built with it: the Qt
// Test watchdog thread and its wait condition are reported as racing with the
// test runner. Reports name only the frames that were built with the checker,
// plus the direct caller of an intercepted call, so these entries match Qt's
// own calls and never a race in the code under test.
// Included by one source of each Qt test program.
#pragma once

#if defined(__SANITIZE_THREAD__)
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions()
{
    return "race:QWaitCondition::~QWaitCondition\n"
           "race:libQt6Test.so\n"
           // Qt's own copies and releases on its thread pool's threads (a
           // shown window's images are converted in parts): only calls that
           // Qt's libraries make themselves match, as above.
           "race:libQt6Core.so\n"
           "race:libQt6Gui.so\n";
}
#endif
