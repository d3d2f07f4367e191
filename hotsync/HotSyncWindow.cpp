#include "hotsync/HotSyncWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "hotsync/DataViewDialog.h"
#include "hotsync/HandheldBackup.h"
#include "hotsync/HotSyncHome.h"
#include "hotsync/HotSyncLogFile.h"
#include "hotsync/RestoredOrders.h"
#include "hotsync/RunLook.h"
#include "hotsync/RunText.h"
#include "palmkit/HandheldLock.h"
#include "palmkit/HandheldStore.h"
#include "seam/QtUiHost.h"
#include "seam/UiText.h"
#include "seam/UserFolders.h"
#include "lexmo/Lexmo.h"

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

QString FourCC(DWORD v)
{
    QString out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((v >> shift) & 0xFF);
        out += (c >= 32 && c < 127) ? QChar(c) : QChar('?');
    }
    return out;
}

// Palm dates count seconds from 1904-01-01.
QString PalmDate(DWORD seconds)
{
    if (seconds == 0) return QString();
    const QDateTime epoch(QDate(1904, 1, 1), QTime(0, 0));
    return epoch.addSecs(qint64(seconds)).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QStyle::StandardPixmap IconOf(CRunLook::Icon icon)
{
    switch (icon) {
    case CRunLook::Icon::Success: return QStyle::SP_DialogApplyButton;
    case CRunLook::Icon::Warning: return QStyle::SP_MessageBoxWarning;
    case CRunLook::Icon::Critical: return QStyle::SP_MessageBoxCritical;
    case CRunLook::Icon::Information: break;
    }
    return QStyle::SP_MessageBoxInformation;
}

QColor ColourOf(const CRunLook& look)
{
    return QColor(QRgb(0xff000000u | look.colour));
}

} // namespace

// The window's side of a run: questions and progress through the Qt host,
// lines kept for the window.
class CHotSyncWindow::Front final : public CSyncRun::IFront {
public:
    explicit Front(platform::IUiHost& host) : m_Host(host) {}
    platform::IUiHost& Host() override { return m_Host; }
    // "Abandon" is the conduit's to honour; a run that ended abandoned is
    // not reported as done.
    bool Interrupted() override
    {
        auto* qt = dynamic_cast<platform::QtUiHost*>(&m_Host);
        return qt && qt->TakeAbandoned();
    }
    std::string StopText() const override { return KESA_FormatMessage(4153); }
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

private:
    platform::IUiHost& m_Host;
    std::mutex m_Mutex;
    std::vector<std::string> m_Notes;
};

