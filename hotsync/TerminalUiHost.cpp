#include "hotsync/TerminalUiHost.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <set>

#include "lexmo/TextOr.h"
#include "seam/InputEcho.h"
#include "seam/StopSignals.h"
#include "seam/TransferAbort.h"

using lexmo::TextOr;

namespace {

// Written by the SIGINT handler: lock-free atomics are safe to touch there.
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<unsigned>::is_always_lock_free);
std::atomic<int> g_interrupts{0};
// Bumped whenever something else writes to the terminal: a view then starts a
// new block instead of erasing those lines.
std::atomic<unsigned> g_outputEpoch{0};
std::atomic<unsigned> g_generation{0};

// The first SIGTERM or SIGHUP received: the run stops as after Ctrl-C, but
// without asking anything, and a later "go on" cannot undo it.
std::atomic<int> g_terminateSignal{0};
std::atomic<int> g_terminations{0};

extern "C" void OnTerminate(int sig)
{
    int none = 0;
    g_terminateSignal.compare_exchange_strong(none, sig);
    // A stalled or trickling answer must not keep the run going.
    platform::AbortTransfers();
    ++g_generation;
    if (++g_terminations >= 3) _exit(128 + sig);
}

// The handler's last words, made before it is installed: it may not format
// or allocate.
char g_interruptedText[256] = "\nhotsync: interrupted\n";
std::size_t g_interruptedLength = std::strlen(g_interruptedText);

extern "C" void OnInterrupt(int)
{
    const int n = ++g_interrupts;
    ++g_generation;
    // The first Ctrl-C lets the transfer in progress end; a second one stops it.
    if (n == 2) platform::AbortTransfers();
    if (n >= 3) {
        ssize_t ignored = ::write(STDERR_FILENO, g_interruptedText, g_interruptedLength);
        (void)ignored;
        _exit(130);
    }
}

std::string IconWord(platform::MsgIcon icon)
{
    switch (icon) {
    case platform::MsgIcon::Information: return TextOr(4600, "Information");
    case platform::MsgIcon::Warning: return TextOr(4601, "Warning");
    case platform::MsgIcon::Error: return TextOr(4602, "Error");
    case platform::MsgIcon::Question: return TextOr(4603, "Question");
    case platform::MsgIcon::None: break;
    }
    return TextOr(4604, "Message");
}

// The answer given, as the button would read.
std::string AnswerWord(bool positive, bool yesNo)
{
    if (yesNo) return positive ? TextOr(4605, "Yes") : TextOr(4606, "No");
    return positive ? TextOr(4607, "OK") : TextOr(4404, "Cancel");
}

// A typed answer: the first letter of the English or the French word
// ("y"/"o" Yes or Oui, "n" No or Non; "o" OK, "c"/"a" Cancel or Annuler).
std::optional<bool> TypedAnswer(const std::string& typed, bool yesNo)
{
    const char c = char(std::tolower(static_cast<unsigned char>(typed[0])));
    if (yesNo) {
        if (c == 'y' || c == 'o') return true;
        if (c == 'n') return false;
    } else {
        if (c == 'o') return true;
        if (c == 'c' || c == 'a') return false;
    }
    return std::nullopt;
}

// A button's text without its keyboard-accelerator mark ("&Abandon").
std::string StripAmpersand(std::string s)
{
    std::string out;
    for (char c : s)
        if (c != '&') out += c;
    return out;
}

// An action of the HotSync action dialog, as its list names it.
std::string ActionName(int action)
{
    switch (action) {
    case 0: return StripAmpersand(TextOr(4043, "&Synchronize the files"));
    case 1: return StripAmpersand(TextOr(4044, "&Desktop overwrites handheld"));
    case 2: return StripAmpersand(TextOr(4045, "&Handheld overwrites Desktop"));
    case 3: return StripAmpersand(TextOr(4046, "Do &nothing"));
    default: return std::to_string(action);
    }
}

class TerminalProgressView;
std::mutex g_viewsMutex;
std::set<TerminalProgressView*> g_views;

class TerminalProgressView final : public platform::IProgressView {
public:
    explicit TerminalProgressView(CTerminalUiHost::Mode mode) : m_Mode(mode), m_SeenGeneration(g_generation.load())
    {
        std::lock_guard<std::mutex> guard(g_viewsMutex);
        g_views.insert(this);
    }
    ~TerminalProgressView() override
    {
        {
            std::lock_guard<std::mutex> guard(g_viewsMutex);
            g_views.erase(this);
        }
        Hide();
    }

