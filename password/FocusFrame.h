// A focus rectangle drawn over a control that shows none of its own (the
// flat icon buttons, a list with no focused row), while it has the keyboard
// focus. It lets the mouse through and follows the control's place.
#pragma once
#include <QWidget>

class TFocusFrame final : public QWidget {
public:
    explicit TFocusFrame(QWidget* target);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Follow();
    QWidget* m_Target;
};
