// NvConnexion.exe's dialog and NvPassword.exe's window under Wine: resource
// 102 to the dialog unit, the settings window to the pixel as the forms'
// definitions place it, their texts from the catalog, and the login page
// driven as a person would, every box answered by the test.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <thread>
#include <string>
#include <vector>

#include "common/TestFiles.h"
#include "connexion/win32/ListBoxStatusWindow.h"
#include "connexion/win32/NvConnexionDlg.h"
#include "connexion/win32/resource.h"
#include "lexmo/Lexmo.h"
#include "nvservices/NvServices.h"
#include "password/FormLayout.h"
#include "password/win32/FrmPassword.h"
#include "password/win32/WinMsgBox.h"
#include "platform/ui/win32/WideText.h"
#include "SettingsRegistry.h"

namespace {

const std::string P = "SOFTWARE\\Norvelia\\Tidepost";

// A control's place in its parent's client area.
RECT Placed(HWND control)
{
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Where the dialog manager puts a control: its origin and its size each
// converted from dialog units.
RECT Units(HWND dialog, int x, int y, int w, int h)
{
    RECT r{x, y, w, h};
    MapDialogRect(dialog, &r);
    return RECT{r.left, r.top, r.left + r.right, r.top + r.bottom};
}

void ExpectRect(const RECT& got, const RECT& want, const char* what)
{
    EXPECT_EQ(got.left, want.left) << what;
    EXPECT_EQ(got.top, want.top) << what;
    EXPECT_EQ(got.right, want.right) << what;
    EXPECT_EQ(got.bottom, want.bottom) << what;
}

bool CanShowWindows()
{
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe) DestroyWindow(probe);
    return probe != nullptr;
}

class SettingsDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!CanShowWindows()) GTEST_SKIP() << "no window station: run under Wine with a display";
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        settings_test::Clear();
        ASSERT_TRUE(settings_test::PutText(P, "MsgDll", "LexmoUs.dll"));
        ASSERT_TRUE(settings_test::PutText(P + "\\Servers", "Norvelia", "http://127.0.0.1:8470/Tidepost/xxx/yyy"));
    }
    void TearDown() override
    {
        TWinMsgBox::SetHook({});
        settings_test::Clear();
    }
};

