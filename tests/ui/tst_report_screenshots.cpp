// Shows every window of the program, one page at a time, and grabs it. With
// VARNOK_SCREENSHOT_DIR set (tools/screenshots.sh, under a virtual X display)
// each picture is saved there as a PNG; without it this only checks that
// every window and page can be shown.

#include "../forms/TempStore.h"

#include "ScriptedPrompts.h"
#include "UAbout.h"
#include "UChooseDirectory.h"
#include "ULoadConfig.h"
#include "UMyApplication.h"
#include "UMyIniFile.h"
#include "USaveConfig.h"
#include "UVarnokDialog.h"
#include "UVarnokReport.h"
#include "UVarnokWizard.h"
#include "UWildCards.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace varnok;

class TestScreenshots : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void reportWindow();
    void dialogPages();
    void folderChooser();
    void aboutBox();
    void wizardPages();
    void wildCardWindow();
    void configurationWindows();

private:
    void Save(QWidget* window, const QString& name);

    TTempStore m_store;
    QString m_folder;
    std::unique_ptr<TVarnokReport> m_report;
};

void TestScreenshots::initTestCase()
{
    QVERIFY(m_store.IsValid());
    m_folder = qEnvironmentVariable("VARNOK_SCREENSHOT_DIR");
    m_report = std::make_unique<TVarnokReport>(nullptr, kDefaultStoreKey);
}

void TestScreenshots::Save(QWidget* window, const QString& name)
{
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTest::qWait(50);  // let the window paint before it is grabbed
    const QPixmap picture = window->grab();
    QVERIFY(!picture.isNull());
    if (!m_folder.isEmpty())
        QVERIFY(picture.save(m_folder + QLatin1Char('/') + name + QStringLiteral(".png")));
}

void TestScreenshots::reportWindow()
{
    // Two real runs over a small folder, the second without clearing.
    QTemporaryDir work;
    for (const char* name : {"a.txt", "b.txt"}) {
        QFile file(work.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("foo bar foo\n");
    }
    TJobSettings job;
    job.ClearReport = true;
    job.Folders = {work.path().toStdString()};
    job.Masks = {"*.txt"};
    job.ChangeText = {"foo", "baz", "-"};
    TScriptedPrompts prompts;
    prompts.ConfirmAnswers = {true, true};
    m_report->show();
    m_report->RunJob(job);
    job.ClearReport = false;
    m_report->RunJob(job);
    Save(m_report.get(), QStringLiteral("report"));
}

void TestScreenshots::dialogPages()
{
    TVarnokDialog& dialog = m_report->VarnokDialog();
    dialog.show();
    for (int page = 0; page < dialog.notebook->count(); ++page) {
        dialog.notebook->setCurrentIndex(page);
        Save(&dialog, QStringLiteral("dialog-%1-%2").arg(page + 1).arg(dialog.notebook->tabText(page)));
    }
    dialog.hide();
}

void TestScreenshots::folderChooser()
{
    TChooseDirectory* chooser = m_report->VarnokDialog().Chooser();
    chooser->show();
    Save(chooser, QStringLiteral("folder-chooser"));
    chooser->hide();
}

void TestScreenshots::aboutBox()
{
    // The About box is modal: it is grabbed and closed from inside its loop.
    bool grabbed = false;
    QTimer::singleShot(0, this, [&] {
        QTRY_VERIFY(QApplication::activeModalWidget());
        auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        Save(about, QStringLiteral("about"));
        grabbed = true;
        about->done(QDialog::Accepted);
    });
    ShowAbout(QStringLiteral("Varnok Quillet"), QStringLiteral("1.01"));
    QVERIFY(grabbed);
}

void TestScreenshots::wizardPages()
{
    TVarnokWizard wizard(nullptr, kDefaultStoreKey);
    wizard.show();
    for (int page = wizard.FirstPage; page <= wizard.LastPage; ++page) {
        QCOMPARE(wizard.notebook->currentIndex(), page);
        Save(&wizard, QStringLiteral("wizard-%1").arg(page));
        if (page < wizard.LastPage)
            wizard.BtnNextClick();
    }
}

void TestScreenshots::wildCardWindow()
{
    TWildCards window(nullptr);
    window.show();
    Save(&window, QStringLiteral("wildcards"));
}

void TestScreenshots::configurationWindows()
{
    TSaveConfig save(nullptr);
    save.show();
    Save(&save, QStringLiteral("save-configuration"));
    TLoadConfig load(nullptr);
    load.show();
    Save(&load, QStringLiteral("load-configuration"));
}

int main(int argc, char** argv)
{
    TMyApplication application(argc, argv);
    TestScreenshots test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_report_screenshots.moc"
