#include "password/FrmPassword.h"

#include <strings.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QLinearGradient>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QTreeWidget>

#include <cstdio>
#include <cstring>

#include "lexmo/Lexmo.h"
#include "nvservices/NvServices.h"
#include "password/Bytes.h"
#include "password/FocusFrame.h"
#include "password/FormControls.h"
#include "password/FormStyle.h"
#include "password/FrmDlgCnx.h"
#include "password/FrmDlgCrtcUsr.h"
#include "password/FrmDlgSrv.h"
#include "password/MsgBox.h"
#include "password/PasswordActions.h"
#include "password/PasswordRegistry.h"

namespace {

bool SameName(const std::string& a, const std::string& b) { return ::strcasecmp(a.c_str(), b.c_str()) == 0; }

QFont FormFont()
{
    // MS Sans Serif, or the narrowest sans serif near it that is installed.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                                QStringLiteral("DejaVu Sans Condensed")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

// The product's artwork, drawn rather than shipped: a handheld on a gradient.
QPixmap Artwork(int width, int height)
{
    QPixmap pixmap(width, height);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(0x0b, 0x3d, 0x6b));
    sky.setColorAt(1, QColor(0x1d, 0x8a, 0x8a));
    p.fillRect(pixmap.rect(), sky);
    const QRectF body(width / 2.0 - 30, 60, 60, 96);
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), 2));
    p.setBrush(QColor(0xd8, 0xd8, 0xd0));
    p.drawRoundedRect(body, 8, 8);
    p.setBrush(QColor(0x9c, 0xb0, 0x88));
    p.drawRect(body.adjusted(8, 10, -8, -38));
    p.setBrush(QColor(0x60, 0x60, 0x60));
    for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(body.left() + 12 + i * 12, body.bottom() - 16), 4, 4);
    p.setPen(Qt::white);
    QFont title(QStringLiteral("DejaVu Serif"));
    title.setPixelSize(22);
    title.setBold(true);
    title.setItalic(true);
    p.setFont(title);
    p.save();
    p.translate(width / 2.0 + 8, height - 16);
    p.rotate(-90);
    p.drawText(QPointF(0, 0), QStringLiteral("Norvelia"));
    p.restore();
    return pixmap;
}

} // namespace

using formlayout::kPassword;

TfrmPassword::TfrmPassword(QWidget* parent) : QWidget(parent), m_PasswordStyle(new TFormStyle)
{
    m_PasswordStyle->setParent(this);
    setObjectName(QString::fromLatin1(kPassword.name));
    setFont(FormFont());
    setWindowTitle(QString::fromUtf8(kPassword.title));
    setFixedSize(kPassword.width, kPassword.height);
    // The icon-only buttons explain themselves by their hints, also while
    // another window has the focus.
    setAttribute(Qt::WA_AlwaysShowToolTips);

    Image1 = Make<QLabel>(this, "Image1");
    Image1->setPixmap(Artwork(Image1->width(), Image1->height()));

    tabCtl = Make<QTabWidget>(this, "tabCtl");
    QWidget** pages[] = {&tabNorveliaLogin, &tabCheckConnection, &tabServers};
    const char* pageNames[] = {"tabNorveliaLogin", "tabCheckConnection", "tabServers"};
    for (std::size_t i = 0; i < std::size(pages); ++i) {
        *pages[i] = new QWidget;
        (*pages[i])->setObjectName(QString::fromLatin1(pageNames[i]));
        tabCtl->addTab(*pages[i], QString::fromUtf8(formlayout::Control(kPassword, pageNames[i]).text));
    }
    BuildLoginPage();
    BuildConnectionPage();
    BuildServersPage();

    btnCancel = Make<QPushButton>(this, "btnCancel");
    btnCancel->raise();

    setTabOrder(tabCtl, ComboUserList);
    setTabOrder(ComboUserList, EdLoginNorvelia);
    setTabOrder(EdLoginNorvelia, EdNewPasswordNorvelia);
    setTabOrder(EdNewPasswordNorvelia, EdConfirmPasswordNorvelia);
    setTabOrder(EdConfirmPasswordNorvelia, btnNorveliaLoginOk);
    setTabOrder(btnNorveliaLoginOk, ComboServerList);
    setTabOrder(ComboServerList, rbConnectionDefault);
    setTabOrder(rbConnectionDefault, rbConnectionProxy);
    setTabOrder(rbConnectionProxy, edtProxyLogin);
    setTabOrder(edtProxyLogin, edtProxyPassword);
    setTabOrder(edtProxyPassword, btnTestCnx);
    setTabOrder(btnTestCnx, cbLanguage);
    setTabOrder(cbLanguage, btnCheckConnectionOk);
    setTabOrder(btnCheckConnectionOk, ComboSrvUserList);
    setTabOrder(ComboSrvUserList, ListView1);
    setTabOrder(ListView1, btnCreateServer);
    setTabOrder(btnCreateServer, btnDeleteServer);
    setTabOrder(btnDeleteServer, btnModifyServer);
    setTabOrder(btnModifyServer, btnDefaultServer);
    setTabOrder(btnDefaultServer, btnCancel);

    connect(tabCtl, &QTabWidget::currentChanged, this, &TfrmPassword::tabCtlChange);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmPassword::btnCancelClick);

    frmDlgSrv = new TfrmDlgSrv(*this);
    frmDlgCnx = new TfrmDlgCnx(*this, m_PasswordStyle);
    frmDlgCrtcUsr = new TfrmDlgCrtcUsr(*this);
}

