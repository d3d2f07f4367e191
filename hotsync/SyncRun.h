// One synchronization of a handheld through a conduit, as `hotsync sync` and
// the HotSync window run it: the user and handheld checked, the conduit
// loaded, the ownership question, the backup, the lock, the conduit's run,
// the install queue, the log kept, and the outcome with its exit status.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "hotsync/RunVerdict.h"
#include "palmkit/HsLog.h"
#include "seam/Ui.h"

class CConduitLibrary;

class CSyncRun {
public:
    // Exit statuses of a run (hotsync sync --help lists them).
    static constexpr int kExitDone = CRunVerdict::kExitSynchronized;
    static constexpr int kExitFailed = CRunVerdict::kExitFailed;
    static constexpr int kExitUsage = 2;
    static constexpr int kExitBusy = 3;
    static constexpr int kExitProblems = CRunVerdict::kExitProblems;
    static constexpr int kExitInterrupted = CRunVerdict::kExitAbandoned;

    struct Setup {
        std::string home; // empty: $HOTSYNC_HOME, else the default
        std::string user, handheld;
        std::string conduit;  // empty: the default conduit
        std::string syncType; // empty: the user's setting
        bool noBackup = false;
    };

    // What the program running it supplies: the host of its questions and
    // progress view, where its lines go, and how a person stops the run.
    class IFront {
    public:
        virtual ~IFront();
        virtual platform::IUiHost& Host() = 0;
        // A diagnostic line, without the program's name.
        virtual void Note(const std::string& line) = 0;
        // A line of the HotSync Manager itself, and its yields during the run.
        virtual void Progress(const std::string&) {}
        virtual void Yield() {}
        // Around the conduit's run.
        virtual void Started() {}
        virtual void Stopped() {}
        // Whether the person stopped the run, how (for the verdict: "with
        // Ctrl-C", in the user's language), and the signal that did it (0 for
        // none): the exit status is 128 and the signal, else 130.
        virtual bool Interrupted() { return false; }
        virtual std::string StopText() const;
        virtual int TerminationSignal() const { return 0; }
        // The run's log, ending with the fate of each order and the verdict.
        virtual void Log(const std::vector<palmkit::LogEntry>&, const std::string& /*userName*/) {}
    };

    struct Outcome {
        int code = kExitDone;  // the exit status
        std::string message;   // the verdict's headline when not synchronized; empty when it was
        bool conduitRan = false;
        std::string userName, userDir;
        std::vector<palmkit::LogEntry> entries; // the verdict's entries last
        CRunVerdict verdict;
    };

    CSyncRun(Setup setup, IFront& front);
    Outcome Run();

    static const char* SyncTypeName(int type);
    static std::optional<int> ParseSyncType(const std::string& text);
    // A bare file name is looked for beside the default conduit.
    static std::string ConduitPath(const std::string& option);
    static std::string ConduitLoadFailure(const std::string& path, const std::string& why);
    static std::string ConduitDisplayName(const CConduitLibrary& lib, const std::string& path);
    // Refuses, with the reason, a directory the conduit could not synchronize.
    static bool CheckHandheldDir(const std::string& dir, std::string& error);

private:
    Outcome Fail(int code, const std::string& message);

    Setup m_Setup;
    IFront& m_Front;
    Outcome m_Outcome;
};
