// The first start of the HotSync window: what a synchronization needs, asked
// in the window, step by step. The HotSync user (added, renamed or removed
// there), the handheld's folder (chosen, or created empty) and the service
// login, stored as the settings program stores it; NvPassword stays one
// button away for the rest (servers, proxy).
#pragma once
#include <QString>
#include <QWizard>

#include <string>

class CFirstStartWizard final : public QWizard {
public:
    enum PageId { kUserPage, kHandheldPage, kLoginPage, kDonePage };

    explicit CFirstStartWizard(std::string home, QWidget* parent = nullptr);
    ~CFirstStartWizard() override;

    // Whether `user` (any user when empty) lacks something a synchronization
    // needs: a user at all, a handheld folder, a server or a login.
    static bool Needed(const std::string& home, const QString& user, const QString& handheld);

    // Starts on `user` and `handheld` when given.
    void Preselect(const QString& user, const QString& handheld);
    // A line shown above the first page (the settings imported, say).
    void SetNote(const QString& note);
    QString User() const;
    QString HandheldDir() const;
    // Where NvPassword is started from: beside this program unless set.
    void SetProgramDir(const QString& dir) { m_ProgramDir = dir; }
    QString ProgramDir() const;

    // What the user page's buttons do once they have asked; the person
    // reads `message` in the page.
    bool AddUser(const QString& name);
    bool RenameUser(const QString& name, const QString& newName);
    bool RemoveUser(const QString& name, bool deleteFolder);
    QString UserMessage() const;

private:
    class UserPage;
    class HandheldPage;
    class LoginPage;
    class DonePage;
    friend class UserPage;
    friend class HandheldPage;
    friend class LoginPage;
    friend class DonePage;

    std::string m_Home;
    QString m_ProgramDir;
    UserPage* m_UserPage;
    HandheldPage* m_HandheldPage;
    LoginPage* m_LoginPage;
    DonePage* m_DonePage;
};
