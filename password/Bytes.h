// Names in the settings store and in users.dat are bytes. The window shows
// them as UTF-8 when they are, else as Latin-1, and keeps the bytes beside
// what it shows, so that a name is always written back as it was read.
#pragma once
#include <QComboBox>
#include <QListWidget>
#include <QString>
#include <QTreeWidgetItem>

#include <string>

inline constexpr int kBytesRole = Qt::UserRole + 1;

inline QString ToQt(const std::string& bytes)
{
    const QString text = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    if (text.contains(QChar::ReplacementCharacter) && bytes.find("\xEF\xBF\xBD") == std::string::npos)
        return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    return text;
}

// What the user typed, as UTF-8.
inline std::string ToStd(const QString& text) { return text.toUtf8().toStdString(); }

inline QVariant BytesData(const std::string& bytes) { return QByteArray(bytes.data(), qsizetype(bytes.size())); }

inline std::string DataBytes(const QVariant& data, const QString& shown)
{
    return data.isValid() ? data.toByteArray().toStdString() : ToStd(shown);
}

inline void AddItem(QComboBox* combo, const std::string& bytes) { combo->addItem(ToQt(bytes), BytesData(bytes)); }

// The selected entry's bytes; empty with no entry selected.
inline std::string CurrentBytes(const QComboBox* combo)
{
    return combo->currentIndex() < 0 ? std::string() : DataBytes(combo->currentData(), combo->currentText());
}

inline void SetItemBytes(QTreeWidgetItem* item, int column, const std::string& bytes)
{
    item->setText(column, ToQt(bytes));
    item->setData(column, kBytesRole, BytesData(bytes));
}

inline std::string ItemBytes(const QTreeWidgetItem* item, int column)
{
    return DataBytes(item->data(column, kBytesRole), item->text(column));
}

inline QListWidgetItem* AddItem(QListWidget* list, const std::string& bytes)
{
    auto* item = new QListWidgetItem(ToQt(bytes), list);
    item->setData(kBytesRole, BytesData(bytes));
    return item;
}

inline std::string ItemBytes(const QListWidgetItem* item) { return DataBytes(item->data(kBytesRole), item->text()); }