TfrmPassword::~TfrmPassword() = default;

template <class W>
W* TfrmPassword::Make(QWidget* parent, const char* name)
{
    return MakeControl<W>(parent, kPassword, name, m_PasswordStyle);
}

void TfrmPassword::BuildLoginPage()
{
    QWidget* page = tabNorveliaLogin;
    lblTitleNorvelia = Make<QLabel>(page, "lblTitleNorvelia");
    lblExplainNorvelia = Make<QLabel>(page, "lblExplainNorvelia");
    lblUsername = Make<QLabel>(page, "lblUsername");
    ComboUserList = Make<QComboBox>(page, "ComboUserList");
    ComboUserList->setEditable(false);
    lblDefaultServer = Make<QLabel>(page, "lblDefaultServer");
    ComboServerList = Make<QComboBox>(page, "ComboServerList");

    GroupBox1 = Make<QGroupBox>(page, "GroupBox1");
    lblLogin = Make<QLabel>(GroupBox1, "lblLogin");
    EdLoginNorvelia = Make<QLineEdit>(GroupBox1, "EdLoginNorvelia");
    lblPassword = Make<QLabel>(GroupBox1, "lblPassword");
    EdNewPasswordNorvelia = Make<QLineEdit>(GroupBox1, "EdNewPasswordNorvelia");
    lblConfirmPassword = Make<QLabel>(GroupBox1, "lblConfirmPassword");
    EdConfirmPasswordNorvelia = Make<QLineEdit>(GroupBox1, "EdConfirmPasswordNorvelia");

    btnNorveliaLoginOk = Make<QPushButton>(page, "btnNorveliaLoginOk");

    connect(ComboUserList, &QComboBox::activated, this, &TfrmPassword::ComboUserListChange);
    connect(EdLoginNorvelia, &QLineEdit::textChanged, this, &TfrmPassword::EdLoginNorveliaChange);
    connect(EdNewPasswordNorvelia, &QLineEdit::textChanged, this, &TfrmPassword::EdNewPasswordNorveliaChange);
    connect(EdConfirmPasswordNorvelia, &QLineEdit::textChanged, this,
            &TfrmPassword::EdConfirmPasswordNorveliaChange);
    connect(btnNorveliaLoginOk, &QPushButton::clicked, this, &TfrmPassword::btnNorveliaLoginOkClick);
}

