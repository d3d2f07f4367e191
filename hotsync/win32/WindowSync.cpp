// The HotSync window's runs and backups: CSyncRun with a front that watches
// the progress view for "Abandon", the home's users, the backup generations.
#include "hotsync/win32/WindowSync.h"

#include <mutex>

#include "hotsync/HandheldBackup.h"
#include "hotsync/HotSyncHome.h"
#include "hotsync/RunText.h"
#include "hotsync/SyncRun.h"
#include "lexmo/Lexmo.h"
#include "palmkit/HandheldLock.h"
#include "palmkit/HandheldStore.h"

namespace {

// The progress view as the host made it, with the person's "Abandon" noted:
// a cancel still pending when the run ends is an abandoned run; the conduit
// clears one it chose to forget.
class WatchedView final : public platform::IProgressView {
public:
    WatchedView(std::unique_ptr<platform::IProgressView> view, std::atomic<bool>& abandoned,
                std::atomic<platform::IProgressView*>& current)
        : m_View(std::move(view)), m_Abandoned(abandoned), m_Current(current)
    {
        m_Current = this;
    }
    ~WatchedView() override { m_Current = nullptr; }
    void SetTitle(const std::string& t) override { m_View->SetTitle(t); }
    void SetCancelText(const std::string& t) override { m_View->SetCancelText(t); }
    void SetStatus1(const std::string& t) override { m_View->SetStatus1(t); }
    void SetStatus2(const std::string& t) override { m_View->SetStatus2(t); }
    void SetRange1(long low, long high) override { m_View->SetRange1(low, high); }
    void SetRange2(long low, long high) override { m_View->SetRange2(low, high); }
    void SetPos1(long pos) override { m_View->SetPos1(pos); }
    void SetPos2(long pos) override { m_View->SetPos2(pos); }
    void ShowBar1(bool show) override { m_View->ShowBar1(show); }
    void ShowBar2(bool show) override { m_View->ShowBar2(show); }
    void Show() override { m_View->Show(); }
    void Hide() override { m_View->Hide(); }
    bool IsCancelled() const override
    {
        const bool cancelled = m_View->IsCancelled();
        if (cancelled) m_Abandoned = true;
        return cancelled;
    }
    void SetCancel(bool cancelled) override
    {
        m_Abandoned = cancelled;
        m_View->SetCancel(cancelled);
    }
    void Pump() override { m_View->Pump(); }
    bool IsInteractive() const override { return m_View->IsInteractive(); }

private:
    std::unique_ptr<platform::IProgressView> m_View;
    std::atomic<bool>& m_Abandoned;
    std::atomic<platform::IProgressView*>& m_Current;
};

CWindowSync::Line LineOf(const palmkit::LogEntry& e)
{
    return {e.activity, CRunLook::Row(e.activity, e.text), CRunLook::Of(e.activity)};
}

} // namespace

// The window's side of a run: the host's questions and progress view,
// "Abandon" noted, the HotSync Manager's lines kept for the window.
class CWindowSync::Front final : public CSyncRun::IFront, public platform::IUiHost {
public:
    explicit Front(platform::IUiHost& host) : m_Host(host) {}

    platform::IUiHost& Host() override { return *this; }
    bool Interrupted() override { return m_Abandoned; }
    std::string StopText() const override
    {
        std::lock_guard lock(m_Mutex);
        return m_How.empty() ? KESA_FormatMessage(4153) : m_How;
    }
    void Note(const std::string& line) override
    {
        std::lock_guard lock(m_Mutex);
        m_Notes.push_back(line);
    }
    std::vector<std::string> TakeNotes()
    {
        std::lock_guard lock(m_Mutex);
        return std::move(m_Notes);
    }
    void Abandon(const std::string& how)
    {
        {
            std::lock_guard lock(m_Mutex);
            m_How = how;
        }
        if (platform::IProgressView* view = m_View) view->SetCancel(true);
    }

