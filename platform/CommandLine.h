// The command-line conventions shared by the programs: --version, and usage
// errors ending with code 2 whatever CLI11 would return.
#pragma once
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/Version.h"

namespace platform {

inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

// Adds --version: "<program> <version>", and `more` on lines of its own.
inline void AddVersionFlag(CLI::App& app, const std::string& program, const std::string& more = std::string())
{
    app.set_version_flag("--version", program + " " + kNorvVersion + (more.empty() ? "" : "\n" + more));
}

// Edit distance, to suggest the word meant.
inline std::size_t WordDistance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// "; did you mean X?" for the nearest of `known`, when one is near enough.
inline std::string Suggestion(const std::string& word, const std::vector<std::string>& known)
{
    std::string best;
    std::size_t bestDistance = std::max<std::size_t>(2, word.size() / 3) + 1;
    for (const std::string& k : known) {
        const std::size_t d = WordDistance(word, k);
        if (d < bestDistance) {
            bestDistance = d;
            best = k;
        }
    }
    return best.empty() ? std::string(".") : "; did you mean " + best + "?";
}

// Names the first unknown option or command of the line, with the nearest
// known one, before CLI11 would report only what is missing because of it.
inline std::optional<std::string> UnknownWord(CLI::App& app, int argc, char** argv)
{
    CLI::App* cur = &app;
    const auto longNames = [](CLI::App* a) {
        std::vector<std::string> names;
        for (const CLI::Option* o : a->get_options())
            for (const std::string& n : o->get_lnames()) names.push_back("--" + n);
        return names;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg.rfind("--", 0) == 0) {
            const std::string name = arg.substr(0, arg.find('='));
            const CLI::Option* o = cur->get_option_no_throw(name);
            if (!o) {
                const std::string where = cur == &app ? std::string() : " of \"" + cur->get_name() + "\"";
                return "unknown option " + name + where + Suggestion(name, longNames(cur));
            }
            if (arg.find('=') == std::string::npos && o->get_items_expected_min() > 0) ++i; // its value
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            const CLI::Option* o = cur->get_option_no_throw(arg.substr(0, 2));
            if (o && arg.size() == 2 && o->get_items_expected_min() > 0) ++i;
            continue;
        }
        const auto subs = cur->get_subcommands([](CLI::App*) { return true; });
        if (subs.empty()) continue; // a positional argument
        CLI::App* next = nullptr;
        std::vector<std::string> names;
        for (CLI::App* sub : subs) {
            names.push_back(sub->get_name());
            if (sub->check_name(arg)) next = sub;
        }
        if (!next) {
            if (!cur->get_options([](CLI::Option* o) { return o->get_positional(); }).empty()) continue;
            return "unknown command \"" + arg + "\"" + Suggestion(arg, names);
        }
        cur = next;
    }
    return std::nullopt;
}

// Parses; an exit code when the program should stop now (0 after --help or
// --version, 2 after a usage error, both already reported).
// Only dashes start options, on Windows too: "/tmp/hh" is a path there as
// well, not an option named "tmp/hh".
inline void DashOptionsOnly(CLI::App& app)
{
    app.allow_windows_style_options(false);
    for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) DashOptionsOnly(*sub);
}

inline std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv)
{
    DashOptionsOnly(app);
    bool help = false;
    for (int i = 1; i < argc; ++i) help = help || std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h";
    if (!help) {
        if (const auto unknown = UnknownWord(app, argc, argv)) {
            std::string program = argc > 0 ? argv[0] : "";
            program = program.substr(program.find_last_of("/\\") + 1);
            if (program.size() > 4 && program.compare(program.size() - 4, 4, ".exe") == 0) program.resize(program.size() - 4);
            std::fprintf(stderr, "%s: %s\nRun with --help for more information.\n", program.c_str(), unknown->c_str());
            return kExitUsage;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? 0 : kExitUsage;
    }
    return std::nullopt;
}

} // namespace platform
