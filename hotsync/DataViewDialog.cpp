#include "hotsync/DataViewDialog.h"

#include <cstring>
#include <utility>

#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "seam/UiText.h"

namespace {

using platform::UiText;

QString Q(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// Handheld text for a window.
QString H(const std::string& s, bool keepLines = false)
{
    return Q(CDataView::DisplayText(s, keepLines));
}

QLabel* TextLabel(const QString& text, QWidget* parent, const char* name = nullptr)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (name != nullptr) label->setObjectName(QString::fromLatin1(name));
    return label;
}

QTreeWidget* ReadOnlyTree(QWidget* parent, const char* name, const QStringList& headers)
{
    auto* tree = new QTreeWidget(parent);
    tree->setObjectName(QString::fromLatin1(name));
    tree->setHeaderLabels(headers);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setUniformRowHeights(false);
    return tree;
}

// A column as wide as its texts, with room between it and the next.
void FitColumn(QTreeWidget* tree, int column)
{
    tree->resizeColumnToContents(column);
    tree->setColumnWidth(column, tree->columnWidth(column) + 12);
}

// Pictures are small for a desktop screen: the details show them bigger.
constexpr int kThumbnail = 32;
constexpr int kPictureSide = 160;
// Item rows keep the item's index.
constexpr int kItemRole = Qt::UserRole + 1;

} // namespace

