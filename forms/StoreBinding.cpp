#include "StoreBinding.h"

#include "UMyIniFile.h"

#include <QFontInfo>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextDocument>

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
    SetPlainTextOf(edit, QString::fromStdString(*block));
}

void SetPlainTextOf(QPlainTextEdit* edit, QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    edit->setPlainText(text);
}

std::string PlainTextOf(const QPlainTextEdit* edit)
{
    QString text = edit->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text.toStdString();
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
