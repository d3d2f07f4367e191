// The HotSync action dialog of a conduit: the action list, the make-default
// choice, OK and Cancel. Actions 0 to 2 synchronize, 3 does nothing.
#pragma once
#include <QDialog>
#include <QString>

class QButtonGroup;
class QCheckBox;
class QLabel;

class CHotSyncActionDlg final : public QDialog {
public:
    static constexpr int kActions = 4;

    explicit CHotSyncActionDlg(QWidget* parent = nullptr);

    void SetConduitName(const QString& name);
    // Out-of-range actions show the first.
    void SetAction(int action);
    int Action() const;
    void SetMakeDefault(bool makeDefault);
    bool MakeDefault() const;

private:
    QButtonGroup* m_Actions;
    QCheckBox* m_MakeDefault;
    QLabel* m_Conduit;
};
