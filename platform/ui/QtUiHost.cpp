#include "seam/QtUiHost.h"

#include <QApplication>
#include <QMessageBox>
#include <QAbstractButton>

#include <atomic>

#include "CredentialsDialog.h"
#include "HotSyncActionDlg.h"
#include "NorvProgressDlg.h"
#include "seam/GuiQueue.h"
#include "seam/UiText.h"

namespace platform {

namespace {

QString Text(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QMessageBox::Icon BoxIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton BoxButton(MsgResult r)
{
    switch (r) {
    case MsgResult::Ok: return QMessageBox::Ok;
    case MsgResult::Cancel: return QMessageBox::Cancel;
    case MsgResult::Yes: return QMessageBox::Yes;
    case MsgResult::No: return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

MsgResult AskBox(const std::string& text, const std::string& caption, MsgIcon icon, MsgButtons buttons,
                 MsgResult defaultButton)
{
    QMessageBox box(QApplication::activeWindow());
    box.setIcon(BoxIcon(icon));
    box.setWindowTitle(Text(caption));
    // Texts may come from the network: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(Text(text));
    MsgResult escape = MsgResult::Ok;
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        defaultButton = MsgResult::Ok;
        break;
    case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        if (defaultButton != MsgResult::Cancel) defaultButton = MsgResult::Ok;
        escape = MsgResult::Cancel;
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        if (defaultButton != MsgResult::No) defaultButton = MsgResult::Yes;
        escape = MsgResult::No;
        break;
    }
    NameButtons(box);
    box.setDefaultButton(BoxButton(defaultButton));
    box.setEscapeButton(BoxButton(escape));
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    switch (clicked ? box.standardButton(clicked) : QMessageBox::NoButton) {
    case QMessageBox::Ok: return MsgResult::Ok;
    case QMessageBox::Cancel: return MsgResult::Cancel;
    case QMessageBox::Yes: return MsgResult::Yes;
    case QMessageBox::No: return MsgResult::No;
    default: break;
    }
    return escape;
}

// The progress view of a run on another thread: every call is carried to the
// dialog on the GUI thread and waits there, as a sent window message would;
// the cancel flag is read directly.
class QtProgressView final : public IProgressView {
public:
    QtProgressView(GuiQueue& queue, std::atomic<bool>& abandoned) : m_Queue(queue), m_Abandoned(abandoned)
    {
        m_Queue.Call([this] { m_Dialog = new CNorvProgressDlg; });
    }
    ~QtProgressView() override
    {
        // A cancel the run read was acted upon; one it never read (cleared
        // first) was forgotten, as the run wants.
        if (m_Seen.load()) m_Abandoned.store(true);
        if (!m_Queue.Call([this] { delete m_Dialog; }) && m_Dialog) m_Dialog->deleteLater();
    }

    void SetTitle(const std::string& t) override { On([=](CNorvProgressDlg& d) { d.setWindowTitle(Text(t)); }); }
    void SetCancelText(const std::string& t) override
    {
        On([=](CNorvProgressDlg& d) {
            if (auto* b = d.findChild<QAbstractButton*>(QStringLiteral("ctl1004"))) b->setText(Text(t));
        });
    }
    void SetStatus1(const std::string& t) override { On([=](CNorvProgressDlg& d) { d.SetStatus1(Text(t)); }); }
    void SetStatus2(const std::string& t) override { On([=](CNorvProgressDlg& d) { d.SetStatus2(Text(t)); }); }
    void SetRange1(long low, long high) override { On([=](CNorvProgressDlg& d) { d.SetRange1(low, high); }); }
    void SetRange2(long low, long high) override { On([=](CNorvProgressDlg& d) { d.SetRange2(low, high); }); }
    void SetPos1(long pos) override { On([=](CNorvProgressDlg& d) { d.SetPos1(pos); }); }
    void SetPos2(long pos) override { On([=](CNorvProgressDlg& d) { d.SetPos2(pos); }); }
    void ShowBar1(bool show) override { On([=](CNorvProgressDlg& d) { d.ShowBar1(show); }); }
    void ShowBar2(bool show) override { On([=](CNorvProgressDlg& d) { d.ShowBar2(show); }); }
    void Show() override { On([](CNorvProgressDlg& d) { d.ShowCentred(); }); }
    void Hide() override { On([](CNorvProgressDlg& d) { d.hide(); }); }
    bool IsCancelled() const override
    {
        const bool cancelled = m_Cancelled.load() || (m_Dialog && m_Dialog->IsCancelled());
        if (cancelled) m_Seen.store(true);
        return cancelled;
    }
    void SetCancel(bool cancelled) override
    {
        // Kept here too: a queue closed with the program still stops the run.
        m_Cancelled.store(cancelled);
        On([=](CNorvProgressDlg& d) { d.SetCancel(cancelled); });
    }
    bool IsInteractive() const override { return true; }

private:
    template <class F>
    void On(F f)
    {
        if (!m_Queue.Call([&] {
                if (m_Dialog) f(*m_Dialog);
            }))
            m_Cancelled.store(true);
    }

    GuiQueue& m_Queue;
    std::atomic<bool>& m_Abandoned;
    // Made and deleted by this view only, on the GUI thread.
    CNorvProgressDlg* m_Dialog = nullptr;
    std::atomic<bool> m_Cancelled{false};
    mutable std::atomic<bool> m_Seen{false};
};

} // namespace

QtUiHost::QtUiHost() : m_Previous(&UiHost()), m_Queue(std::make_unique<GuiQueue>())
{
    SetUiHost(this);
}

QtUiHost::~QtUiHost()
{
    SetUiHost(m_Previous == &DefaultUiHost() ? nullptr : m_Previous);
}

MsgResult QtUiHost::ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon,
                                MsgButtons buttons, MsgResult defaultButton)
{
    MsgResult result = defaultButton;
    if (!m_Queue->Call([&] { result = AskBox(text, caption, icon, buttons, defaultButton); }))
        return DefaultUiHost().ShowMessage(text, caption, icon, buttons, defaultButton);
    return result;
}

bool QtUiHost::AskCredentials(const std::string& prompt, std::string& user, std::string& password)
{
    bool accepted = false;
    const bool shown = m_Queue->Call([&] {
        CredentialsDialog dialog(Text(prompt), Text(user), QApplication::activeWindow());
        if (dialog.exec() != QDialog::Accepted) return;
        accepted = true;
        user = dialog.User().toStdString();
        password = dialog.Password().toStdString();
    });
    return shown ? accepted : DefaultUiHost().AskCredentials(prompt, user, password);
}

void QtUiHost::SetClosing(bool closing)
{
    m_Queue->SetClosed(closing);
}

bool QtUiHost::AskSyncAction(SyncActionRequest& request)
{
    bool accepted = false;
    const bool shown = m_Queue->Call([&] {
        CHotSyncActionDlg dialog(QApplication::activeWindow());
        dialog.SetConduitName(Text(request.conduitName));
        dialog.SetAction(request.action);
        dialog.SetMakeDefault(request.makeDefault);
        if (dialog.exec() != QDialog::Accepted) return;
        accepted = true;
        request.action = dialog.Action();
        request.makeDefault = dialog.MakeDefault();
    });
    return shown ? accepted : DefaultUiHost().AskSyncAction(request);
}

std::unique_ptr<IProgressView> QtUiHost::CreateProgressView()
{
    return std::make_unique<QtProgressView>(*m_Queue, m_Abandoned);
}

bool QtUiHost::TakeAbandoned()
{
    return m_Abandoned.exchange(false);
}

} // namespace platform