TEST_F(SettingsDialogs, ConnexionDialogIsResource102)
{
    ASSERT_GT(KESA_LoadMessages("LexmoUs.dll"), 0);
    CNvConnexionDlg dialog("");
    HWND w = dialog.Create();
    ASSERT_NE(w, nullptr);
    RECT client{};
    GetClientRect(w, &client);
    const RECT whole = Units(w, 0, 0, 369, 170);
    // An etched line is drawn with its edge's own size: its place only.
    RECT line = Placed(GetDlgItem(w, IDC_LINE));
    EXPECT_EQ(line.top, Units(w, 3, 30, 360, 1).top);
    EXPECT_EQ(line.left, Units(w, 3, 30, 360, 1).left);
    EXPECT_EQ(client.right, whole.right);
    EXPECT_EQ(client.bottom, whole.bottom);
    const struct {
        int id;
        int x, y, width, height;
    } controls[] = {
        {IDOK, 278, 154, 45, 14},         {IDCANCEL, 326, 154, 38, 14}, {IDC_ICON_FRAME, 3, 2, 27, 25},
        {IDC_EXPLANATION, 33, 3, 330, 24}, {IDC_LOG, 4, 35, 360, 117},
    };
    for (const auto& c : controls)
        ExpectRect(Placed(GetDlgItem(w, c.id)), Units(w, c.x, c.y, c.width, c.height), std::to_string(c.id).c_str());
    // Both scroll bars, unsorted, no integral height; the check button is the default one.
    const LONG_PTR log = GetWindowLongPtrW(GetDlgItem(w, IDC_LOG), GWL_STYLE);
    EXPECT_TRUE(log & LBS_NOINTEGRALHEIGHT);
    // A dialog draws the border of its controls sunken.
    EXPECT_TRUE((log & WS_BORDER) || (GetWindowLongPtrW(GetDlgItem(w, IDC_LOG), GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
    EXPECT_FALSE(log & LBS_SORT);
    EXPECT_EQ(GetWindowLongPtrW(GetDlgItem(w, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    const LONG_PTR style = GetWindowLongPtrW(w, GWL_STYLE);
    EXPECT_TRUE((style & WS_SYSMENU) && (style & WS_MINIMIZEBOX) && (style & DS_MODALFRAME));
    EXPECT_EQ(platform::WindowText(w), "Norvelia connection check");
    EXPECT_EQ(platform::WindowText(GetDlgItem(w, IDOK)), "&Check");
    EXPECT_EQ(platform::WindowText(GetDlgItem(w, IDCANCEL)), "&Quit");
    EXPECT_EQ(platform::WindowText(GetDlgItem(w, IDC_EXPLANATION)), KESA_FormatMessage(2057));
    EXPECT_NE(SendMessageW(w, WM_GETICON, ICON_BIG, 0), 0);

    // A line longer than the list, as the probe's thread posts it: the list
    // scrolls sideways to its end rather than cutting or wrapping it.
    HWND list = GetDlgItem(w, IDC_LOG);
    CListBoxStatusWindow status(w);
    status.AddLine(std::string(300, 'x'));
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 1);
    RECT inside{};
    GetClientRect(list, &inside);
    EXPECT_GT(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0), inside.right);
    EXPECT_TRUE(GetWindowLongPtrW(list, GWL_STYLE) & WS_HSCROLL);
}

// The settings window: every control where the definitions put it, the
// columns and password character as drawn, the proxy group hidden when the
// connection page comes first.
TEST_F(SettingsDialogs, PasswordWindowAsDrawn)
{
    ASSERT_TRUE(settings_test::PutText(P, "Mode", "1"));
    ASSERT_TRUE(settings_test::PutNumber(P + "\\Users", "LastActiveTab", 1));
    TfrmPassword form;
    ASSERT_TRUE(form.FormCreate());
    HWND w = form.Window();
    RECT client{};
    GetClientRect(w, &client);
    EXPECT_EQ(client.right, 572);
    EXPECT_EQ(client.bottom, 297);
    for (const TControlDef& def : formlayout::kPassword.controls) {
        HWND control = form.Control(def.name);
        ASSERT_NE(control, nullptr) << def.name;
        RECT want{def.x, def.y, def.x + def.width, def.y + def.height};
        if (std::string(def.parent) == "gbxProxyLogin" || std::string(def.parent) == "GroupBox1" ||
            std::string(def.parent) == "gbxProxy") {
            const TControlDef& group = formlayout::Control(formlayout::kPassword, def.parent);
            OffsetRect(&want, group.x, group.y);
        } else if (std::string(def.parent) == "tabCtl") {
            OffsetRect(&want, 123, 0);
        }
        RECT got = Placed(control);
        if (def.kind == TControlKind::ComboList) got.bottom = got.top + def.height; // the closed list
        ExpectRect(got, want, def.name);
    }
    const int widths[] = {50, 70, 60, 350};
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(SendMessageW(form.Control("ListView1"), LVM_GETCOLUMNWIDTH, WPARAM(c), 0), widths[c]);
    for (const char* name : {"EdNewPasswordNorvelia", "EdConfirmPasswordNorvelia", "edtProxyPassword"})
        EXPECT_EQ(SendMessageW(form.Control(name), EM_GETPASSWORDCHAR, 0, 0), L'*') << name;
    EXPECT_EQ(form.ActivePage(), 1);
    EXPECT_EQ(SendMessageW(form.Control("rbConnectionProxy"), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_FALSE(GetWindowLongPtrW(form.Control("gbxProxyLogin"), GWL_STYLE) & WS_VISIBLE);
    EXPECT_FALSE(GetWindowLongPtrW(form.Control("edtProxyLogin"), GWL_STYLE) & WS_VISIBLE);
    // Windows' own connection settings, on Windows.
    EXPECT_EQ(platform::WindowText(form.Control("rbConnectionDefault")), "Use the default Windows settings");
    EXPECT_EQ(platform::WindowText(w), KESA_FormatMessage(3008));
}

// The login page driven through its controls: the user chosen, the three
// fields typed, Valider pressed; UID and the cyphered PWD written.
TEST_F(SettingsDialogs, LoginPageStoresTheLogin)
{
    TempDir home("norv-users");
    {
        std::ofstream users(home / "users.dat", std::ios::binary);
        const char record[] = "\1\0\0\0\0\0\0\0\0\0\0\0\0" "\0\0\0\0" "\4Anne" "\4Anne" "\0";
        users.write(record, sizeof record - 1);
    }
    ASSERT_TRUE(settings_test::PutText("Software\\U.S. Robotics\\Pilot Desktop\\Core", "Path", home.Path(), true));
    ASSERT_TRUE(settings_test::PutText(P + "\\Users\\Anne", "CurrentServer", "Norvelia"));
    std::vector<std::string> boxes;
    TWinMsgBox::SetHook([&](const TWinMsgBox::Request& r) {
        boxes.push_back(r.text);
        return IDOK;
    });
    TfrmPassword form;
    ASSERT_TRUE(form.FormCreate());
    EXPECT_EQ(form.ChosenUser("ComboUserList"), "Anne");
    HWND ok = form.Control("btnNorveliaLoginOk");
    EXPECT_FALSE(IsWindowEnabled(ok));
    SetWindowTextW(form.Control("EdLoginNorvelia"), L"anne");
    SetWindowTextW(form.Control("EdNewPasswordNorvelia"), L"s3cret");
    EXPECT_FALSE(IsWindowEnabled(ok));
    SetWindowTextW(form.Control("EdConfirmPasswordNorvelia"), L"s3cret");
    EXPECT_TRUE(IsWindowEnabled(ok));
    SendMessageW(ok, BM_CLICK, 0, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], KESA_FormatMessage(3031));
    EXPECT_EQ(settings_test::Get(P + "\\Users\\Anne\\Norvelia", "UID"), std::optional(std::string("anne", 5)));
    EXPECT_EQ(settings_test::Get(P + "\\Users\\Anne\\Norvelia", "PWD"),
              std::optional(NvCypher("s3cret", "k&vanne") + '\0'));
    EXPECT_FALSE(IsWindowEnabled(ok));
}

// The quit question's buttons speak the catalog's language, whatever the
// system's: a person stand-in reads them and answers No.
TEST_F(SettingsDialogs, QuestionButtonsFromTheCatalog)
{
    ASSERT_GT(KESA_LoadMessages("Lexmo.dll"), 0);
    std::string yes, no;
    std::thread person([&] {
        for (int i = 0; i < 500; ++i) {
            if (HWND box = FindWindowW(L"#32770", L"NorvTestQuestion"); box && IsWindowVisible(box)) {
                yes = platform::WindowText(GetDlgItem(box, IDYES));
                no = platform::WindowText(GetDlgItem(box, IDNO));
                PostMessageW(box, WM_COMMAND, IDNO, 0);
                return;
            }
            Sleep(10);
        }
    });
    const int answer = TWinMsgBox::Show(nullptr, {"?", "NorvTestQuestion", MB_YESNO | MB_ICONQUESTION});
    person.join();
    EXPECT_EQ(answer, IDNO);
    EXPECT_EQ(yes, "&Oui");
    EXPECT_EQ(no, "&Non");
}

} // namespace
