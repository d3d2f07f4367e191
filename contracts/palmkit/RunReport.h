// What a conduit tells the program that runs it beyond the HotSync log: what
// failed, each by name, and what became of each order, so that the run ends
// with one verdict that names them. The log itself stays as the conduit
// writes it; LogClear clears this too.
#pragma once
#include <string>
#include <vector>

#include "seam/Export.h"

namespace palmkit {

// What did not get through.
enum class RunFailure {
    Channel,     // a channel's catalog was not obtained or not installed
    List,        // a list could not be sent or updated on the handheld
    Game,        // a game score was not sent
    Install,     // a database the service sent was refused or not written
    UserContext, // the user context was not installed or merged
    Application, // the handheld application was refused or not installed
    Handheld,    // the handheld could not record what the run did
    Queued,      // a file of the user's install folder was not installed
    Other,       // a failure the log tells of, with no name of its own
    Record,      // the run's own record (the HotSync log) could not be kept
};

struct RunFailureNote {
    RunFailure kind = RunFailure::Channel;
    std::string name; // the channel id, the list's or the database's name
    std::string why;
};

enum class OrderFate {
    Placed,        // the service accepted it in this run
    PlacedEarlier, // the service had accepted it on an earlier run
    Waiting,       // not sent, or no answer read: it goes again next time
    Refused,       // the service answered with a refusal
};

struct OrderNote {
    OrderFate fate = OrderFate::Waiting;
    std::string channelId;
    std::string listName;
    std::string date; // the date the service gave (placed)
    std::string why;  // why it waits, or the service's message
};

struct RunReport {
    std::vector<RunFailureNote> failures;
    std::vector<OrderNote> orders;
    // Nothing was exchanged with the service: each reason.
    std::vector<std::string> runFailures;
    // The person stopped the run from its progress window.
    bool abandoned = false;
};

// A failure of a named thing; the same kind and name noted twice count once.
NORV_EXPORT void NoteFailure(RunFailure kind, const std::string& name, const std::string& why);
// The fate of a list's order; a later note of the same list replaces it.
NORV_EXPORT void NoteOrder(const OrderNote& note);
// A conduit may end a run with 0 and only a warning in the log although
// nothing was exchanged (the service refused the declaration): it notes that
// here, so that the program that ran it reports the run as failed.
NORV_EXPORT void NoteRunFailure(const std::string& reason);
NORV_EXPORT std::vector<std::string> RunFailures();
NORV_EXPORT void NoteAbandoned();
NORV_EXPORT RunReport TakeRunReport();
NORV_EXPORT RunReport CurrentRunReport();
NORV_EXPORT void ClearRunReport();

} // namespace palmkit
