// Lines of the journal of accepted orders: whatever a damaged file holds,
// a line read back writes out as a line that reads back the same.
#include <cstdlib>
#include <string>

#include "conduit/OrderJournal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        COrderJournal::Entry entry, again;
        if (COrderJournal::ParseLine(text.substr(start, end - start), entry)) {
            const std::string line = COrderJournal::FormatLine(entry);
            if (line.find('\n') != std::string::npos || !COrderJournal::ParseLine(line, again)) std::abort();
            if (again.channelId != entry.channelId || again.listName != entry.listName ||
                again.created != entry.created || again.processDate != entry.processDate ||
                again.recorded != entry.recorded)
                std::abort();
        }
        start = end + 1;
    }
    return 0;
}
