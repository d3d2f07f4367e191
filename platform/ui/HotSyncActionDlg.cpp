#include "HotSyncActionDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "seam/UiText.h"

using platform::UiText;

CHotSyncActionDlg::CHotSyncActionDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(UiText(4041, "Change HotSync Action"));
    auto* layout = new QVBoxLayout(this);
    m_Conduit = new QLabel(this);
    m_Conduit->setObjectName(QStringLiteral("conduit"));
    m_Conduit->setTextFormat(Qt::PlainText);
    layout->addWidget(m_Conduit);

    auto* box = new QGroupBox(UiText(4042, "HotSync Action"), this);
    auto* boxLayout = new QVBoxLayout(box);
    m_Actions = new QButtonGroup(this);
    const QString names[kActions] = {UiText(4043, "&Synchronize the files"), UiText(4044, "&Desktop overwrites handheld"),
                                     UiText(4045, "&Handheld overwrites Desktop"), UiText(4046, "Do &nothing")};
    for (int i = 0; i < kActions; ++i) {
        auto* b = new QRadioButton(names[i], box);
        b->setObjectName(QStringLiteral("action%1").arg(i));
        m_Actions->addButton(b, i);
        boxLayout->addWidget(b);
    }
    layout->addWidget(box);
    m_MakeDefault = new QCheckBox(UiText(4047, "Set as &default"), this);
    m_MakeDefault->setObjectName(QStringLiteral("makeDefault"));
    layout->addWidget(m_MakeDefault);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    platform::NameButtons(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    SetAction(0);
}

void CHotSyncActionDlg::SetConduitName(const QString& name)
{
    // The name may carry an accelerator mark meant for a menu.
    QString shown = name;
    shown.remove(QLatin1Char('&'));
    m_Conduit->setText(UiText(4048, "Conduit: %s", shown.toStdString()));
    setWindowTitle(UiText(4041, "Change HotSync Action") + QStringLiteral(" - ") + shown);
}

void CHotSyncActionDlg::SetAction(int action)
{
    if (action < 0 || action >= kActions) action = 0;
    m_Actions->button(action)->setChecked(true);
}

int CHotSyncActionDlg::Action() const
{
    const int id = m_Actions->checkedId();
    return id < 0 ? 0 : id;
}

void CHotSyncActionDlg::SetMakeDefault(bool makeDefault)
{
    m_MakeDefault->setChecked(makeDefault);
}

bool CHotSyncActionDlg::MakeDefault() const
{
    return m_MakeDefault->isChecked();
}