void TfrmPassword::BuildConnectionPage()
{
    QWidget* page = tabCheckConnection;
    lblTitleProxy = Make<QLabel>(page, "lblTitleProxy");
    lblExplainProxy = Make<QLabel>(page, "lblExplainProxy");
    gbxProxy = Make<QGroupBox>(page, "gbxProxy");
    rbConnectionDefault = Make<QRadioButton>(gbxProxy, "rbConnectionDefault");
    rbConnectionProxy = Make<QRadioButton>(gbxProxy, "rbConnectionProxy");
    // One stop for the pair, on the option chosen; the arrows move between them.
    for (QRadioButton* option : {rbConnectionDefault, rbConnectionProxy}) {
        connect(option, &QRadioButton::toggled, option,
                [option](bool on) { option->setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus); });
        option->setFocusPolicy(Qt::ClickFocus);
    }

    gbxProxyLogin = Make<QGroupBox>(page, "gbxProxyLogin");
    lblProxyLogin = Make<QLabel>(gbxProxyLogin, "lblProxyLogin");
    edtProxyLogin = Make<QLineEdit>(gbxProxyLogin, "edtProxyLogin");
    lblProxyPassword = Make<QLabel>(gbxProxyLogin, "lblProxyPassword");
    edtProxyPassword = Make<QLineEdit>(gbxProxyLogin, "edtProxyPassword");
    lblNoInfoSentToNorvelia = Make<QLabel>(gbxProxyLogin, "lblNoInfoSentToNorvelia");

    btnTestCnx = Make<QPushButton>(page, "btnTestCnx");
    cbLanguage = Make<QComboBox>(page, "cbLanguage");
    for (const TLanguage& language : kLanguages)
        cbLanguage->addItem(QString::fromUtf8(language.name), QString::fromLatin1(language.catalog));
    btnCheckConnectionOk = Make<QPushButton>(page, "btnCheckConnectionOk");

    connect(rbConnectionDefault, &QRadioButton::clicked, this, &TfrmPassword::rbConnectionDefaultClick);
    connect(rbConnectionProxy, &QRadioButton::clicked, this, &TfrmPassword::rbConnectionProxyClick);
    connect(edtProxyLogin, &QLineEdit::textChanged, this, &TfrmPassword::edtProxyLoginChange);
    connect(edtProxyPassword, &QLineEdit::textChanged, this, &TfrmPassword::edtProxyPasswordChange);
    connect(btnCheckConnectionOk, &QPushButton::clicked, this, &TfrmPassword::btnCheckConnectionOkClick);
    connect(btnTestCnx, &QPushButton::clicked, this, &TfrmPassword::btnTestCnxClick);
    connect(cbLanguage, &QComboBox::activated, this, &TfrmPassword::cbLanguageChange);
}