CHotSyncWindow::CHotSyncWindow(std::string home, QWidget* parent)
    : QMainWindow(parent), m_Home(CHotSyncHome::Resolve(home))
{
    m_Last.code = -1;
    setWindowTitle(UiText(4000, "HotSync"));
    setWindowIcon(QIcon(QStringLiteral(":/hotsync-gui/HotSyncGui.png")));

    auto* file = menuBar()->addMenu(UiText(4001, "&File"));
    QAction* restore = file->addAction(UiText(4002, "&Restore a backup..."), this, [this] { RestoreBackup(); });
    restore->setObjectName(QStringLiteral("restoreAction"));
    file->addAction(UiText(4003, "Reload the &users"), this, [this] { LoadUsers(); });
    file->addSeparator();
    file->addAction(UiText(4004, "&Quit"), QKeySequence::Quit, this, [this] { close(); });

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* form = new QFormLayout;
    m_Users = new QComboBox(central);
    m_Users->setObjectName(QStringLiteral("users"));
    form->addRow(UiText(4005, "HotSync &user:"), m_Users);
    auto* handheldRow = new QHBoxLayout;
    m_Handheld = new QLineEdit(central);
    m_Handheld->setObjectName(QStringLiteral("handheld"));
    m_Handheld->setPlaceholderText(UiText(4006, "the handheld's folder"));
    auto* browse = new QPushButton(UiText(4007, "&Browse..."), central);
    connect(browse, &QPushButton::clicked, this, [this] { Browse(); });
    handheldRow->addWidget(m_Handheld, 1);
    handheldRow->addWidget(browse);
    auto* handheldLabel = new QLabel(UiText(4008, "&Handheld:"), central);
    handheldLabel->setBuddy(m_Handheld);
    form->addRow(handheldLabel, handheldRow);
    layout->addLayout(form);

    m_Sync = new QPushButton(QIcon(QStringLiteral(":/hotsync-gui/HotSyncGui.png")), UiText(4009, "&Synchronize"), central);
    m_Sync->setObjectName(QStringLiteral("sync"));
    m_Sync->setIconSize(QSize(32, 32));
    m_Sync->setMinimumHeight(44);
    connect(m_Sync, &QPushButton::clicked, this, [this] { StartSync(); });
    layout->addWidget(m_Sync);

    m_Outcome = new QLabel(central);
    m_Outcome->setObjectName(QStringLiteral("outcome"));
    m_Outcome->setWordWrap(true);
    m_Outcome->setTextFormat(Qt::PlainText);
    m_Outcome->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_Outcome);

    auto* split = new QSplitter(Qt::Vertical, central);
    auto* logBox = new QWidget(split);
    auto* logLayout = new QVBoxLayout(logBox);
    logLayout->setContentsMargins(0, 0, 0, 0);
    logLayout->addWidget(new QLabel(UiText(4010, "HotSync log of the last run:"), logBox));
    m_Log = new QListWidget(logBox);
    m_Log->setObjectName(QStringLiteral("log"));
    // Failure reasons are read in full.
    m_Log->setWordWrap(true);
    m_Log->setResizeMode(QListView::Adjust);
    m_Log->setTextElideMode(Qt::ElideNone);
    logLayout->addWidget(m_Log);
    auto* dbBox = new QWidget(split);
    auto* dbLayout = new QVBoxLayout(dbBox);
    dbLayout->setContentsMargins(0, 0, 0, 0);
    dbLayout->addWidget(new QLabel(UiText(4011, "Databases on the handheld:"), dbBox));
    m_Databases = new QTreeWidget(dbBox);
    m_Databases->setObjectName(QStringLiteral("databases"));
    m_Databases->setRootIsDecorated(false);
    m_Databases->setHeaderLabels({UiText(4012, "Name"), UiText(4013, "Type"), UiText(4014, "Creator"),
                                  UiText(4015, "Records"), UiText(4016, "Modified"), UiText(4017, "State")});
    m_Databases->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    // What a database holds, as the shopper knows it: read-only.
    m_Databases->setToolTip(UiText(4935, "Double-click a database to see what it holds."));
    connect(m_Databases, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        CDataViewDialog::Open(this, S(Handheld()), item->data(0, Qt::UserRole).toByteArray().toStdString());
    });
    dbLayout->addWidget(m_Databases);
    layout->addWidget(split, 1);
    setCentralWidget(central);
    resize(640, 560);

    connect(m_Users, &QComboBox::currentIndexChanged, this, [this] { UserChanged(); });
    connect(m_Handheld, &QLineEdit::editingFinished, this, [this] { ShowDatabases(); });
    LoadUsers();
}

bool CHotSyncWindow::LoadLanguage()
{
    return runtext::LoadLanguage();
}

CHotSyncWindow::~CHotSyncWindow()
{
    // The run may wait on this window's thread: close the queue first.
    m_Queue.SetClosed(true);
    if (m_Run.joinable()) m_Run.join();
}

QString CHotSyncWindow::SettingsPath() const
{
    return Q(m_Home + "/hotsync-gui.ini");
}

QString CHotSyncWindow::RememberedHandheld(const std::string& home, const QString& user)
{
    QSettings settings(Q(home + "/hotsync-gui.ini"), QSettings::IniFormat);
    return settings.value(QStringLiteral("Handhelds/") + QString::fromLatin1(user.toUtf8().toHex())).toString();
}