    void SetTitle(const std::string& t) override { Set(m_Title, t, "title"); }
    void SetCancelText(const std::string& t) override { Set(m_CancelText, StripAmpersand(t), nullptr); }
    void SetStatus1(const std::string& t) override { Set(m_Status1, t, ""); }
    void SetStatus2(const std::string& t) override { Set(m_Status2, t, ""); }
    void SetRange1(long low, long high) override { Bar(m_Bar1, low, high); }
    void SetRange2(long low, long high) override { Bar(m_Bar2, low, high); }
    void SetPos1(long pos) override { Pos(m_Bar1, pos); }
    void SetPos2(long pos) override { Pos(m_Bar2, pos); }
    void ShowBar1(bool show) override { Visible(m_Bar1, show); }
    void ShowBar2(bool show) override { Visible(m_Bar2, show); }
    void Show() override
    {
        std::lock_guard<std::mutex> guard(m_Mutex);
        m_Shown = true;
        Draw();
    }
    void Hide() override
    {
        std::lock_guard<std::mutex> guard(m_Mutex);
        if (m_Mode == CTerminalUiHost::Mode::Interactive && m_Drawn > 0) {
            Erase();
            std::fflush(stderr);
            m_Drawn = 0;
        }
        m_Shown = false;
    }
    bool IsCancelled() const override
    {
        std::lock_guard<std::mutex> guard(m_Mutex);
        if (g_terminateSignal.load() != 0) return true;
        const unsigned gen = g_generation.load();
        if (gen != m_SeenGeneration) {
            m_SeenGeneration = gen;
            m_Cancelled = true;
        }
        return m_Cancelled;
    }
    void SetCancel(bool cancelled) override
    {
        std::lock_guard<std::mutex> guard(m_Mutex);
        m_SeenGeneration = g_generation.load();
        if (!cancelled) g_interrupts.store(0);
        m_Cancelled = cancelled;
        Draw();
    }
    void Pump() override { Tick(); }
    bool IsInteractive() const override { return m_Mode == CTerminalUiHost::Mode::Interactive; }

    void Tick()
    {
        std::lock_guard<std::mutex> guard(m_Mutex);
        ++m_Spin;
        if (m_Mode == CTerminalUiHost::Mode::Interactive) Draw();
    }

private:
    struct BarState {
        long low = 0, high = 100, pos = 0;
        bool shown = true;
    };

    void Set(std::string& field, const std::string& text, const char* lineLabel)
    {
        std::lock_guard<std::mutex> guard(m_Mutex);
        if (field == text) return;
        field = text;
        // The title and both status lines often say the same: a log reads it once.
        if (m_Mode == CTerminalUiHost::Mode::Lines && lineLabel != nullptr && !text.empty() && text != m_LastLine) {
            m_LastLine = text;
            std::fprintf(stderr, "%s\n", text.c_str());
            std::fflush(stderr);
        }
        Draw();
    }
    void Bar(BarState& b, long low, long high)
    {
        std::lock_guard<std::mutex> guard(m_Mutex);
        b.low = low;
        b.high = high;
        Draw();
    }
    void Pos(BarState& b, long pos)
    {
        std::lock_guard<std::mutex> guard(m_Mutex);
        b.pos = pos;
        Draw();
    }
    void Visible(BarState& b, bool show)
    {
        std::lock_guard<std::mutex> guard(m_Mutex);
        b.shown = show;
        Draw();
    }

    static std::string BarText(const BarState& b)
    {
        constexpr int width = 40;
        const long span = b.high > b.low ? b.high - b.low : 1;
        long p = b.pos - b.low;
        if (p < 0) p = 0;
        if (p > span) p = span;
        const int filled = int(p * width / span);
        std::string s = "[" + std::string(std::size_t(filled), '#') + std::string(std::size_t(width - filled), '.') +
                        "] " + std::to_string(p * 100 / span) + "%";
        return s;
    }

    // Erases the block last drawn, unless other output came after it.
    void Erase()
    {
        if (m_Epoch != g_outputEpoch.load()) {
            m_Epoch = g_outputEpoch.load();
            m_Drawn = 0;
        }
        for (int i = 0; i < m_Drawn; ++i) std::fputs("\x1b[1A\x1b[2K", stderr);
    }

