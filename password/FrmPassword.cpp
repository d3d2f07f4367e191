#include "password/FrmPassword.h"

#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>

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
#include <QLinearGradient>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QTreeWidget>

#include <cstdio>
#include <cstring>

#include "lexmo/Language.h"
#include "lexmo/Lexmo.h"
#include "nvservices/NvServices.h"
#include "password/Bytes.h"
#include "password/FrmDlgCnx.h"
#include "password/FrmDlgCrtcUsr.h"
#include "password/FrmDlgSrv.h"
#include "password/MsgBox.h"
#include "password/PasswordRegistry.h"
#include "settings/RegKey.h"

extern char** environ;

namespace {


std::string Trim(const std::string& text)
{
    const char* blanks = " \t";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

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

template <class W>
W* Make(QWidget* parent, const char* name, int x, int y, int w, int h)
{
    W* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, int x, int y, int w, int h)
{
    QLabel* label = Make<QLabel>(parent, name, x, y, w, h);
    label->setText(QString::fromUtf8(text));
    return label;
}

void Emphasise(QWidget* widget, bool bold, bool italic)
{
    QFont font = widget->font();
    font.setBold(bold);
    font.setItalic(italic);
    widget->setFont(font);
}

} // namespace

TfrmPassword::TfrmPassword(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmPassword"));
    setFont(FormFont());
    setWindowTitle(QString::fromUtf8("Norvelia - Gestion des mots de passe"));
    setFixedSize(572, 297);
    // The icon-only buttons explain themselves by their hints, also while
    // another window has the focus.
    setAttribute(Qt::WA_AlwaysShowToolTips);

    Image1 = Make<QLabel>(this, "Image1", 0, 0, 121, 297);
    Image1->setPixmap(Artwork(121, 297));

    tabCtl = Make<QTabWidget>(this, "tabCtl", 123, 0, 449, 297);
    tabNorveliaLogin = new QWidget;
    tabNorveliaLogin->setObjectName(QStringLiteral("tabNorveliaLogin"));
    tabCheckConnection = new QWidget;
    tabCheckConnection->setObjectName(QStringLiteral("tabCheckConnection"));
    tabServers = new QWidget;
    tabServers->setObjectName(QStringLiteral("tabServers"));
    tabCtl->addTab(tabNorveliaLogin, QString::fromUtf8("Mot de Passe Norvelia"));
    tabCtl->addTab(tabCheckConnection, QString::fromUtf8("Vérifier la connexion"));
    tabCtl->addTab(tabServers, QString::fromUtf8("Serveurs"));
    BuildLoginPage();
    BuildConnectionPage();
    BuildServersPage();

    // On the window, above the pages' bottom right corner.
    btnCancel = Make<QPushButton>(this, "btnCancel", 473, 260, 85, 25);
    btnCancel->setText(QString::fromUtf8("&Quitter"));
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
    setTabOrder(btnTestCnx, btnCheckConnectionOk);
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
    frmDlgCnx = new TfrmDlgCnx(*this);
    frmDlgCrtcUsr = new TfrmDlgCrtcUsr(*this);
}

TfrmPassword::~TfrmPassword() { ReapChildren(); }

void TfrmPassword::BuildLoginPage()
{
    QWidget* page = tabNorveliaLogin;
    lblTitleNorvelia = MakeLabel(page, "lblTitleNorvelia", "Définition du mot de passe Norvelia", 8, 6, 425, 18);
    Emphasise(lblTitleNorvelia, true, true);
    lblExplainNorvelia = MakeLabel(page, "lblExplainNorvelia",
                                   "Pour assurer la sécurité de vos synchronisations avec les serveur Norvelia, "
                                   "nous vous demandons de bien vouloir confirmer le login et le password que vous "
                                   "avez fournis lors de votre inscription sur le site Norvelia.",
                                   8, 26, 425, 58);
    lblExplainNorvelia->setWordWrap(true);
    lblExplainNorvelia->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lblUsername = MakeLabel(page, "lblUsername", "Utilisateur Palm", 8, 92, 150, 21);
    ComboUserList = Make<QComboBox>(page, "ComboUserList", 160, 90, 200, 22);
    ComboUserList->setEditable(false);
    lblDefaultServer = MakeLabel(page, "lblDefaultServer", "Serveur Norvelia", 8, 118, 150, 21);
    lblDefaultServer->setToolTip(QString::fromUtf8("Serveur par défaut"));
    ComboServerList = Make<QComboBox>(page, "ComboServerList", 160, 116, 200, 22);
    ComboServerList->setEnabled(false);
    ComboServerList->setToolTip(QString::fromUtf8("Serveur par Défaut"));
    Emphasise(ComboServerList, true, false);

    GroupBox1 = Make<QGroupBox>(page, "GroupBox1", 8, 142, 425, 88);
    GroupBox1->setTitle(QString::fromUtf8("Identification "));
    lblLogin = MakeLabel(GroupBox1, "lblLogin", "Login Norvelia", 10, 18, 180, 21);
    EdLoginNorvelia = Make<QLineEdit>(GroupBox1, "EdLoginNorvelia", 200, 18, 215, 21);
    lblPassword = MakeLabel(GroupBox1, "lblPassword", "Mot de passe", 10, 41, 180, 21);
    EdNewPasswordNorvelia = Make<QLineEdit>(GroupBox1, "EdNewPasswordNorvelia", 200, 41, 215, 21);
    EdNewPasswordNorvelia->setEchoMode(QLineEdit::Password);
    lblConfirmPassword = MakeLabel(GroupBox1, "lblConfirmPassword", "Confirmation mot de passe", 10, 64, 180, 21);
    EdConfirmPasswordNorvelia = Make<QLineEdit>(GroupBox1, "EdConfirmPasswordNorvelia", 200, 64, 215, 21);
    EdConfirmPasswordNorvelia->setEchoMode(QLineEdit::Password);

    btnNorveliaLoginOk = Make<QPushButton>(page, "btnNorveliaLoginOk", 240, 236, 89, 25);
    btnNorveliaLoginOk->setText(QString::fromUtf8("&Valider"));

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
    lblTitleProxy =
        MakeLabel(page, "lblTitleProxy", "Vérification de la connexion aux serveurs Norvelia", 8, 6, 425, 18);
    Emphasise(lblTitleProxy, true, true);
    lblExplainProxy = MakeLabel(page, "lblExplainProxy",
                                "Cette page vous permet de tester que la connexion aux serveurs Norvelia "
                                "fonctionne correctement et, si ce n'est pas le cas, de modifier les paramètres "
                                "de connexion.",
                                8, 26, 425, 44);
    lblExplainProxy->setWordWrap(true);
    lblExplainProxy->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    gbxProxy = Make<QGroupBox>(page, "gbxProxy", 8, 72, 425, 62);
    gbxProxy->setTitle(QString::fromUtf8("Mode de connexion "));
    rbConnectionDefault = Make<QRadioButton>(gbxProxy, "rbConnectionDefault", 10, 18, 405, 19);
    rbConnectionDefault->setText(QString::fromUtf8("Utiliser les paramètres par défaut de Windows"));
    rbConnectionProxy = Make<QRadioButton>(gbxProxy, "rbConnectionProxy", 10, 38, 405, 19);
    rbConnectionProxy->setText(
        QString::fromUtf8("Définir manuellement les paramètres d'identification de mon Proxy/Firewall"));

    gbxProxyLogin = Make<QGroupBox>(page, "gbxProxyLogin", 8, 138, 425, 92);
    gbxProxyLogin->setTitle(QString::fromUtf8("Paramètres d'identification de mon Proxy/Firewall "));
    lblProxyLogin = MakeLabel(gbxProxyLogin, "lblProxyLogin", "Nom d'utilisateur", 10, 18, 180, 21);
    edtProxyLogin = Make<QLineEdit>(gbxProxyLogin, "edtProxyLogin", 200, 18, 215, 21);
    lblProxyPassword = MakeLabel(gbxProxyLogin, "lblProxyPassword", "Mot de passe", 10, 42, 180, 21);
    edtProxyPassword = Make<QLineEdit>(gbxProxyLogin, "edtProxyPassword", 200, 42, 215, 21);
    edtProxyPassword->setEchoMode(QLineEdit::Password);
    lblNoInfoSentToNorvelia = MakeLabel(gbxProxyLogin, "lblNoInfoSentToNorvelia",
                                        "Aucune information n'est envoyée à Norvelia", 10, 66, 405, 19);
    lblNoInfoSentToNorvelia->setAlignment(Qt::AlignCenter);
    Emphasise(lblNoInfoSentToNorvelia, true, false);

    btnTestCnx = Make<QPushButton>(page, "btnTestCnx", 8, 236, 81, 25);
    btnTestCnx->setText(QString::fromUtf8("&Tester"));
    cbLanguage = Make<QComboBox>(page, "cbLanguage", 95, 236, 135, 25);
    cbLanguage->addItem(QString::fromUtf8("Français"), QStringLiteral("Lexmo.dll"));
    cbLanguage->addItem(QStringLiteral("English"), QStringLiteral("LexmoUs.dll"));
    btnCheckConnectionOk = Make<QPushButton>(page, "btnCheckConnectionOk", 240, 236, 89, 25);
    btnCheckConnectionOk->setText(QString::fromUtf8("&Valider"));

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
    lblTitleServers = MakeLabel(page, "lblTitleServers", "Configuration des serveurs Norvelia", 8, 6, 425, 18);
    Emphasise(lblTitleServers, true, true);
    lblExplainServers = MakeLabel(page, "lblExplainServers",
                                  "Ici, vous pouvez facilement administrer les serveurs disponibles pour votre "
                                  "Norvelia : ajout, modification, suppression... ",
                                  8, 26, 425, 36);
    lblExplainServers->setWordWrap(true);
    lblExplainServers->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblSrvUserName = MakeLabel(page, "lblSrvUserName", "Utilisateur", 8, 70, 150, 21);
    ComboSrvUserList = Make<QComboBox>(page, "ComboSrvUserList", 160, 68, 200, 22);
    ComboSrvUserList->setEditable(false);

    ListView1 = Make<QTreeWidget>(page, "ListView1", 8, 98, 395, 127);
    ListView1->setColumnCount(4);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView1->setHeaderLabels({QString::fromUtf8("Défaut"), QString::fromUtf8("Serveur"),
                                QString::fromUtf8("Login"), QString::fromUtf8("URL")});
    // The columns share the list's width: the address takes what is left and
    // is shortened in its middle, whole in its hint; nothing scrolls sideways.
    ListView1->header()->setStretchLastSection(true);
    ListView1->header()->setSectionsMovable(false);
    ListView1->headerItem()->setTextAlignment(colMarker, Qt::AlignCenter);
    ListView1->setColumnWidth(colMarker, 50);
    ListView1->setColumnWidth(colServer, 80);
    ListView1->setColumnWidth(colLogin, 70);
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ListView1->setTextElideMode(Qt::ElideMiddle);

    struct Button {
        QPushButton** button;
        const char* name;
        const char* hint;
        QStyle::StandardPixmap glyph;
    };
    const Button buttons[] = {
        {&btnCreateServer, "btnCreateServer", "Ajouter/Modifier un serveur", QStyle::SP_FileDialogNewFolder},
        {&btnDeleteServer, "btnDeleteServer", "Supprimer le serveur", QStyle::SP_TrashIcon},
        {&btnModifyServer, "btnModifyServer", "Login et Password ", QStyle::SP_FileDialogDetailedView},
        {&btnDefaultServer, "btnDefaultServer", "Serveur par défaut", QStyle::SP_DialogApplyButton},
    };
    int y = 98;
    for (const Button& b : buttons) {
        QPushButton* button = Make<QPushButton>(page, b.name, 409, y, 32, 32);
        button->setFlat(true);
        button->setToolTip(QString::fromUtf8(b.hint));
        button->setIcon(style()->standardIcon(b.glyph));
        button->setIconSize(QSize(22, 22));
        *b.button = button;
        y += 32;
    }

    PopupMenu1 = new QMenu(ListView1);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto item = [&](const char* name, const char* text, void (TfrmPassword::*handler)()) {
        QAction* action = PopupMenu1->addAction(QString::fromUtf8(text));
        action->setObjectName(QString::fromLatin1(name));
        action->setEnabled(false);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    AddNewServer1 = item("AddNewServer1", "Ajouter un Serveur", &TfrmPassword::btnCreateServerClick);
    SuppressServer1 = item("SuppressServer1", "Supprimer le serveur", &TfrmPassword::btnDeleteServerClick);
    ConnexionParam1 = item("ConnexionParam1", "Paramètres de Connexion", &TfrmPassword::btnModifyServerClick);
    DefaultServer1 = item("DefaultServer1", "Etablir comme Serveur par Défaut", &TfrmPassword::btnDefaultServerClick);

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

void TfrmPassword::SetText(QWidget* control, int number)
{
    // With no catalog loaded the French built-in texts stay, rather than an empty control.
    const QString text = Message(number);
    if (text.isEmpty()) return;
    if (auto* label = qobject_cast<QLabel*>(control)) label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(control)) button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(control)) group->setTitle(text);
    else if (control == this) setWindowTitle(text);
    else if (const int page = tabCtl->indexOf(control); page >= 0) tabCtl->setTabText(page, text);
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
    // The catalog in use (the locale's when none is chosen); one this program does not name shows the product's own.
    const int language = cbLanguage->findData(QString::fromStdString(lexmo::ChosenCatalog(ReadMsgDll())), Qt::UserRole,
                                              Qt::MatchFixedString);
    cbLanguage->setCurrentIndex(language < 0 ? 0 : language);
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
    RegKey key = OpenRegKey(HKEY_LOCAL_MACHINE, kProductKey, KEY_READ);
    if (!key) return true; // nothing to load from: the built-in texts stay
    char buffer[257] = {};
    DWORD size = 256;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key.get(), "MsgDll", &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        buffer[0] = '\0';
    if (KESA_LoadMessages(lexmo::ChosenCatalog(buffer).c_str()) != 0) return true;
    TMsgBox::Show(this, {QStringLiteral("Norvelia messages load failure"), QStringLiteral("Error"),
                         QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok});
    return false;
}

void TfrmPassword::SetDialogStrings()
{
    char caption[65] = {};
    KESA_GetMessage(3023, caption, 64);
    if (caption[0]) std::memcpy(m_Caption, caption, sizeof caption);
    std::memset(caption, 0, sizeof caption);
    KESA_GetMessage(3030, caption, 64);
    if (caption[0]) std::memcpy(m_InfoCaption, caption, sizeof caption);

    const std::pair<QWidget*, int> texts[] = {
        {this, 3008},
        {tabNorveliaLogin, 3007},
        {lblTitleNorvelia, 3000},
        {lblExplainNorvelia, 3001},
        {lblUsername, 3002},
        {lblDefaultServer, 3032},
        {GroupBox1, 3003},
        {lblLogin, 3004},
        {lblPassword, 3005},
        {lblConfirmPassword, 3006},
        {btnNorveliaLoginOk, 3009},
        {btnCancel, 3010},
        {tabCheckConnection, 3011},
        {lblTitleProxy, 3012},
        {lblExplainProxy, 3013},
        {gbxProxy, 3014},
        {rbConnectionDefault, 3015},
        {rbConnectionProxy, 3016},
        {gbxProxyLogin, 3017},
        {lblProxyLogin, 3018},
        {lblProxyPassword, 3019},
        {lblNoInfoSentToNorvelia, 3020},
        {btnTestCnx, 3021},
        {btnCheckConnectionOk, 3009},
        {tabServers, 3033},
        {lblTitleServers, 3034},
        {lblExplainServers, 3035},
        {lblSrvUserName, 3002},
    };
    for (const auto& [control, number] : texts) SetText(control, number);

    const std::pair<QWidget*, int> hints[] = {
        {lblDefaultServer, 3040}, {btnCreateServer, 3036}, {btnDeleteServer, 3038},
        {btnModifyServer, 3039},  {btnDefaultServer, 3040}, {cbLanguage, 3057},
    };
    for (const auto& [control, number] : hints) {
        if (const QString hint = Message(number); !hint.isEmpty()) control->setToolTip(hint);
    }
    for (int column = colMarker; column <= colUrl; ++column) {
        if (const QString title = Message(3043 + column); !title.isEmpty())
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
    if (tabCtl->currentIndex() == 1) tabCheckConnectionEnter();
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
    if (ComboUserList->currentIndex() < 0) {
        btnNorveliaLoginOk->setEnabled(false);
        return;
    }
    m_SelectedUser = CurrentBytes(ComboUserList);
    btnNorveliaLoginOk->setEnabled(!EdLoginNorvelia->text().isEmpty() && !EdNewPasswordNorvelia->text().isEmpty() &&
                                   !EdConfirmPasswordNorvelia->text().isEmpty());
}

void TfrmPassword::btnNorveliaLoginOkClick()
{
    if (ComboUserList->currentIndex() < 0 || Trim(m_SelectedUser).empty()) {
        ShowError(3022);
        return;
    }
    const std::string login = ToStd(EdLoginNorvelia->text());
    const std::string password = ToStd(EdNewPasswordNorvelia->text());
    const std::string confirmation = ToStd(EdConfirmPasswordNorvelia->text());
    if (Trim(login).empty()) {
        ShowError(3025);
        return;
    }
    if (Trim(password) != Trim(confirmation) || Trim(password).empty()) {
        ShowError(3026);
        EdNewPasswordNorvelia->clear();
        EdConfirmPasswordNorvelia->clear();
        return;
    }
    const std::string cyphered = NvCypher(password, "k&v" + login);
    WriteCredentials(CurrentBytes(ComboServerList), CurrentBytes(ComboUserList), cyphered, login);
    ShowInfo(3031);
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
        const auto answer = TMsgBox::Show(this, {Message(3022), ErrorCaption(), QMessageBox::Question,
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
    const ConnectionSettings s = ReadConnectionSettings();
    m_Mode = 0;
    if (s.keyOpened) {
        edtProxyLogin->setText(ToQt(s.proxyUser));
        edtProxyPassword->setText(ToQt(s.proxyPassword));
        m_ProxyUser = s.proxyUser;
        m_ProxyPassword = s.proxyPassword;
        m_Mode = s.mode;
    }
    (m_Mode != 0 ? rbConnectionProxy : rbConnectionDefault)->setChecked(true);
    gbxProxyLogin->setVisible(rbConnectionProxy->isChecked());
    btnCheckConnectionOk->setEnabled(false);
}

void TfrmPassword::tabCheckConnectionEnter() { gbxProxyLogin->setVisible(rbConnectionProxy->isChecked()); }

void TfrmPassword::rbConnectionDefaultClick()
{
    gbxProxyLogin->setVisible(false);
    btnCheckConnectionOk->setEnabled(m_Mode != 0);
}

void TfrmPassword::rbConnectionProxyClick()
{
    gbxProxyLogin->setVisible(true);
    const std::string login = Trim(ToStd(edtProxyLogin->text()));
    const std::string password = Trim(ToStd(edtProxyPassword->text()));
    if (m_Mode != 0 && login == Trim(m_ProxyUser) && password == Trim(m_ProxyPassword))
        btnCheckConnectionOk->setEnabled(false);
    else
        btnCheckConnectionOk->setEnabled(!login.empty() && !password.empty());
}

void TfrmPassword::edtProxyLoginChange()
{
    btnCheckConnectionOk->setEnabled(!Trim(ToStd(edtProxyLogin->text())).empty() &&
                                     !Trim(ToStd(edtProxyPassword->text())).empty());
}

void TfrmPassword::edtProxyPasswordChange() { edtProxyLoginChange(); }

void TfrmPassword::btnCheckConnectionOkClick()
{
    if (rbConnectionDefault->isChecked()) {
        if (!WriteConnectionMode(0)) {
            ShowError(3027);
            return;
        }
        m_Mode = 0;
    } else if (rbConnectionProxy->isChecked()) {
        const std::string login = ToStd(edtProxyLogin->text());
        const std::string password = ToStd(edtProxyPassword->text());
        // A text the 256-byte value cannot hold is refused rather than cut.
        if (Trim(login).empty() || !FitsConnectionValue(login)) {
            ShowError(3028);
            return;
        }
        if (Trim(password).empty() || !FitsConnectionValue(password)) {
            ShowError(3029);
            return;
        }
        if (!WriteConnectionMode(1, &login, &password)) {
            ShowError(3027);
            return;
        }
        m_Mode = 1;
        m_ProxyUser = login;
        m_ProxyPassword = password;
    } else {
        return;
    }
    btnCheckConnectionOk->setEnabled(false);
    ShowInfo(3031);
}

void TfrmPassword::cbLanguageChange(int index)
{
    if (index < 0) return;
    if (!WriteMsgDll(ToStd(cbLanguage->itemData(index).toString()))) {
        ShowError(3027);
        return;
    }
    ShowInfo(3031);
}

std::string TfrmPassword::ProgramDir() const
{
    return m_ProgramDir.empty() ? ToStd(QCoreApplication::applicationDirPath()) : m_ProgramDir;
}

void TfrmPassword::btnTestCnxClick()
{
    ReapChildren();
    const std::string user = CurrentBytes(ComboSrvUserList);
    const std::string url = ReadServerUrl(ReadCurrentServer(user));
    const std::string program = ProgramDir() + "/NvConnexion";
    // The URL travels as one argument; none at all lets the test use its default server.
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    if (!url.empty()) argv.push_back(const_cast<char*>(url.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc != 0) {
        std::fprintf(stderr, "NvPassword: cannot start %s: %s\n", program.c_str(), std::strerror(rc));
        return;
    }
    m_Children.push_back(pid);
}

void TfrmPassword::ReapChildren()
{
    // Test programs run on their own; collect the ones that ended.
    std::erase_if(m_Children, [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });
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
        ShowError(3041);
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
        ShowError(3037);
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
        ShowError(3037);
        return;
    }
    if (!ListView1->currentItem()) {
        ShowError(3041);
        return;
    }
    frmDlgCnx->SetServerAndUser(FocusedServer(), CurrentBytes(ComboSrvUserList));
    frmDlgCnx->exec();
}

void TfrmPassword::btnDeleteServerClick()
{
    QTreeWidgetItem* row = ListView1->currentItem();
    if (!row) {
        ShowError(3041);
        return;
    }
    const std::string server = ItemBytes(row, colServer);
    if (!UsersOfServer(server).empty()) {
        ShowError(3042);
        frmDlgCrtcUsr->ShowFor(server);
        return;
    }
    for (const std::string& user : HotSyncUsers()) DeleteUserServerKey(user, server);
    DeleteServerValue(server);
    delete row;
    ListView1->setCurrentItem(nullptr);
}

void TfrmPassword::btnDefaultServerClick()
{
    if (ComboSrvUserList->currentIndex() < 0) {
        ShowError(3037);
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
