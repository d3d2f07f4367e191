// The orders that the lists of a backup hold active, and what the next
// synchronization does with each once the backup is put back onto the
// handheld: what a restore says before it writes.
#pragma once
#include <ctime>
#include <string>
#include <vector>

#include "seam/Types.h"

class CRestoredOrders {
public:
    // What the next synchronization does with an order.
    enum class Next {
        MarkPlaced,   // the journal of accepted orders has it: recorded as placed, not sent
        RemoveForm,   // the same for a form, which then leaves the handheld
        Send,         // unknown to the journal: sent
        SendUnknown,  // sent, though the journal does not reach back to the backup
        Hold,         // the journal cannot be read: not sent until it can be
    };
    struct Order {
        std::string listName;
        std::string channelId;
        DWORD created = 0;
        Next next = Next::Send;
        std::string placedOn; // the date the service gave, for an order placed
    };

    // The active orders of the list databases among `files` (paths of PDB
    // files, in that order), judged against the journal of accepted orders in
    // `userDir`; `made` is when the backup was made. `journalError` says why
    // the journal cannot be read, empty when it can.
    static std::vector<Order> Of(const std::vector<std::string>& files, const std::string& userDir, std::time_t made,
                                 std::string* journalError);
    // One line for a person, in the user's language.
    static std::string Line(const Order& order, const std::string& journalError);
    // The heading of those lines.
    static std::string Heading();
    // Of, then one Line each: what a restore shows.
    static std::vector<std::string> Lines(const std::vector<std::string>& files, const std::string& userDir,
                                          std::time_t made);
};
