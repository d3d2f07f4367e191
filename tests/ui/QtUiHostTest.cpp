// The Qt host: boxes with their icon and buttons, the answer given, the
// credentials dialog, and calls from another thread carried to the GUI thread.
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include <atomic>
#include <thread>

#include "common/ModalAnswerer.h"
#include "common/QtTsan.h"
#include "platform/GuiQueue.h"
#include "platform/QtUiHost.h"

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

Q_DECLARE_METATYPE(MsgIcon)
Q_DECLARE_METATYPE(MsgButtons)
Q_DECLARE_METATYPE(MsgResult)

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
    bool finished = QTest::qWaitFor([&] { return done.load(); }, 20000);
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
        QVERIFY(called);
        QVERIFY(allOnGui);

        QVERIFY(queue.Call([&] { note(52); })); // on its own thread: at once
        QCOMPARE(seen.size(), std::size_t(53));
        queue.SetClosed(true);
        QVERIFY(RunOnWorker([&] {
            queue.Post([&] { note(-1); });
            called = queue.Call([&] { note(-1); });
        }));
        QCoreApplication::processEvents();
        QVERIFY(!called);
        QCOMPARE(seen.size(), std::size_t(53));
    }

    void InstallsItselfAndPutsThePreviousBack()
    {
        {
            platform::QtUiHost host;
            QCOMPARE(&platform::UiHost(), static_cast<platform::IUiHost*>(&host));
        }
        QCOMPARE(&platform::UiHost(), &platform::DefaultUiHost());
    }

    void Message_data()
    {
        QTest::addColumn<MsgIcon>("icon");
        QTest::addColumn<MsgButtons>("buttons");
        QTest::addColumn<MsgResult>("defaultButton");
        QTest::addColumn<int>("click");
        QTest::addColumn<bool>("fromWorker");
        QTest::addColumn<int>("boxIcon");
        QTest::addColumn<int>("boxButtons");
        QTest::addColumn<int>("boxDefault");
        QTest::addColumn<int>("boxEscape");
        QTest::addColumn<MsgResult>("result");
        const int ok = QMessageBox::Ok, cancel = QMessageBox::Cancel, yes = QMessageBox::Yes, no = QMessageBox::No;
        QTest::newRow("information ok") << MsgIcon::Information << MsgButtons::Ok << MsgResult::Ok << ok << false
                                        << int(QMessageBox::Information) << ok << ok << ok << MsgResult::Ok;
        QTest::newRow("warning from worker") << MsgIcon::Warning << MsgButtons::Ok << MsgResult::Ok << ok << true
                                             << int(QMessageBox::Warning) << ok << ok << ok << MsgResult::Ok;
        QTest::newRow("no icon") << MsgIcon::None << MsgButtons::Ok << MsgResult::Ok << ok << false
                                              << int(QMessageBox::NoIcon) << ok << ok << ok << MsgResult::Ok;
        QTest::newRow("error") << MsgIcon::Error << MsgButtons::Ok << MsgResult::Ok << ok << true
                               << int(QMessageBox::Critical) << ok << ok << ok << MsgResult::Ok;
        QTest::newRow("ok cancel, cancel clicked")
            << MsgIcon::Question << MsgButtons::OkCancel << MsgResult::Ok << cancel << true
            << int(QMessageBox::Question) << (ok | cancel) << ok << cancel << MsgResult::Cancel;
        QTest::newRow("ok cancel, cancel by default")
            << MsgIcon::Question << MsgButtons::OkCancel << MsgResult::Cancel << ok << false
            << int(QMessageBox::Question) << (ok | cancel) << cancel << cancel << MsgResult::Ok;
        QTest::newRow("yes no, no by default, yes clicked")
            << MsgIcon::Question << MsgButtons::YesNo << MsgResult::No << yes << true << int(QMessageBox::Question)
            << (yes | no) << no << no << MsgResult::Yes;
        QTest::newRow("yes no, no clicked") << MsgIcon::Warning << MsgButtons::YesNo << MsgResult::Yes << no << false
                                            << int(QMessageBox::Warning) << (yes | no) << yes << no << MsgResult::No;
    }
    void Message()
    {
        QFETCH(MsgIcon, icon);
        QFETCH(MsgButtons, buttons);
        QFETCH(MsgResult, defaultButton);
        QFETCH(int, click);
        QFETCH(bool, fromWorker);
        QFETCH(int, boxIcon);
        QFETCH(int, boxButtons);
        QFETCH(int, boxDefault);
        QFETCH(int, boxEscape);
        QFETCH(MsgResult, result);

        platform::QtUiHost host;
        ModalAnswerer answerer;
        SeenBox seen;
        answerer.ExpectBox(QMessageBox::StandardButton(click), &seen);
        // Markup from the network is shown as it stands.
        const std::string text = "Server <b>said</b> 100% & more";
        MsgResult got = MsgResult::Ok;
        const auto ask = [&] { got = platform::UiHost().ShowMessage(text, "Caption", icon, buttons, defaultButton); };
        if (fromWorker)
            QVERIFY(RunOnWorker(ask));
        else
            ask();
        QVERIFY(seen.shown);
        QCOMPARE(answerer.Unexpected(), 0);
        QCOMPARE(seen.text, QString::fromStdString(text));
        QCOMPARE(seen.format, Qt::PlainText);
        QCOMPARE(seen.title, QString("Caption"));
        QCOMPARE(int(seen.icon), boxIcon);
        QCOMPARE(int(seen.buttons), boxButtons);
        QCOMPARE(int(seen.defaultButton), boxDefault);
        QCOMPARE(int(seen.escapeButton), boxEscape);
        QVERIFY(seen.onGuiThread);
        QCOMPARE(got, result);
    }

    void Credentials_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<bool>("fromWorker");
        QTest::newRow("given") << true << false;
        QTest::newRow("given from worker") << true << true;
        QTest::newRow("cancelled from worker") << false << true;
    }
    void Credentials()
    {
        QFETCH(bool, accept);
        QFETCH(bool, fromWorker);
        platform::QtUiHost host;
        ModalAnswerer answerer;
        QString prompt, shownUser;
        bool guiThread = false;
        answerer.Expect([&](QWidget* w) {
            auto* d = qobject_cast<QDialog*>(w);
            QVERIFY(d);
            guiThread = d->thread() == QCoreApplication::instance()->thread();
            auto* label = d->findChild<QLabel*>("prompt");
            auto* user = d->findChild<QLineEdit*>("user");
            auto* pwd = d->findChild<QLineEdit*>("password");
            QVERIFY(label && user && pwd);
            prompt = label->text();
            shownUser = user->text();
            QCOMPARE(label->textFormat(), Qt::PlainText);
            QCOMPARE(pwd->echoMode(), QLineEdit::Password);
            user->setText("anne");
            pwd->setText("s3cret pass");
            accept ? d->accept() : d->reject();
        });
        std::string user = "old", pwd = "kept";
        bool answered = true;
        const auto ask = [&] { answered = platform::UiHost().AskCredentials("proxy 127.0.0.1:3128", user, pwd); };
        if (fromWorker)
            QVERIFY(RunOnWorker(ask));
        else
            ask();
        QCOMPARE(answerer.Pending(), 0);
        QVERIFY(guiThread);
        QCOMPARE(prompt, QString("proxy 127.0.0.1:3128"));
        QCOMPARE(shownUser, QString("old"));
        QCOMPARE(answered, accept);
        QCOMPARE(user, std::string(accept ? "anne" : "old"));
        QCOMPARE(pwd, std::string(accept ? "s3cret pass" : "kept"));
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