void TfrmPassword::BuildServersPage()
{
    QWidget* page = tabServers;
    lblTitleServers = Make<QLabel>(page, "lblTitleServers");
    lblExplainServers = Make<QLabel>(page, "lblExplainServers");
    lblSrvUserName = Make<QLabel>(page, "lblSrvUserName");
    ComboSrvUserList = Make<QComboBox>(page, "ComboSrvUserList");
    ComboSrvUserList->setEditable(false);

    ListView1 = Make<QTreeWidget>(page, "ListView1");
    ListView1->setColumnCount(int(std::size(formlayout::kServerColumns)));
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    // The columns keep their widths, the address whole: wider than the list,
    // it scrolls sideways.
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionsMovable(false);
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ListView1->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    ListView1->setTextElideMode(Qt::ElideNone);
    QStringList titles;
    for (const auto& column : formlayout::kServerColumns) titles << QString::fromUtf8(column.title);
    ListView1->setHeaderLabels(titles);
    for (int c = 0; c < int(std::size(formlayout::kServerColumns)); ++c) {
        ListView1->setColumnWidth(c, formlayout::kServerColumns[c].width);
        if (formlayout::kServerColumns[c].centred) ListView1->headerItem()->setTextAlignment(c, Qt::AlignCenter);
    }

    const std::pair<QPushButton**, QStyle::StandardPixmap> buttons[] = {
        {&btnCreateServer, QStyle::SP_FileDialogNewFolder},
        {&btnDeleteServer, QStyle::SP_TrashIcon},
        {&btnModifyServer, QStyle::SP_FileDialogDetailedView},
        {&btnDefaultServer, QStyle::SP_DialogApplyButton},
    };
    const char* names[] = {"btnCreateServer", "btnDeleteServer", "btnModifyServer", "btnDefaultServer"};
    for (std::size_t i = 0; i < std::size(buttons); ++i) {
        QPushButton* button = Make<QPushButton>(page, names[i]);
        button->setFlat(true);
        button->setIcon(style()->standardIcon(buttons[i].second));
        button->setIconSize(QSize(22, 22));
        *buttons[i].first = button;
    }
    // The flat buttons and the list show where the keyboard is.
    for (QWidget* w : {static_cast<QWidget*>(ListView1), static_cast<QWidget*>(btnCreateServer),
                       static_cast<QWidget*>(btnDeleteServer), static_cast<QWidget*>(btnModifyServer),
                       static_cast<QWidget*>(btnDefaultServer)})
        new TFocusFrame(w);

    PopupMenu1 = new QMenu(ListView1);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    void (TfrmPassword::*handlers[])() = {&TfrmPassword::btnCreateServerClick, &TfrmPassword::btnDeleteServerClick,
                                          &TfrmPassword::btnModifyServerClick, &TfrmPassword::btnDefaultServerClick};
    QAction** actions[] = {&AddNewServer1, &SuppressServer1, &ConnexionParam1, &DefaultServer1};
    for (std::size_t i = 0; i < std::size(formlayout::kServerMenu); ++i) {
        QAction* action = PopupMenu1->addAction(QString::fromUtf8(formlayout::kServerMenu[i].text));
        action->setObjectName(QString::fromLatin1(formlayout::kServerMenu[i].name));
        action->setEnabled(false);
        connect(action, &QAction::triggered, this, handlers[i]);
        *actions[i] = action;
    }

    connect(ComboSrvUserList, &QComboBox::activated, this, &TfrmPassword::ComboSrvUserListChange);
    connect(btnCreateServer, &QPushButton::clicked, this, &TfrmPassword::btnCreateServerClick);
    connect(btnDeleteServer, &QPushButton::clicked, this, &TfrmPassword::btnDeleteServerClick);
    connect(btnModifyServer, &QPushButton::clicked, this, &TfrmPassword::btnModifyServerClick);
    connect(btnDefaultServer, &QPushButton::clicked, this, &TfrmPassword::btnDefaultServerClick);
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, &TfrmPassword::ListView1DblClick);
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(ListView1->viewport()->mapToGlobal(at)); });
}

// ---- Messages and start-up

QString TfrmPassword::Message(int number)
{
    KESA_GetMessage(number, m_Text, int(sizeof m_Text) - 1);
    return QString::fromUtf8(m_Text);
}

QString TfrmPassword::ErrorCaption() const { return QString::fromUtf8(m_Caption); }
QString TfrmPassword::InfoCaption() const { return QString::fromUtf8(m_InfoCaption); }

void TfrmPassword::ShowError(int number, QWidget* parent)
{
    TMsgBox::Show(parent ? parent : this, {Message(number), ErrorCaption(), QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok});
}

void TfrmPassword::ShowInfo(int number, QWidget* parent)
{
    TMsgBox::Show(parent ? parent : this,
                  {Message(number), InfoCaption(), QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok});
}

