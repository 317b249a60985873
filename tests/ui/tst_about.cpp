// The About box: its texts, its icon and how it closes.

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "UAbout.h"

using namespace varnok;

class TAboutTest : public QObject {
    Q_OBJECT

private slots:
    void showAbout_data();
    void showAbout();
    void mainIconSizes();
};

void TAboutTest::showAbout_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("versionText");
    QTest::newRow("the program's own") << "Varnok Quillet" << "1.01" << "version: 1.01";
    QTest::newRow("an empty version keeps the blank") << "X" << "" << "version: ";
}

void TAboutTest::showAbout()
{
    QFETCH(QString, product);
    QFETCH(QString, version);
    QFETCH(QString, versionText);
    QString name, shown, caption;
    bool hasIcon = false;
    QSize client;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<TAbout*>(QApplication::activeModalWidget());
        QVERIFY(about);
        name = about->QuilletNameLabel->text();
        shown = about->versionLabel->text();
        caption = about->windowTitle();
        hasIcon = !about->iconImage->pixmap().isNull();
        client = about->size();
        QTest::keyClick(about, Qt::Key_Return);  // OK is the default button
    });
    ShowAbout(product, version);
    QCOMPARE(name, product);
    QCOMPARE(shown, versionText);
    QCOMPARE(caption, QStringLiteral("About"));
    QVERIFY(hasIcon);
    QCOMPARE(client, QSize(505, 165));
    QVERIFY(!QApplication::activeModalWidget());
}

void TAboutTest::mainIconSizes()
{
    const QList<QSize> sizes = MainIcon().availableSizes();
    for (int side : {16, 32, 48, 256})
        QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
}

QTEST_MAIN(TAboutTest)
#include "tst_about.moc"
