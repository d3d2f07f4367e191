// The one verdict of a synchronization, made from everything the run did: the
// conduit's log and report, the install queue, the handheld's files and the
// HotSync log kept. The terminal, the HotSync window and the log file all end
// a run with it, and the exit status follows it.
#pragma once
#include <ctime>
#include <string>
#include <vector>

#include "palmkit/HsLog.h"
#include "palmkit/RunReport.h"

class CRunVerdict {
public:
    enum class Kind { Synchronized, WithProblems, Failed, Abandoned };

    // Activity codes of the entries that end a run in the HotSync log: the
    // verdict, and before it the fate of each order.
    static constexpr int kSynchronized = 30;
    static constexpr int kWithProblems = 31;
    static constexpr int kFailed = 32;
    static constexpr int kAbandoned = 33;
    static constexpr int kOrderPlaced = 40;
    static constexpr int kOrderPlacedEarlier = 41;
    static constexpr int kOrderWaiting = 42;
    static constexpr int kOrderRefused = 43;

    // Exit statuses (hotsync sync --help lists them).
    static constexpr int kExitSynchronized = 0;
    static constexpr int kExitFailed = 1;
    static constexpr int kExitProblems = 4;
    static constexpr int kExitAbandoned = 130;

    // A run that reached the conduit. `result` is what OpenConduit returned;
    // `stopText` says how the person stopped it ("with Ctrl-C"), empty when
    // they did not.
    static CRunVerdict Judge(const std::vector<palmkit::LogEntry>& entries, const palmkit::RunReport& report,
                             long result, const std::string& stopText);
    // A run that ended before anything was exchanged, for `reason`.
    static CRunVerdict NotSynchronized(std::string reason);

    // A failure the HotSync Manager met itself; a synchronized run then has problems.
    void AddProblem(palmkit::RunFailure kind, const std::string& name, const std::string& why);

    Kind GetKind() const { return m_Kind; }
    const std::vector<palmkit::RunFailureNote>& Problems() const { return m_Problems; }
    const std::vector<palmkit::OrderNote>& Orders() const { return m_Orders; }
    // Why a run failed or how it was stopped; empty otherwise.
    const std::string& Reason() const { return m_Reason; }
    int ExitStatus(int terminationSignal = 0) const;

    // One line, in the user's language: "Synchronized, with 2 problems: ...".
    std::string Headline() const;
    // One line for each order, in the order the run met them.
    std::vector<std::string> OrderLines() const;
    // What a failed thing is called in the headline: "channel C2".
    static std::string ProblemName(const palmkit::RunFailureNote& problem);
    static std::string OrderLine(const palmkit::OrderNote& order);
    // A date the service gave, as a person reads it: "2026-12-10T18:40:05+01:00"
    // is "2026-12-10 18:40"; a text of another form is shown as it is.
    static std::string ShortDate(const std::string& w3c);
    // The entries that end the run's log: each order's fate, then the verdict.
    std::vector<palmkit::LogEntry> Entries(std::time_t when) const;
    // The activity code of the verdict's entry: kSynchronized...kAbandoned.
    int Activity() const;
    // The verdict's kind from its entry's activity code, if it is one.
    static bool KindOfActivity(int activity, Kind* kind);

private:
    Kind m_Kind = Kind::Failed;
    std::string m_Reason;
    std::vector<palmkit::RunFailureNote> m_Problems;
    std::vector<palmkit::OrderNote> m_Orders;
};
