#include "ListEntries.h"

#include <QListWidget>

namespace varnok {

int SelectedRow(const QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

void SelectRow(QListWidget* list, int row)
{
    if (row >= 0 && row < list->count()) {
        list->setCurrentRow(row);
        return;
    }
    list->setCurrentRow(-1);
    list->clearSelection();
}

void WriteSelectedEntry(QListWidget* list, const QString& text)
{
    if (const int row = SelectedRow(list); row >= 0)
        list->item(row)->setText(text);
    else
        AppendEntry(list, text);
}

void AppendEntry(QListWidget* list, const QString& text)
{
    list->addItem(text);
    list->setCurrentRow(list->count() - 1);
}

std::optional<QString> DeleteSelectedEntry(QListWidget* list)
{
    if (const int row = SelectedRow(list); row >= 0)
        delete list->takeItem(row);
    if (list->count() == 0)
        return std::nullopt;
    list->setCurrentRow(0);
    return list->item(0)->text();
}

std::optional<QString> SelectedText(const QListWidget* list)
{
    const int row = SelectedRow(list);
    if (row < 0)
        return std::nullopt;
    return list->item(row)->text();
}

}  // namespace varnok
