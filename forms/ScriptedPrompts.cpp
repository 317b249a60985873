#include "ScriptedPrompts.h"

#include <QPrinter>

namespace varnok {
namespace {

template <typename T>
T Next(std::deque<T>& answers, T cautious)
{
    if (answers.empty())
        return cautious;
    const T answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace

TScriptedPrompts::TScriptedPrompts()
{
    SetInstance(this);
}

TScriptedPrompts::~TScriptedPrompts()
{
    SetInstance(nullptr);
}

bool TScriptedPrompts::Confirm(QWidget*, const QString& caption, const QString& question, const QString& details)
{
    Asked << QStringLiteral("Confirm: %1: %2").arg(caption, question);
    Details << details;
    return Next(ConfirmAnswers, false);
}

bool TScriptedPrompts::WarnYesNo(QWidget*, const QString& caption, const QString& text)
{
    Asked << QStringLiteral("Warn: %1: %2").arg(caption, text);
    return Next(WarnAnswers, false);
}

void TScriptedPrompts::Error(QWidget*, const QString& text)
{
    Asked << QStringLiteral("Error: ") + text;
}

void TScriptedPrompts::Information(QWidget*, const QString& text)
{
    Asked << QStringLiteral("Information: ") + text;
}

std::optional<QString> TScriptedPrompts::OpenFileName(QWidget*, const QString& proposed)
{
    Asked << QStringLiteral("Open: ") + proposed;
    return Next(FileNames, std::optional<QString>());
}

std::optional<QString> TScriptedPrompts::SaveFileName(QWidget*, const QString& proposed)
{
    Asked << QStringLiteral("Save: ") + proposed;
    return Next(FileNames, std::optional<QString>());
}

std::optional<QFont> TScriptedPrompts::ChooseFont(QWidget*, const QFont& initial)
{
    Asked << QStringLiteral("Font: ") + initial.family();
    return Next(Fonts, std::optional<QFont>());
}

bool TScriptedPrompts::Print(QWidget*, QPrinter& printer)
{
    const QString proposed = printer.outputFileName();
    Asked << QStringLiteral("Print: ") + printer.docName() + (proposed.isEmpty() ? QString() : " to " + proposed);
    const std::optional<QString> file = Next(PrintFiles, std::optional<QString>());
    if (!file)
        return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(*file);
    return true;
}

bool TScriptedPrompts::SetupPrinter(QWidget*, QPrinter&)
{
    Asked << QStringLiteral("Setup printer");
    return Next(SetupAnswers, false);
}

}  // namespace varnok
