// A HotSync user's synchronization on a schedule: a systemd user timer and the
// service it starts, in ${XDG_CONFIG_HOME:-~/.config}/systemd/user. The service
// runs hotsync sync without questions (--no) and with a desktop notification
// at its end (--notify); the journal keeps what it prints, the verdict last.
#pragma once
#include <optional>
#include <string>
#include <vector>

class CSyncSchedule {
public:
    struct When {
        enum class Kind { Off, Every, Daily };
        Kind kind = Kind::Off;
        int minutes = 0; // Every: the interval; Daily: the time, in minutes after midnight
        bool operator==(const When&) const = default;
    };
    struct Entry {
        std::string user, handheld, home; // home: the HotSync home, absolute
        When when;
        std::string program; // read back: the hotsync the service runs
    };
    struct Result {
        int status = 0;   // 0: in place (or removed); 1: it could not be
        std::string text; // what to tell the person, from the catalogs
    };

    static constexpr int kMinEveryMinutes = 15;
    static constexpr int kMaxEveryMinutes = 7 * 24 * 60;

    // "30min", "90m", "1h", "2h" (kMinEveryMinutes to kMaxEveryMinutes).
    static std::optional<When> ParseEvery(const std::string& text, std::string* error);
    // "HH:MM", 24-hour clock.
    static std::optional<When> ParseDaily(const std::string& text, std::string* error);
    // "every 2 hours", "every day at 07:30", for a person.
    static std::string WhenText(const When& when);

    static std::string UnitDir();
    // "norvelia-hotsync-" and the user name escaped as systemd-escape does.
    static std::string UnitName(const std::string& user);
    // The units' texts; `hotsync` is the program the service runs.
    static std::string ServiceText(const Entry& entry, const std::string& hotsync);
    static std::string TimerText(const Entry& entry);
    // One argument of ExecStart=, quoted so that systemd reads it back as it is.
    static std::string ExecWord(const std::string& arg);
    // ExecStart='s words as systemd reads them: quotes, C escapes, %% and $$;
    // %h and $NAME as the manager expands them, from this environment.
    static std::vector<std::string> SplitExecLine(const std::string& line);

    // The user's schedule as its units hold it; nothing when it has none.
    static std::optional<Entry> Read(const std::string& user);
    // Writes the units, enables the timer as systemctl enable would, and
    // starts it when a user manager answers; otherwise says what to run.
    static Result Install(const Entry& entry, const std::string& hotsync);
    static Result Remove(const std::string& user);
};
