// The Windows host under Wine: the progress dialog laid out as resource 129
// (texts, ranges, positions, "Abandon", the icon order), and the message box,
// credentials and HotSync action questions answered by a person stand-in.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "lexmo/Lexmo.h"
#include "platform/ui/win32/NorvProgressDlg.h"
#include "platform/ui/win32/Win32UiHost.h"
#include "platform/ui/win32/WideText.h"
#include "platform/ui/win32/resource.h"

namespace {

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

// Finds the top-level window titled `caption` of this process within a few
// seconds and hands it to `act` on a thread of its own, as a person would.
class Person {
public:
    Person(std::wstring caption, std::function<void(HWND)> act)
        : m_Thread([this, caption = std::move(caption), act = std::move(act)] {
              for (int i = 0; i < 500 && !m_Stop; ++i) {
                  if (HWND w = FindWindowW(L"#32770", caption.c_str()); w && IsWindowVisible(w)) {
                      act(w);
                      m_Acted = true;
                      return;
                  }
                  Sleep(10);
              }
          })
    {
    }
    ~Person() { Acted(); }
    bool Acted()
    {
        m_Stop = true;
        if (m_Thread.joinable()) m_Thread.join();
        return m_Acted;
    }

private:
    std::atomic<bool> m_Stop{false};
    std::atomic<bool> m_Acted{false};
    std::thread m_Thread;
};

void Press(HWND dialog, int id)
{
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

class Win32UiHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!m_Host.Ready()) GTEST_SKIP() << "no window station: run under Wine with a display (scripts/test-windows)";
    }
    platform::CWin32UiHost m_Host;
};

