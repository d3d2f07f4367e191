#include "seam/Ui.h"

#include <atomic>
#include <cstdio>

namespace platform {

IProgressView::~IProgressView() = default;
IUiHost::~IUiHost() = default;

namespace {

// Keeps the state a caller sets, shows nothing.
class SilentProgressView final : public IProgressView {
public:
    void SetTitle(const std::string&) override {}
    void SetCancelText(const std::string&) override {}
    void SetStatus1(const std::string&) override {}
    void SetStatus2(const std::string&) override {}
    void SetRange1(long, long) override {}
    void SetRange2(long, long) override {}
    void SetPos1(long) override {}
    void SetPos2(long) override {}
    void ShowBar1(bool) override {}
    void ShowBar2(bool) override {}
    void Show() override {}
    void Hide() override {}
    bool IsCancelled() const override { return m_Cancelled.load(); }
    void SetCancel(bool cancelled) override { m_Cancelled.store(cancelled); }

private:
    std::atomic<bool> m_Cancelled{false};
};

const char* IconWord(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information: return "information";
    case MsgIcon::Warning: return "warning";
    case MsgIcon::Error: return "error";
    case MsgIcon::Question: return "question";
    case MsgIcon::None: break;
    }
    return "message";
}

class NonInteractiveHost final : public IUiHost {
public:
    MsgResult ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon, MsgButtons buttons,
                          MsgResult defaultButton) override
    {
        std::fprintf(stderr, "[%s] %s%s%s\n", IconWord(icon), caption.c_str(), caption.empty() ? "" : ": ",
                     text.c_str());
        switch (buttons) {
        case MsgButtons::Ok: return MsgResult::Ok;
        case MsgButtons::OkCancel:
            return defaultButton == MsgResult::Cancel ? MsgResult::Cancel : MsgResult::Ok;
        case MsgButtons::YesNo: return defaultButton == MsgResult::No ? MsgResult::No : MsgResult::Yes;
        }
        return defaultButton;
    }
    bool AskCredentials(const std::string&, std::string&, std::string&) override { return false; }
    bool AskSyncAction(SyncActionRequest&) override { return false; }
    std::unique_ptr<IProgressView> CreateProgressView() override { return std::make_unique<SilentProgressView>(); }
};

std::atomic<IUiHost*> g_host{nullptr};

} // namespace

IUiHost& DefaultUiHost()
{
    static NonInteractiveHost host;
    return host;
}

IUiHost& UiHost()
{
    IUiHost* h = g_host.load();
    return h ? *h : DefaultUiHost();
}

void SetUiHost(IUiHost* host)
{
    g_host.store(host);
}

} // namespace platform
