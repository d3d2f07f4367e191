#include "hotsync/RunVerdict.h"

#include <algorithm>

#include "lexmo/Lexmo.h"

namespace {

constexpr std::size_t kNamesShown = 5;

bool IsProblem(int activity)
{
    switch (activity) {
    case slReadError:
    case slWriteError:
    case slUpdateError:
    case slDeleteError:
    case slSyncFailed:
    case slWarning: return true;
    default: return false;
    }
}

std::string FirstLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

} // namespace

std::string CRunVerdict::ShortDate(const std::string& w3c)
{
    if (w3c.size() >= 16 && w3c[4] == '-' && w3c[7] == '-' && w3c[10] == 'T' && w3c[13] == ':')
        return w3c.substr(0, 10) + " " + w3c.substr(11, 5);
    return w3c;
}

CRunVerdict CRunVerdict::Judge(const std::vector<palmkit::LogEntry>& entries, const palmkit::RunReport& report,
                               long result, const std::string& stopText)
{
    CRunVerdict v;
    v.m_Problems = report.failures;
    v.m_Orders = report.orders;
    // An order that did not go is a problem of the run, named by its list.
    for (const palmkit::OrderNote& o : report.orders) {
        if (o.fate != palmkit::OrderFate::Waiting && o.fate != palmkit::OrderFate::Refused) continue;
        const bool named = std::any_of(v.m_Problems.begin(), v.m_Problems.end(), [&](const auto& p) {
            return p.kind == palmkit::RunFailure::List && p.name == o.listName;
        });
        if (!named) v.m_Problems.push_back(palmkit::RunFailureNote{palmkit::RunFailure::List, o.listName, o.why});
    }
    // Entries that stopped the run; a conduit that failed closes with one of its own, which says nothing more.
    std::vector<const palmkit::LogEntry*> stops;
    for (const palmkit::LogEntry& e : entries)
        if (e.activity == slSyncFailed) stops.push_back(&e);
    const bool anyStop = !stops.empty();
    if (result != 0 && !stops.empty()) stops.pop_back();
    if (!stopText.empty() || report.abandoned) {
        v.m_Kind = Kind::Abandoned;
        v.m_Reason = stopText;
    } else if (anyStop || result != 0 || !report.runFailures.empty()) {
        v.m_Kind = Kind::Failed;
        if (!report.runFailures.empty())
            v.m_Reason = report.runFailures.front();
        else if (!stops.empty())
            v.m_Reason = FirstLine(stops.front()->text);
        else
            v.m_Reason = KESA_FormatMessage(4145, int(result));
    } else {
        // A conduit that names nothing still has its problems counted.
        if (v.m_Problems.empty())
            for (const palmkit::LogEntry& e : entries)
                if (IsProblem(e.activity))
                    v.m_Problems.push_back(palmkit::RunFailureNote{palmkit::RunFailure::Other, FirstLine(e.text), ""});
        v.m_Kind = v.m_Problems.empty() ? Kind::Synchronized : Kind::WithProblems;
    }
    return v;
}

CRunVerdict CRunVerdict::NotSynchronized(std::string reason)
{
    CRunVerdict v;
    v.m_Kind = Kind::Failed;
    v.m_Reason = std::move(reason);
    return v;
}

void CRunVerdict::AddProblem(palmkit::RunFailure kind, const std::string& name, const std::string& why)
{
    m_Problems.push_back(palmkit::RunFailureNote{kind, name, why});
    if (m_Kind == Kind::Synchronized) m_Kind = Kind::WithProblems;
}

int CRunVerdict::ExitStatus(int terminationSignal) const
{
    switch (m_Kind) {
    case Kind::Synchronized: return kExitSynchronized;
    case Kind::WithProblems: return kExitProblems;
    case Kind::Failed: return kExitFailed;
    case Kind::Abandoned: return terminationSignal != 0 ? 128 + terminationSignal : kExitAbandoned;
    }
    return kExitFailed;
}

