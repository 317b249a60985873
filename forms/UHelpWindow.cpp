#include "UHelpWindow.h"

#include <QApplication>
#include <QPointer>
#include <QScrollBar>
#include <QShortcut>
#include <QUrl>

namespace varnok {
namespace {
QPointer<THelpWindow> current;
}

THelpWindow::THelpWindow(QWidget* owner) : QTextBrowser(owner)
{
    setObjectName(QStringLiteral("helpWindow"));
    setWindowFlags(Qt::Window);
    setAttribute(Qt::WA_DeleteOnClose);
    setOpenExternalLinks(true);
    resize(640, 520);
    // A window of its own, with no button to close it but the frame's.
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);
}

THelpWindow* THelpWindow::Current()
{
    return current;
}

THelpWindow* THelpWindow::Open(const QString& file)
{
    // A window that belongs to the modal dialog in front stays usable while
    // that dialog is open; the window is deleted with its owner.
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner)
        owner = QApplication::activeWindow();
    if (current && owner == current)
        owner = current->parentWidget();
    if (!current)
        current = new THelpWindow(owner);
    else if (current->parentWidget() != owner)
        current->setParent(owner, Qt::Window);
    current->setSource(QUrl::fromLocalFile(file));
    current->verticalScrollBar()->setValue(0);
    current->horizontalScrollBar()->setValue(0);
    const QString title = current->documentTitle();
    current->setWindowTitle(title.isEmpty() ? QStringLiteral("Help") : title);
    current->show();
    current->raise();
    current->activateWindow();
    return current;
}

}  // namespace varnok
