#include "UMyDialog.h"

#include "Prompts.h"
#include "UHelpWindow.h"

#include <QApplication>
#include <QFileInfo>

#include <algorithm>

namespace varnok {

TMyDialog::TMyDialog(QWidget* owner, const std::string& productSubKey,
                     const std::string& storeKey)
    : TMyForm(owner, productSubKey + "\\Dialog", storeKey)
{
}

void TMyDialog::AddResize(QWidget* control, bool keepRight, bool stretchWidth, bool keepBottom,
                          bool stretchHeight)
{
    const QSize dialog = OuterSize();
    m_resizes.push_back({control, keepRight, stretchWidth, keepBottom, stretchHeight,
                         dialog.width() - control->x(), dialog.width() - control->width(),
                         dialog.height() - control->y(), dialog.height() - control->height()});
}

void TMyDialog::ResizeControls()
{
    const QSize dialog = OuterSize();
    for (const TResize& rule : m_resizes) {
        QRect place = rule.Control->geometry();
        if (rule.KeepRight)
            place.moveLeft(dialog.width() - rule.LeftOffset);
        // A dialog made smaller than its layout allows gives empty controls,
        // never negative sizes.
        if (rule.StretchWidth)
            place.setWidth(std::max(0, dialog.width() - rule.WidthOffset));
        if (rule.KeepBottom)
            place.moveTop(dialog.height() - rule.TopOffset);
        if (rule.StretchHeight)
            place.setHeight(std::max(0, dialog.height() - rule.HeightOffset));
        rule.Control->setGeometry(place);
    }
}

void TMyDialog::resizeEvent(QResizeEvent* event)
{
    TMyForm::resizeEvent(event);
    ResizeControls();
}

namespace {

const QString kHelpFileName = QStringLiteral("Quillets.hlp");
QString applicationHelpFile;

// The path up to and including its last "/".
QString FolderPart(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

}  // namespace

std::vector<QString> HelpFileCandidates(const QString& programPath)
{
    const QString folder = FolderPart(programPath);
    return {folder + kHelpFileName, FolderPart(folder.chopped(folder.isEmpty() ? 0 : 1)) + kHelpFileName};
}

QString ApplicationHelpFile()
{
    return applicationHelpFile;
}

void ShowHelp()
{
    ShowHelp(QCoreApplication::applicationFilePath());
}

void ShowHelp(const QString& programPath)
{
    for (const QString& candidate : HelpFileCandidates(programPath)) {
        applicationHelpFile = candidate;
        if (QFileInfo(candidate).isFile()) {
            THelpWindow::Open(candidate);
            return;
        }
    }
    TPrompts::Instance().Error(QApplication::activeWindow(),
                               QStringLiteral("Can't find the help file"));
}

}  // namespace varnok
