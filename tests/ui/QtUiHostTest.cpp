// The Qt host: boxes with their icon and buttons, the answer given, the
// credentials dialog, and calls from another thread carried to the GUI thread.
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include <atomic>
#include <thread>

#include "common/ModalAnswerer.h"
#include "common/QtTsan.h"
#include "lexmo/Lexmo.h"
#include "seam/GuiQueue.h"
#include "seam/QtUiHost.h"

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;
using Box = QMessageBox;

namespace {

// Runs `f` on a thread of its own while the GUI thread serves events.
template <class F>
bool RunOnWorker(F f)
{
    std::atomic<bool> done{false};
    std::thread t([&] {
        f();
        done = true;
    });
    const bool finished = QTest::qWaitFor([&] { return done.load(); }, 20000);
    t.join();
    return finished;
}

} // namespace

class QtUiHostTest : public QObject {
    Q_OBJECT
private slots:
    // Posts from another thread run on the queue's thread in their order,
    // mixed with calls that wait; a closed queue runs nothing more.
    void QueueKeepsOrderAndThread()
    {
        platform::GuiQueue queue;
        std::vector<int> seen;
        bool allOnGui = true;
        const auto note = [&](int i) {
            allOnGui = allOnGui && QThread::currentThread() == queue.thread();
            seen.push_back(i);
        };
        bool called = false;
        QVERIFY(RunOnWorker([&] {
            for (int i = 0; i < 50; ++i) queue.Post([&note, i] { note(i); });
            called = queue.Call([&] { note(50); });
            queue.Post([&] { note(51); });
        }));
        QTRY_COMPARE(seen.size(), std::size_t(52));
        for (int i = 0; i < 52; ++i) QCOMPARE(seen[i], i);
        QVERIFY(called && allOnGui);

        queue.SetClosed(true);
        QVERIFY(RunOnWorker([&] {
            queue.Post([&] { note(-1); });
            called = queue.Call([&] { note(-1); });
        }));
        QCoreApplication::processEvents();
        QVERIFY(!called);
        QCOMPARE(seen.size(), std::size_t(52));
    }

    void InstallsItselfAndPutsThePreviousBack()
    {
        {
            platform::QtUiHost host;
            QCOMPARE(&platform::UiHost(), static_cast<platform::IUiHost*>(&host));
        }
        QCOMPARE(&platform::UiHost(), &platform::DefaultUiHost());
    }

    void Messages()
    {
        const struct {
            const char* name;
            MsgIcon icon;
            MsgButtons buttons;
            MsgResult defaultButton;
            Box::StandardButton click;
            bool fromWorker;
            Box::Icon boxIcon;
            Box::StandardButtons boxButtons;
            Box::StandardButton boxDefault, boxEscape;
            MsgResult result;
        } rows[] = {
            {"information", MsgIcon::Information, MsgButtons::Ok, MsgResult::Ok, Box::Ok, false, Box::Information,
             Box::Ok, Box::Ok, Box::Ok, MsgResult::Ok},
            {"warning from worker", MsgIcon::Warning, MsgButtons::Ok, MsgResult::Ok, Box::Ok, true, Box::Warning,
             Box::Ok, Box::Ok, Box::Ok, MsgResult::Ok},
            {"no icon", MsgIcon::None, MsgButtons::Ok, MsgResult::Ok, Box::Ok, false, Box::NoIcon, Box::Ok, Box::Ok,
             Box::Ok, MsgResult::Ok},
            {"error, ok cancel", MsgIcon::Error, MsgButtons::OkCancel, MsgResult::Ok, Box::Cancel, true,
             Box::Critical, Box::Ok | Box::Cancel, Box::Ok, Box::Cancel, MsgResult::Cancel},
            {"cancel by default", MsgIcon::Question, MsgButtons::OkCancel, MsgResult::Cancel, Box::Ok, false,
             Box::Question, Box::Ok | Box::Cancel, Box::Cancel, Box::Cancel, MsgResult::Ok},
            {"yes no, no by default", MsgIcon::Question, MsgButtons::YesNo, MsgResult::No, Box::Yes, true,
             Box::Question, Box::Yes | Box::No, Box::No, Box::No, MsgResult::Yes},
            {"yes no, no clicked", MsgIcon::Warning, MsgButtons::YesNo, MsgResult::Yes, Box::No, false, Box::Warning,
             Box::Yes | Box::No, Box::Yes, Box::No, MsgResult::No},
        };
        platform::QtUiHost host;
        for (const auto& r : rows) {
            ModalAnswerer answerer;
            SeenBox seen;
            answerer.ExpectBox(r.click, &seen);
            // Markup from the network is shown as it stands.
            const std::string text = "Server <b>said</b> 100% & more";
            MsgResult got = MsgResult::Ok;
            const auto ask = [&] { got = platform::UiHost().ShowMessage(text, "Caption", r.icon, r.buttons,
                                                                        r.defaultButton); };
            if (r.fromWorker)
                QVERIFY2(RunOnWorker(ask), r.name);
            else
                ask();
            QVERIFY2(seen.shown && seen.onGuiThread && answerer.Unexpected() == 0, r.name);
            QCOMPARE(seen.text, QString::fromStdString(text));
            QCOMPARE(seen.format, Qt::PlainText);
            QCOMPARE(seen.title, QString("Caption"));
            QVERIFY2(seen.icon == r.boxIcon && seen.buttons == r.boxButtons, r.name);
            QVERIFY2(seen.defaultButton == r.boxDefault && seen.escapeButton == r.boxEscape, r.name);
            QVERIFY2(got == r.result, r.name);
        }
    }

