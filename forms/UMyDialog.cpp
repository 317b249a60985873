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
const QString kHelpFileMissing = QStringLiteral("Can't find the help file");
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
    const QString parent = FolderPart(folder.chopped(folder.isEmpty() ? 0 : 1));
    // An installed program sits in <prefix>/bin, its data in <prefix>/share;
    // a program in "/" has "/" as the prefix.
    const QString prefix = parent.isEmpty() && !folder.isEmpty() ? QStringLiteral("/") : parent;
    return {folder + kHelpFileName, parent + kHelpFileName,
            prefix + QStringLiteral("share/varnok/") + kHelpFileName};
}

QString FindHelpFile(const QString& programPath)
{
    for (const QString& candidate : HelpFileCandidates(programPath)) {
        applicationHelpFile = candidate;
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return QString();
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
    const QString file = FindHelpFile(programPath);
    if (file.isEmpty()) {
        TPrompts::Instance().Error(QApplication::activeWindow(), kHelpFileMissing);
        return;
    }
    THelpWindow::Open(file);
}

}  // namespace varnok