    platform::MsgResult ShowMessage(const std::string& text, const std::string& caption, platform::MsgIcon icon,
                                    platform::MsgButtons buttons, platform::MsgResult defaultButton) override
    {
        return m_Host.ShowMessage(text, caption, icon, buttons, defaultButton);
    }
    bool AskCredentials(const std::string& prompt, std::string& user, std::string& password) override
    {
        return m_Host.AskCredentials(prompt, user, password);
    }
    bool AskSyncAction(platform::SyncActionRequest& request) override { return m_Host.AskSyncAction(request); }
    std::unique_ptr<platform::IProgressView> CreateProgressView() override
    {
        return std::make_unique<WatchedView>(m_Host.CreateProgressView(), m_Abandoned, m_View);
    }

private:
    platform::IUiHost& m_Host;
    std::atomic<bool> m_Abandoned{false};
    std::atomic<platform::IProgressView*> m_View{nullptr};
    mutable std::mutex m_Mutex;
    std::vector<std::string> m_Notes;
    std::string m_How; // how the window stopped the run; empty: the progress dialog's "Abandon"
};

CWindowSync::CWindowSync(const std::string& home) : m_Home(CHotSyncHome::Resolve(home)) {}

CWindowSync::~CWindowSync() = default;

bool CWindowSync::Users(std::vector<std::string>& names, std::string& error) const
{
    std::vector<CUsersFile::User> users;
    if (!CHotSyncHome(m_Home).LoadUsers(users, &error)) return false;
    names.clear();
    for (const auto& u : users) names.push_back(u.name);
    return true;
}

CWindowSync::Result CWindowSync::Run(const std::string& user, const std::string& handheld)
{
    CSyncRun::Setup setup;
    setup.home = m_Home;
    setup.user = user;
    setup.handheld = handheld;
    Front front(platform::UiHost());
    m_Front = &front;
    const CSyncRun::Outcome outcome = CSyncRun(setup, front).Run();
    m_Front = nullptr;
    Result result;
    result.code = outcome.code;
    result.message = outcome.message;
    for (const palmkit::LogEntry& e : outcome.entries) result.lines.push_back(LineOf(e));
    result.notes = front.TakeNotes();
    result.headline = outcome.verdict.Headline();
    result.orders = outcome.verdict.OrderLines();
    result.look = CRunLook::Of(outcome.verdict.Activity());
    return result;
}

void CWindowSync::Abandon(const std::string& how)
{
    if (Front* front = m_Front) front->Abandon(how);
}

bool CWindowSync::Backups(const std::string& userName, const std::string& handheld, std::vector<Backup>& out,
                          std::string& error) const
{
    out.clear();
    CHotSyncHome home(m_Home);
    const auto user = home.FindUser(userName, &error);
    if (!user) return false;
    if (!CSyncRun::CheckHandheldDir(handheld, error)) return false;
    CHandheldBackup backup(home.UserDir(*user));
    for (const auto& g : backup.Generations(CHandheldBackup::HandheldKey(handheld)))
        out.push_back({CHandheldBackup::DateText(g.made), CHandheldBackup::Files(g).size()});
    return true;
}

int CWindowSync::Restore(const std::string& userName, const std::string& handheld, std::size_t index,
                         std::string& error) const
{
    CHotSyncHome home(m_Home);
    const auto user = home.FindUser(userName, &error);
    if (!user) return -1;
    CHandheldBackup backup(home.UserDir(*user));
    const auto gens = backup.Generations(CHandheldBackup::HandheldKey(handheld));
    if (index >= gens.size()) return -1;
    CHandheldLock lock;
    if (lock.Acquire(handheld) != CHandheldLock::Result::Locked) return kBusy;
    CHandheldStore store(handheld);
    // The handheld as it is becomes a generation first, so a restore can be undone.
    CHandheldBackup::Generation saved;
    std::vector<CHandheldBackup::Note> notes;
    const int count = backup.Restore(gens[index], store, &saved, &notes, &error);
    if (count < 0 && saved.dir.empty())
        error = RunText(4686, "the handheld could not be backed up first: %s", error);
    return count;
}