std::string CRunVerdict::ProblemName(const palmkit::RunFailureNote& p)
{
    using palmkit::RunFailure;
    switch (p.kind) {
    case RunFailure::Channel: return KESA_FormatMessage(4160, p.name);
    case RunFailure::List: return KESA_FormatMessage(4161, p.name);
    case RunFailure::Game: return KESA_FormatMessage(4162, p.name);
    case RunFailure::Install: return KESA_FormatMessage(4163, p.name);
    case RunFailure::UserContext: return KESA_FormatMessage(4164);
    case RunFailure::Application: return KESA_FormatMessage(4165);
    case RunFailure::Handheld: return KESA_FormatMessage(4166);
    case RunFailure::Record: return KESA_FormatMessage(4167, p.name);
    case RunFailure::Queued: return KESA_FormatMessage(4168, p.name);
    case RunFailure::Other: return p.name;
    }
    return p.name;
}

std::string CRunVerdict::Headline() const
{
    switch (m_Kind) {
    case Kind::Synchronized: return KESA_FormatMessage(4140);
    case Kind::WithProblems: {
        std::string names;
        const std::size_t shown = std::min(m_Problems.size(), kNamesShown);
        for (std::size_t i = 0; i < shown; ++i) names += (i ? ", " : "") + ProblemName(m_Problems[i]);
        if (m_Problems.size() > shown) names += KESA_FormatMessage(4108, int(m_Problems.size() - shown));
        return m_Problems.size() == 1 ? KESA_FormatMessage(4141, names)
                                      : KESA_FormatMessage(4142, int(m_Problems.size()), names);
    }
    case Kind::Failed: return KESA_FormatMessage(4143, m_Reason);
    case Kind::Abandoned: return m_Reason.empty() ? KESA_FormatMessage(4146) : KESA_FormatMessage(4144, m_Reason);
    }
    return std::string();
}

std::string CRunVerdict::OrderLine(const palmkit::OrderNote& o)
{
    switch (o.fate) {
    case palmkit::OrderFate::Placed: return KESA_FormatMessage(4170, o.listName, o.channelId, ShortDate(o.date));
    case palmkit::OrderFate::PlacedEarlier:
        return o.date.empty() ? KESA_FormatMessage(4174, o.listName, o.channelId)
                              : KESA_FormatMessage(4171, o.listName, o.channelId, ShortDate(o.date));
    case palmkit::OrderFate::Waiting: return KESA_FormatMessage(4172, o.listName, o.channelId, o.why);
    case palmkit::OrderFate::Refused: return KESA_FormatMessage(4173, o.listName, o.channelId, o.why);
    }
    return std::string();
}

std::vector<std::string> CRunVerdict::OrderLines() const
{
    std::vector<std::string> lines;
    for (const palmkit::OrderNote& o : m_Orders) lines.push_back(OrderLine(o));
    return lines;
}

std::vector<palmkit::LogEntry> CRunVerdict::Entries(std::time_t when) const
{
    std::vector<palmkit::LogEntry> out;
    for (const palmkit::OrderNote& o : m_Orders) {
        palmkit::LogEntry e;
        e.time = when;
        switch (o.fate) {
        case palmkit::OrderFate::Placed: e.activity = kOrderPlaced; break;
        case palmkit::OrderFate::PlacedEarlier: e.activity = kOrderPlacedEarlier; break;
        case palmkit::OrderFate::Waiting: e.activity = kOrderWaiting; break;
        case palmkit::OrderFate::Refused: e.activity = kOrderRefused; break;
        }
        e.text = OrderLine(o);
        out.push_back(std::move(e));
    }
    palmkit::LogEntry verdict;
    verdict.time = when;
    verdict.activity = Activity();
    verdict.text = Headline();
    out.push_back(std::move(verdict));
    return out;
}

int CRunVerdict::Activity() const
{
    switch (m_Kind) {
    case Kind::Synchronized: return kSynchronized;
    case Kind::WithProblems: return kWithProblems;
    case Kind::Failed: return kFailed;
    case Kind::Abandoned: return kAbandoned;
    }
    return kFailed;
}

bool CRunVerdict::KindOfActivity(int activity, Kind* kind)
{
    switch (activity) {
    case kSynchronized: *kind = Kind::Synchronized; return true;
    case kWithProblems: *kind = Kind::WithProblems; return true;
    case kFailed: *kind = Kind::Failed; return true;
    case kAbandoned: *kind = Kind::Abandoned; return true;
    default: return false;
    }
}
