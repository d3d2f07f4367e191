// The HotSync action dialog as the conduit's ConfigureConduit and CfgConduit
// show it through the Qt host: the action it opens on, and what each choice
// stores.
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QtTest>

#include <cstring>

#include "common/ModalAnswerer.h"
#include "common/QtTsan.h"
#include "hotsync/ConduitLibrary.h"
#include "palmkit/Condapi.h"
#include "seam/QtUiHost.h"
#include "platform/ui/HotSyncActionDlg.h"

namespace {

struct Seen {
    bool dialog = false;
    int initial = -1;
    QString conduit;
};

// Answers the action dialog: `action` and `makeDefault`, then OK or Cancel.
ModalAnswerer::Handler Choose(int action, bool makeDefault, bool ok, Seen* seen)
{
    return [=](QWidget* w) {
        auto* d = dynamic_cast<CHotSyncActionDlg*>(w);
        if (!d) {
            if (auto* other = qobject_cast<QDialog*>(w)) other->reject();
            return;
        }
        seen->dialog = true;
        seen->initial = d->Action();
        seen->conduit = d->findChild<QLabel*>(QStringLiteral("conduit"))->text();
        d->findChild<QRadioButton*>(QStringLiteral("action%1").arg(action))->click();
        d->findChild<QCheckBox*>(QStringLiteral("makeDefault"))->setChecked(makeDefault);
        if (ok)
            d->accept();
        else
            d->reject();
    };
}

} // namespace

class ActionDlgTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        std::string error;
        QVERIFY2(m_Lib.Load(NORV_BINARY_DIR "/lib/libNorv30.so", &error), error.c_str());
        m_Configure = m_Lib.Get<ConfigureConduitFn>(kConfigureConduitName);
        m_Cfg = m_Lib.Get<CfgConduitFn>(kCfgConduitName);
        QVERIFY(m_Configure && m_Cfg);
    }

    void BothEntriesMapTheChoice_data()
    {
        QTest::addColumn<bool>("cfg");         // CfgConduit, else ConfigureConduit
        QTest::addColumn<int>("syncType");     // before
        QTest::addColumn<int>("action");       // chosen
        QTest::addColumn<bool>("makeDefault");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("initial");      // the dialog opens on
        QTest::addColumn<long>("result");
        QTest::addColumn<int>("newType");      // after (unchanged when cancelled)
        QTest::addColumn<int>("pref");
        for (bool cfg : {false, true}) {
            const char* e = cfg ? "Cfg " : "Configure ";
            QTest::newRow((std::string(e) + "fast, synchronize, default").c_str())
                << cfg << 0 << 0 << true << true << 0 << 0L << 0 << int(ePermanentPreference);
            QTest::newRow((std::string(e) + "slow, desktop overwrites").c_str())
                << cfg << 1 << 1 << false << true << 0 << 0L << 0 << int(eTemporaryPreference);
            QTest::newRow((std::string(e) + "pc-to-hh, handheld overwrites").c_str())
                << cfg << 3 << 2 << false << true << 0 << 0L << 0 << int(eTemporaryPreference);
            QTest::newRow((std::string(e) + "fast, do nothing").c_str())
                << cfg << 0 << 3 << true << true << 0 << 0L << 6 << int(ePermanentPreference);
            QTest::newRow((std::string(e) + "nothing opens on 3, synchronize").c_str())
                << cfg << 6 << 0 << false << true << 3 << 0L << 0 << int(eTemporaryPreference);
            QTest::newRow((std::string(e) + "install opens on 3").c_str())
                << cfg << 4 << 3 << false << true << 3 << 0L << 6 << int(eTemporaryPreference);
            QTest::newRow((std::string(e) + "cancelled").c_str())
                << cfg << 6 << 0 << true << false << 3 << -1L << (cfg ? 99 : 6) << (cfg ? 99 : int(eNoPreference));
        }
    }
    void BothEntriesMapTheChoice()
    {
        QFETCH(bool, cfg);
        QFETCH(int, syncType);
        QFETCH(int, action);
        QFETCH(bool, makeDefault);
        QFETCH(bool, ok);
        QFETCH(int, initial);
        QFETCH(long, result);
        QFETCH(int, newType);
        QFETCH(int, pref);

        platform::QtUiHost host;
        ModalAnswerer answerer;
        Seen seen;
        SeenBox box;
        long rc = 0;
        int type = 0, storedPref = 0;
        if (cfg) {
            answerer.Expect(Choose(action, makeDefault, ok, &seen));
            CfgConduitInfo block{};
            block.m_dwVersion = kCfgConduitVersion;
            block.m_dwSize = sizeof block;
            std::strcpy(block.m_szUser, "Anne");
            block.m_syncTemporary = DWORD(syncType);
            block.m_syncNew = 99;
            block.m_syncPref = 99;
            DWORD size = sizeof block;
            rc = m_Cfg(eCfgStandard, &block, &size);
            type = int(block.m_syncNew);
            storedPref = int(block.m_syncPref);
        } else {
            // The conduit says it was called, then asks.
            answerer.ExpectBox(QMessageBox::Ok, &box);
            answerer.Expect(Choose(action, makeDefault, ok, &seen));
            CSyncPreference prefs{};
            prefs.m_SyncType = syncType;
            prefs.m_SyncPref = 99;
            rc = m_Configure(&prefs);
            type = prefs.m_SyncType;
            storedPref = prefs.m_SyncPref;
            QVERIFY(box.shown);
            QCOMPARE(box.text, QStringLiteral("ConfigureConduit appelé"));
            QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        }
        QCOMPARE(answerer.Unexpected(), 0);
        QVERIFY(seen.dialog);
        QCOMPARE(seen.initial, initial);
        QVERIFY(seen.conduit.contains(QStringLiteral("Norvelia")));
        QCOMPARE(rc, result);
        QCOMPARE(type, newType);
        QCOMPARE(storedPref, pref);
    }

    // The dialog alone: the action it is given, and the first for a bad one.
    void DialogKeepsItsChoice()
    {
        CHotSyncActionDlg d;
        for (int a : {0, 1, 2, 3}) {
            d.SetAction(a);
            QCOMPARE(d.Action(), a);
        }
        d.SetAction(7);
        QCOMPARE(d.Action(), 0);
        d.SetMakeDefault(true);
        QVERIFY(d.MakeDefault());
        d.SetConduitName(QStringLiteral("&Norvelia"));
        QVERIFY(d.windowTitle().endsWith(QStringLiteral("Norvelia")));
    }

private:
    CConduitLibrary m_Lib;
    ConfigureConduitFn m_Configure = nullptr;
    CfgConduitFn m_Cfg = nullptr;
};

QTEST_MAIN(ActionDlgTest)
#include "ActionDlgTest.moc"
