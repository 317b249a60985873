// Resize rules of the dialog base, and where help is looked for; the help
// window closes from the keyboard.

#include "TempStore.h"

#include "ScriptedPrompts.h"
#include "UHelpWindow.h"
#include "UMyDialog.h"
#include "UMyIniFile.h"

#include <QFile>
#include <QScrollBar>
#include <QTest>

using namespace varnok;

using TFlags = QList<bool>;  // keepRight, stretchWidth, keepBottom, stretchHeight

class TestMyDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_store.IsValid()); }

    void rulesFollowTheDialogSize_data();
    void rulesFollowTheDialogSize();
    void helpOpensTheFirstFileFound_data();
    void helpOpensTheFirstFileFound();
    void helpCandidatesAtTheRoot();

private:
    TTempStore m_store;
};

void TestMyDialog::rulesFollowTheDialogSize_data()
{
    QTest::addColumn<TFlags>("flags");
    QTest::addColumn<QSize>("growth");
    QTest::addColumn<QRect>("expected");

    // The control starts at 300, 40, 75 x 25 in a 460 x 272 dialog.
    // The single rules are exercised by the settings dialog's own test.
    const QSize wider(100, 0), both(100, 50), smaller(-440, -260);
    QTest::newRow("no rule") << TFlags{false, false, false, false} << both
                             << QRect(300, 40, 75, 25);
    // Keeping the right edge and stretching move the left edge and then the
    // width, each from its own offset.
    QTest::newRow("keep right and stretch width") << TFlags{true, true, false, false} << wider
                                                  << QRect(400, 40, 175, 25);
    QTest::newRow("shrunk below the layout gives empty, not negative, sizes")
        << TFlags{false, true, false, true} << smaller << QRect(300, 40, 0, 0);
}

void TestMyDialog::rulesFollowTheDialogSize()
{
    QFETCH(TFlags, flags);
    QFETCH(QSize, growth);
    QFETCH(QRect, expected);

    TMyDialog dialog(nullptr, "Test", kDefaultStoreKey);
    dialog.SetOuterSize(460, 272);
    QWidget control(&dialog);
    control.setGeometry(300, 40, 75, 25);
    dialog.AddResize(&control, flags[0], flags[1], flags[2], flags[3]);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    dialog.SetOuterSize(460 + growth.width(), 272 + growth.height());
    QCOMPARE(control.geometry(), expected);

    dialog.SetOuterSize(460, 272);
    QCOMPARE(control.geometry().topLeft(), QPoint(300, 40));
}

void TestMyDialog::helpOpensTheFirstFileFound_data()
{
    QTest::addColumn<QStringList>("helpFiles");  // relative to the test folder
    QTest::addColumn<QString>("opened");         // empty: the error
    QTest::addColumn<QKeySequence>("closeKeys");

    QTest::newRow("beside the program") << QStringList{"bin/Quillets.hlp", "Quillets.hlp"}
                                        << "bin/Quillets.hlp" << QKeySequence(Qt::Key_Escape);
    QTest::newRow("in the parent folder") << QStringList{"Quillets.hlp", "share/varnok/Quillets.hlp"}
                                          << "Quillets.hlp" << QKeySequence(Qt::CTRL | Qt::Key_W);
    QTest::newRow("installed") << QStringList{"share/varnok/Quillets.hlp", "bin/share/varnok/Quillets.hlp"}
                               << "share/varnok/Quillets.hlp" << QKeySequence(Qt::Key_Escape);
    QTest::newRow("nowhere") << QStringList{} << QString() << QKeySequence();
}

void TestMyDialog::helpOpensTheFirstFileFound()
{
    QFETCH(QStringList, helpFiles);
    QFETCH(QString, opened);
    QFETCH(QKeySequence, closeKeys);

    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("bin")));
    for (const QString& name : helpFiles) {
        QVERIFY(QDir(folder.path()).mkpath(QFileInfo(name).path()));
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QString page = QStringLiteral("<html><head><title>%1</title></head><body>").arg(name);
        for (int line = 0; line < 200; ++line)
            page += QStringLiteral("<p>line %1</p>").arg(line);
        file.write(page.toUtf8() + "</body></html>");
    }

    TScriptedPrompts prompts;
    ShowHelp(folder.filePath(QStringLiteral("bin/varnok")));

    THelpWindow* window = THelpWindow::Current();
    if (opened.isEmpty()) {
        QCOMPARE(prompts.Asked, QStringList{QStringLiteral("Error: Can't find the help file")});
        QCOMPARE(ApplicationHelpFile(), folder.filePath(QStringLiteral("share/varnok/Quillets.hlp")));
        QVERIFY(FindHelpFile(folder.filePath(QStringLiteral("bin/varnok"))).isEmpty());
        QVERIFY(!window || !window->isVisible());
        return;
    }
    QVERIFY(prompts.Asked.isEmpty());
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->source().toLocalFile(), folder.filePath(opened));
    QCOMPARE(window->windowTitle(), opened);
    QCOMPARE(window->verticalScrollBar()->value(), 0);
    QCOMPARE(ApplicationHelpFile(), folder.filePath(opened));
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, closeKeys[0].key(), closeKeys[0].keyboardModifiers());
    QTRY_VERIFY(!THelpWindow::Current());  // closed, and so deleted
}

void TestMyDialog::helpCandidatesAtTheRoot()
{
    const std::vector<QString> expected{QStringLiteral("/Quillets.hlp"), QStringLiteral("Quillets.hlp"),
                                        QStringLiteral("/share/varnok/Quillets.hlp")};
    QCOMPARE(HelpFileCandidates(QStringLiteral("/varnok")), expected);
}

QTEST_MAIN(TestMyDialog)
#include "tst_mydialog.moc"
