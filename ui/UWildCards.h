#pragma once
// The wild-card help window: a read-only summary of the pattern language.

#include <QDialog>
#include <QStringList>

class QPlainTextEdit;
class QPushButton;

namespace varnok {

class TWildCards : public QDialog {
    Q_OBJECT
public:
    explicit TWildCards(QWidget* owner);

    // The nine lines as the window shows them; the trailing blanks of lines 3
    // and 8 belong to them.
    static QStringList HelpLines();

    QPlainTextEdit* helpText;
    QPushButton* OKButton;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

}  // namespace varnok
