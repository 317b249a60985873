#include "UWildCards.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>

#include "UAbout.h"

namespace varnok {

namespace {

constexpr int kTextHeight = 265;
constexpr QSize kOuterSize(498, 335);

}  // namespace

QStringList TWildCards::HelpLines()
{
    return {
        QStringLiteral("*    matches any sequence of characters."),
        QStringLiteral("?    matches any single character."),
        QStringLiteral("+    matches zero or more occurrences of the "),
        QStringLiteral("     character which precedes it."),
        QStringLiteral("^    matches the beginning of a line"),
        QStringLiteral("$    matches the end of a line"),
        QStringLiteral("@    matches any alphabetic or numeric character"),
        QStringLiteral("\\    makes the wild character which follows it into a "),
        QStringLiteral("     literal character"),
    };
}

TWildCards::TWildCards(QWidget* owner)
    : QDialog(owner)
    , helpText(new QPlainTextEdit(this))
    , OKButton(new QPushButton(QStringLiteral("&OK"), this))
{
    setObjectName(QStringLiteral("WildCards"));
    setWindowTitle(QStringLiteral("WildCards"));
    setFont(DesignFont(QStringLiteral("MS Sans Serif"), 11));

    helpText->setObjectName(QStringLiteral("helpText"));
    helpText->setReadOnly(true);
    helpText->setLineWrapMode(QPlainTextEdit::NoWrap);
    helpText->setFont(DesignFont(QStringLiteral("Courier New"), 13, true));
    helpText->setPlainText(HelpLines().join(QLatin1Char('\n')));

    // The designed window hides its OK button behind the text; here it shows
    // below the text and closes the window.
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    OKButton->setGeometry(392, 280, 75, 25);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    resize(kOuterSize);
    move(145, 81);  // a top-level window is placed by its frame
}

void TWildCards::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The designed size includes the frame, which the platform may know by now.
    const QSize frame = frameGeometry().size() - geometry().size();
    if (size() == kOuterSize && !frame.isNull())
        resize(kOuterSize - frame);
}

void TWildCards::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    helpText->setGeometry(0, 0, width(), kTextHeight);
}

}  // namespace varnok
