// The run's report: failures by name and order fates, kept beside the log.
#include "palmkit/RunReport.h"

#include <algorithm>
#include <mutex>
#include <utility>

namespace palmkit {

namespace {

struct State {
    std::mutex mutex;
    RunReport report;
};

State& S()
{
    static State state;
    return state;
}

} // namespace

void NoteFailure(RunFailure kind, const std::string& name, const std::string& why)
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    auto& failures = s.report.failures;
    const bool known = std::any_of(failures.begin(), failures.end(),
                                   [&](const RunFailureNote& f) { return f.kind == kind && f.name == name; });
    if (!known) failures.push_back(RunFailureNote{kind, name, why});
}

void NoteOrder(const OrderNote& note)
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    auto& orders = s.report.orders;
    const auto same = std::find_if(orders.begin(), orders.end(), [&](const OrderNote& o) {
        return o.listName == note.listName && o.channelId == note.channelId;
    });
    if (same != orders.end())
        *same = note;
    else
        orders.push_back(note);
}

void NoteRunFailure(const std::string& reason)
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.report.runFailures.push_back(reason);
}

std::vector<std::string> RunFailures()
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    return s.report.runFailures;
}

void NoteAbandoned()
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.report.abandoned = true;
}

RunReport CurrentRunReport()
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    return s.report;
}

RunReport TakeRunReport()
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    return std::exchange(s.report, RunReport{});
}

void ClearRunReport()
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.report = RunReport{};
}

} // namespace palmkit
