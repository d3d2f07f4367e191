// The HotSync window of hotsync.exe, the Windows counterpart of hotsync-gui:
// the HotSync user and the handheld's folder (remembered per user), one
// button that runs the same synchronization as `hotsync sync` while
// NorvWinHost.dll shows the progress dialog 129 as the conduit drives it,
// then the run's verdict, what became of each order, and its log, each line
// with its icon and colour. File > Restore a backup puts one back.
// The header names no Win32 type: the program's main includes it.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "hotsync/win32/WindowSync.h"

class CHotSyncWindow {
public:
    // `home` as --home gives it: empty for the default.
    explicit CHotSyncWindow(const std::string& home);
    ~CHotSyncWindow();
    CHotSyncWindow(const CHotSyncWindow&) = delete;
    CHotSyncWindow& operator=(const CHotSyncWindow&) = delete;

    // Loads the catalog that MsgDll names (French when unset), so that the
    // window and the run speak one language; false when none can be loaded.
    static bool LoadLanguage();

    // As hotsync-gui without a display.
    static constexpr int kExitNoWindow = 69;

    // Opens the window, with `user` and `handheld` chosen when given, and
    // serves it until it is closed. The exit status: 0; kExitNoWindow when no
    // window can be shown; 130 when Ctrl-C in the console it was started from
    // ended it.
    // Started alone on a console (from the Start menu), it lets the console go.
    int Run(const std::string& user, const std::string& handheld);

    // A message of the window, from its dialog procedure.
    std::intptr_t Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

private:
    void SetTexts();
    bool LoadUsers();
    bool SelectUser(const std::string& name);
    void UserChanged();
    std::string CurrentUser() const;
    std::string Handheld() const;
    void SetHandheld(const std::string& dir);
    void Browse();
    bool StartSync();
    void Finished();
    void ShowLog(const CWindowSync::Result& result);
    void ShowVerdict(const CWindowSync::Result& result);
    void SetOutcome(const std::wstring& text, const CRunLook* look = nullptr);
    std::intptr_t DrawLogRow(std::intptr_t item) const;
    std::intptr_t OutcomeColours(std::intptr_t dc, std::intptr_t control) const;
    void RestoreBackup();
    void Close();
    std::wstring SettingsPath() const;
    std::wstring SettingsKey() const;

    CWindowSync m_Sync;
    void* m_Window = nullptr; // the dialog's HWND
    int m_ExitCode = 0;
    bool m_CloseAfterRun = false;
    std::thread m_Run;
    std::mutex m_Mutex;
    CWindowSync::Result m_Result; // the run's thread's, until it posts its end
    std::vector<CRunLook> m_RowLooks;  // the log list's, row by row
    std::optional<CRunLook> m_OutcomeLook; // a verdict's; none for the window's own notes
    struct FontDeleter {
        void operator()(void* font) const;
    };
    std::unique_ptr<void, FontDeleter> m_StrongFont; // the dialog's font in bold
};
