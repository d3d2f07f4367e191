// The local clock's offset from UTC, under zones set through TZ.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "seam/LocalClock.h"

namespace {

#ifdef _WIN32
void ReadZone() { ::_tzset(); }
#else
void ReadZone() { ::tzset(); }
#endif

TEST(LocalClockTest, OffsetFollowsTheZone)
{
    const char* old = std::getenv("TZ");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    // POSIX zones: the number is what UTC is ahead of local time.
    struct Case { const char* tz; long offset; };
    const Case cases[] = {{"UTC0", 0}, {"ABC-3", 3 * 3600}, {"XYZ+5", -5 * 3600}, {"HLF-5:30", 19800}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tz);
        ::setenv("TZ", c.tz, 1);
        ReadZone();
        EXPECT_EQ(platform::LocalOffsetSeconds(std::time(nullptr)), c.offset);
        EXPECT_EQ(platform::LocalOffsetSeconds(std::time_t(86400 * 200)), c.offset);
    }
    if (saved) ::setenv("TZ", saved->c_str(), 1);
    else ::unsetenv("TZ");
    ReadZone();
}

} // namespace
