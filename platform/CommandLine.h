// The command-line conventions shared by the programs: --version, and usage
// errors ending with code 2 whatever CLI11 would return.
#pragma once
#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "platform/Version.h"

namespace platform {

inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

// Adds --version: "<program> <version>".
inline void AddVersionFlag(CLI::App& app, const std::string& program)
{
    app.set_version_flag("--version", program + " " + kNorvVersion);
}

// Parses; an exit code when the program should stop now (0 after --help or
// --version, 2 after a usage error, both already reported by CLI11).
inline std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv)
{
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? 0 : kExitUsage;
    }
    return std::nullopt;
}

} // namespace platform