bool TfrmPassword::FormCreate()
{
    FillServerList(ReadServerNames());
    if (!InitMessages()) return false;
    SetDialogStrings();
    ComboUserList->clear();
    ComboSrvUserList->clear();
    for (const std::string& user : HotSyncUsers()) {
        AddItem(ComboUserList, user);
        AddItem(ComboSrvUserList, user);
    }
    btnNorveliaLoginOk->setEnabled(false);
    ReadConnectionPage();
    cbLanguage->setCurrentIndex(CurrentLanguage());
    ShowLastTab();
    const int index = UserIndex(ReadLastUser());
    ComboUserList->setCurrentIndex(index < ComboUserList->count() ? index : -1);
    ComboSrvUserList->setCurrentIndex(index < ComboSrvUserList->count() ? index : -1);
    ComboUserListChange();
    ComboSrvUserListChange();
    return true;
}

bool TfrmPassword::InitMessages()
{
    if (LoadPasswordMessages()) return true;
    TMsgBox::Show(this, {QStringLiteral("Norvelia messages load failure"), QStringLiteral("Error"),
                         QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok});
    return false;
}

void TfrmPassword::SetDialogStrings()
{
    char caption[65] = {};
    KESA_GetMessage(kMsgErrorCaption, caption, 64);
    if (caption[0]) std::memcpy(m_Caption, caption, sizeof caption);
    std::memset(caption, 0, sizeof caption);
    KESA_GetMessage(kMsgInfoCaption, caption, 64);
    if (caption[0]) std::memcpy(m_InfoCaption, caption, sizeof caption);

    SetFormTexts(this, kPassword, [this](int number) { return Message(number); });
    // Here the connection goes through the system's proxy settings, not Windows'.
    SetControlText(rbConnectionDefault, Message(kMsgSystemSettings));
    for (int column = colMarker; column <= colUrl; ++column) {
        if (const QString title = Message(formlayout::kServerColumns[column].message); !title.isEmpty())
            ListView1->headerItem()->setText(column, title);
    }
    frmDlgSrv->SetDialogStrings();
    frmDlgCnx->SetDialogStrings();
    frmDlgCrtcUsr->SetDialogStrings();
}

void TfrmPassword::ShowLastTab()
{
    const QSignalBlocker quiet(tabCtl);
    tabCtl->setCurrentIndex(ReadLastActiveTab());
    // The connection page shown first starts with its proxy group hidden.
    if (tabCtl->currentIndex() == 1) gbxProxyLogin->setVisible(false);
}

// ---- Login page

void TfrmPassword::tabCtlChange(int index)
{
    if (index == tabCtl->indexOf(tabServers)) {
        ComboSrvUserList->setCurrentIndex(ComboUserList->currentIndex());
        ComboSrvUserListChange();
    } else if (index == tabCtl->indexOf(tabNorveliaLogin)) {
        ComboUserList->setCurrentIndex(ComboSrvUserList->currentIndex());
        ComboUserListChange();
    } else if (index == tabCtl->indexOf(tabCheckConnection)) {
        tabCheckConnectionEnter();
    }
}

void TfrmPassword::ComboUserListChange()
{
    if (ComboUserList->currentIndex() >= 0) {
        const std::string user = CurrentBytes(ComboUserList);
        const std::string server = ReadCurrentServer(user);
        ComboServerList->clear();
        AddItem(ComboServerList, server);
        EdLoginNorvelia->setText(ToQt(ReadUID(server, user)));
    } else {
        EdLoginNorvelia->clear();
    }
    EdNewPasswordNorvelia->clear();
    EdConfirmPasswordNorvelia->clear();
    m_SelectedUser.clear();
    EnableNorveliaLoginOk();
}

void TfrmPassword::EdLoginNorveliaChange() { EnableNorveliaLoginOk(); }
void TfrmPassword::EdNewPasswordNorveliaChange() { EnableNorveliaLoginOk(); }
void TfrmPassword::EdConfirmPasswordNorveliaChange() { EnableNorveliaLoginOk(); }