CDataViewDialog::CDataViewDialog(std::unique_ptr<CDataView> view, bool damaged, QWidget* parent)
    : QDialog(parent), m_View(std::move(view))
{
    setObjectName(QStringLiteral("dataView"));
    setWindowTitle(UiText(4932, "%s — on the handheld", CDataView::DisplayText(m_View->GetName())));
    auto* layout = new QVBoxLayout(this);
    if (damaged) {
        auto* warning = TextLabel(UiText(4389, "This database is damaged: only what could be read is shown."), this,
                                  "damaged");
        warning->setStyleSheet(QStringLiteral("color: #b40000; font-weight: bold;"));
        layout->addWidget(warning);
    }
    auto* heading = TextLabel(Q(m_View->Heading()), this, "heading");
    QFont big = heading->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.25);
    heading->setFont(big);
    layout->addWidget(heading);

    switch (m_View->GetKind()) {
    case CDataView::Kind::Catalog: ShowCatalog(layout); break;
    case CDataView::Kind::List:
    case CDataView::Kind::Form: ShowList(layout); break;
    case CDataView::Kind::Game: ShowGame(layout); break;
    case CDataView::Kind::UserContext: ShowUserContext(layout); break;
    case CDataView::Kind::Other: layout->addStretch(1); break;
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* close = new QPushButton(UiText(4933, "&Close"), this);
    close->setObjectName(QStringLiteral("close"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    resize(m_View->GetKind() == CDataView::Kind::Catalog ? 780 : 580, 520);
}

CDataViewDialog::~CDataViewDialog() = default;

CDataViewDialog* CDataViewDialog::Open(QWidget* parent, const std::string& dir, const std::string& name)
{
    bool damaged = false;
    std::string error;
    std::unique_ptr<CDataView> view = CDataView::Load(dir, name, damaged, error);
    if (!view) {
        QMessageBox::warning(parent, UiText(4934, "Cannot show \"%s\"", CDataView::DisplayText(name)), Q(error));
        return nullptr;
    }
    auto* dialog = new CDataViewDialog(std::move(view), damaged, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

QImage CDataViewDialog::PictureImage(const CDataView::Picture* picture)
{
    if (picture == nullptr) return QImage();
    const CPalmBitmap& bitmap = picture->bitmap;
    if (!bitmap.IsEmpty()) {
        // Qt's one-bit images keep their rows as the handheld does, first pixel in the top bit.
        QImage image(bitmap.GetWidth(), bitmap.GetHeight(), QImage::Format_Mono);
        image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        const std::size_t rowBytes = std::size_t(bitmap.GetWidth() + 7) / 8;
        for (int y = 0; y < bitmap.GetHeight(); ++y) std::memcpy(image.scanLine(y), bitmap.GetRow(y), rowBytes);
        return image.convertToFormat(QImage::Format_RGB32);
    }
    const std::vector<BYTE>& data = picture->image.GetImageData();
    QImage image;
    if (!data.empty()) image.loadFromData(data.data(), int(data.size()));
    return image;
}

QPixmap CDataViewDialog::Placeholder(int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(QColor(236, 236, 236));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(170, 170, 170), qMax(1, side / 24)));
    const int m = side / 5;
    // A frame with a mountain and a sun: a picture that is not there.
    p.drawRect(m, m, side - 2 * m, side - 2 * m);
    QPolygon hills;
    hills << QPoint(m, side - m) << QPoint(side / 2 - side / 10, side / 2) << QPoint(side / 2 + side / 12, side - m - side / 6)
          << QPoint(side - m - side / 8, side / 2 + side / 12) << QPoint(side - m, side - m);
    p.drawPolyline(hills);
    p.drawEllipse(QPoint(side - m - side / 6, m + side / 6), side / 14, side / 14);
    return pixmap;
}

QPixmap CDataViewDialog::PictureOf(const CItemRecord& item, int side) const
{
    // Items share pictures, and catalogs hold thousands of items.
    const auto key = std::make_pair(item.GetImageName(), side);
    const auto known = m_Pixmaps.find(key);
    if (known != m_Pixmaps.end()) return known->second;
    return m_Pixmaps[key] = MakePicture(item, side);
}

QPixmap CDataViewDialog::MakePicture(const CItemRecord& item, int side) const
{
    const QImage image = PictureImage(m_View->FindPicture(item.GetImageName()));
    if (image.isNull()) return Placeholder(side);
    // Handheld bitmaps grow by whole pixels, so that they stay sharp.
    if (image.width() <= side / 2 && image.height() <= side / 2) {
        const int times = qMax(1, qMin(side / image.width(), side / image.height()));
        return QPixmap::fromImage(image.scaled(image.width() * times, image.height() * times));
    }
    return QPixmap::fromImage(image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void CDataViewDialog::ShowCatalog(QVBoxLayout* layout)
{
    const CAppInfo& ai = m_View->GetAppInfo();
    QStringList titles;
    for (const std::string& t : {ai.GetTitle(), ai.GetSubTitle(), ai.GetCatalogTitle()})
        if (!t.empty() && !titles.contains(H(t))) titles << H(t);
    if (!titles.isEmpty()) layout->addWidget(TextLabel(titles.join(QLatin1Char('\n')), this, "titles"));

    auto* split = new QSplitter(Qt::Horizontal, this);
    auto* tree = ReadOnlyTree(split, "items", {UiText(4913, "Item"), UiText(4914, "Reference"), UiText(4915, "Price")});
    tree->setIconSize(QSize(kThumbnail, kThumbnail));
    auto addItem = [&](QTreeWidgetItem* parent, std::size_t index) {
        const CItemRecord& item = m_View->Items()[index];
        auto* row = new QTreeWidgetItem(parent);
        row->setText(0, H(item.GetNameStr()));
        row->setText(1, H(item.GetReferenceStr()));
        row->setText(2, Q(CDataView::PriceText(item.GetPrice())));
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        row->setIcon(0, QIcon(PictureOf(item, kThumbnail)));
        row->setToolTip(0, Q(m_View->PictureText(item)));
        row->setData(0, kItemRole, qulonglong(index));
    };
    // Each category under the one above it.
    std::vector<QTreeWidgetItem*> open;
    for (const CDataView::Category& c : m_View->Categories()) {
        open.resize(std::size_t(c.depth));
        QTreeWidgetItem* group = open.empty() ? new QTreeWidgetItem(tree) : new QTreeWidgetItem(open.back());
        group->setText(0, H(c.category.GetName()));
        group->setFirstColumnSpanned(true);
        QFont bold = group->font(0);
        bold.setBold(true);
        group->setFont(0, bold);
        for (std::size_t i : c.items) addItem(group, i);
        open.push_back(group);
    }
    if (!m_View->Uncategorized().empty()) {
        auto* group = new QTreeWidgetItem(tree);
        group->setText(0, UiText(4390, "Items without a category"));
        group->setFirstColumnSpanned(true);
        for (std::size_t i : m_View->Uncategorized()) addItem(group, i);
    }
    tree->expandAll();
    tree->header()->setStretchLastSection(false);
    tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c : {1, 2}) FitColumn(tree, c);

    auto* details = new QScrollArea(split);
    details->setWidgetResizable(true);
    // The text wraps to the panel's width instead.
    details->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* panel = new QWidget(details);
    auto* panelLayout = new QVBoxLayout(panel);
    m_Picture = new QLabel(panel);
    m_Picture->setObjectName(QStringLiteral("picture"));
    m_Picture->setAlignment(Qt::AlignCenter);
    m_Picture->setMinimumSize(kPictureSide, kPictureSide);
    panelLayout->addWidget(m_Picture);
    m_ItemText = TextLabel(QString(), panel, "itemText");
    panelLayout->addWidget(m_ItemText);
    panelLayout->addStretch(1);
    details->setWidget(panel);
    split->addWidget(tree);
    split->addWidget(details);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    layout->addWidget(split, 1);

    if (m_View->Items().empty()) {
        m_ItemText->setText(UiText(4900, "No item"));
        return;
    }
    connect(tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* row) { ShowItem(row); });
    // The first item is shown from the start.
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->data(0, kItemRole).isValid()) {
            tree->setCurrentItem(*it);
            break;
        }
}

void CDataViewDialog::ShowItem(QTreeWidgetItem* row)
{
    if (row == nullptr || !row->data(0, kItemRole).isValid()) return;
    const std::size_t index = std::size_t(row->data(0, kItemRole).toULongLong());
    if (index >= m_View->Items().size()) return;
    const CItemRecord& item = m_View->Items()[index];
    m_Picture->setPixmap(PictureOf(item, kPictureSide));
    m_Picture->setToolTip(Q(m_View->PictureText(item)));
    QStringList text;
    text << Q(dataview::Text(4391, "%s (ref. %s): %s", CDataView::DisplayText(item.GetNameStr()),
                             CDataView::DisplayText(item.GetReferenceStr()), CDataView::PriceText(item.GetPrice())));
    for (const std::string& t : {CDataView::ItemDetails(item), CDataView::DisplayText(item.GetDescription(), true),
                                 CDataView::ValidityText(item), m_View->PictureText(item)})
        if (!t.empty()) text << Q(t);
    m_ItemText->setText(text.join(QStringLiteral("\n\n")));
}

void CDataViewDialog::ShowList(QVBoxLayout* layout)
{
    const CAppInfo& ai = m_View->GetAppInfo();
    QStringList head;
    if (!ai.GetTitle().empty()) head << H(ai.GetTitle());
    if (!ai.GetListOrCatalogName().empty())
        head << UiText(4901, "From the catalog %s", CDataView::DisplayText(ai.GetListOrCatalogName()));
    if (!head.isEmpty()) layout->addWidget(TextLabel(head.join(QLatin1Char('\n')), this, "titles"));

    // The order: its state, then where it goes.
    QStringList order;
    order << UiText(4919, "Order: %s", m_View->OrderStateText());
    if (m_View->HasOrder()) {
        const COrderInfo& o = m_View->Order();
        if (m_View->GetOrderState() == CDataView::OrderState::Waiting && !o.GetErrorMessage().empty())
            order << UiText(4907, "Last attempt: %s", CDataView::DisplayText(o.GetErrorMessage()));
        const std::vector<std::string> address =
            CDataView::AddressLines(o.GetNameStr(), o.GetAddress1Str(), o.GetAddress2Str(), o.GetZipStr(),
                                    o.GetCityStr(), o.GetStateStr(), o.GetCountryStr());
        if (!o.GetDeliveryAliasStr().empty())
            order << UiText(4908, "Deliver to \"%s\":", CDataView::DisplayText(o.GetDeliveryAliasStr()));
        else if (!address.empty())
            order << UiText(4903, "Deliver to:");
        for (const std::string& line : address) order << QStringLiteral("    ") + Q(line);
        if (o.GetDeliveryCharges() != 0)
            order << UiText(4909, "Delivery charges: %s", CDataView::PriceText(o.GetDeliveryCharges()));
        if (!o.GetFreeCommentStr().empty())
            order << UiText(4910, "Comment: %s", CDataView::DisplayText(o.GetFreeCommentStr(), true));
    }
    auto* orderLabel = TextLabel(order.join(QLatin1Char('\n')), this, "order");
    orderLabel->setFrameShape(QFrame::StyledPanel);
    orderLabel->setMargin(6);
    layout->addWidget(orderLabel);

    auto* tree = ReadOnlyTree(this, "lines",
                              {UiText(4911, "To buy"), UiText(4912, "Qty"), UiText(4913, "Item"),
                               UiText(4914, "Reference"), UiText(4915, "Price")});
    tree->setRootIsDecorated(false);
    for (const CItemRefRecord& line : m_View->Lines()) {
        auto* row = new QTreeWidgetItem(tree);
        // A box that shows the flag and cannot be changed here.
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        row->setCheckState(0, line.GetNeedBool() ? Qt::Checked : Qt::Unchecked);
        row->setText(0, line.GetNeedBool() ? UiText(4381, "yes") : UiText(4382, "no"));
        row->setText(1, Q(line.GetQuantityStr()));
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        row->setText(2, H(line.GetNameStr()));
        row->setText(3, H(line.GetReferenceStr()));
        row->setText(4, Q(CDataView::PriceText(line.GetPrice())));
        row->setTextAlignment(4, Qt::AlignRight | Qt::AlignVCenter);
    }
    for (int c = 0; c < tree->columnCount(); ++c) FitColumn(tree, c);
    tree->header()->setStretchLastSection(false);
    tree->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    layout->addWidget(tree, 1);
    layout->addWidget(TextLabel(m_View->Lines().empty()
                                    ? UiText(4917, "No line")
                                    : UiText(4916, "Total to buy: %s", CDataView::PriceText(m_View->TotalToBuy())),
                                this, "total"));
}

void CDataViewDialog::ShowGame(QVBoxLayout* layout)
{
    QStringList text;
    if (!m_View->GetAppInfo().GetTitle().empty()) text << H(m_View->GetAppInfo().GetTitle());
    if (m_View->Lines().empty()) text << UiText(4936, "No score yet");
    for (const CItemRefRecord& line : m_View->Lines())
        text << UiText(4918, "%s: %s points", CDataView::DisplayText(line.GetReferenceStr()), line.GetQuantityStr());
    layout->addWidget(TextLabel(text.join(QLatin1Char('\n')), this, "scores"));
    layout->addStretch(1);
}

void CDataViewDialog::ShowUserContext(QVBoxLayout* layout)
{
    QStringList account;
    if (m_View->HasUserId()) {
        account << UiText(4920, "Service user id: %s", CDataView::DisplayText(m_View->GetUserId()));
        account << (m_View->HasPassword() ? UiText(4922, "Password: kept on the handheld, not shown")
                                          : UiText(4923, "Password: none"));
    } else {
        account << UiText(4921, "No service user id on the handheld");
    }
    layout->addWidget(TextLabel(account.join(QLatin1Char('\n')), this, "account"));
    layout->addWidget(TextLabel(m_View->Addresses().empty() ? UiText(4925, "No address") : UiText(4924, "Addresses"),
                                this));
    auto* tree = ReadOnlyTree(this, "addresses", {UiText(4924, "Addresses")});
    tree->setHeaderHidden(true);
    for (const CAddressRecord& a : m_View->Addresses()) {
        const std::string alias = CDataView::DisplayText(a.GetAlias());
        const std::string id = a.GetId();
        auto* top = new QTreeWidgetItem(tree);
        top->setText(0, id.empty() || id == "0"
                            ? UiText(4927, "\"%s\", on this handheld only (not yet known to the service)", alias)
                            : UiText(4926, "\"%s\", known to the service as number %s", alias, id));
        for (const std::string& line : CDataView::AddressLines(a.GetName(), a.GetAddress1(), a.GetAddress2(),
                                                               a.GetZip(), a.GetCity(), a.GetState(), a.GetCountry()))
            (new QTreeWidgetItem(top))->setText(0, Q(line));
    }
    tree->expandAll();
    layout->addWidget(tree, 1);
}
