#include "connexion/NvConnexionDlg.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QIcon>

#include <algorithm>
#include <string_view>

#include "connexion/ConnexionCheck.h"
#include "connexion/ListStatusWindow.h"
#include "lexmo/Lexmo.h"
#include "seam/Ui.h"

namespace {

QString Text(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

CNvConnexionDlg::CNvConnexionDlg(std::string url, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_Url(std::move(url)), m_DialogFont(QStringLiteral("MS Sans Serif"), 8), m_Explanation(new QLabel(this)),
      m_Log(new QListWidget(this)), m_Check(new QPushButton(this)), m_Quit(new QPushButton(this)),
      m_Status(std::make_unique<CListStatusWindow>(m_Queue, m_Log))
{
    setObjectName("nvConnexion");
    setFont(m_DialogFont);
    const QIcon icon(":/nvconnexion/NvConnexion.png");
    setWindowIcon(icon);
    // Resource 102: 369 by 170 dialog units, each control where the resource puts it.
    setFixedSize(FromDialogUnits(QRect(0, 0, 369, 170)).size());

    m_Check->setObjectName("checkButton");
    m_Check->setText(QString::fromUtf8("&Vérifier"));
    m_Check->setGeometry(FromDialogUnits(QRect(278, 154, 45, 14)));
    m_Check->setDefault(true);
    m_Quit->setObjectName("quitButton");
    m_Quit->setText(QString::fromUtf8("&Quitter"));
    m_Quit->setGeometry(FromDialogUnits(QRect(326, 154, 38, 14)));
    m_Quit->setAutoDefault(false);
    connect(m_Check, &QPushButton::clicked, this, [this] { OnCheck(); });
    connect(m_Quit, &QPushButton::clicked, this, [this] { OnQuit(); });

    // The program's icon at 6,5 in its etched frame at 3,2.
    auto* iconFrame = new QFrame(this);
    iconFrame->setObjectName("iconFrame");
    iconFrame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    iconFrame->setGeometry(FromDialogUnits(QRect(3, 2, 27, 25)));
    auto* iconLabel = new QLabel(this);
    iconLabel->setObjectName("icon");
    const QRect iconAt = FromDialogUnits(QRect(6, 5, 0, 0));
    iconLabel->setGeometry(iconAt.x(), iconAt.y(), 32, 32);
    iconLabel->setPixmap(icon.pixmap(32, 32));

    m_Explanation->setObjectName("explanation");
    m_Explanation->setTextFormat(Qt::PlainText);
    m_Explanation->setWordWrap(true);
    m_Explanation->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_Explanation->setGeometry(FromDialogUnits(QRect(33, 3, 330, 24)));

    auto* line = new QFrame(this);
    line->setObjectName("line");
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    line->setGeometry(FromDialogUnits(QRect(3, 30, 360, 1)).adjusted(0, 0, 0, 1));

    // An unsorted list with both scroll bars: long lines run on, as the probe wrote them.
    m_Log->setObjectName("logList");
    m_Log->setGeometry(FromDialogUnits(QRect(4, 35, 360, 117)));
    m_Log->setSelectionMode(QAbstractItemView::SingleSelection);
    m_Log->setWordWrap(false);
    m_Log->setTextElideMode(Qt::ElideNone);
    m_Log->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_Log->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_Log->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    // The resource's tab order: the buttons, then the list.
    setTabOrder(m_Check, m_Quit);
    setTabOrder(m_Quit, m_Log);

    m_MessagesLoaded = LoadConnexionMessages();
    if (!m_MessagesLoaded) {
        platform::UiHost().ShowMessage("Messages load failure", "Aborting", platform::MsgIcon::None,
                                       platform::MsgButtons::Ok);
        return;
    }
    setWindowTitle(Text(KESA_FormatMessage(kConnexionTitle)));
    m_Check->setText(Text(KESA_FormatMessage(kConnexionCheck)));
    m_Quit->setText(Text(KESA_FormatMessage(kConnexionQuit)));
    m_Explanation->setText(Text(KESA_FormatMessage(kConnexionExplanation)));
}

CNvConnexionDlg::~CNvConnexionDlg()
{
    // A check still running writes to the list: wait for its end, serving the
    // events it posts, and show nothing more.
    m_Closing = true;
    while (m_Running) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (m_Worker.joinable()) m_Worker.join();
}

QRect CNvConnexionDlg::FromDialogUnits(const QRect& units) const
{
    // Dialog units: a quarter of the font's average character width across,
    // an eighth of its height down.
    const QFontMetrics fm(m_DialogFont);
    const int chars = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int baseX = std::max(1, (chars / 26 + 1) / 2);
    const int baseY = std::max(1, fm.height());
    const auto x = [&](int u) { return (u * baseX + 2) / 4; };
    const auto y = [&](int u) { return (u * baseY + 4) / 8; };
    return QRect(x(units.x()), y(units.y()), x(units.width()), y(units.height()));
}

void CNvConnexionDlg::OnCheck()
{
    if (m_Running) return;
    m_Log->clear();
    m_Running = true;
    m_Check->setEnabled(false);
    if (m_Worker.joinable()) m_Worker.join();

    IProbeStatusWindow* status = m_Status.get();
    m_Worker = std::thread([this, url = m_Url, status] {
        const ConnexionOutcome outcome = RunConnexionCheck(url, status);
        m_Queue.Post([this, outcome] { FinishCheck(outcome.ok, outcome.code); });
    });
}

void CNvConnexionDlg::FinishCheck(bool ok, DWORD code)
{
    if (m_Worker.joinable()) m_Worker.join();
    m_Running = false;
    if (m_Closing) return;

    const int message = RecordConnexionOutcome({ok, code});
    platform::UiHost().ShowMessage(KESA_FormatMessage(message), KESA_FormatMessage(kConnexionTitle),
                                   ok ? platform::MsgIcon::Information : platform::MsgIcon::Warning,
                                   platform::MsgButtons::Ok);
    m_Check->setEnabled(true);
    emit CheckFinished(ok);
}

void CNvConnexionDlg::OnQuit()
{
    RecordConnexionQuit();
    QDialog::reject();
}

void CNvConnexionDlg::reject()
{
    OnQuit();
}