void TfrmPassword::EnableNorveliaLoginOk()
{
    const bool chosen = ComboUserList->currentIndex() >= 0;
    if (chosen) m_SelectedUser = CurrentBytes(ComboUserList);
    btnNorveliaLoginOk->setEnabled(LoginOkEnabled(chosen, ToStd(EdLoginNorvelia->text()),
                                                  ToStd(EdNewPasswordNorvelia->text()),
                                                  ToStd(EdConfirmPasswordNorvelia->text())));
}

void TfrmPassword::btnNorveliaLoginOkClick()
{
    const int message = SaveLogin(CurrentBytes(ComboUserList), m_SelectedUser, CurrentBytes(ComboServerList),
                                  ToStd(EdLoginNorvelia->text()), ToStd(EdNewPasswordNorvelia->text()),
                                  ToStd(EdConfirmPasswordNorvelia->text()));
    if (message != kMsgSaved) {
        ShowError(message);
        if (message == kMsgPasswordsDiffer) {
            EdNewPasswordNorvelia->clear();
            EdConfirmPasswordNorvelia->clear();
        }
        return;
    }
    ShowInfo(kMsgSaved);
    ComboUserList->setCurrentIndex(-1);
    ComboUserListChange();
    ComboServerList->clear();
    btnNorveliaLoginOk->setEnabled(false);
}

void TfrmPassword::SaveState()
{
    const bool servers = tabCtl->currentIndex() == tabCtl->indexOf(tabServers);
    WriteLastState(tabCtl->currentIndex(), CurrentBytes(servers ? ComboSrvUserList : ComboUserList));
}

void TfrmPassword::btnCancelClick()
{
    SaveState();
    if (btnNorveliaLoginOk->isEnabled() || btnCheckConnectionOk->isEnabled()) {
        const auto answer = TMsgBox::Show(this, {Message(kMsgUnsavedInput), ErrorCaption(), QMessageBox::Question,
                                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No});
        if (answer != QMessageBox::Yes) return;
    }
    m_QuitRequested = true;
    close();
    QCoreApplication::quit();
}

void TfrmPassword::closeEvent(QCloseEvent* event)
{
    SaveState();
    frmDlgCrtcUsr->hide();
    event->accept();
}

// ---- Connection page

void TfrmPassword::ReadConnectionPage()
{
    if (m_Connection.Read()) {
        edtProxyLogin->setText(ToQt(m_Connection.ProxyUser()));
        edtProxyPassword->setText(ToQt(m_Connection.ProxyPassword()));
    }
    (m_Connection.Mode() != 0 ? rbConnectionProxy : rbConnectionDefault)->setChecked(true);
    gbxProxyLogin->setVisible(rbConnectionProxy->isChecked());
    btnCheckConnectionOk->setEnabled(false);
}

void TfrmPassword::tabCheckConnectionEnter() { gbxProxyLogin->setVisible(rbConnectionProxy->isChecked()); }

void TfrmPassword::rbConnectionDefaultClick()
{
    gbxProxyLogin->setVisible(false);
    btnCheckConnectionOk->setEnabled(m_Connection.DefaultChosen());
}

void TfrmPassword::rbConnectionProxyClick()
{
    gbxProxyLogin->setVisible(true);
    btnCheckConnectionOk->setEnabled(
        m_Connection.ProxyChosen(ToStd(edtProxyLogin->text()), ToStd(edtProxyPassword->text())));
}

void TfrmPassword::edtProxyLoginChange()
{
    btnCheckConnectionOk->setEnabled(
        TConnectionChoice::FieldsChanged(ToStd(edtProxyLogin->text()), ToStd(edtProxyPassword->text())));
}

void TfrmPassword::edtProxyPasswordChange() { edtProxyLoginChange(); }

void TfrmPassword::btnCheckConnectionOkClick()
{
    if (!rbConnectionDefault->isChecked() && !rbConnectionProxy->isChecked()) return;
    const int message = m_Connection.Save(rbConnectionProxy->isChecked(), ToStd(edtProxyLogin->text()),
                                          ToStd(edtProxyPassword->text()));
    if (message != kMsgSaved) {
        ShowError(message);
        return;
    }
    btnCheckConnectionOk->setEnabled(false);
    ShowInfo(kMsgSaved);
}

