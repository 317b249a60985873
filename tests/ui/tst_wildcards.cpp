// The wild-card help window: its nine lines as they stand, trailing blanks
// included, and its OK button.

#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "UWildCards.h"

using namespace varnok;

class TWildCardsTest : public QObject {
    Q_OBJECT

private slots:
    void nineLinesAndOK();
};

void TWildCardsTest::nineLinesAndOK()
{
    TWildCards window(nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.helpText->isReadOnly());
    QCOMPARE(window.helpText->toPlainText().split(QLatin1Char('\n')),
             (QStringList{"*    matches any sequence of characters.",
                          "?    matches any single character.",
                          "+    matches zero or more occurrences of the ",
                          "     character which precedes it.",
                          "^    matches the beginning of a line",
                          "$    matches the end of a line",
                          "@    matches any alphabetic or numeric character",
                          "\\    makes the wild character which follows it into a ",
                          "     literal character"}));
    QTest::mouseClick(window.OKButton, Qt::LeftButton);
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(TWildCardsTest)
#include "tst_wildcards.moc"
