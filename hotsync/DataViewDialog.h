// The window that shows one database of the handheld as a shopper reads it:
// a catalog's categories and items with their pictures, a list's lines and
// order, the user's addresses. Read-only; opened from the HotSync window.
#pragma once
#include <QDialog>
#include <QImage>
#include <QPixmap>

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "hotsync/DataView.h"

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;

class CDataViewDialog final : public QDialog {
public:
    CDataViewDialog(std::unique_ptr<CDataView> view, bool damaged, QWidget* parent = nullptr);
    ~CDataViewDialog() override;

    // Opens the view of the database `name` of the handheld at `dir`, or says
    // in a box why it cannot. The window closes itself; null when not opened.
    static CDataViewDialog* Open(QWidget* parent, const std::string& dir, const std::string& name);

    // A picture as the handheld draws it: a bitmap in black and white, or the
    // image the data holds; a null image when there is none to show.
    static QImage PictureImage(const CDataView::Picture* picture);
    // What stands for a picture that an item lacks or that cannot be shown.
    static QPixmap Placeholder(int side);

    const CDataView& View() const { return *m_View; }

private:
    void ShowCatalog(QVBoxLayout* layout);
    void ShowList(QVBoxLayout* layout);
    void ShowGame(QVBoxLayout* layout);
    void ShowUserContext(QVBoxLayout* layout);
    void ShowItem(QTreeWidgetItem* row);
    QPixmap PictureOf(const CItemRecord& item, int side) const;
    QPixmap MakePicture(const CItemRecord& item, int side) const;

    std::unique_ptr<CDataView> m_View;
    QLabel* m_Picture = nullptr;
    QLabel* m_ItemText = nullptr;
    mutable std::map<std::pair<std::string, int>, QPixmap> m_Pixmaps;
};
