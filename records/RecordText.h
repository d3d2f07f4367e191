// Small text helpers shared by the record classes (not exported).
#pragma once
#include <cstdio>
#include <string>

#include "seam/Types.h"

namespace recshelf {

// Decimal value of the leading digits (after leading blanks), 0 when none;
// saturates instead of overflowing.
inline DWORD LeadingNumber(const std::string& s)
{
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    unsigned long long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + unsigned(s[i] - '0');
        if (v > 0xFFFFFFFFull) return 0xFFFFFFFFu;
    }
    return DWORD(v);
}

// "%d.%d%d" of hundredths: 1250 gives 12.50.
inline std::string HundredthsText(DWORD v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u%u", unsigned(v / 100), unsigned((v / 10) % 10), unsigned(v % 10));
    return text;
}

inline std::string DecimalText(long long v)
{
    return std::to_string(v);
}

// "<Class>::<Method> - record too large"
inline std::string TooLarge(const char* classAndMethod)
{
    return std::string(classAndMethod) + " - record too large";
}

} // namespace recshelf

#include <memory>

#include "records/PdbPackedRecord.h"

namespace recshelf {

// CreatePdbRec of every record class: a new builder filled by the record, or
// null when the record does not fit (the text goes to `error` when given).
template <class Record>
std::unique_ptr<CPdbPackedRecord> CreateFilled(const Record& record, const char* className, std::string* error)
{
    auto rec = std::make_unique<CPdbPackedRecord>();
    if (!record.FillPdbPackedRecord(*rec).empty()) {
        if (error != nullptr) *error = std::string(className) + "::CreatePdbRec - record too large";
        return nullptr;
    }
    if (error != nullptr) error->clear();
    return rec;
}

} // namespace recshelf
