// Answers the modal dialogs of a Qt test as they come up: each one is handed
// to the next queued handler. A dialog nobody expected is rejected and
// counted, so that no test ever waits on a box left open.
#pragma once
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVariant>

#include <deque>
#include <functional>

// What a message box showed.
struct SeenBox {
    bool shown = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
    Qt::TextFormat format = Qt::AutoText;
    bool onGuiThread = false;
};

class ModalAnswerer {
public:
    using Handler = std::function<void(QWidget*)>;

    ModalAnswerer()
    {
        m_Timer.setInterval(10);
        QObject::connect(&m_Timer, &QTimer::timeout, [this] { Poll(); });
        m_Timer.start();
    }

    void Expect(Handler handler) { m_Handlers.push_back(std::move(handler)); }
    // Records the next message box and clicks `button` on it.
    void ExpectBox(QMessageBox::StandardButton button, SeenBox* seen = nullptr)
    {
        Expect([button, seen](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box) {
                if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
                return;
            }
            if (seen) {
                seen->shown = true;
                seen->title = box->windowTitle();
                seen->text = box->text();
                seen->icon = box->icon();
                seen->buttons = box->standardButtons();
                seen->defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton())
                                                           : QMessageBox::NoButton;
                seen->escapeButton = box->escapeButton() ? box->standardButton(box->escapeButton())
                                                         : QMessageBox::NoButton;
                seen->format = box->textFormat();
                seen->onGuiThread = box->thread() == QCoreApplication::instance()->thread();
            }
            if (QAbstractButton* b = box->button(button))
                b->click();
            else
                box->reject();
        });
    }

    int Pending() const { return static_cast<int>(m_Handlers.size()); }
    int Unexpected() const { return m_Unexpected; }

private:
    void Poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w->property("modalAnswered").toBool()) return;
        w->setProperty("modalAnswered", true);
        if (m_Handlers.empty()) {
            ++m_Unexpected;
            if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
            return;
        }
        Handler h = std::move(m_Handlers.front());
        m_Handlers.pop_front();
        h(w);
    }

    QTimer m_Timer;
    std::deque<Handler> m_Handlers;
    int m_Unexpected = 0;
};
