// The progress dialog: its layout in dialog units, status lines and bars,
// "Abandon", the icon timer, bitmap 130's transparency, the data message, and
// the view that a run's threads drive through the Qt host.
#include <QAbstractButton>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <thread>

#include "common/QtTsan.h"
#include "seam/QtUiHost.h"
#include "platform/ui/NorvProgressDlg.h"
#include "platform/ui/ProgressArt.h"

namespace {

QLabel* Label(QWidget& d, int id)
{
    return d.findChild<QLabel*>(QStringLiteral("ctl%1").arg(id));
}
QProgressBar* Bar(QWidget& d, int id)
{
    return d.findChild<QProgressBar*>(QStringLiteral("ctl%1").arg(id));
}
QPushButton* Abandon(QWidget& d)
{
    return d.findChild<QPushButton*>(QStringLiteral("ctl1004"));
}

QByteArray DataMessage(quint32 kind, const QByteArray& text, int size = 260)
{
    QByteArray m(size, '\0');
    for (int i = 0; i < 4 && i < size; ++i) m[i] = char((kind >> (8 * i)) & 0xFF);
    std::memcpy(m.data() + 4, text.constData(), std::min<std::size_t>(text.size(), std::size_t(std::max(0, size - 4))));
    return m;
}

CNorvProgressDlg* OpenDialog()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = dynamic_cast<CNorvProgressDlg*>(w)) return d;
    return nullptr;
}

} // namespace

class ProgressDlgTest : public QObject {
    Q_OBJECT
private slots:
    void LaidOutAsTheResource()
    {
        CNorvProgressDlg d;
        QCOMPARE(d.windowTitle(), QStringLiteral("Progression"));
        QCOMPARE(d.size(), d.FromDialogUnits(QRect(0, 0, 206, 162)).size());
        struct Control {
            int id;
            QRect units;
        };
        for (const Control& c : {Control{1004, {80, 146, 50, 14}}, Control{1003, {8, 104, 194, 7}},
                                 Control{1001, {9, 88, 189, 10}}, Control{1006, {7, 136, 194, 7}},
                                 Control{1007, {9, 120, 189, 10}}, Control{1005, {38, 5, 21, 20}},
                                 Control{1008, {17, 38, 174, 38}}}) {
            QWidget* w = d.findChild<QWidget*>(QStringLiteral("ctl%1").arg(c.id));
            QVERIFY2(w, qPrintable(QString::number(c.id)));
            QCOMPARE(w->geometry(), d.FromDialogUnits(c.units));
        }
        // Units scale with the font: across by a quarter character, down by an eighth.
        const QRect r = d.FromDialogUnits(QRect(0, 0, 8, 16));
        QVERIFY(r.width() > 0 && r.height() > r.width() / 2);
        QCOMPARE(d.BitmapRect(), d.FromDialogUnits(QRect(49, 6, 119, 25)));
        QVERIFY(Label(d, 1002)->isHidden());
        QCOMPARE(Label(d, 1001)->text(), QStringLiteral("Synchronisation Norvelia en cours"));
        QCOMPARE(Label(d, 1007)->text(), QStringLiteral("Synchronisation Norvelia en cours"));
        QCOMPARE(Abandon(d)->text(), QStringLiteral("&Abandon"));
    }

    void StatusLinesRangesAndPositions()
    {
        CNorvProgressDlg d;
        d.show();
        d.SetStatus1(QStringLiteral("Lecture du catalogue"));
        d.SetStatus2(QStringLiteral("<b>not markup</b>"));
        QCOMPARE(Label(d, 1001)->text(), QStringLiteral("Lecture du catalogue"));
        QCOMPARE(Label(d, 1007)->textFormat(), Qt::PlainText);
        struct Row {
            long low, high, pos;
            int shown;
        };
        // Positions outside the range stop at its ends; 32-bit ranges are kept.
        for (const Row& r : {Row{0, 10, 4, 4}, Row{0, 10, 11, 10}, Row{0, 10, -3, 0}, Row{0, 2000000000, 1500000000,
                                                                                           1500000000}}) {
            d.SetRange1(r.low, r.high);
            d.SetPos1(r.pos);
            d.SetRange2(r.low, r.high);
            d.SetPos2(r.pos);
            for (int id : {1003, 1006}) {
                QCOMPARE(Bar(d, id)->maximum(), int(r.high));
                QCOMPARE(Bar(d, id)->value(), r.shown);
            }
        }
        d.ShowBar1(false);
        QVERIFY(Bar(d, 1003)->isHidden() && !Bar(d, 1006)->isHidden());
        d.ShowBar2(false);
        d.ShowBar1(true);
        QVERIFY(!Bar(d, 1003)->isHidden() && Bar(d, 1006)->isHidden());
    }

