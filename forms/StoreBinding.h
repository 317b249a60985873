#pragma once
// The store's composite records bound to Qt controls: a list box's rows, a
// plain-text box's lines and a font.

#include <QFont>
#include <QString>

#include <string>
#include <vector>

class QListWidget;
class QPlainTextEdit;

namespace varnok {

class TMyIniFile;

// The rows of `list`, in order.
std::vector<std::string> ListBoxRows(const QListWidget* list);

// Refills `list` with the stored rows.
void ReadListBox(const TMyIniFile& ini, const std::string& section, const std::string& name,
                 QListWidget* list);
void WriteListBox(TMyIniFile& ini, const std::string& section, const std::string& name,
                  const QListWidget* list);

// The box's text as typed: paragraph breaks become line breaks, while
// non-breaking spaces and the like stay as they are.
std::string PlainTextOf(const QPlainTextEdit* edit);
// Shows `text` in `edit`; its line ends, whichever they are, become the box's
// line breaks.
void SetPlainTextOf(QPlainTextEdit* edit, QString text);

// Replaces the text of `edit` with the stored text block; a missing block
// leaves it as it is.
void ReadRichEdit(const TMyIniFile& ini, const std::string& section, const std::string& name,
                  QPlainTextEdit* edit);
void WriteRichEdit(TMyIniFile& ini, const std::string& section, const std::string& name,
                   const QPlainTextEdit* edit);

// The stored font applied over `font`: family, point size and exactly the
// stored styles.
void ReadFont(const TMyIniFile& ini, const std::string& section, const std::string& name,
              QFont& font);
void WriteFont(TMyIniFile& ini, const std::string& section, const std::string& name,
               const QFont& font);

}  // namespace varnok