void CHotSyncWindow::RememberHandheld(const std::string& home, const QString& user, const QString& dir)
{
    QSettings settings(Q(home + "/hotsync-gui.ini"), QSettings::IniFormat);
    settings.setValue(QStringLiteral("Handhelds/") + QString::fromLatin1(user.toUtf8().toHex()), dir);
}

std::string CHotSyncWindow::UserDir() const
{
    CHotSyncHome home(m_Home);
    std::string error;
    const auto user = home.FindUser(S(m_Users->currentText()), &error);
    return user ? home.UserDir(*user) : std::string();
}

bool CHotSyncWindow::LoadUsers()
{
    CHotSyncHome home(m_Home);
    std::vector<CUsersFile::User> users;
    std::string error;
    CHotSyncHome::Skipped skipped;
    const QString current = m_Users->currentText();
    m_Users->clear();
    if (!home.LoadUsers(users, &error, &skipped)) {
        m_Outcome->setText(UiText(4018, "Cannot read the HotSync users: %s", error));
        return false;
    }
    for (const auto& u : users) m_Users->addItem(Q(u.name));
    // Entries that cannot be used are not listed, and the window says so.
    QStringList notes;
    if (skipped.size() == 1)
        notes << UiText(4540,
                        "One entry of %s cannot be used and is not listed (an empty name, a control character, or a "
                        "folder name such as \"..\" or one with a \"/\"). \"hotsync user list\" says which and why.",
                        home.UsersPath());
    else if (!skipped.empty())
        notes << UiText(4541,
                        "%d entries of %s cannot be used and are not listed (an empty name, a control character, or "
                        "a folder name such as \"..\" or one with a \"/\"). \"hotsync user list\" says which and "
                        "why.",
                        int(skipped.size()), home.UsersPath());
    if (users.empty())
        notes << UiText(4338, "No HotSync user yet: add one with \"Set up...\" in the Settings menu.");
    // Kept above whatever the window says of the chosen user next.
    m_UsersNote = notes.join(QLatin1Char('\n'));
    m_Outcome->setText(m_UsersNote);
    if (!current.isEmpty()) SelectUser(current);
    UserChanged();
    return true;
}

bool CHotSyncWindow::SelectUser(const QString& name)
{
    const int i = m_Users->findText(name);
    if (i < 0) return false;
    m_Users->setCurrentIndex(i);
    return true;
}

QString CHotSyncWindow::OutcomeText() const
{
    return m_Outcome->text();
}

QString CHotSyncWindow::CurrentUser() const
{
    return m_Users->currentText();
}

void CHotSyncWindow::UserChanged()
{
    // Each user's handheld folder is remembered.
    if (!m_Users->currentText().isEmpty()) m_Handheld->setText(RememberedHandheld(m_Home, m_Users->currentText()));
    m_Sync->setEnabled(m_Users->count() > 0 && !IsRunning());
    if (!IsRunning()) ShowLastRun();
    ShowDatabases();
}

void CHotSyncWindow::SetHandheld(const QString& dir)
{
    m_Handheld->setText(dir);
    ShowDatabases();
}

QString CHotSyncWindow::Handheld() const
{
    return m_Handheld->text().trimmed();
}

void CHotSyncWindow::Browse()
{
    const QString dir = QFileDialog::getExistingDirectory(this, UiText(4020, "The handheld's folder"), Handheld());
    if (!dir.isEmpty()) SetHandheld(dir);
}

bool CHotSyncWindow::StartSync()
{
    if (IsRunning() || m_Users->currentText().isEmpty()) return false;
    if (Handheld().isEmpty()) {
        m_Outcome->setText(UiText(4021, "Choose the handheld's folder first."));
        return false;
    }
    RememberHandheld(m_Home, m_Users->currentText(), Handheld());
    CSyncRun::Setup setup;
    setup.home = m_Home;
    setup.user = S(m_Users->currentText());
    setup.handheld = S(Handheld());
    m_Front = std::make_unique<Front>(platform::UiHost());
    // What an earlier view left behind is not this run's.
    if (auto* qt = dynamic_cast<platform::QtUiHost*>(&platform::UiHost())) qt->TakeAbandoned();
    m_Sync->setEnabled(false);
    m_Outcome->setStyleSheet(QString());
    m_Outcome->setText(UiText(4022, "Synchronizing %s ...", S(Handheld())));
    m_Log->clear();
    m_Run = std::thread([this, setup] {
        CSyncRun::Outcome outcome = CSyncRun(setup, *m_Front).Run();
        std::vector<std::string> notes = m_Front->TakeNotes();
        m_Queue.Post([this, outcome = std::move(outcome), notes = std::move(notes)]() mutable {
            Finished(std::move(outcome), std::move(notes));
        });
    });
    return true;
}