    void Credentials()
    {
        platform::QtUiHost host;
        for (const bool accept : {true, false}) {
            ModalAnswerer answerer;
            QString prompt, shownUser;
            bool ready = false;
            answerer.Expect([&](QWidget* w) {
                auto* d = qobject_cast<QDialog*>(w);
                auto* label = w->findChild<QLabel*>("prompt");
                auto* user = w->findChild<QLineEdit*>("user");
                auto* pwd = w->findChild<QLineEdit*>("password");
                if (!d || !label || !user || !pwd) return;
                ready = d->thread() == qApp->thread() && label->textFormat() == Qt::PlainText &&
                        pwd->echoMode() == QLineEdit::Password;
                prompt = label->text();
                shownUser = user->text();
                user->setText("anne");
                pwd->setText("s3cret pass");
                accept ? d->accept() : d->reject();
            });
            std::string user = "old", pwd = "kept";
            bool answered = !accept;
            QVERIFY(RunOnWorker([&] { answered = platform::UiHost().AskCredentials("proxy 127.0.0.1:3128", user, pwd); }));
            QVERIFY(ready);
            QCOMPARE(prompt, QString("proxy 127.0.0.1:3128"));
            QCOMPARE(shownUser, QString("old"));
            QCOMPARE(answered, accept);
            QCOMPARE(user, std::string(accept ? "anne" : "old"));
            QCOMPARE(pwd, std::string(accept ? "s3cret pass" : "kept"));
        }
    }

    // With the message library loaded, the question speaks its language.
    void CredentialsInTheMessagesLanguage()
    {
        QVERIFY(KESA_LoadMessages("Lexmo.dll") > 0);
        platform::QtUiHost host;
        ModalAnswerer answerer;
        QString title;
        QStringList labels;
        answerer.Expect([&](QWidget* w) {
            auto* d = qobject_cast<QDialog*>(w);
            if (!d) return;
            title = d->windowTitle();
            for (QLabel* l : d->findChildren<QLabel*>())
                if (l->objectName() != "prompt") labels << l->text();
            d->reject();
        });
        std::string user, pwd;
        QVERIFY(RunOnWorker([&] { (void)platform::UiHost().AskCredentials("Le proxy p:1 demande", user, pwd); }));
        QCOMPARE(title, QString("Identification"));
        QVERIFY2(labels.contains(QString("&Identifiant :")) && labels.contains(QString("&Mot de passe :")),
                 qPrintable(labels.join('|')));
    }

    // An ending program no longer serves other threads: they get the default
    // host's answers at once instead of waiting for an event loop.
    void ClosingAnswersOtherThreadsWithoutBoxes()
    {
        platform::QtUiHost host;
        host.SetClosing(true);
        ModalAnswerer answerer;
        MsgResult got = MsgResult::Yes;
        bool asked = true;
        QVERIFY(RunOnWorker([&] {
            got = platform::UiHost().ShowMessage("go on?", "Norvelia", MsgIcon::Question, MsgButtons::YesNo,
                                                 MsgResult::No);
            std::string u, p;
            asked = platform::UiHost().AskCredentials("server", u, p);
        }));
        QCOMPARE(got, MsgResult::No);
        QVERIFY(!asked);
        QCOMPARE(answerer.Unexpected(), 0);
    }
};

QTEST_MAIN(QtUiHostTest)
#include "QtUiHostTest.moc"
