// How long a transfer with the service may go without moving a byte before
// it fails. Two minutes, unless NORVELIA_STALL_SECONDS names another number
// of seconds (1 to 86400): a slow line may want more, a test less.
#pragma once

constexpr long kDefaultStallSeconds = 120;

long StallTimeoutSeconds();