void CHotSyncWindow::Finished(CSyncRun::Outcome outcome, std::vector<std::string> notes)
{
    if (m_Run.joinable()) m_Run.join();
    m_Front.reset();
    m_Last = std::move(outcome);
    m_Sync->setEnabled(m_Users->count() > 0);
    ShowLog(m_Last.entries);
    const CRunLook note = CRunLook::OfNote();
    for (const std::string& n : notes) {
        auto* item = new QListWidgetItem(style()->standardIcon(IconOf(note.icon)), Q(n), m_Log);
        item->setForeground(ColourOf(note));
    }
    ShowVerdict(m_Last.verdict);
    ShowDatabases();
    if (m_OnFinished) m_OnFinished(m_Last);
}

void CHotSyncWindow::ShowVerdict(const CRunVerdict& verdict)
{
    // The verdict first, then what became of each order, as the log ends.
    QStringList lines{Q(verdict.Headline())};
    for (const std::string& line : verdict.OrderLines()) lines << Q(line);
    const CRunLook look = CRunLook::Of(verdict.Activity());
    m_Outcome->setStyleSheet(QStringLiteral("color: %1;%2")
                                 .arg(ColourOf(look).name(), look.strong ? QStringLiteral(" font-weight: bold;") : QString()));
    m_Outcome->setText(lines.join(QLatin1Char('\n')));
}

void CHotSyncWindow::ShowLog(const std::vector<palmkit::LogEntry>& entries)
{
    m_Log->clear();
    for (const palmkit::LogEntry& e : entries) {
        const CRunLook look = CRunLook::Of(e.activity);
        auto* item = new QListWidgetItem(style()->standardIcon(IconOf(look.icon)), Q(CRunLook::Row(e.activity, e.text)), m_Log);
        item->setForeground(ColourOf(look));
        item->setData(Qt::UserRole, e.activity);
        item->setToolTip(Q(e.text));
    }
}

void CHotSyncWindow::ShowDatabases()
{
    m_Databases->clear();
    const QString dir = Handheld();
    if (dir.isEmpty()) return;
    CHandheldStore store(S(dir));
    if (!store.Exists()) return;
    for (const CHandheldStore::Entry& e : store.List()) {
        auto* item = new QTreeWidgetItem(m_Databases);
        item->setText(0, Q(e.name));
        item->setData(0, Qt::UserRole, QByteArray::fromStdString(e.name));
        item->setText(1, FourCC(e.type));
        item->setText(2, FourCC(e.creator));
        item->setText(3, QString::number(e.recordCount));
        item->setText(4, PalmDate(e.modDate));
        item->setText(5, e.damaged ? UiText(4025, "damaged") : UiText(4026, "sound"));
        if (e.damaged) item->setForeground(5, QColor(180, 0, 0));
    }
    for (int c = 1; c < m_Databases->columnCount(); ++c) m_Databases->resizeColumnToContents(c);
}

