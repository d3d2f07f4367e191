// The data view window on the databases catalogc builds: a catalog's items
// with their pictures, a list's lines and order, the user's addresses without
// the password; opened by double-clicking a database in the HotSync window.
#include <QApplication>
#include <QLabel>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

#include "common/TestFiles.h"
#include "common/TestRun.h"
#include "hotsync/DataViewDialog.h"
#include "hotsync/HotSyncWindow.h"
#include "lexmo/Lexmo.h"
#include "quillio/PdbFile.h"
#include "records/CategoryRecord.h"
#include "records/ImageRecord.h"
#include "records/ItemRecord.h"

namespace {

const std::string kBin = NORV_BINARY_DIR "/bin/";

// Every text the window shows or holds for a tooltip.
QStringList AllTexts(const QWidget& w)
{
    QStringList out{w.windowTitle()};
    for (const QLabel* l : w.findChildren<QLabel*>()) out << l->text() << l->toolTip();
    for (const QTreeWidget* t : w.findChildren<QTreeWidget*>())
        for (QTreeWidgetItemIterator it(const_cast<QTreeWidget*>(t)); *it; ++it)
            for (int c = 0; c < t->columnCount(); ++c) out << (*it)->text(c) << (*it)->toolTip(c);
    return out;
}

QTreeWidgetItem* Find(QTreeWidget* tree, const QString& text)
{
    const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive, 0);
    return found.isEmpty() ? nullptr : found.first();
}

} // namespace

class DataViewDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(KESA_LoadMessages("LexmoUs.dll") > 0);
        QCOMPARE(RunCommand(kBin + "handheld init " + Dir()).code, 0);
        for (const char* sample : {"catalog", "list", "user"}) {
            const std::string out = m_Root / (std::string(sample) + ".pdb");
            QCOMPARE(RunCommand(kBin + "catalogc " NORV_SOURCE_DIR "/service/samples/catalogc/" + sample + ".json -o " + out)
                         .code,
                     0);
            QCOMPARE(RunCommand(kBin + "handheld import " + Dir() + " " + out).code, 0);
        }
    }

    void catalogShowsItemsUnderTheirCategoriesWithTheirPictures()
    {
        std::unique_ptr<CDataViewDialog> d(Open("C7abc"));
        QVERIFY(d);
        auto* items = d->findChild<QTreeWidget*>(QStringLiteral("items"));
        QVERIFY(items);
        QCOMPARE(items->topLevelItemCount(), 2);
        QCOMPARE(items->topLevelItem(0)->text(0), QStringLiteral("The"));
        QTreeWidgetItem* tea = items->topLevelItem(0)->child(0);
        QCOMPARE(tea->text(0), QStringLiteral("The vert Sencha"));
        QCOMPARE(tea->text(2), QStringLiteral("3.20"));
        QCOMPARE(Find(items, QStringLiteral("Cafe moulu"))->parent(), items->topLevelItem(1));

        // The first item from the start: its bitmap drawn pixel for pixel, larger.
        auto* picture = d->findChild<QLabel*>(QStringLiteral("picture"));
        const QImage logo = CDataViewDialog::PictureImage(d->View().FindPicture("logo"));
        QCOMPARE(logo.size(), QSize(20, 6));
        QCOMPARE(logo.pixelColor(2, 0), QColor(Qt::black));
        QCOMPARE(logo.pixelColor(0, 0), QColor(Qt::white));
        const QImage shown = picture->pixmap().toImage();
        QCOMPARE(shown.size(), QSize(160, 48));
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 20; ++x) QCOMPARE(shown.pixelColor(x * 8 + 3, y * 8 + 5), logo.pixelColor(x, y));
        auto* text = d->findChild<QLabel*>(QStringLiteral("itemText"));
        QVERIFY(text->text().startsWith(QStringLiteral("The vert Sencha (ref. THE-VERT-01): 3.20\n\ninstead of 3,50")));
        QVERIFY(text->text().contains(QStringLiteral("Valid from 05/03/2001 to 06/30/2001")));

        // An item without a picture shows the placeholder.
        items->setCurrentItem(Find(items, QStringLiteral("Cafe moulu")));
        QCOMPARE(picture->pixmap().toImage(), CDataViewDialog::Placeholder(160).toImage());
        QCOMPARE(picture->toolTip(), QStringLiteral("No picture"));
        // The catalog's other picture is a GIF header without an image.
        QVERIFY(CDataViewDialog::PictureImage(d->View().FindPicture("banner")).isNull());
    }

    void listShowsLinesOrderAndTotalReadOnly()
    {
        std::unique_ptr<CDataViewDialog> d(Open("ListeC7"));
        auto* lines = d->findChild<QTreeWidget*>(QStringLiteral("lines"));
        QCOMPARE(lines->topLevelItemCount(), 2);
        const struct {
            Qt::CheckState need;
            QString texts[5];
        } rows[] = {
            {Qt::Checked, {"yes", "2", "The vert Sencha", "THE-VERT-01", "3.20"}},
            {Qt::Unchecked, {"no", "1", "Cafe moulu", "CAFE-02", "4.50"}},
        };
        for (int r = 0; r < 2; ++r) {
            QTreeWidgetItem* row = lines->topLevelItem(r);
            QCOMPARE(row->checkState(0), rows[r].need);
            for (int c = 0; c < 5; ++c) QCOMPARE(row->text(c), rows[r].texts[c]);
            // Nothing to tick or edit: the view is read-only.
            QVERIFY(!(row->flags() & (Qt::ItemIsUserCheckable | Qt::ItemIsEditable)));
        }
        QCOMPARE(d->findChild<QLabel*>(QStringLiteral("order"))->text(),
                 QStringLiteral("Order: waiting to be sent (ordered on 05/04/2001 08:00)\nDeliver to \"maison\":\n"
                                "    Anne Martin\n    12 rue des Lilas\n    75011 Paris\n    France\n"
                                "Delivery charges: 5.90\nComment: Sonner deux fois"));
        QCOMPARE(d->findChild<QLabel*>(QStringLiteral("total"))->text(), QStringLiteral("Total to buy: 6.40"));
    }

    void userContextNeverShowsThePassword()
    {
        std::unique_ptr<CDataViewDialog> d(Open("USERCTX"));
        const QStringList texts = AllTexts(*d);
        QVERIFY(texts.contains(QStringLiteral("Service user id: anne.martin\nPassword: kept on the handheld, not shown")));
        QVERIFY(texts.contains(QStringLiteral("\"bureau\", known to the service as number 2")));
        QVERIFY(texts.contains(QStringLiteral("92100 Boulogne")));
        for (const QString& t : texts) QVERIFY2(!t.contains(QStringLiteral("7f3a9c")), qPrintable(t));
    }

    // A picture that is no image, or none at all, shows the placeholder; texts
    // in the handheld's code page read right.
    void oddPicturesAndTheHandheldsCodePage()
    {
        CPdbFile file("Caf\xe9s", "KESA", "CATA", 0, 1, 0, 0);
        CCategoryRecord category;
        category.SetCategory("1");
        category.SetName("Th\xe9s \x80");
        auto add = [&](const auto& record, int cat) {
            auto packed = record.CreatePdbRec();
            file.m_RecordSet.AddRecord(std::make_unique<CPdbRecord>(packed->Buffer(), packed->Size()), BYTE(cat));
        };
        add(category, 2);
        CItemRecord item;
        item.SetCategory("1");
        item.SetName("Th\xe9 \x93vert\x94");
        item.SetImageName("junk");
        add(item, 1);
        const BYTE junk[] = {'j', 'u', 'n', 'k', 0, 0x89, 'P', 'N', 'G', 1, 2, 3, 0};
        file.m_RecordSet.AddRecord(std::make_unique<CPdbRecord>(junk, long(sizeof junk)), 3);
        // A whole GIF of one white pixel: the image it holds.
        const BYTE gif[] = {'g', 0, 'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0,
                            0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0, 0x3B, 0};
        file.m_RecordSet.AddRecord(std::make_unique<CPdbRecord>(gif, long(sizeof gif)), 3);
        CDataViewDialog d(std::make_unique<CDataView>(file), false);
        QCOMPARE(d.windowTitle(), QStringLiteral("Cafés — on the handheld"));
        auto* items = d.findChild<QTreeWidget*>(QStringLiteral("items"));
        QCOMPARE(items->topLevelItem(0)->text(0), QStringLiteral("Thés €"));
        QCOMPARE(items->topLevelItem(0)->child(0)->text(0), QStringLiteral("Thé “vert”"));
        QCOMPARE(d.findChild<QLabel*>(QStringLiteral("picture"))->pixmap().toImage(),
                 CDataViewDialog::Placeholder(160).toImage());
        QCOMPARE(d.findChild<QLabel*>(QStringLiteral("picture"))->toolTip(),
                 QStringLiteral("Picture \"junk\": a PNG image of 7 bytes"));
        const QImage white = CDataViewDialog::PictureImage(d.View().FindPicture("g"));
        QCOMPARE(white.size(), QSize(1, 1));
        QCOMPARE(white.pixelColor(0, 0), QColor(Qt::white));
    }

    // The HotSync window's hook: a double-click on a database opens its view.
    void doubleClickInTheHotSyncWindowOpensTheView()
    {
        TempDir home("dataview-home");
        CHotSyncWindow w(home.Path());
        w.SetHandheld(QString::fromStdString(Dir()));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* databases = w.findChild<QTreeWidget*>(QStringLiteral("databases"));
        QTreeWidgetItem* list = Find(databases, QStringLiteral("ListeC7"));
        QVERIFY(list);
        const QPoint at = databases->visualItemRect(list).center();
        QTest::mouseClick(databases->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(databases->viewport(), Qt::LeftButton, {}, at);
        CDataViewDialog* view = nullptr;
        QTRY_VERIFY((view = dynamic_cast<CDataViewDialog*>(w.findChild<QDialog*>(QStringLiteral("dataView")))) != nullptr);
        QVERIFY(view->isVisible());
        QCOMPARE(view->findChild<QLabel*>(QStringLiteral("heading"))->text(), QStringLiteral("List \"ListeC7\""));
        view->close(); // it goes with its window
        QTRY_VERIFY(w.findChild<QDialog*>(QStringLiteral("dataView")) == nullptr);
    }

private:
    std::string Dir() const { return m_Root / "palm"; }
    CDataViewDialog* Open(const std::string& name)
    {
        bool damaged = true;
        std::string error;
        std::unique_ptr<CDataView> view = CDataView::Load(Dir(), name, damaged, error);
        if (!view || damaged) return nullptr;
        return new CDataViewDialog(std::move(view), false);
    }

    TempDir m_Root{"dataview-dialog"};
};

QTEST_MAIN(DataViewDialogTest)
#include "DataViewDialogTest.moc"