    // "Abandon", closing the window and Escape all ask the run to stop; only
    // SetCancel(false) gives the button back; the window stays.
    void AbandonUntilTheRunClearsIt_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("button") << 0;
        QTest::newRow("close") << 1;
        QTest::newRow("escape") << 2;
    }
    void AbandonUntilTheRunClearsIt()
    {
        QFETCH(int, how);
        CNorvProgressDlg d;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QVERIFY(!d.IsCancelled() && Abandon(d)->isEnabled());
        if (how == 0) QTest::mouseClick(Abandon(d), Qt::LeftButton);
        if (how == 1) d.close();
        if (how == 2) QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(d.IsCancelled());
        QVERIFY(!Abandon(d)->isEnabled());
        QVERIFY(d.isVisible());
        QTest::keyClick(&d, Qt::Key_Return);
        QVERIFY(d.isVisible());
        d.SetCancel(true);
        QVERIFY(!Abandon(d)->isEnabled());
        d.SetCancel(false);
        QVERIFY(!d.IsCancelled() && Abandon(d)->isEnabled());
    }

    void IconsCycleInTheirOrder()
    {
        CNorvProgressDlg d;
        const int expected[] = {138, 134, 135, 136, 137, 133, 138, 134};
        for (int i = 0; i < 8; ++i) {
            d.OnTimer();
            QCOMPARE(d.CurrentIcon(), expected[i]);
            QCOMPARE(d.IconIndex(), (i + 1) % 6);
        }
        // The timer does the same by itself, and the animation goes on.
        d.show();
        const int frame = d.AnimationFrame();
        const int index = d.IconIndex();
        QTRY_VERIFY(d.IconIndex() != index);
        QTRY_VERIFY(d.AnimationFrame() != frame);
        // Six different pictures.
        QSet<QByteArray> seen;
        for (int id = platform::kFirstProgressIcon; id <= platform::kLastProgressIcon; ++id) {
            const QImage img = platform::ProgressIcon(id).toImage();
            seen.insert(QByteArray(reinterpret_cast<const char*>(img.constBits()), img.sizeInBytes()));
        }
        QCOMPARE(seen.size(), 6);
    }

    void BitmapWhiteIsTransparent()
    {
        CNorvProgressDlg d;
        const QImage& b = d.Bitmap();
        QCOMPARE(b.size(), d.BitmapRect().size());
        int clear = 0, solid = 0;
        for (int y = 0; y < b.height(); ++y)
            for (int x = 0; x < b.width(); ++x) {
                const QRgb p = b.pixel(x, y);
                if (qAlpha(p) == 0) ++clear;
                else {
                    ++solid;
                    QVERIFY(qRgb(qRed(p), qGreen(p), qBlue(p)) != qRgb(255, 255, 255));
                }
            }
        QVERIFY(clear > 0 && solid > 0);
    }

    void DataMessageOfKindOneOrTwoOnly_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("status");
        const QString before = QStringLiteral("avant");
        QTest::newRow("kind 1") << DataMessage(1, "Catalogue 3") << QStringLiteral("Catalogue 3");
        QTest::newRow("kind 2") << DataMessage(2, "Liste") << QStringLiteral("Liste");
        QTest::newRow("kind 0") << DataMessage(0, "x") << before;
        QTest::newRow("kind 3") << DataMessage(3, "x") << before;
        QTest::newRow("kind 0x101") << DataMessage(0x101, "x") << before;
        QTest::newRow("259 bytes") << DataMessage(1, "x", 259) << before;
        QTest::newRow("261 bytes") << DataMessage(1, "x", 261) << before;
        // No zero byte: the text stops at the message's end.
        QTest::newRow("unended") << DataMessage(1, QByteArray(256, 'a')) << QString(256, QLatin1Char('a'));
    }
    void DataMessageOfKindOneOrTwoOnly()
    {
        QFETCH(QByteArray, message);
        QFETCH(QString, status);
        CNorvProgressDlg d;
        d.SetStatus1(QStringLiteral("avant"));
        COPYDATASTRUCT cd;
        cd.cbData = DWORD(message.size());
        cd.lpData = message.constData();
        QCOMPARE(d.OnCopyData(cd), LRESULT(status == QStringLiteral("avant") ? 0 : 1));
        QCOMPARE(Label(d, 1001)->text(), status);
        QCOMPARE(Label(d, 1007)->text(), QStringLiteral("Synchronisation Norvelia en cours"));
    }

    // A run's thread drives the dialog through the host; the person's
    // "Abandon" reaches it through the flag.
    void DrivenFromAnotherThread()
    {
        platform::QtUiHost host;
        std::unique_ptr<platform::IProgressView> view;
        std::atomic<int> step{0};
        std::thread run([&] {
            view = platform::UiHost().CreateProgressView();
            view->SetTitle("Norvelia");
            view->SetCancelText("&Stop");
            view->SetStatus1("un");
            view->SetStatus2("deux");
            view->SetRange2(0, 8);
            view->SetPos2(5);
            view->Show();
            step = 1;
            while (!view->IsCancelled() && step.load() == 1) std::this_thread::yield();
            step = 2;
            while (step.load() == 2) std::this_thread::yield();
            view->SetCancel(false);
            step = 4;
            while (step.load() == 4) std::this_thread::yield();
            view.reset();
            step = 6;
        });
        QTRY_COMPARE_WITH_TIMEOUT(step.load(), 1, 20000);
        CNorvProgressDlg* d = OpenDialog();
        QVERIFY(d);
        QVERIFY(d->isVisible());
        QVERIFY(view->IsInteractive());
        QCOMPARE(d->windowTitle(), QStringLiteral("Norvelia"));
        QCOMPARE(Abandon(*d)->text(), QStringLiteral("&Stop"));
        QCOMPARE(Label(*d, 1001)->text(), QStringLiteral("un"));
        QCOMPARE(Label(*d, 1007)->text(), QStringLiteral("deux"));
        QCOMPARE(Bar(*d, 1006)->value(), 5);
        QTest::mouseClick(Abandon(*d), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(step.load(), 2, 20000);
        step = 3;
        QTRY_COMPARE_WITH_TIMEOUT(step.load(), 4, 20000);
        QVERIFY(Abandon(*d)->isEnabled());
        step = 5;
        QTRY_COMPARE_WITH_TIMEOUT(step.load(), 6, 20000);
        run.join();
        QVERIFY(!OpenDialog());
    }
};

QTEST_MAIN(ProgressDlgTest)
#include "ProgressDlgTest.moc"
