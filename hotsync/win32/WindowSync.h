// What the HotSync window of hotsync.exe asks of the HotSync home, its runs
// and backups, in types that <windows.h> does not name otherwise: the window's
// Win32 code and the system's headers stay in separate sources.
#pragma once
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "hotsync/RunLook.h"
#include "seam/Ui.h"

class CWindowSync {
public:
    // A line of the run's log as the window shows it: its activity's name
    // before its text, its icon and colour.
    struct Line {
        int activity = -1; // the log entry's; -1 for plain information
        std::string text;
        CRunLook look;
    };
    struct Result {
        int code = -1;       // the exit status `hotsync sync` would give
        std::string message; // why it failed; empty when done
        std::vector<Line> lines; // the run's log, the fate of each order and the verdict last
        std::vector<std::string> notes; // the HotSync Manager's own lines
        std::string headline;           // the verdict, in one line
        std::vector<std::string> orders; // what became of each order
        CRunLook look;                   // the verdict's
    };
    struct Backup {
        std::string date;
        std::size_t databases = 0;
    };

    // `home` as --home gives it: empty for the default.
    explicit CWindowSync(const std::string& home);
    ~CWindowSync();
    CWindowSync(const CWindowSync&) = delete;
    CWindowSync& operator=(const CWindowSync&) = delete;

    const std::string& Home() const { return m_Home; }
    static constexpr int kDone = 0;
    static constexpr int kInterrupted = 130;

    bool Users(std::vector<std::string>& names, std::string& error) const;

    // The same run as `hotsync sync`, on the calling thread, its questions
    // and progress view through the UI host in force.
    Result Run(const std::string& user, const std::string& handheld);
    // From any thread: as the progress dialog's "Abandon"; `how` says how
    // the person stopped it, for the verdict ("with Ctrl-C").
    void Abandon(const std::string& how);

    // The user's backups of `handheld`, newest first; false, with the reason,
    // when the handheld cannot take one.
    bool Backups(const std::string& user, const std::string& handheld, std::vector<Backup>& out,
                 std::string& error) const;
    // Puts backup `index` back: the databases written, -1 with the reason, or
    // kBusy when another run holds the handheld.
    static constexpr int kBusy = -2;
    int Restore(const std::string& user, const std::string& handheld, std::size_t index, std::string& error) const;

private:
    class Front;
    std::string m_Home;
    std::atomic<Front*> m_Front{nullptr};
};
