// The connection test dialog, laid out as resource 102: an explanation, the
// probe's running account in a list, a check button and a quit button. The
// outcome of a check goes to LastErrorCode of the product key and to a
// message box.
#pragma once
#include <QDialog>
#include <QFont>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <memory>
#include <string>
#include <thread>

#include "seam/GuiQueue.h"
#include "seam/Types.h"

class CListStatusWindow;

class CNvConnexionDlg final : public QDialog {
    Q_OBJECT
public:
    // `url`: the server's URL as given on the command line, empty for the
    // default server. Loads the message catalog named by MsgDll (else the
    // locale's); when that fails the person is told and the dialog must not
    // be run.
    explicit CNvConnexionDlg(std::string url, QWidget* parent = nullptr);
    ~CNvConnexionDlg() override;

    bool MessagesLoaded() const { return m_MessagesLoaded; }
    bool CheckRunning() const { return m_Running; }

    // Starts a check on a worker thread; nothing while one runs.
    void OnCheck();
    // Records that the window was closed (LastErrorCode -1) and ends the dialog.
    void OnQuit();

signals:
    // After the outcome was written and its message box answered.
    void CheckFinished(bool ok);

protected:
    // Escape and the close box quit as the quit button does.
    void reject() override;

private:
    void FinishCheck(bool ok, DWORD code);
    // Pixels of a rectangle in dialog units of the dialog's font.
    QRect FromDialogUnits(const QRect& units) const;

    std::string m_Url;
    QFont m_DialogFont;
    bool m_MessagesLoaded = false;
    bool m_Running = false;
    bool m_Closing = false;
    QLabel* m_Explanation;
    QListWidget* m_Log;
    QPushButton* m_Check;
    QPushButton* m_Quit;
    // What the check's thread hands to this one: log lines, then the outcome.
    platform::GuiQueue m_Queue;
    std::unique_ptr<CListStatusWindow> m_Status;
    std::thread m_Worker;
};
