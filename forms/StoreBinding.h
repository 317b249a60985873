#pragma once
// The store's composite records bound to Qt controls: a list box's rows, a
// plain-text box's lines and a font.

#include <QFont>
#include <QString>

#include <string>
#include <string_view>
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

// Plain-text boxes hold bytes (see ByteText.h), one encoding per line: a
// line is shown as UTF-8 or as Latin-1 and goes back in the encoding it came
// in. Lines of plain ASCII, and lines typed or pasted in, take the box's
// encoding: Latin-1 once a line was read as Latin-1, else UTF-8. A character
// Latin-1 lacks, typed into a Latin-1 line, turns that one line into UTF-8;
// the other lines keep their bytes.

// The box's text as bytes, its lines joined by LF: paragraph breaks become
// line breaks, while non-breaking spaces and the like stay as they are.
std::string PlainTextOf(const QPlainTextEdit* edit);
// Shows `bytes` in `edit`; their line ends, whichever they are, become the
// box's line breaks.
void SetPlainTextOf(QPlainTextEdit* edit, std::string_view bytes);
// Appends `bytes` as lines of their own below the box's text.
void AppendPlainTextOf(QPlainTextEdit* edit, std::string_view bytes);

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