TEST_F(Win32UiHostTest, ProgressDialogFollowsTheRun)
{
    auto view = m_Host.CreateProgressView();
    auto* dlg = dynamic_cast<CNorvProgressDlg*>(view.get());
    ASSERT_NE(dlg, nullptr) << "the host fell back to a silent view";
    HWND w = dlg->Window();

    // Resource 129: 206 x 162 dialog units, "Abandon" at 80, 146, 50, 14.
    RECT units{0, 0, 206, 162}, client{};
    MapDialogRect(w, &units);
    GetClientRect(w, &client);
    EXPECT_EQ(client.right, units.right);
    EXPECT_EQ(client.bottom, units.bottom);
    RECT button{80, 146, 130, 160}, placed{};
    MapDialogRect(w, &button);
    GetWindowRect(GetDlgItem(w, IDC_ABANDON), &placed);
    MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, button.left);
    EXPECT_EQ(placed.top, button.top);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(w, IDC_BITMAP_PLACE)));

    view->SetTitle("Norvelia - Progression");
    view->SetCancelText("&Abandon");
    view->SetStatus1("Échange de données");
    view->SetStatus2("Réception de la chaîne C1...");
    view->SetRange1(0, 100000);
    view->SetRange2(0, 8);
    view->SetPos1(99999);
    view->SetPos2(3);
    view->ShowBar1(false);
    view->Show();
    EXPECT_EQ(platform::WindowText(w), "Norvelia - Progression");
    EXPECT_EQ(platform::WindowText(GetDlgItem(w, IDC_ABANDON)), "&Abandon");
    EXPECT_EQ(platform::WindowText(GetDlgItem(w, IDC_STATUS1)), "Échange de données");
    EXPECT_EQ(platform::WindowText(GetDlgItem(w, IDC_STATUS2)), "Réception de la chaîne C1...");
    EXPECT_EQ(SendDlgItemMessageW(w, IDC_BAR1, PBM_GETRANGE, FALSE, 0), 100000);
    EXPECT_EQ(SendDlgItemMessageW(w, IDC_BAR1, PBM_GETPOS, 0, 0), 99999);
    EXPECT_EQ(SendDlgItemMessageW(w, IDC_BAR2, PBM_GETRANGE, FALSE, 0), 8);
    EXPECT_EQ(SendDlgItemMessageW(w, IDC_BAR2, PBM_GETPOS, 0, 0), 3);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(w, IDC_BAR1)));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(w, IDC_BAR2)));
    EXPECT_TRUE(IsWindowVisible(w));

    // The icons come in the timer's order, from 138, wrapping after six. The
    // dialog's own timer ticks too: each step is read against the index it
    // started from, not against a count kept here.
    const int order[] = {138, 134, 135, 136, 137, 133, 138};
    for (int i = 0; i < 7; ++i) {
        const int before = dlg->IconIndex();
        dlg->OnTimer();
        EXPECT_EQ(dlg->CurrentIcon(), order[before % 6]) << i;
    }

    // "Abandon": the flag set, the button disabled; SetCancel(false) enables it again.
    EXPECT_FALSE(view->IsCancelled());
    Press(w, IDC_ABANDON);
    EXPECT_TRUE(view->IsCancelled());
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w, IDC_ABANDON)));
    view->SetCancel(false);
    EXPECT_FALSE(view->IsCancelled());
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(w, IDC_ABANDON)));
    // Closing the window is "Abandon" too, and leaves it for the run to remove.
    SendMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_TRUE(view->IsCancelled());
    EXPECT_TRUE(IsWindow(w));
    view->Hide();
    EXPECT_FALSE(IsWindowVisible(w));
    view.reset();
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(Win32UiHostTest, MessageBoxesAnswerAsPressed)
{
    const struct {
        MsgButtons buttons;
        MsgResult defaultButton;
        int press;  // 0: Enter, the default button
        MsgResult expected;
    } cases[] = {
        {MsgButtons::Ok, MsgResult::Ok, IDOK, MsgResult::Ok},
        {MsgButtons::YesNo, MsgResult::Yes, IDNO, MsgResult::No},
        {MsgButtons::YesNo, MsgResult::No, 0, MsgResult::No},
        {MsgButtons::YesNo, MsgResult::Yes, 0, MsgResult::Yes},
        {MsgButtons::OkCancel, MsgResult::Cancel, 0, MsgResult::Cancel},
        {MsgButtons::OkCancel, MsgResult::Ok, IDCANCEL, MsgResult::Cancel},
    };
    for (const auto& c : cases) {
        std::string seen;
        Person person(L"Norvelia – question", [&](HWND box) {
            for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                wchar_t cls[16] = {};
                GetClassNameW(child, cls, 16);
                if (lstrcmpiW(cls, L"Static") == 0 && GetWindowTextLengthW(child) > 0) seen = platform::WindowText(child);
            }
            if (c.press) {
                Press(box, c.press);
            } else {
                // Enter presses the button that holds the default style.
                int def = 0;
                for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                    if ((GetWindowLongW(child, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON) def = GetDlgCtrlID(child);
                Press(box, def);
            }
        });
        EXPECT_EQ(m_Host.ShowMessage("Synchroniser « Anne » ?", "Norvelia – question", MsgIcon::Question, c.buttons,
                                     c.defaultButton),
                  c.expected);
        EXPECT_TRUE(person.Acted());
        EXPECT_EQ(seen, "Synchroniser « Anne » ?");
    }
}

TEST_F(Win32UiHostTest, CredentialsAreAskedWithTheirPrompt)
{
    std::string prompt;
    Person person(L"Identification", [&](HWND dlg) {
        prompt = platform::WindowText(GetDlgItem(dlg, IDC_PROMPT));
        EXPECT_EQ(platform::WindowText(GetDlgItem(dlg, IDC_USER)), "anne");
        SetDlgItemTextW(dlg, IDC_USER, L"anne.b");
        SetDlgItemTextW(dlg, IDC_PASSWORD, L"s3cret-pwd");
        EXPECT_TRUE(GetWindowLongW(GetDlgItem(dlg, IDC_PASSWORD), GWL_STYLE) & ES_PASSWORD);
        Press(dlg, IDOK);
    });
    std::string user = "anne", password;
    ASSERT_TRUE(m_Host.AskCredentials("The service at 127.0.0.1:8470 asks", user, password));
    EXPECT_TRUE(person.Acted());
    EXPECT_EQ(prompt, "The service at 127.0.0.1:8470 asks");
    EXPECT_EQ(user, "anne.b");
    EXPECT_EQ(password, "s3cret-pwd");

    Person declines(L"Identification", [](HWND dlg) { Press(dlg, IDCANCEL); });
    user = "anne";
    EXPECT_FALSE(m_Host.AskCredentials("again", user, password));
    EXPECT_EQ(user, "anne");
}

TEST_F(Win32UiHostTest, SyncActionDialogReturnsTheChoice)
{
    const struct {
        int start;
        int pick;
        bool makeDefault;
        bool ok;
    } cases[] = {{0, 2, true, true}, {3, 0, false, true}, {1, 3, true, false}};
    for (const auto& c : cases) {
        std::string conduit;
        Person person(L"Change HotSync Action - Norvelia", [&](HWND dlg) {
            conduit = platform::WindowText(GetDlgItem(dlg, IDC_CONDUIT));
            EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_ACTION0 + c.start), BST_CHECKED);
            Press(dlg, IDC_ACTION0 + c.pick);
            if (c.makeDefault) Press(dlg, IDC_MAKE_DEFAULT);
            Press(dlg, c.ok ? IDOK : IDCANCEL);
        });
        platform::SyncActionRequest request{"&Norvelia", c.start, false};
        EXPECT_EQ(m_Host.AskSyncAction(request), c.ok);
        EXPECT_TRUE(person.Acted());
        EXPECT_EQ(conduit, "Conduit: Norvelia");
        EXPECT_EQ(request.action, c.ok ? c.pick : c.start);
        EXPECT_EQ(request.makeDefault, c.ok && c.makeDefault);
    }
}

} // namespace
