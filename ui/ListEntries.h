#pragma once
// The editing rules of a list box driven by an edit box beside it, shared by
// the lists of the settings dialog and the wizard: the edit box is a live
// editor of the selected entry.

#include <QString>

#include <optional>

class QListWidget;

namespace varnok {

// The selected row, -1 when none.
int SelectedRow(const QListWidget* list);
// Selects `row`; a number that names no row leaves none selected.
void SelectRow(QListWidget* list, int row);

// The selected entry becomes `text`; with none selected, `text` is appended
// and selected.
void WriteSelectedEntry(QListWidget* list, const QString& text);
// Appends `text` and selects it.
void AppendEntry(QListWidget* list, const QString& text);
// Removes the selected entry, then selects the first; gives its text, or
// nothing when the list is left empty.
std::optional<QString> DeleteSelectedEntry(QListWidget* list);
// The text of the selected entry, if any.
std::optional<QString> SelectedText(const QListWidget* list);

}  // namespace varnok