    // Redraws the block of lines in place (interactive mode only).
    void Draw()
    {
        if (m_Mode != CTerminalUiHost::Mode::Interactive || !m_Shown) return;
        static const char spinner[] = {'|', '/', '-', '\\'};
        Erase();
        int lines = 0;
        auto line = [&](const std::string& s) {
            std::fprintf(stderr, "\r\x1b[2K%s\n", s.substr(0, 200).c_str());
            ++lines;
        };
        line(std::string(1, spinner[m_Spin % 4]) + " " + m_Title);
        line("  " + m_Status1);
        if (m_Bar1.shown) line("  " + BarText(m_Bar1));
        line("  " + m_Status2);
        if (m_Bar2.shown) line("  " + BarText(m_Bar2));
        // A press shows at once, before the run gets round to asking for it.
        const bool requested = m_Cancelled || g_generation.load() != m_SeenGeneration;
        line("  " + (requested ? TextOr(4622, "(abandon requested: Ctrl-C again stops at once)")
                                 : TextOr(4624, "Ctrl-C: %s",
                                          m_CancelText.empty() ? TextOr(4623, "Abandon") : m_CancelText)));
        std::fflush(stderr);
        m_Drawn = lines;
    }

    CTerminalUiHost::Mode m_Mode;
    mutable std::mutex m_Mutex;
    mutable unsigned m_SeenGeneration;
    mutable bool m_Cancelled = false;
    std::string m_Title, m_CancelText, m_Status1, m_Status2, m_LastLine;
    BarState m_Bar1, m_Bar2;
    bool m_Shown = false;
    int m_Drawn = 0;
    unsigned m_Spin = 0;
    unsigned m_Epoch = 0;
};

} // namespace

CTerminalUiHost::CTerminalUiHost(Mode mode, bool terminalInput) : m_Mode(mode), m_TerminalInput(terminalInput) {}

CTerminalUiHost::Mode CTerminalUiHost::DetectMode(bool quiet)
{
    if (quiet) return Mode::Quiet;
    return ::isatty(STDERR_FILENO) ? Mode::Interactive : Mode::Lines;
}

void CTerminalUiHost::InstallInterruptHandler()
{
    const std::string last = "\nhotsync: " + TextOr(4625, "interrupted") + "\n";
    g_interruptedLength = std::min(last.size(), sizeof g_interruptedText);
    std::memcpy(g_interruptedText, last.data(), g_interruptedLength);
    g_interrupts.store(0);
    g_terminateSignal.store(0);
    g_terminations.store(0);
    platform::ResumeTransfers();
    platform::CatchStopSignals(OnInterrupt, OnTerminate);
}

bool CTerminalUiHost::Interrupted()
{
    return g_interrupts.load() > 0 || g_terminateSignal.load() != 0;
}

int CTerminalUiHost::TerminationSignal()
{
    return g_terminateSignal.load();
}

void CTerminalUiHost::RestoreInterruptHandler()
{
    platform::ResetStopSignals();
}

std::string CTerminalUiHost::ReadLine(const std::string& prompt, bool echo)
{
    std::fprintf(stderr, "%s", prompt.c_str());
    std::fflush(stderr);
    bool wasOn = true;
    const bool quiet = !echo && platform::StopInputEcho(wasOn);
    std::string line;
    if (!std::getline(std::cin, line)) line.clear();
    if (quiet) {
        platform::RestoreInputEcho(wasOn);
        std::fprintf(stderr, "\n");
    }
    return line;
}