void TfrmPassword::cbLanguageChange(int index)
{
    const int message = SaveLanguage(index);
    if (message == kMsgSaved) ShowInfo(message);
    else if (message != 0) ShowError(message);
}

std::string TfrmPassword::ProgramDir() const
{
    return m_ProgramDir.empty() ? ToStd(QCoreApplication::applicationDirPath()) : m_ProgramDir;
}

void TfrmPassword::btnTestCnxClick()
{
    const std::string url = ConnexionTestUrl(CurrentBytes(ComboSrvUserList));
    const QString program = ToQt(ProgramDir() + "/NvConnexion");
    // The URL travels as one argument; none at all lets the test use its
    // default server. Started on its own, it is no child of this program.
    QStringList arguments;
    if (!url.empty()) arguments << ToQt(url);
    if (!QProcess::startDetached(program, arguments))
        std::fprintf(stderr, "NvPassword: cannot start %s\n", program.toLocal8Bit().constData());
}

// ---- Servers page

void TfrmPassword::ComboSrvUserListChange()
{
    if (ComboSrvUserList->currentIndex() >= 0) {
        for (QAction* action : {AddNewServer1, SuppressServer1, ConnexionParam1, DefaultServer1})
            action->setEnabled(true);
    }
    RefreshServerList(CurrentBytes(ComboSrvUserList));
}

void TfrmPassword::FillServerList(const std::vector<std::string>& names)
{
    ListView1->clear();
    for (const std::string& name : names) {
        if (name.empty()) continue;
        auto* row = new QTreeWidgetItem(ListView1);
        SetItemBytes(row, colServer, name);
        row->setText(colUrl, ToQt(ReadServerUrl(name)));
        row->setToolTip(colUrl, row->text(colUrl));
        row->setTextAlignment(colMarker, Qt::AlignCenter);
    }
    ListView1->setCurrentItem(nullptr);
}

void TfrmPassword::RefreshServerList(const std::string& user)
{
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListView1->topLevelItem(i);
        row->setText(colLogin, ToQt(user.empty() ? std::string() : ReadUID(ItemBytes(row, colServer), user)));
    }
    MarkCurrentServer(user);
}

void TfrmPassword::MarkCurrentServer(const std::string& user)
{
    const std::string current = user.empty() ? std::string() : ReadCurrentServer(user);
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListView1->topLevelItem(i);
        const bool marked = !current.empty() && SameName(ItemBytes(row, colServer), current);
        row->setText(colMarker, marked ? QString::fromLatin1(kMarker) : QString());
    }
}

std::string TfrmPassword::FocusedServer() const
{
    const QTreeWidgetItem* row = ListView1->currentItem();
    return row ? ItemBytes(row, colServer) : std::string();
}

QTreeWidgetItem* TfrmPassword::FindServerRow(const std::string& server) const
{
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListView1->topLevelItem(i);
        if (SameName(ItemBytes(row, colServer), server)) return row;
    }
    return nullptr;
}

bool TfrmPassword::FocusServer(const std::string& server)
{
    QTreeWidgetItem* row = FindServerRow(server);
    if (!row) return false;
    ListView1->setCurrentItem(row);
    return true;
}

void TfrmPassword::MakeDefaultServer()
{
    if (!ListView1->currentItem()) {
        ShowError(kMsgChooseServer);
        return;
    }
    const std::string user = CurrentBytes(ComboSrvUserList);
    WriteCurrentServer(user, FocusedServer());
    MarkCurrentServer(user);
    if (frmDlgCrtcUsr->isVisible()) frmDlgCrtcUsr->Refill();
}

