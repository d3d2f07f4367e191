// The settings program's main window on Windows: the service login per
// HotSync user, the connection mode and proxy credentials, and the servers,
// on three pages of a tab control, with the product's artwork on the left.
// Its handlers carry the names of the Qt window's and call the same logic.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "password/ConnectionChoice.h"
#include "password/win32/WinForm.h"

class TfrmDlgSrv;
class TfrmDlgCnx;
class TfrmDlgCrtcUsr;

class TfrmPassword {
public:
    TfrmPassword();
    ~TfrmPassword();
    TfrmPassword(const TfrmPassword&) = delete;
    TfrmPassword& operator=(const TfrmPassword&) = delete;

    // Makes the window (hidden) and runs the start-up; false when the
    // program must end (the message library failed).
    bool FormCreate();
    HWND Window() const { return m_Form.Window(); }
    HWND Control(const char* name) const { return m_Form.Control(name); }
    TWinForm& Form() { return m_Form; }

    // Message texts, through the window's text buffer.
    std::string Message(int number);
    void ShowError(int number, HWND owner = nullptr);
    void ShowInfo(int number, HWND owner = nullptr);
    const char* ErrorCaption() const { return m_Caption; }
    const char* InfoCaption() const { return m_InfoCaption; }

    // Login page.
    void tabCtlChange(int index);
    void ComboUserListChange();
    void EnableNorveliaLoginOk();
    void btnNorveliaLoginOkClick();
    void btnCancelClick();
    void FormClose();
    void SaveState();
    // Connection page.
    void tabCheckConnectionEnter();
    void rbConnectionDefaultClick();
    void rbConnectionProxyClick();
    void edtProxyLoginChange();
    void btnCheckConnectionOkClick();
    void btnTestCnxClick();
    void cbLanguageChange();
    // Servers page.
    void ComboSrvUserListChange();
    void FillServerList(const std::vector<std::string>& names);
    void RefreshServerList(const std::string& user);
    void MakeDefaultServer();
    void btnCreateServerClick();
    void btnModifyServerClick();
    void btnDeleteServerClick();
    void btnDefaultServerClick();
    void ListView1DblClick();
    std::string FocusedServer() const;
    bool FocusServer(const std::string& server);
    // The bytes of the user chosen in a list; empty with none.
    std::string ChosenUser(const char* combo) const;
    void ChooseUser(int index);

    int ActivePage() const;
    void ShowPage(int index);
    // Where NvConnexion.exe is started from: this program's folder unless set.
    void SetProgramDir(const std::string& dir) { m_ProgramDir = dir; }
    bool QuitRequested() const { return m_QuitRequested; }

    TfrmDlgSrv& DlgSrv() { return *m_DlgSrv; }
    TfrmDlgCnx& DlgCnx() { return *m_DlgCnx; }
    TfrmDlgCrtcUsr& DlgCrtcUsr() { return *m_DlgCrtcUsr; }

    // Columns of ListView1.
    enum { colMarker, colServer, colLogin, colUrl };
    static constexpr const char* kMarker = "      X";

private:
    static INT_PTR CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id, int code);
    bool OnNotify(const NMHDR& header);
    void SetDialogStrings();
    bool InitMessages();
    void ReadConnectionPage();
    void ShowLastTab();
    void ShowProxyGroup(bool show);
    void MarkCurrentServer(const std::string& user);
    void FillUsers(const char* combo);
    void ShowServerMenu(POINT at);
    bool Checked(const char* name) const;
    bool Enabled(const char* name) const;
    void Enable(const char* name, bool on);
    std::string Text(const char* name) const;
    void SetText(const char* name, const std::string& text);

    TWinForm m_Form;
    char m_Caption[65] = "Norvelia";
    char m_InfoCaption[65] = "Information";
    char m_Text[2049] = {};
    std::vector<std::string> m_Users;
    std::vector<std::string> m_RowServers;
    std::string m_SelectedUser;
    std::string m_ShownServer;
    TConnectionChoice m_Connection;
    std::string m_ProgramDir;
    bool m_QuitRequested = false;
    std::unique_ptr<TfrmDlgSrv> m_DlgSrv;
    std::unique_ptr<TfrmDlgCnx> m_DlgCnx;
    std::unique_ptr<TfrmDlgCrtcUsr> m_DlgCrtcUsr;
};
