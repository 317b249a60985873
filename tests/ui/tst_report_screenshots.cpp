// Shows every window of the program, one page at a time, and grabs it. With
// VARNOK_SCREENSHOT_DIR set (tools/screenshots.sh, under a virtual X display)
// each picture is saved there as a PNG; without it this only checks that
// every window and page can be shown. The report window is also taken in a
// dark theme during a run in a folder with a 200-character path; the print
// dialog's proposed file name is checked.

#include "UiTestHelpers.h"

#include "ScriptedPrompts.h"
#include "UAbout.h"
#include "UChooseDirectory.h"
#include "UMyIniFile.h"
#include "ULoadConfig.h"
#include "UMyApplication.h"
#include "USaveConfig.h"
#include "UVarnokDialog.h"
#include "UVarnokReport.h"
#include "UVarnokWizard.h"
#include "UWildCards.h"

#include <QAction>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace varnok;

class TestScreenshots : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_store.IsValid()); }
    void reportAndDialog();
    void otherWindows();
    void darkThemeAndLongPath();

private:
    void Save(QWidget* window, const QString& name);

    TTempStore m_store;
    const QString m_folder = qEnvironmentVariable("VARNOK_SCREENSHOT_DIR");
};

void TestScreenshots::Save(QWidget* window, const QString& name)
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTest::qWait(50);  // let the window paint before it is grabbed
    const QPixmap picture = window->grab();
    QVERIFY(!picture.isNull());
    if (!m_folder.isEmpty())
        QVERIFY(picture.save(m_folder + QLatin1Char('/') + name + QStringLiteral(".png")));
}

void TestScreenshots::reportAndDialog()
{
    // Two real runs over a small folder, the second without clearing.
    QTemporaryDir work;
    for (const char* name : {"a.txt", "b.txt"})
        QVERIFY(WriteAll(work.filePath(QLatin1String(name)), "foo bar foo\n"));
    TJobSettings job;
    job.ClearReport = true;
    job.Folders = {work.path().toStdString()};
    job.Masks = {"*.txt"};
    job.ChangeText = {"foo", "baz", "-"};
    TScriptedPrompts prompts;
    prompts.ConfirmAnswers = {true, true};
    TVarnokReport report(nullptr, kDefaultStoreKey);
    report.show();
    report.RunJob(job);
    job.ClearReport = false;
    report.RunJob(job);
    Save(&report, QStringLiteral("report"));

    TVarnokDialog& dialog = report.VarnokDialog();
    dialog.show();  // it opens on the change list; the pages are chosen after
    for (int page = 0; page < dialog.notebook->count(); ++page) {
        dialog.notebook->setCurrentIndex(page);
        Save(&dialog, QStringLiteral("dialog-%1-%2").arg(page + 1).arg(dialog.notebook->tabText(page)));
    }
    dialog.hide();
    Save(dialog.Chooser(), QStringLiteral("folder-chooser"));
    dialog.Chooser()->hide();
}

void TestScreenshots::otherWindows()
{
    // The About box is modal: it is grabbed and closed from inside its loop.
    bool grabbed = false;
    AnswerModal(this, [&](QDialog* about) {
        Save(about, QStringLiteral("about"));
        grabbed = true;
        about->done(QDialog::Accepted);
    });
    ShowAbout(QStringLiteral("Varnok Quillet"), QStringLiteral("1.01"));
    QVERIFY(grabbed);

    TVarnokWizard wizard(nullptr, kDefaultStoreKey);
    for (int page = wizard.FirstPage; page <= wizard.LastPage; ++page) {
        if (page > wizard.FirstPage)
            wizard.BtnNextClick();
        QCOMPARE(wizard.notebook->currentIndex(), page);
        Save(&wizard, QStringLiteral("wizard-%1").arg(page));
    }
    TWildCards wildCards(nullptr);
    Save(&wildCards, QStringLiteral("wildcards"));
    TSaveConfig save(nullptr);
    Save(&save, QStringLiteral("save-configuration"));
    TLoadConfig load(nullptr);
    Save(&load, QStringLiteral("load-configuration"));
}

void TestScreenshots::darkThemeAndLongPath()
{
    const QPalette light = QApplication::palette();
    QApplication::setPalette(DarkPalette());
    QTemporaryDir work;
    QString folder = work.path();
    while (folder.size() < 200)
        folder += QStringLiteral("/a-folder-with-a-rather-long-name");
    QVERIFY(QDir().mkpath(folder));
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        QVERIFY(WriteAll(folder + QLatin1Char('/') + QLatin1String(name), "foo bar foo\n"));
    TJobSettings job{true, {folder.toStdString()}, false, false, {"foo", "baz", "-"}, {"*.txt"}};
    TScriptedPrompts prompts;
    prompts.ConfirmAnswers = {true};
    TVarnokReport report(nullptr, kDefaultStoreKey);
    report.UpdateInterval = 0;
    connect(report.resultField, &QPlainTextEdit::blockCountChanged, this, [&](int lines) {
        if (lines == 2)  // mid-run, a file's name in the status line
            Save(&report, QStringLiteral("report-longpath"));
    });
    report.show();
    report.RunJob(job);
    Save(&report, QStringLiteral("report-dark"));
    AnswerModal(this, [&](QDialog* about) {
        Save(about, QStringLiteral("about-dark"));
        about->done(QDialog::Accepted);
    });
    report.About1->trigger();
    QApplication::setPalette(light);

    // Qt's own print dialog names the file it proposes after the document.
    TPrompts::SetInstance(nullptr);
    QString proposed;
    AnswerModal(this, [&](QDialog* dialog) {
        proposed = dialog->findChild<QLineEdit*>(QStringLiteral("filename"))->text();
        Save(dialog, QStringLiteral("print"));
        dialog->reject();
    });
    report.Print1->trigger();
    if (QGuiApplication::platformName() == QLatin1String("xcb"))  // elsewhere a folder only
        QVERIFY2(proposed.endsWith(QStringLiteral("/Varnok Report Quillet.pdf")), qPrintable(proposed));
}

int main(int argc, char** argv)
{
    TMyApplication application(argc, argv);
    TestScreenshots test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_report_screenshots.moc"