void TfrmPassword::btnCreateServerClick()
{
    if (ComboSrvUserList->currentIndex() < 0) {
        ShowError(kMsgChooseUser);
        return;
    }
    if (QTreeWidgetItem* row = ListView1->currentItem()) {
        frmDlgSrv->EdDlgServerNorvelia->setText(row->text(colServer));
        frmDlgSrv->EdDlgURLNorvelia->setText(row->text(colUrl));
    }
    frmDlgSrv->ShowModal();
}

void TfrmPassword::btnModifyServerClick()
{
    if (ComboSrvUserList->currentIndex() < 0) {
        ShowError(kMsgChooseUser);
        return;
    }
    if (!ListView1->currentItem()) {
        ShowError(kMsgChooseServer);
        return;
    }
    frmDlgCnx->SetServerAndUser(FocusedServer(), CurrentBytes(ComboSrvUserList));
    frmDlgCnx->exec();
}

void TfrmPassword::btnDeleteServerClick()
{
    QTreeWidgetItem* row = ListView1->currentItem();
    if (!row) {
        ShowError(kMsgChooseServer);
        return;
    }
    const std::string server = ItemBytes(row, colServer);
    if (!DeleteServer(server).empty()) {
        ShowError(kMsgServerInUse);
        frmDlgCrtcUsr->ShowFor(server);
        return;
    }
    delete row;
    ListView1->setCurrentItem(nullptr);
}

void TfrmPassword::btnDefaultServerClick()
{
    if (ComboSrvUserList->currentIndex() < 0) {
        ShowError(kMsgChooseUser);
        return;
    }
    MakeDefaultServer();
}

void TfrmPassword::ListView1DblClick()
{
    const std::string user = CurrentBytes(ComboSrvUserList);
    if (ListView1->currentItem() && !user.empty() && !ReadUID(FocusedServer(), user).empty())
        MakeDefaultServer();
    else
        btnModifyServerClick();
}

// ---- Pictures

bool TfrmPassword::SaveScreenshots(const QString& dir)
{
    bool ok = true;
    auto save = [&](QWidget* widget, const QString& name) {
        widget->show();
        widget->raise();
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
        ok = widget->grab().save(QDir(dir).filePath(name)) && ok;
    };
    show();
    const char* pages[] = {"password-login.png", "password-connection.png", "password-servers.png"};
    for (int i = 0; i < 3; ++i) {
        tabCtl->setCurrentIndex(i);
        save(this, QString::fromLatin1(pages[i]));
    }
    if (rbConnectionDefault->isChecked()) {
        // The proxy page as well, with its credentials group shown.
        tabCtl->setCurrentIndex(1);
        rbConnectionProxy->setChecked(true);
        rbConnectionProxyClick();
        save(this, QStringLiteral("password-connection-proxy.png"));
        rbConnectionDefault->setChecked(true);
        rbConnectionDefaultClick();
    }
    tabCtl->setCurrentIndex(2);
    // The user's current server, so that the users' dialog has someone to list.
    if (ListView1->topLevelItemCount() > 0) ListView1->setCurrentItem(ListView1->topLevelItem(0));
    FocusServer(ReadCurrentServer(CurrentBytes(ComboSrvUserList)));
    const std::string server = FocusedServer();
    const std::string user = CurrentBytes(ComboSrvUserList);

    frmDlgSrv->EdDlgServerNorvelia->setText(ToQt(server));
    frmDlgSrv->EdDlgURLNorvelia->setText(ToQt(ReadServerUrl(server)));
    save(frmDlgSrv, QStringLiteral("password-dlgsrv.png"));
    frmDlgSrv->hide();

    frmDlgCnx->SetServerAndUser(server, user);
    save(frmDlgCnx, QStringLiteral("password-dlgcnx.png"));
    frmDlgCnx->hide();

    frmDlgCrtcUsr->ShowFor(server);
    save(frmDlgCrtcUsr, QStringLiteral("password-dlgcrtcusr.png"));
    frmDlgCrtcUsr->btnDlgCrtcUsrQuitClick();
    return ok;
}
