// What the user's record of accepted orders holds, as the end of a run left it.
#pragma once
#include <string>

#include "conduit/OrderJournal.h"

// Orders of the file at `path` that the handheld has not recorded yet; -1
// when the file cannot be read.
inline int OrdersAwaitingRecord(const std::string& path)
{
    COrderJournal journal;
    journal.SetPath(path);
    if (!journal.Load(nullptr)) return -1;
    int waiting = 0;
    for (const COrderJournal::Entry& e : journal.Entries())
        if (e.recorded == 0) ++waiting;
    return waiting;
}
