// The About box: its texts and its icon.

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QtTest>

#include "UAbout.h"

using namespace varnok;

class TAboutTest : public QObject {
    Q_OBJECT

private slots:
    void showAbout();
};

void TAboutTest::showAbout()
{
    QStringList shown;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<TAbout*>(QApplication::activeModalWidget());
        QVERIFY(about);
        shown << about->windowTitle() << about->QuilletNameLabel->text() << about->versionLabel->text();
        QVERIFY(!about->iconImage->pixmap().isNull());
        QCOMPARE(about->size(), QSize(505, 165));
        QTest::keyClick(about, Qt::Key_Return);  // OK is the default button
    });
    ShowAbout(QStringLiteral("Varnok Quillet"), QStringLiteral("1.01"));
    QCOMPARE(shown, (QStringList{"About", "Varnok Quillet", "version: 1.01"}));
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TAboutTest)
#include "tst_about.moc"
