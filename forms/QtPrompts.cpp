#include "QtPrompts.h"

#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

namespace varnok {
namespace {

// The program's name, not the executable's; it is not made the application's
// display name, which Qt would add to every window's caption.
QString BoxCaption()
{
    return QStringLiteral("Varnok Quillet");
}

bool IsPattern(const QString& name)
{
    return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
}

std::optional<QString> RunFileDialog(QWidget* parent, const QString& proposed,
                                     QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    // Any name is accepted, existing or not; the caller reports what fails.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (IsPattern(proposed))
        dialog.setNameFilters({proposed, QStringLiteral("*")});
    else
        dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

// A box with "&Yes" and one other button, which Escape presses; true for Yes.
bool AskYes(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
            const QString& other, QMessageBox::ButtonRole otherRole, bool yesIsDefault,
            const QString& details = {})
{
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, parent);
    box.setInformativeText(details);
    QPushButton* yes = box.addButton(QObject::tr("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(other, otherRole);
    box.setDefaultButton(yesIsDefault ? yes : no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

}  // namespace

bool TQtPrompts::Confirm(QWidget* parent, const QString& caption, const QString& question,
                         const QString& details)
{
    return AskYes(parent, QMessageBox::Question, caption, question, QObject::tr("Cancel"),
                  QMessageBox::RejectRole, true, details);
}

bool TQtPrompts::WarnYesNo(QWidget* parent, const QString& caption, const QString& text)
{
    return AskYes(parent, QMessageBox::Warning, caption, text, QObject::tr("&No"), QMessageBox::NoRole,
                  false);
}

void TQtPrompts::Error(QWidget* parent, const QString& text)
{
    QMessageBox::critical(parent, BoxCaption(), text, QMessageBox::Ok);
}

void TQtPrompts::Information(QWidget* parent, const QString& text)
{
    QMessageBox::information(parent, BoxCaption(), text, QMessageBox::Ok);
}

std::optional<QString> TQtPrompts::OpenFileName(QWidget* parent, const QString& proposed)
{
    return RunFileDialog(parent, proposed, QFileDialog::AcceptOpen);
}

std::optional<QString> TQtPrompts::SaveFileName(QWidget* parent, const QString& proposed)
{
    return RunFileDialog(parent, proposed, QFileDialog::AcceptSave);
}

std::optional<QFont> TQtPrompts::ChooseFont(QWidget* parent, const QFont& initial)
{
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, initial, parent);
    if (!ok)
        return std::nullopt;
    return font;
}

bool TQtPrompts::Print(QWidget* parent, QPrinter& printer)
{
    // The dialog names the file it proposes for printing to a file after the
    // document, whose name may hold a "\" that has no place in a file name
    // here; the print job keeps the document's own name.
    const QString documentName = printer.docName();
    printer.setDocName(QString(documentName).replace(QLatin1Char('\\'), QLatin1Char(' ')));
    QPrintDialog dialog(&printer, parent);
    printer.setDocName(documentName);
    return dialog.exec() == QDialog::Accepted;
}

bool TQtPrompts::SetupPrinter(QWidget* parent, QPrinter& printer)
{
    QPageSetupDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace varnok
