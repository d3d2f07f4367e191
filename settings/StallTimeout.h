// How long a transfer with the service may go without moving a byte before
// it fails. Two minutes, unless NORVELIA_STALL_SECONDS names another number
// of seconds (1 to 86400): a slow line may want more, a test less. Header
// only, so that programs that do not link the client can check the setting.
#pragma once
#include <cstdlib>
#include <optional>

constexpr long kDefaultStallSeconds = 120;
constexpr const char* kStallVariable = "NORVELIA_STALL_SECONDS";

// The seconds `text` names, or nothing when it is not a whole number from 1
// to 86400.
inline std::optional<long> ParseStallSeconds(const char* text)
{
    if (text == nullptr || *text == 0) return std::nullopt;
    char* end = nullptr;
    const long seconds = std::strtol(text, &end, 10);
    if (*end != 0 || seconds < 1 || seconds > 86400) return std::nullopt;
    return seconds;
}

// The bound in force: the variable's value when it is valid, else the default.
inline long StallTimeoutSeconds()
{
    return ParseStallSeconds(std::getenv(kStallVariable)).value_or(kDefaultStallSeconds);
}
