// The wild-card help window: its nine lines as they stand, its place and size,
// and its OK button.

#include <QFontInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "UWildCards.h"

using namespace varnok;

class TWildCardsTest : public QObject {
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void window();
};

void TWildCardsTest::lines_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("text");
    QTest::newRow("1") << 1 << "*    matches any sequence of characters.";
    QTest::newRow("2") << 2 << "?    matches any single character.";
    QTest::newRow("3 ends in a blank") << 3 << "+    matches zero or more occurrences of the ";
    QTest::newRow("4") << 4 << "     character which precedes it.";
    QTest::newRow("5") << 5 << "^    matches the beginning of a line";
    QTest::newRow("6") << 6 << "$    matches the end of a line";
    QTest::newRow("7") << 7 << "@    matches any alphabetic or numeric character";
    QTest::newRow("8 ends in a blank") << 8 << "\\    makes the wild character which follows it into a ";
    QTest::newRow("9") << 9 << "     literal character";
}

void TWildCardsTest::lines()
{
    QFETCH(int, line);
    TWildCards window(nullptr);
    const QStringList shown = window.helpText->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(shown.size(), 9);
    QTEST(shown.at(line - 1), "text");
}

void TWildCardsTest::window()
{
    TWildCards window(nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QStringLiteral("WildCards"));
    QCOMPARE(window.frameGeometry(), QRect(145, 81, 498, 335));
    QVERIFY(window.helpText->isReadOnly());
    QCOMPARE(window.helpText->geometry(), QRect(0, 0, window.width(), 265));
    QVERIFY(QFontInfo(window.helpText->font()).fixedPitch());
    QCOMPARE(window.helpText->font().pixelSize(), 13);

    window.resize(600, 400);
    QCOMPARE(window.helpText->geometry(), QRect(0, 0, 600, 265));
    QTest::mouseClick(window.OKButton, Qt::LeftButton);
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(TWildCardsTest)
#include "tst_wildcards.moc"
