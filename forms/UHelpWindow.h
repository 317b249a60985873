#pragma once
// The program's help window: the help document in a text browser, opened at
// its top. One window serves every request; it follows the window that asked,
// so that it stays usable over a modal dialog. Escape and Ctrl+W close it.

#include <QTextBrowser>

namespace varnok {

class THelpWindow : public QTextBrowser {
    Q_OBJECT
public:
    // Shows `file` at its top in the help window, creating the window when
    // there is none; returns it.
    static THelpWindow* Open(const QString& file);

    // The help window now open, or nullptr.
    static THelpWindow* Current();

private:
    explicit THelpWindow(QWidget* owner);
};

}  // namespace varnok