void CHotSyncWindow::RestoreBackup()
{
    if (IsRunning()) return;
    const std::string userDir = UserDir();
    const QString dir = Handheld();
    if (userDir.empty() || dir.isEmpty()) {
        QMessageBox::information(this, UiText(4027, "Restore a backup"), UiText(4028, "Choose the HotSync user and the handheld first."));
        return;
    }
    std::string error;
    if (!CSyncRun::CheckHandheldDir(S(dir), error)) {
        QMessageBox::warning(this, UiText(4027, "Restore a backup"), Q(error));
        return;
    }
    CHandheldBackup backup(userDir);
    const std::vector<CHandheldBackup::Generation> gens = backup.Generations(CHandheldBackup::HandheldKey(S(dir)));
    if (gens.empty()) {
        QMessageBox::information(this, UiText(4027, "Restore a backup"),
                                 UiText(4029, "No backup of %s for %s: each synchronization makes one first.", S(dir),
                                        S(m_Users->currentText())));
        return;
    }
    QStringList items;
    for (std::size_t i = 0; i < gens.size(); ++i)
        items << UiText(4030, "%u  %s  (%u databases)", i + 1, CHandheldBackup::DateText(gens[i].made),
                        CHandheldBackup::Files(gens[i]).size());
    bool ok = false;
    const QString chosen = QInputDialog::getItem(this, UiText(4027, "Restore a backup"),
                                                 UiText(4031, "Put this backup back onto %s (newest first):", S(dir)), items, 0,
                                                 false, &ok);
    if (!ok) return;
    const auto index = std::size_t(items.indexOf(chosen));
    if (index >= gens.size()) return;
    CHandheldLock lock;
    if (lock.Acquire(S(dir)) != CHandheldLock::Result::Locked) {
        QMessageBox::warning(this, UiText(4027, "Restore a backup"), UiText(4032, "The handheld %s is busy with another run.", S(dir)));
        return;
    }
    CHandheldStore store(S(dir));
    const auto plan = CHandheldBackup::Plan(gens[index], store);
    const auto replaced = std::count_if(plan.begin(), plan.end(), [](const CHandheldBackup::Item& it) {
        return it.action == CHandheldBackup::Action::Replace ||
               (it.action == CHandheldBackup::Action::RestoreDamaged && it.handheldDamaged);
    });
    const QString when = Q(CHandheldBackup::DateText(gens[index].made));
    QString question = UiText(4202,
                              "Put the backup of %s back onto %s? Databases of the handheld replaced: %d. The "
                              "handheld as it is now is backed up first.",
                              S(when), S(dir), int(replaced));
    // What becomes of the orders its lists hold, as hotsync restore says it.
    std::vector<std::string> files;
    for (const auto& it : plan)
        if (it.action != CHandheldBackup::Action::SkipDamaged) files.push_back(platform::JoinPath(gens[index].dir, it.file));
    const std::vector<std::string> orders = CRestoredOrders::Lines(files, userDir, gens[index].made);
    if (!orders.empty()) question += QStringLiteral("\n\n") + Q(CRestoredOrders::Heading());
    for (const std::string& line : orders) question += QStringLiteral("\n") + Q(line);
    if (QMessageBox::question(this, UiText(4027, "Restore a backup"), question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return;
    CHandheldBackup::Generation saved;
    const int count = backup.Restore(gens[index], store, &saved, nullptr, &error);
    if (count < 0 && saved.dir.empty())
        QMessageBox::warning(this, UiText(4027, "Restore a backup"),
                             UiText(4204, "Nothing restored: the handheld could not be backed up first: %s", error));
    else if (count < 0)
        QMessageBox::warning(this, UiText(4027, "Restore a backup"), UiText(4033, "Restore stopped: %s", error));
    else
        m_Outcome->setText(UiText(4034, "Restored %d databases of %s onto %s.", count, S(when), S(dir)) + " " +
                           UiText(4203, "The handheld as it was is kept in the backup of %s, taken before this restore.",
                                  CHandheldBackup::DateText(saved.made)));
    ShowDatabases();
}

void CHotSyncWindow::closeEvent(QCloseEvent* e)
{
    if (IsRunning()) {
        // The run holds the handheld: it ends through its own "Abandon".
        m_Outcome->setText(UiText(4035, "A synchronization is running: press \"%s\" in its window to stop it first.",
                                  S(UiText(2083, "Abandon").remove(QLatin1Char('&')))));
        e->ignore();
        return;
    }
    e->accept();
}

bool CHotSyncWindow::SaveScreenshot(const QString& path)
{
    return grab().save(path);
}
