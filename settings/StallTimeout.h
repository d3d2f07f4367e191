// How long a transfer with the service may go without moving a byte before
// it fails. Two minutes, unless NORVELIA_STALL_SECONDS names another number
// of seconds (1 to 86400): a slow line may want more, a test less. Header
// only, so that programs that do not link the client can check the setting.
//
// A query that trickles a byte now and then never stalls, so each also has an
// overall bound: ten minutes (NORVELIA_QUERY_SECONDS), plus a second for every
// 16 KiB the request and the answer announce, so that a large catalog on a
// slow line still arrives.
#pragma once
#include <cstdint>
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

constexpr long kDefaultQuerySeconds = 600;
constexpr const char* kQueryVariable = "NORVELIA_QUERY_SECONDS";
constexpr std::uint64_t kQueryBytesPerSecond = 16 * 1024;

// The overall bound, in seconds, of a query that announced `announced` bytes
// to send and receive.
inline long QueryBoundSeconds(std::uint64_t announced)
{
    const long base = ParseStallSeconds(std::getenv(kQueryVariable)).value_or(kDefaultQuerySeconds);
    return base + static_cast<long>(announced / kQueryBytesPerSecond);
}
