// The HotSync action dialog as the conduit's ConfigureConduit and CfgConduit
// show it through the Qt host: the action it opens on, and what each choice
// stores.
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <cstdlib>
#include <cstring>

#include "common/ModalAnswerer.h"
#include "common/QtTsan.h"
#include "common/TestFiles.h"
#include "hotsync/ConduitLibrary.h"
#include "palmkit/Condapi.h"
#include "seam/QtUiHost.h"
#include "platform/ui/HotSyncActionDlg.h"
#include "winreg/WinReg.h"

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

// Every text a person reads in the dialog, its buttons' included.
QStringList TextsOf(CHotSyncActionDlg& d)
{
    QStringList texts = {d.windowTitle(), d.findChild<QLabel*>(QStringLiteral("conduit"))->text(),
                         d.findChild<QGroupBox*>()->title()};
    for (int i = 0; i < 4; ++i) texts << d.findChild<QRadioButton*>(QStringLiteral("action%1").arg(i))->text();
    texts << d.findChild<QCheckBox*>(QStringLiteral("makeDefault"))->text();
    for (QAbstractButton* b : d.findChild<QDialogButtonBox*>()->buttons()) texts << b->text();
    return texts;
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

    // The dialog speaks the language of the user's runs: the one chosen in
    // the settings, else the locale's, whatever locales the machine has.
    void DialogSpeaksTheUsersLanguage_data()
    {
        QTest::addColumn<QString>("msgDll"); // empty: none chosen
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QStringList>("texts");
        const QStringList fr = {QStringLiteral("Modifier l'action HotSync - Norvelia"),
                                QStringLiteral("Conduit : Norvelia"),
                                QStringLiteral("Action HotSync"),
                                QStringLiteral("&Synchroniser les fichiers"),
                                QStringLiteral("Le &bureau remplace l'ordinateur de poche"),
                                QStringLiteral("L'&ordinateur de poche remplace le bureau"),
                                QStringLiteral("&Ne rien faire"),
                                QStringLiteral("Définir par &défaut"),
                                QStringLiteral("OK"),
                                QStringLiteral("Annuler")};
        const QStringList en = {QStringLiteral("Change HotSync Action - Norvelia"),
                                QStringLiteral("Conduit: Norvelia"),
                                QStringLiteral("HotSync Action"),
                                QStringLiteral("&Synchronize the files"),
                                QStringLiteral("&Desktop overwrites handheld"),
                                QStringLiteral("&Handheld overwrites Desktop"),
                                QStringLiteral("Do &nothing"),
                                QStringLiteral("Set as &default"),
                                QStringLiteral("OK"),
                                QStringLiteral("Cancel")};
        QTest::newRow("French locale") << QString() << QStringLiteral("fr_FR.UTF-8") << fr;
        QTest::newRow("English locale") << QString() << QStringLiteral("en_US.UTF-8") << en;
        QTest::newRow("C locale") << QString() << QStringLiteral("C.UTF-8") << en;
        QTest::newRow("English chosen, French locale") << QStringLiteral("LexmoUs.dll") << QStringLiteral("fr_CA") << en;
        QTest::newRow("French chosen, English locale") << QStringLiteral("Lexmo.dll") << QStringLiteral("en_GB") << fr;
    }
    void DialogSpeaksTheUsersLanguage()
    {
        QFETCH(QString, msgDll);
        QFETCH(QString, lang);
        QFETCH(QStringList, texts);
        TempDir dir("action-dlg");
        const std::string store = dir / "registry.db";
        winreg::SetStorePath(store);
        HKEY key = nullptr;
        QCOMPARE(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Norvelia\\Tidepost", 0, KEY_ALL_ACCESS, &key, nullptr),
                 ERROR_SUCCESS);
        if (!msgDll.isEmpty()) {
            const std::string value = msgDll.toStdString();
            QCOMPARE(RegSetValueExA(key, "MsgDll", REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                    DWORD(value.size() + 1)),
                     ERROR_SUCCESS);
        }
        RegCloseKey(key);
        qputenv("LANG", lang.toUtf8());

        platform::QtUiHost host;
        ModalAnswerer answerer;
        QStringList seen;
        answerer.Expect([&](QWidget* w) {
            auto* d = dynamic_cast<CHotSyncActionDlg*>(w);
            if (!d) return;
            seen = TextsOf(*d);
            d->reject();
        });
        CfgConduitInfo block{};
        block.m_dwVersion = kCfgConduitVersion;
        block.m_dwSize = sizeof block;
        std::strcpy(block.m_szUser, "Anne");
        DWORD size = sizeof block;
        QCOMPARE(m_Cfg(eCfgStandard, &block, &size), -1L);
        qputenv("LANG", "C.UTF-8");
        winreg::SetStorePath(std::string());
        QCOMPARE(seen, texts);
    }

private:
    CConduitLibrary m_Lib;
    ConfigureConduitFn m_Configure = nullptr;
    CfgConduitFn m_Cfg = nullptr;
};

QTEST_MAIN(ActionDlgTest)
#include "ActionDlgTest.moc"
