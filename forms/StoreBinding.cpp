#include "StoreBinding.h"

#include "ByteText.h"
#include "UMyIniFile.h"

#include <QFontInfo>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

namespace varnok {

void ReadListBox(const TMyIniFile& ini, const std::string& section, const std::string& name,
                 QListWidget* list)
{
    list->clear();
    for (const std::string& row : ini.ReadList(section, name))
        list->addItem(QString::fromStdString(row));
}

std::vector<std::string> ListBoxRows(const QListWidget* list)
{
    std::vector<std::string> rows;
    rows.reserve(static_cast<std::size_t>(list->count()));
    for (int row = 0; row < list->count(); ++row)
        rows.push_back(list->item(row)->text().toStdString());
    return rows;
}

void WriteListBox(TMyIniFile& ini, const std::string& section, const std::string& name,
                  const QListWidget* list)
{
    ini.WriteList(section, name, ListBoxRows(list));
}

void ReadRichEdit(const TMyIniFile& ini, const std::string& section, const std::string& name,
                  QPlainTextEdit* edit)
{
    const std::optional<std::string> block = ini.ReadTextBlock(section, name);
    if (!block)
        return;
    SetPlainTextOf(edit, *block);
}

namespace {

// The box's encoding is a property of its document; each line's own is the
// user state of its block, where Qt's -1 ("none") defers to the box's.
constexpr const char* kEncodingProperty = "varnokTextEncoding";

TTextEncoding BoxEncoding(const QTextDocument* document)
{
    return document->property(kEncodingProperty).toInt() == int(TTextEncoding::Latin1)
               ? TTextEncoding::Latin1
               : TTextEncoding::Utf8;
}

TTextEncoding LineEncoding(const QTextBlock& block)
{
    switch (block.userState()) {
    case int(TTextEncoding::Utf8): return TTextEncoding::Utf8;
    case int(TTextEncoding::Latin1): return TTextEncoding::Latin1;
    default: return BoxEncoding(block.document());
    }
}

// Shows `bytes` line by line, each line in its own encoding, either in place
// of the box's text or below it.
void ShowLines(QPlainTextEdit* edit, std::string_view bytes, bool append)
{
    QStringList texts;
    std::vector<int> states;
    bool latin1 = false;
    // CR and LF never occur inside a UTF-8 sequence, so the bytes split
    // safely at them before anything is decoded.
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(bytes.find_first_of("\r\n", start), bytes.size());
        const std::string_view line = bytes.substr(start, end - start);
        const bool ascii = std::all_of(line.begin(), line.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        TTextEncoding encoding = TTextEncoding::Utf8;
        texts << (ascii ? QString::fromLatin1(line.data(), qsizetype(line.size()))
                        : TextOfBytes(line, &encoding));
        states.push_back(ascii ? -1 : int(encoding));
        latin1 = latin1 || encoding == TTextEncoding::Latin1;
        if (end == bytes.size())
            break;
        start = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    QTextDocument* document = edit->document();
    if (append) {
        edit->appendPlainText(texts.join(QLatin1Char('\n')));
        latin1 = latin1 || BoxEncoding(document) == TTextEncoding::Latin1;
    } else {
        edit->setPlainText(texts.join(QLatin1Char('\n')));
    }
    document->setProperty(kEncodingProperty,
                          int(latin1 ? TTextEncoding::Latin1 : TTextEncoding::Utf8));
    // The lines shown are the last blocks: TextOfBytes keeps every line free
    // of the characters that would make a block of their own.
    QTextBlock block = document->lastBlock();
    for (auto state = states.rbegin(); state != states.rend() && block.isValid(); ++state) {
        block.setUserState(*state);
        block = block.previous();
    }
}

}  // namespace

void SetPlainTextOf(QPlainTextEdit* edit, std::string_view bytes)
{
    ShowLines(edit, bytes, false);
}

void AppendPlainTextOf(QPlainTextEdit* edit, std::string_view bytes)
{
    ShowLines(edit, bytes, true);
}

std::string PlainTextOf(const QPlainTextEdit* edit)
{
    std::string bytes;
    const QTextDocument* document = edit->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block != document->begin())
            bytes += '\n';
        // A line break typed within a paragraph (Shift+Enter) is a line break too.
        QString text = block.text();
        text.replace(QChar::LineSeparator, QLatin1Char('\n'));
        bytes += BytesOfText(text, LineEncoding(block));
    }
    return bytes;
}

void WriteRichEdit(TMyIniFile& ini, const std::string& section, const std::string& name,
                   const QPlainTextEdit* edit)
{
    ini.WriteTextBlock(section, name, PlainTextOf(edit));
}

namespace {

TFontRecord FontRecordOf(const QFont& font)
{
    TFontRecord record;
    record.Name = font.family().toStdString();
    // A font sized in pixels is stored by the point size it shows in.
    record.Size = font.pointSize() > 0 ? font.pointSize() : QFontInfo(font).pointSize();
    record.Bold = font.bold();
    record.Italic = font.italic();
    record.Underline = font.underline();
    record.StrikeOut = font.strikeOut();
    return record;
}

QFont FontOf(const TFontRecord& record, QFont base)
{
    base.setFamilies({QString::fromStdString(record.Name)});
    // A negative size is a height in pixels; 0 keeps the size.
    if (record.Size > 0)
        base.setPointSize(record.Size);
    else if (record.Size < 0)
        base.setPixelSize(-record.Size);
    base.setBold(record.Bold);
    base.setItalic(record.Italic);
    base.setUnderline(record.Underline);
    base.setStrikeOut(record.StrikeOut);
    return base;
}

}  // namespace

void ReadFont(const TMyIniFile& ini, const std::string& section, const std::string& name,
              QFont& font)
{
    font = FontOf(ini.ReadFont(section, name, FontRecordOf(font)), font);
}

void WriteFont(TMyIniFile& ini, const std::string& section, const std::string& name,
               const QFont& font)
{
    ini.WriteFont(section, name, FontRecordOf(font));
}

}  // namespace varnok
