#pragma once
// What list controls show, for comparisons in window tests.

#include <QComboBox>
#include <QListWidget>
#include <QStringList>

inline QStringList Texts(const QListWidget* list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

inline QStringList Texts(const QComboBox* box)
{
    QStringList texts;
    for (int row = 0; row < box->count(); ++row)
        texts << box->itemText(row);
    return texts;
}

// The selected row, -1 when none.
inline int Selected(const QListWidget* list)
{
    const QList<QListWidgetItem*> items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.first());
}
