#include "connexion/NvConnexionDlg.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QVBoxLayout>

#include <string_view>

#include "connexion/ConnexionUrl.h"
#include "connexion/ListStatusWindow.h"
#include "lexmo/Language.h"
#include "lexmo/Lexmo.h"
#include "seam/Ui.h"
#include "settings/ConnectionProbe.h"
#include "settings/RegAccess.h"

namespace {

constexpr const char* kProductKey = "SOFTWARE\\Norvelia\\Tidepost";

constexpr int kMsgSuccess = 2055;
constexpr int kMsgTitle = 2056;
constexpr int kMsgExplanation = 2057;
constexpr int kMsgCheck = 2058;
constexpr int kMsgQuit = 2059;
constexpr int kMsgFailure = 2084;

QString Text(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The product key, created when it is missing (and writable).
void OpenProductKey(CRegAccess& reg)
{
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    reg.SetKey(kProductKey, true);
}

} // namespace

CNvConnexionDlg::CNvConnexionDlg(std::string url, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_Url(std::move(url)), m_Explanation(new QLabel(this)), m_Log(new QListWidget(this)),
      m_Check(new QPushButton(this)), m_Quit(new QPushButton(this)),
      m_Status(std::make_unique<CListStatusWindow>(m_Queue, m_Log))
{
    setObjectName("nvConnexion");
    const QIcon icon(":/nvconnexion/NvConnexion.png");
    setWindowIcon(icon);

    // Sizes of the original layout, in dialog units of this font.
    const QFontMetrics fm(font());
    const auto dx = [&](int units) { return units * fm.averageCharWidth() / 4; };
    const auto dy = [&](int units) { return units * fm.height() / 8; };

    auto* iconFrame = new QLabel(this);
    iconFrame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    iconFrame->setPixmap(icon.pixmap(32, 32));
    iconFrame->setAlignment(Qt::AlignCenter);
    iconFrame->setFixedSize(qMax(dx(27), 40), qMax(dy(25), 40));

    m_Explanation->setObjectName("explanation");
    m_Explanation->setTextFormat(Qt::PlainText);
    m_Explanation->setWordWrap(true);
    m_Explanation->setMinimumWidth(dx(330));
    m_Explanation->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* line = new QFrame(this);
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);

    m_Log->setObjectName("logList");
    m_Log->setSelectionMode(QAbstractItemView::SingleSelection);
    // Long lines wrap rather than run off behind a scroll bar.
    m_Log->setWordWrap(true);
    m_Log->setTextElideMode(Qt::ElideNone);
    m_Log->setResizeMode(QListView::Adjust);
    m_Log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_Log->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_Log->setMinimumSize(dx(360), dy(117));

    m_Check->setObjectName("checkButton");
    m_Check->setDefault(true);
    m_Check->setMinimumWidth(dx(45));
    m_Quit->setObjectName("quitButton");
    m_Quit->setAutoDefault(false);
    m_Quit->setMinimumWidth(dx(38));
    connect(m_Check, &QPushButton::clicked, this, [this] { OnCheck(); });
    connect(m_Quit, &QPushButton::clicked, this, [this] { OnQuit(); });

    auto* top = new QHBoxLayout;
    top->addWidget(iconFrame, 0, Qt::AlignTop);
    top->addWidget(m_Explanation, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_Check);
    buttons->addWidget(m_Quit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(line);
    layout->addWidget(m_Log, 1);
    layout->addLayout(buttons);

    CRegAccess reg;
    OpenProductKey(reg);
    const std::string msgDll = lexmo::ChosenCatalog(reg.ReadString("MsgDll", ""));
    m_MessagesLoaded = KESA_LoadMessages(msgDll.c_str()) > 0;
    if (!m_MessagesLoaded) {
        platform::UiHost().ShowMessage("Messages load failure", "Aborting", platform::MsgIcon::None,
                                       platform::MsgButtons::Ok);
        return;
    }
    setWindowTitle(Text(KESA_FormatMessage(kMsgTitle)));
    m_Check->setText(Text(KESA_FormatMessage(kMsgCheck)));
    m_Quit->setText(Text(KESA_FormatMessage(kMsgQuit)));
    m_Explanation->setText(Text(KESA_FormatMessage(kMsgExplanation)));
}

CNvConnexionDlg::~CNvConnexionDlg()
{
    // A check still running writes to the list: wait for its end, serving the
    // events it posts, and show nothing more.
    m_Closing = true;
    while (m_Running) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (m_Worker.joinable()) m_Worker.join();
}

void CNvConnexionDlg::OnCheck()
{
    if (m_Running) return;
    {
        CRegAccess reg;
        OpenProductKey(reg);
    }
    m_Log->clear();
    m_Running = true;
    m_Check->setEnabled(false);
    if (m_Worker.joinable()) m_Worker.join();

    const std::string probeUrl = ProbeUrlOf(m_Url);
    // The address tried heads the account, so a person sees which server answered.
    m_Log->addItem(QString::fromStdString(probeUrl));
    IProbeStatusWindow* status = m_Status.get();
    m_Worker = std::thread([this, probeUrl, status] {
        bool ok = false;
        DWORD code = 0;
        try {
            CConnectionProbe probe;
            std::string body;
            ok = probe.Run(probeUrl.c_str(), body, nullptr, status);
            if (ok) probe.CloseSession();
            code = probe.m_LastErrorCode;
        } catch (...) {
            // A probe that could not even start sets no error code.
        }
        m_Queue.Post([this, ok, code] { FinishCheck(ok, code); });
    });
}

void CNvConnexionDlg::FinishCheck(bool ok, DWORD code)
{
    if (m_Worker.joinable()) m_Worker.join();
    m_Running = false;
    if (m_Closing) return;

    CRegAccess reg;
    OpenProductKey(reg);
    reg.WriteString("LastErrorCode", ok ? std::string("0") : std::to_string(code));
    platform::UiHost().ShowMessage(KESA_FormatMessage(ok ? kMsgSuccess : kMsgFailure), KESA_FormatMessage(kMsgTitle),
                                   ok ? platform::MsgIcon::Information : platform::MsgIcon::Warning,
                                   platform::MsgButtons::Ok);
    m_Check->setEnabled(true);
    emit CheckFinished(ok);
}

void CNvConnexionDlg::OnQuit()
{
    CRegAccess reg;
    OpenProductKey(reg);
    reg.WriteBinaryDword("LastErrorCode", 0xFFFFFFFFu);
    QDialog::reject();
}

void CNvConnexionDlg::reject()
{
    OnQuit();
}
