#include "hotsync/FirstStartWizard.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <filesystem>

#include "hotsync/HotSyncHome.h"
#include "hotsync/HotSyncWindow.h"
#include "hotsync/SyncRun.h"
#include "hotsync/UserAccounts.h"
#include "hotsync/UserServiceSettings.h"
#include "palmkit/HandheldInfo.h"
#include "palmkit/HandheldStore.h"
#include "seam/PrivateFiles.h"
#include "seam/UiText.h"

namespace fs = std::filesystem;

namespace {

using platform::UiText;

QString Q(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

std::string S(const QString& s)
{
    return s.toStdString();
}

// A catalog text used as a title or inside another: without '&' and ':'.
QString Label(int number, const char* english)
{
    QString text = UiText(number, english);
    text.remove(QLatin1Char('&'));
    while (text.endsWith(QLatin1Char(':')) || text.endsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

QLabel* Explanation(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel* Status(QWidget* parent, const char* name)
{
    auto* label = Explanation(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

void SetStatus(QLabel* label, const QString& text, bool problem)
{
    label->setStyleSheet(problem ? QStringLiteral("color: #b40000;") : QStringLiteral("color: #006e28;"));
    label->setText(text);
}

std::vector<CUsersFile::User> Users(const std::string& home)
{
    std::vector<CUsersFile::User> users;
    CHotSyncHome(home).LoadUsers(users, nullptr);
    return users;
}

} // namespace

// The HotSync user: chosen from those of the home, or added, renamed, removed.
class CFirstStartWizard::UserPage final : public QWizardPage {
public:
    explicit UserPage(CFirstStartWizard& wizard) : m_Wizard(wizard)
    {
        setTitle(Label(4005, "HotSync user"));
        auto* layout = new QVBoxLayout(this);
        m_Note = Status(this, "setUpNote");
        m_Note->hide();
        layout->addWidget(m_Note);
        auto* explain = Explanation(this);
        explain->setText(UiText(4344, "Each person who synchronizes a handheld on this computer has a HotSync user: "
                                      "the log of each run, the backups and the service login are kept under its "
                                      "name."));
        layout->addWidget(explain);
        auto* row = new QHBoxLayout;
        m_List = new QListWidget(this);
        m_List->setObjectName(QStringLiteral("wizardUsers"));
        row->addWidget(m_List, 1);
        auto* buttons = new QVBoxLayout;
        auto button = [&](const char* name, int number, const char* english, auto action) {
            auto* b = new QPushButton(UiText(number, english), this);
            b->setObjectName(QLatin1String(name));
            connect(b, &QPushButton::clicked, this, action);
            buttons->addWidget(b);
            return b;
        };
        button("addUser", 4345, "&Add...", [this] { AskAdd(); });
        m_Rename = button("renameUser", 4346, "Re&name...", [this] { AskRename(); });
        m_Remove = button("removeUser", 4347, "&Remove...", [this] { AskRemove(); });
        buttons->addStretch(1);
        row->addLayout(buttons);
        layout->addLayout(row, 1);
        m_Message = Status(this, "userMessage");
        layout->addWidget(m_Message);
        connect(m_List, &QListWidget::currentRowChanged, this, [this] {
            m_Rename->setEnabled(m_List->currentItem() != nullptr);
            m_Remove->setEnabled(m_List->currentItem() != nullptr);
            emit completeChanged();
        });
        Fill(QString());
    }

    void Fill(const QString& select)
    {
        const QString keep = select.isEmpty() && m_List->currentItem() ? m_List->currentItem()->text() : select;
        m_List->clear();
        for (const CUsersFile::User& u : Users(m_Wizard.m_Home)) m_List->addItem(Q(u.name));
        const auto found = m_List->findItems(keep, Qt::MatchFixedString);
        m_List->setCurrentRow(!found.isEmpty() ? m_List->row(found.front()) : m_List->count() > 0 ? 0 : -1);
        m_Rename->setEnabled(m_List->currentItem() != nullptr);
        m_Remove->setEnabled(m_List->currentItem() != nullptr);
        emit completeChanged();
    }
    QString User() const { return m_List->currentItem() ? m_List->currentItem()->text() : QString(); }
    void Say(const QString& text, bool problem) { SetStatus(m_Message, text, problem); }
    QString Message() const { return m_Message->text(); }
    void SetNote(const QString& note)
    {
        m_Note->setText(note);
        m_Note->setVisible(!note.isEmpty());
    }
    bool isComplete() const override { return m_List->currentItem() != nullptr; }

private:
    // A name asked in the window's language, buttons included.
    bool AskName(const QString& title, const QString& label, QString& name)
    {
        QInputDialog dialog(this);
        dialog.setWindowTitle(title);
        dialog.setLabelText(label);
        dialog.setTextValue(name);
        dialog.setOkButtonText(UiText(4037, "OK"));
        dialog.setCancelButtonText(UiText(4379, "Cancel"));
        if (dialog.exec() != QDialog::Accepted) return false;
        name = dialog.textValue().trimmed();
        return true;
    }
    void AskAdd()
    {
        // The first user is most often the person at the keyboard.
        QString name = m_List->count() == 0 ? qEnvironmentVariable("USER") : QString();
        if (AskName(Label(4345, "Add"), UiText(4348, "Name of the new HotSync user (the handheld's owner):"), name))
            m_Wizard.AddUser(name);
    }
    void AskRename()
    {
        const QString user = User();
        QString name = user;
        if (!user.isEmpty() && AskName(Label(4346, "Rename"), UiText(4349, "New name of \"%s\":", S(user)), name) &&
            name != user)
            m_Wizard.RenameUser(user, name);
    }
    void AskRemove()
    {
        const QString user = User();
        if (user.isEmpty()) return;
        const auto found = CHotSyncHome(m_Wizard.m_Home).FindUser(S(user), nullptr);
        if (!found) return;
        QMessageBox box(QMessageBox::Question, Label(4347, "Remove"),
                        UiText(4350, "Remove the HotSync user \"%s\"?\n\nIts folder %s holds the log of its runs, its "
                                     "backups and its orders journal.",
                               S(user), CHotSyncHome(m_Wizard.m_Home).UserDir(*found)),
                        QMessageBox::NoButton, this);
        QPushButton* cancel = box.addButton(UiText(4379, "Cancel"), QMessageBox::RejectRole);
        QPushButton* deleting =
            box.addButton(UiText(4351, "Remove and &delete its folder"), QMessageBox::DestructiveRole);
        QPushButton* keeping = box.addButton(UiText(4352, "Remove, &keep its folder"), QMessageBox::AcceptRole);
        box.setDefaultButton(cancel);
        box.setEscapeButton(cancel);
        box.exec();
        if (box.clickedButton() == deleting) m_Wizard.RemoveUser(user, true);
        else if (box.clickedButton() == keeping) m_Wizard.RemoveUser(user, false);
    }

    CFirstStartWizard& m_Wizard;
    QLabel* m_Note;
    QListWidget* m_List;
    QPushButton* m_Rename;
    QPushButton* m_Remove;
    QLabel* m_Message;
};

// The handheld's folder: one that exists, or a new one made empty.
class CFirstStartWizard::HandheldPage final : public QWizardPage {
public:
    explicit HandheldPage(CFirstStartWizard& wizard) : m_Wizard(wizard)
    {
        setTitle(Label(4008, "Handheld"));
        auto* layout = new QVBoxLayout(this);
        m_Explain = Explanation(this);
        layout->addWidget(m_Explain);
        m_Existing = new QRadioButton(UiText(4355, "An &existing handheld folder"), this);
        m_Existing->setObjectName(QStringLiteral("handheldExisting"));
        m_New = new QRadioButton(UiText(4356, "A &new, empty handheld"), this);
        m_New->setObjectName(QStringLiteral("handheldNew"));
        layout->addWidget(m_Existing);
        layout->addWidget(m_New);
        auto* row = new QHBoxLayout;
        m_Dir = new QLineEdit(this);
        m_Dir->setObjectName(QStringLiteral("handheldDir"));
        auto* browse = new QPushButton(UiText(4007, "&Browse..."), this);
        connect(browse, &QPushButton::clicked, this, [this] {
            const QString dir = QFileDialog::getExistingDirectory(this, UiText(4020, "The handheld's folder"), Dir());
            if (!dir.isEmpty()) m_Dir->setText(dir);
        });
        row->addWidget(m_Dir, 1);
        row->addWidget(browse);
        layout->addLayout(row);
        m_Status = Status(this, "handheldStatus");
        layout->addWidget(m_Status);
        layout->addStretch(1);
        connect(m_Dir, &QLineEdit::textChanged, this, [this] { Check(); });
        connect(m_Existing, &QRadioButton::toggled, this, [this] { Check(); });
    }

    void initializePage() override
    {
        const QString user = m_Wizard.User();
        m_Explain->setText(UiText(4354, "A handheld is kept on this computer as a folder of Palm databases. Choose "
                                        "the folder of %s's handheld, or make an empty one for a new handheld.",
                                  S(user)));
        if (!m_Preset.isEmpty()) {
            m_Dir->setText(m_Preset);
        } else if (const QString known = CHotSyncWindow::RememberedHandheld(m_Wizard.m_Home, user); !known.isEmpty()) {
            m_Dir->setText(known);
        } else {
            // A folder of its own in the person's home, named after the user when "palm" is taken.
            const QString base = QDir::homePath() + QStringLiteral("/palm");
            QString dir = base;
            for (int n = 2; QFileInfo::exists(dir) && !IsHandheld(dir) && n < 100; ++n)
                dir = base + QLatin1Char('-') + QString::number(n);
            m_Dir->setText(dir);
        }
        (IsHandheld(Dir()) ? m_Existing : m_New)->setChecked(true);
        Check();
    }
    bool validatePage() override
    {
        const QString dir = Dir();
        if (dir.isEmpty()) return false;
        if (m_Existing->isChecked()) {
            std::string error;
            if (!CSyncRun::CheckHandheldDir(S(dir), error)) {
                SetStatus(m_Status, Q(error), true);
                return false;
            }
        } else if (!IsHandheld(dir)) {
            std::error_code ec;
            if (fs::exists(S(dir), ec) && !fs::is_empty(S(dir), ec)) {
                SetStatus(m_Status, UiText(4359, "%s already holds other files: choose an empty or a new folder.",
                                           S(dir)),
                          true);
                return false;
            }
            // As handheld init makes one: private, with its owner named.
            const platform::PrivateDir made = platform::MakePrivateDir(S(dir));
            CHandheldInfo info;
            info.m_UserName = S(m_Wizard.User());
            std::string error = made.error;
            if (!made.exists || !info.Save(S(dir), &error)) {
                SetStatus(m_Status, Q(error), true);
                return false;
            }
        }
        CHotSyncWindow::RememberHandheld(m_Wizard.m_Home, m_Wizard.User(), dir);
        return true;
    }
    bool isComplete() const override { return !Dir().isEmpty(); }
    QString Dir() const { return QDir::cleanPath(m_Dir->text().trimmed()); }
    void Preset(const QString& dir) { m_Preset = dir; }

private:
    static bool IsHandheld(const QString& dir)
    {
        std::error_code ec;
        return fs::is_regular_file(S(dir) + "/" + CHandheldInfo::kFileName, ec);
    }
    void Check()
    {
        const QString dir = Dir();
        emit completeChanged();
        if (dir.isEmpty()) {
            m_Status->clear();
            return;
        }
        if (IsHandheld(dir)) {
            CHandheldInfo info;
            info.Load(S(dir));
            const std::size_t count = CHandheldStore(S(dir)).List().size();
            SetStatus(m_Status,
                      UiText(4357, "A handheld of %s holding %u databases.",
                             info.m_UserName.empty() ? S(m_Wizard.User()) : info.m_UserName, count),
                      false);
            if (m_New->isChecked()) m_Existing->setChecked(true);
            return;
        }
        std::error_code ec;
        if (m_Existing->isChecked())
            SetStatus(m_Status,
                      fs::exists(S(dir), ec)
                          ? UiText(4358, "%s is not a handheld folder: choose \"%s\" to make it one.", S(dir),
                                   S(Label(4356, "A new, empty handheld")))
                          : UiText(4360, "%s does not exist: choose \"%s\" to make it.", S(dir),
                                   S(Label(4356, "A new, empty handheld"))),
                      true);
        else
            m_Status->clear();
    }

    CFirstStartWizard& m_Wizard;
    QLabel* m_Explain;
    QRadioButton* m_Existing;
    QRadioButton* m_New;
    QLineEdit* m_Dir;
    QLabel* m_Status;
    QString m_Preset;
};

// The service login, stored as the settings program stores it.
class CFirstStartWizard::LoginPage final : public QWizardPage {
public:
    explicit LoginPage(CFirstStartWizard& wizard) : m_Wizard(wizard)
    {
        setTitle(Label(3032, "Norvelia server"));
        auto* layout = new QVBoxLayout(this);
        m_Explain = Explanation(this);
        layout->addWidget(m_Explain);
        auto* form = new QFormLayout;
        m_Server = new QComboBox(this);
        m_Server->setObjectName(QStringLiteral("server"));
        m_Login = new QLineEdit(this);
        m_Login->setObjectName(QStringLiteral("login"));
        m_Password = new QLineEdit(this);
        m_Password->setObjectName(QStringLiteral("password"));
        m_Password->setEchoMode(QLineEdit::Password);
        m_Confirm = new QLineEdit(this);
        m_Confirm->setObjectName(QStringLiteral("confirmation"));
        m_Confirm->setEchoMode(QLineEdit::Password);
        form->addRow(Label(3032, "Norvelia server") + QLatin1Char(':'), m_Server);
        form->addRow(Label(3004, "Norvelia login") + QLatin1Char(':'), m_Login);
        form->addRow(Label(3005, "Password") + QLatin1Char(':'), m_Password);
        form->addRow(Label(3006, "Confirm the password") + QLatin1Char(':'), m_Confirm);
        layout->addLayout(form);
        m_Status = Status(this, "loginStatus");
        layout->addWidget(m_Status);
        auto* more = new QPushButton(UiText(4364, "Other settings in NvPassword..."), this);
        more->setObjectName(QStringLiteral("openNvPassword"));
        connect(more, &QPushButton::clicked, this, [this] { OpenNvPassword(); });
        auto* row = new QHBoxLayout;
        row->addStretch(1);
        row->addWidget(more);
        layout->addLayout(row);
        layout->addStretch(1);
        connect(m_Server, &QComboBox::currentIndexChanged, this, [this] { ServerChanged(); });
        connect(m_Login, &QLineEdit::textChanged, this, [this] { emit completeChanged(); });
    }

    void initializePage() override
    {
        const std::string user = S(m_Wizard.User());
        m_Explain->setText(UiText(4361, "The Norvelia login and password with which %s's handheld synchronizes. They "
                                        "are kept in the settings as NvPassword keeps them, the password in its "
                                        "cypher.",
                                  user));
        FillServers();
    }
    bool isComplete() const override { return m_Server->count() > 0 && !m_Login->text().trimmed().isEmpty(); }
    bool validatePage() override
    {
        const CUserServiceSettings settings(S(m_Wizard.User()));
        const std::string server = S(m_Server->currentText());
        const bool stored = settings.HasPassword(server) && settings.Login(server) == S(m_Login->text());
        if (m_Password->text() != m_Confirm->text()) {
            SetStatus(m_Status, UiText(4366, "The two passwords differ."), true);
            m_Password->clear();
            m_Confirm->clear();
            return false;
        }
        if (m_Login->text().isEmpty() || (m_Password->text().isEmpty() && !stored)) {
            SetStatus(m_Status, UiText(4365, "Type the login and the password."), true);
            return false;
        }
        std::string error;
        if (!settings.StoreLogin(server, S(m_Login->text()), S(m_Password->text()), &error)) {
            SetStatus(m_Status, Q(error), true);
            return false;
        }
        return true;
    }
    QString Server() const { return m_Server->currentText(); }

private:
    void FillServers()
    {
        const CUserServiceSettings settings(S(m_Wizard.User()));
        const QString current = Q(settings.CurrentServer());
        m_Server->blockSignals(true);
        m_Server->clear();
        for (const std::string& s : CUserServiceSettings::Servers()) m_Server->addItem(Q(s));
        const int at = m_Server->findText(current);
        m_Server->setCurrentIndex(at >= 0 ? at : 0);
        m_Server->blockSignals(false);
        ServerChanged();
    }
    void ServerChanged()
    {
        const CUserServiceSettings settings(S(m_Wizard.User()));
        const std::string server = S(m_Server->currentText());
        m_Password->clear();
        m_Confirm->clear();
        if (server.empty()) {
            m_Login->clear();
            SetStatus(m_Status, UiText(4363, "No Norvelia server is set yet: add one on NvPassword's \"%s\" page.",
                                       S(Label(3033, "Servers"))),
                      true);
        } else if (const std::string login = settings.Login(server); !login.empty()) {
            m_Login->setText(Q(login));
            if (settings.HasPassword(server))
                SetStatus(m_Status, UiText(4362, "A login is stored for %s on %s: leave the password empty to keep "
                                                 "it.",
                                           S(m_Wizard.User()), server),
                          false);
            else
                m_Status->clear();
        } else {
            m_Login->clear();
            m_Status->clear();
        }
        emit completeChanged();
    }
    void OpenNvPassword()
    {
        // It reads and writes the same settings: they are read again once it closes.
        auto* program = new QProcess(this);
        connect(program, &QProcess::finished, this, [this, program] {
            program->deleteLater();
            FillServers();
        });
        program->start(m_Wizard.ProgramDir() + QStringLiteral("/NvPassword"), {});
    }

    CFirstStartWizard& m_Wizard;
    QLabel* m_Explain;
    QComboBox* m_Server;
    QLineEdit* m_Login;
    QLineEdit* m_Password;
    QLineEdit* m_Confirm;
    QLabel* m_Status;
};

// What was set, and what to do next.
class CFirstStartWizard::DonePage final : public QWizardPage {
public:
    explicit DonePage(CFirstStartWizard& wizard) : m_Wizard(wizard)
    {
        setTitle(UiText(4367, "Ready"));
        auto* layout = new QVBoxLayout(this);
        m_Text = Status(this, "doneText");
        m_Text->setStyleSheet(QString());
        layout->addWidget(m_Text);
        layout->addStretch(1);
    }
    void initializePage() override
    {
        m_Text->setText(UiText(4368, "%s synchronizes the handheld %s with the server %s.\n\nPress \"%s\" in the "
                                     "HotSync window to synchronize it now. To synchronize it on a schedule, choose "
                                     "\"%s\" in the window's Settings menu.",
                               S(m_Wizard.User()), S(m_Wizard.HandheldDir()), S(m_Wizard.m_LoginPage->Server()),
                               S(Label(4009, "Synchronize")), S(Label(4371, "Synchronize automatically"))));
    }

private:
    CFirstStartWizard& m_Wizard;
    QLabel* m_Text;
};

CFirstStartWizard::CFirstStartWizard(std::string home, QWidget* parent)
    : QWizard(parent), m_Home(CHotSyncHome::Resolve(home))
{
    setWindowTitle(UiText(4369, "Set up HotSync"));
    setObjectName(QStringLiteral("firstStart"));
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::NoBackButtonOnStartPage);
    // Qt's own button texts are English: the window's language instead.
    setButtonText(QWizard::NextButton, UiText(4310, "&Next >"));
    setButtonText(QWizard::BackButton, UiText(4319, "< &Back"));
    setButtonText(QWizard::FinishButton, UiText(4353, "&Finish"));
    setButtonText(QWizard::CancelButton, UiText(4379, "Cancel"));
    m_UserPage = new UserPage(*this);
    m_HandheldPage = new HandheldPage(*this);
    m_LoginPage = new LoginPage(*this);
    m_DonePage = new DonePage(*this);
    setPage(kUserPage, m_UserPage);
    setPage(kHandheldPage, m_HandheldPage);
    setPage(kLoginPage, m_LoginPage);
    setPage(kDonePage, m_DonePage);
    setStartId(kUserPage);
    resize(560, 420);
}

CFirstStartWizard::~CFirstStartWizard() = default;

bool CFirstStartWizard::Needed(const std::string& homeOption, const QString& user, const QString& handheld)
{
    const std::string home = CHotSyncHome::Resolve(homeOption);
    const std::vector<CUsersFile::User> users = Users(home);
    if (users.empty()) return true;
    const std::string name = user.isEmpty() ? users.front().name : S(user);
    const QString dir = handheld.isEmpty() ? CHotSyncWindow::RememberedHandheld(home, Q(name)) : handheld;
    std::string error;
    if (dir.isEmpty() || !CSyncRun::CheckHandheldDir(S(dir), error)) return true;
    const CUserServiceSettings settings(name);
    return !settings.Missing().empty() || settings.Login().empty();
}

void CFirstStartWizard::Preselect(const QString& user, const QString& handheld)
{
    if (!user.isEmpty()) m_UserPage->Fill(user);
    m_HandheldPage->Preset(handheld);
}

void CFirstStartWizard::SetNote(const QString& note)
{
    m_UserPage->SetNote(note);
}

QString CFirstStartWizard::User() const
{
    return m_UserPage->User();
}

QString CFirstStartWizard::HandheldDir() const
{
    return m_HandheldPage->Dir();
}

QString CFirstStartWizard::ProgramDir() const
{
    return m_ProgramDir.isEmpty() ? QCoreApplication::applicationDirPath() : m_ProgramDir;
}

QString CFirstStartWizard::UserMessage() const
{
    return m_UserPage->Message();
}

bool CFirstStartWizard::AddUser(const QString& name)
{
    const CUserAccounts::Result r = CUserAccounts(m_Home).Add(S(name));
    m_UserPage->Fill(r.ok ? Q(r.user.name) : QString());
    m_UserPage->Say(Q(r.text), !r.ok);
    return r.ok;
}

bool CFirstStartWizard::RenameUser(const QString& name, const QString& newName)
{
    const CUserAccounts::Result r = CUserAccounts(m_Home).Rename(S(name), S(newName));
    if (r.ok) {
        // The window's memory of the user's handheld follows the name.
        const QString dir = CHotSyncWindow::RememberedHandheld(m_Home, name);
        if (!dir.isEmpty()) CHotSyncWindow::RememberHandheld(m_Home, Q(r.user.name), dir);
    }
    m_UserPage->Fill(r.ok ? Q(r.user.name) : name);
    m_UserPage->Say(Q(r.text), !r.ok);
    return r.ok;
}

bool CFirstStartWizard::RemoveUser(const QString& name, bool deleteFolder)
{
    const CUserAccounts::Result r = CUserAccounts(m_Home).Remove(S(name), deleteFolder);
    m_UserPage->Fill(QString());
    m_UserPage->Say(Q(r.text), !r.ok);
    return r.ok;
}
