// The settings program's main window: the service login per HotSync user, the
// connection mode and proxy credentials, and the servers.
#pragma once
#include <QWidget>

#include <string>
#include <vector>

#include "password/ConnectionChoice.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class QStyle;
class TfrmDlgSrv;
class TfrmDlgCnx;
class TfrmDlgCrtcUsr;

class TfrmPassword : public QWidget {
    Q_OBJECT
public:
    // Builds the window and its three dialogs with their built-in French texts; FormCreate fills them.
    explicit TfrmPassword(QWidget* parent = nullptr);
    ~TfrmPassword() override;

    // Start-up; false when the program must end (the message library failed).
    bool FormCreate();

    // Message texts, through the window's text and caption buffers.
    QString Message(int number);
    // Boxes over `parent`, the window itself by default.
    void ShowError(int number, QWidget* parent = nullptr);
    void ShowInfo(int number, QWidget* parent = nullptr);
    QString ErrorCaption() const;
    QString InfoCaption() const;

    // Login page.
    void tabCtlChange(int index);
    void ComboUserListChange();
    void EdLoginNorveliaChange();
    void EdNewPasswordNorveliaChange();
    void EdConfirmPasswordNorveliaChange();
    void EnableNorveliaLoginOk();
    void btnNorveliaLoginOkClick();
    void btnCancelClick();
    void SaveState();
    // Connection page.
    void tabCheckConnectionEnter();
    void rbConnectionDefaultClick();
    void rbConnectionProxyClick();
    void edtProxyLoginChange();
    void edtProxyPasswordChange();
    void btnCheckConnectionOkClick();
    void btnTestCnxClick();
    void cbLanguageChange(int index);
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
    // The server of the focused row, empty without one.
    std::string FocusedServer() const;
    // Focuses the row of `server`; false when there is none.
    bool FocusServer(const std::string& server);
    QTreeWidgetItem* FindServerRow(const std::string& server) const;

    // Where NvConnexion is started from: this program's directory unless set.
    void SetProgramDir(const std::string& dir) { m_ProgramDir = dir; }
    std::string ProgramDir() const;
    // Whether btnCancelClick let the program quit.
    bool QuitRequested() const { return m_QuitRequested; }
    // Grabs every page and dialog into PNG files of `dir`.
    bool SaveScreenshots(const QString& dir);

    // Controls, named as the form names them.
    QLabel* Image1 = nullptr;
    QTabWidget* tabCtl = nullptr;
    QWidget* tabNorveliaLogin = nullptr;
    QWidget* tabCheckConnection = nullptr;
    QWidget* tabServers = nullptr;
    QPushButton* btnCancel = nullptr;

    QLabel* lblTitleNorvelia = nullptr;
    QLabel* lblExplainNorvelia = nullptr;
    QLabel* lblUsername = nullptr;
    QComboBox* ComboUserList = nullptr;
    QLabel* lblDefaultServer = nullptr;
    QComboBox* ComboServerList = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* lblLogin = nullptr;
    QLineEdit* EdLoginNorvelia = nullptr;
    QLabel* lblPassword = nullptr;
    QLineEdit* EdNewPasswordNorvelia = nullptr;
    QLabel* lblConfirmPassword = nullptr;
    QLineEdit* EdConfirmPasswordNorvelia = nullptr;
    QPushButton* btnNorveliaLoginOk = nullptr;

    QLabel* lblTitleProxy = nullptr;
    QLabel* lblExplainProxy = nullptr;
    QGroupBox* gbxProxy = nullptr;
    QRadioButton* rbConnectionDefault = nullptr;
    QRadioButton* rbConnectionProxy = nullptr;
    QGroupBox* gbxProxyLogin = nullptr;
    QLabel* lblProxyLogin = nullptr;
    QLineEdit* edtProxyLogin = nullptr;
    QLabel* lblProxyPassword = nullptr;
    QLineEdit* edtProxyPassword = nullptr;
    QLabel* lblNoInfoSentToNorvelia = nullptr;
    QPushButton* btnTestCnx = nullptr;
    // The language of messages and windows, from the next start of each program.
    QComboBox* cbLanguage = nullptr;
    QPushButton* btnCheckConnectionOk = nullptr;

    QLabel* lblTitleServers = nullptr;
    QLabel* lblExplainServers = nullptr;
    QLabel* lblSrvUserName = nullptr;
    QComboBox* ComboSrvUserList = nullptr;
    QTreeWidget* ListView1 = nullptr;
    QPushButton* btnCreateServer = nullptr;
    QPushButton* btnDeleteServer = nullptr;
    QPushButton* btnModifyServer = nullptr;
    QPushButton* btnDefaultServer = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* AddNewServer1 = nullptr;
    QAction* SuppressServer1 = nullptr;
    QAction* ConnexionParam1 = nullptr;
    QAction* DefaultServer1 = nullptr;

    // The dialogs, created after the window, in this order.
    TfrmDlgSrv* frmDlgSrv = nullptr;
    TfrmDlgCnx* frmDlgCnx = nullptr;
    TfrmDlgCrtcUsr* frmDlgCrtcUsr = nullptr;

    // Columns of ListView1.
    enum { colMarker, colServer, colLogin, colUrl };
    static constexpr const char* kMarker = "      X";
    // The connection page's first option as it is true here: the system's
    // proxy settings (3015 names Windows').
    static constexpr int kMsgSystemSettings = 4400;

protected:
    void closeEvent(QCloseEvent* event) override; // FormClose

private:
    void BuildLoginPage();
    void BuildConnectionPage();
    void BuildServersPage();
    void SetDialogStrings();
    bool InitMessages();
    void ReadConnectionPage();
    void ShowLastTab();
    void MarkCurrentServer(const std::string& user);
    template <class W>
    W* Make(QWidget* parent, const char* name);

    char m_Caption[65] = "Norvelia";
    char m_InfoCaption[65] = "Information";
    char m_Text[2049] = {};
    std::string m_SelectedUser;
    TConnectionChoice m_Connection;
    std::string m_ProgramDir;
    bool m_QuitRequested = false;
    // Password fields show "*"; owned by the window.
    QStyle* m_PasswordStyle;
};
