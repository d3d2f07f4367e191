// What the connection probe does alike over either HTTP library: how a
// failure is reported to its status window.
#include <cctype>

#include "settings/ConnectionProbe.h"
#include "settings/ProbeText.h"

using probe_text::Cut;
using probe_text::Line;

namespace {

// The internet errors that have a message of their own: no direct access,
// cannot connect, connection aborted, connection reset, certificate date.
struct NamedError {
    DWORD code;
    int message;
};
constexpr NamedError kNamedErrors[] = {{12023, 2076}, {12029, 2077}, {12030, 2078}, {12031, 2079}, {12037, 2080}};

// Whether `text` holds `number` as a whole number, not inside a longer one.
bool NamesNumber(const std::string& text, DWORD number)
{
    const std::string digits = std::to_string(number);
    for (std::size_t at = text.find(digits); at != std::string::npos; at = text.find(digits, at + 1)) {
        const bool before = at > 0 && std::isdigit(static_cast<unsigned char>(text[at - 1]));
        const std::size_t end = at + digits.size();
        const bool after = end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]));
        if (!before && !after) return true;
    }
    return false;
}

} // namespace

void CConnectionProbe::ReportError(DWORD code, std::string text)
{
    m_LastErrorCode = code;
    for (const NamedError& e : kNamedErrors) {
        if (e.code == code) {
            Log(m_Session.get(), Line(e.message));
            return;
        }
    }
    // A text that already names the code (the HTTP statuses' own messages) is
    // not followed by it a second time.
    if (NamesNumber(text, code)) {
        Log(m_Session.get(), text);
        return;
    }
    Log(m_Session.get(), text + Cut(Line(2081, code), probe_text::kErrorSuffixMax));
}