platform::MsgResult CTerminalUiHost::ShowMessage(const std::string& text, const std::string& caption,
                                                 platform::MsgIcon icon, platform::MsgButtons buttons,
                                                 platform::MsgResult defaultButton)
{
    using platform::MsgButtons;
    using platform::MsgResult;
    std::lock_guard<std::mutex> guard(m_Mutex);
    ++g_outputEpoch;
    const std::string head = caption.empty() ? IconWord(icon) : caption;
    if (m_Mode != Mode::Quiet || buttons != MsgButtons::Ok)
        std::fprintf(stderr, "\n[%s] %s\n", head.c_str(), text.c_str());
    if (buttons == MsgButtons::Ok) return MsgResult::Ok;
    const bool yesNo = buttons == MsgButtons::YesNo;
    const MsgResult positive = yesNo ? MsgResult::Yes : MsgResult::Ok;
    const MsgResult negative = yesNo ? MsgResult::No : MsgResult::Cancel;
    if (g_terminateSignal.load() != 0) {
        std::fprintf(stderr, "  -> %s\n", TextOr(4609, "%s (stopping)", AnswerWord(false, yesNo)).c_str());
        return negative;
    }
    if (m_Answer) {
        std::fprintf(stderr, "  -> %s\n", AnswerWord(*m_Answer, yesNo).c_str());
        return *m_Answer ? positive : negative;
    }
    if (!m_TerminalInput) {
        const bool pos = defaultButton == positive;
        std::fprintf(stderr, "  -> %s\n",
                     TextOr(4610, "%s (no terminal; use --yes or --no)", AnswerWord(pos, yesNo)).c_str());
        return pos ? positive : negative;
    }
    const bool defYes = defaultButton == positive;
    const std::string prompt = yesNo ? (defYes ? TextOr(4611, "Yes or No [Y/n]?") : TextOr(4612, "Yes or No [y/N]?"))
                                     : (defYes ? TextOr(4613, "OK or Cancel [O/c]?")
                                               : TextOr(4614, "OK or Cancel [o/C]?"));
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::string a = ReadLine("  " + prompt + " ", true);
        if (a.empty()) return defYes ? positive : negative;
        if (const std::optional<bool> answer = TypedAnswer(a, yesNo)) return *answer ? positive : negative;
    }
    return defYes ? positive : negative;
}

bool CTerminalUiHost::AskCredentials(const std::string& prompt, std::string& user, std::string& password)
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    if (!m_TerminalInput) return false;
    ++g_outputEpoch;
    std::fprintf(stderr, "\n%s\n", prompt.c_str());
    user = ReadLine("  " + TextOr(4615, "User name:") + " ", true);
    password = ReadLine("  " + TextOr(4616, "Password:") + " ", false);
    return !user.empty();
}

bool CTerminalUiHost::AskSyncAction(platform::SyncActionRequest& request)
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    if (m_Action) {
        if (*m_Action < 0 || *m_Action > 3) return false;
        request.action = *m_Action;
        request.makeDefault = m_MakeDefault;
        return true;
    }
    if (!m_TerminalInput) {
        // As a question without a terminal: the current action, unless --no.
        if (m_Answer == false) return false;
        std::fprintf(stderr, "%s\n",
                     TextOr(4617, "HotSync action: %s kept (no terminal; use --action)", ActionName(request.action))
                         .c_str());
        request.makeDefault = false;
        return true;
    }
    ++g_outputEpoch;
    std::fprintf(stderr, "\n%s\n",
                 TextOr(4618, "HotSync action for %s:", StripAmpersand(request.conduitName)).c_str());
    for (int i = 0; i < 4; ++i)
        std::fprintf(stderr, "  %d %s%s\n", i, ActionName(i).c_str(),
                     i == request.action ? ("  " + TextOr(4619, "(current)")).c_str() : "");
    std::string a = ReadLine("  " + TextOr(4620, "Action [0-3, empty keeps it, c cancels]:") + " ", true);
    if (!a.empty() && (a[0] == 'c' || a[0] == 'C' || a[0] == 'a' || a[0] == 'A')) return false;
    if (!a.empty()) {
        if (a.size() != 1 || a[0] < '0' || a[0] > '3') return false;
        request.action = a[0] - '0';
    }
    std::string d = ReadLine("  " + TextOr(4621, "Set as default [y/N]?") + " ", true);
    request.makeDefault = !d.empty() && TypedAnswer(d, true).value_or(false);
    return true;
}

std::unique_ptr<platform::IProgressView> CTerminalUiHost::CreateProgressView()
{
    return std::make_unique<TerminalProgressView>(m_Mode);
}

void CTerminalUiHost::Note(const std::string& text)
{
    if (m_Mode == Mode::Quiet || text.empty()) return;
    std::lock_guard<std::mutex> guard(m_Mutex);
    ++g_outputEpoch;
    std::fprintf(stderr, "%s\n", text.c_str());
}

void CTerminalUiHost::Tick()
{
    std::lock_guard<std::mutex> guard(g_viewsMutex);
    for (TerminalProgressView* v : g_views) v->Tick();
}
