#include "hotsync/RunLook.h"

#include "hotsync/HotSyncLogFile.h"
#include "hotsync/RunText.h"
#include "hotsync/RunVerdict.h"
#include "lexmo/Lexmo.h"
#include "palmkit/HsLog.h"

namespace {

std::string TextOr(int number, const char* english)
{
    std::string text = lexmo::MessageText(number);
    return text.empty() ? english : text;
}

} // namespace

CRunLook CRunLook::Of(int activity)
{
    switch (activity) {
    // The conduit's closing entry marks the end only; the verdict after it says how the run went.
    case slSyncDone: return {Icon::Information, kGrey, false};
    case CRunVerdict::kSynchronized: return {Icon::Success, kGreen, false};
    case CRunVerdict::kOrderPlaced:
    case CRunVerdict::kOrderPlacedEarlier: return {Icon::Success, kGreen, false};
    case CRunVerdict::kWithProblems: return {Icon::Warning, kOrange, true};
    case CRunVerdict::kOrderWaiting: return {Icon::Warning, kOrange, false};
    case CRunVerdict::kFailed:
    case CRunVerdict::kAbandoned: return {Icon::Critical, kRed, true};
    case CRunVerdict::kOrderRefused:
    case slSyncFailed: return {Icon::Critical, kRed, false};
    case slWarning: return {Icon::Warning, kOrange, false};
    case slReadError:
    case slWriteError:
    case slUpdateError:
    case slDeleteError: return {Icon::Critical, 0x8c003c, false};
    default: break;
    }
    return {Icon::Information, kPlain, false};
}

CRunLook CRunLook::OfNote()
{
    return {Icon::Information, kGrey, false};
}

std::string CRunLook::Label(int activity)
{
    switch (activity) {
    case slText: return std::string();
    case slSyncFailed: return TextOr(4038, "FAILED");
    case slWarning: return TextOr(4039, "warning");
    case slReadError:
    case slWriteError:
    case slUpdateError:
    case slDeleteError: return TextOr(4040, "ERROR");
    default: break;
    }
    return CHotSyncLogFile::ActivityLabel(activity);
}

std::string CRunLook::Row(int activity, const std::string& text)
{
    const std::string label = Label(activity);
    // French sets a space before the colon: the catalog lays the line out.
    return label.empty() ? text : RunText(4685, "%s: %s", label, text);
}
