// Shows every window of the program, one page at a time, and grabs it. With
// VARNOK_SCREENSHOT_DIR set (tools/screenshots.sh, under a virtual X display)
// each picture is saved there as a PNG; without it this only checks that
// every window and page can be shown. The report window is also taken in a
// dark theme during a run in a folder with a 200-character path; the print
// dialog's proposed file name is checked. The run history is taken with three
// runs, one of them undone, and with the undo's question over it. The preview
// is sorted by count, with a name shortened in its middle. A first start is
// taken too: the question about a configuration with nothing stored, and the
// empty report window with its hint.

#include "UiTestHelpers.h"

#include "ScriptedPrompts.h"
#include "StartConfiguration.h"
#include "UAbout.h"
#include "UChooseDirectory.h"
#include "UMyIniFile.h"
#include "ULoadConfig.h"
#include "UMyApplication.h"
#include "URunHistory.h"
#include "USaveConfig.h"
#include "Preview.h"
#include "UVarnokDialog.h"
#include "UVarnokPreview.h"
#include "UVarnokReport.h"
#include "UVarnokWizard.h"
#include "UWildCards.h"

#include <QAction>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace varnok;

namespace {

// A run's host with no window: the preview's files are made without one.
class TQuietHost : public TRunHost {
public:
    bool RunDespite(const std::vector<std::string>&) override { return true; }
    bool Confirm(const std::string&, const std::string&, const std::string&) override { return true; }
    void ClearReport() override {}
    void AppendReportLine(const std::string&) override {}
    void SetStatusText(const std::string&) override {}
    void ProcessEvents() override {}
};

}  // namespace

class TestScreenshots : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_store.IsValid()); }
    void firstStart();
    void reportAndDialog();
    void reportAfterUndo();
    void otherWindows();
    void changeListCheck();
    void confirmation();
    void previewInLightAndDarkPalettes();
    void previewOfRenames();
    void darkThemeAndLongPath();
    void runHistory();

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

// The question before anything else when the configuration named at the
// start is not stored (Cancel quits, writing nothing); then the empty report
// window of a first start, with its hint.
void TestScreenshots::firstStart()
{
    m_store.Clear();
    bool grabbed = false;
    AnswerModal(this, [&](QDialog* box) {
        Save(box, QStringLiteral("start-unknown-configuration"));
        grabbed = true;
        QTest::keyClick(box, Qt::Key_Escape);
    });
    QVERIFY(!ChooseStartConfiguration({"NoSuchConfig"}));
    QVERIFY(grabbed);
    QVERIFY(QDir(m_store.Path()).isEmpty());
    TVarnokReport report(nullptr, kDefaultStoreKey);
    Save(&report, QStringLiteral("report-first-start"));
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

void TestScreenshots::reportAfterUndo()
{
    // A run from the dialog, one file edited by hand, then File > Undo Last Run...
    QTemporaryDir work, state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        QVERIFY(WriteAll(work.filePath(QLatin1String(name)), "foo bar foo\n"));
    TScriptedPrompts prompts;
    prompts.ConfirmAnswers = {true, true};
    TVarnokReport report(nullptr, kDefaultStoreKey);
    TVarnokDialog& dialog = report.VarnokDialog();
    dialog.paths->clear();
    dialog.paths->addItem(work.path());
    dialog.masks->clear();
    dialog.masks->addItem(QStringLiteral("*.txt"));
    dialog.changes->setPlainText(QStringLiteral("foo\nbaz\n-"));
    dialog.clearReport->setChecked(false);
    report.show();
    AnswerModal(this, [](QDialog* window) { window->done(TMyForm::ResultOK); });
    report.Dialog1->trigger();
    QVERIFY(WriteAll(work.filePath(QStringLiteral("b.txt")), "edited by hand\n"));
    QVERIFY(report.UndoLastRun1->isEnabled());
    report.UndoLastRun1->trigger();
    QCOMPARE(prompts.Asked.size(), 2);
    QCOMPARE(report.StatusText(), QStringLiteral("All Done"));
    report.resize(620, report.height());  // the kept file's reason in full
    Save(&report, QStringLiteral("report-after-undo"));
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

// The box of the change-list check, as the program shows it (no scripted
// prompts): a list with the mistakes it finds, then one with no change at all.
// Escape picks No, and nothing runs.
void TestScreenshots::changeListCheck()
{
    QTemporaryDir work;
    const QString file = work.filePath(QStringLiteral("a.txt"));
    QVERIFY(WriteAll(file, "old_name(x);\n"));
    TJobSettings job;
    job.Folders = {work.path().toStdString()};
    job.Masks = {"*.txt"};
    TVarnokReport report(nullptr, kDefaultStoreKey);
    report.show();
    const std::vector<std::string> lists[] = {
        {"old_name({*}1)", "new_name({}2)", "--", "// TODO*$", "// DONE", "--", "OLD_NAME", "NEW_NAME",
         "size_t {@+}1;", "size_type {}1;", "--", "count({*}1)", "total({}1)"},
        {},
    };
    const char* names[] = {"change-list-check", "change-list-check-empty"};
    for (int i = 0; i < 2; ++i) {
        const char* name = names[i];
        job.ChangeText = lists[i];
        bool grabbed = false;
        AnswerModal(this, [&](QDialog* box) {
            Save(box, QLatin1String(name));
            grabbed = true;
            QTest::keyClick(box, Qt::Key_Escape);
        });
        report.RunJob(job);
        QVERIFY(grabbed);
    }
    QCOMPARE(ReadAll(file), QStringLiteral("old_name(x);\n"));
    QCOMPARE(report.StatusText(), QString());
}

// The question after OK, with what the run would touch beside it.
void TestScreenshots::confirmation()
{
    QTemporaryDir work;
    QVERIFY(WriteAll(work.filePath(QStringLiteral("a.txt")), "old_name(x);\n"));
    TJobSettings job;
    job.Folders = {work.path().toStdString(), QDir::tempPath().toStdString()};
    job.Recurse = true;
    job.Masks = {"*.c", "*.h", "*.txt"};
    job.Exclusions = {"build", "node_modules"};
    job.GitIgnore = job.KeepCase = true;
    job.ChangeText = {"old_name", "new_name", "--", "OLD_LIMIT", "NEW_LIMIT"};
    TVarnokReport report(nullptr, kDefaultStoreKey);
    report.show();
    bool grabbed = false;
    AnswerModal(this, [&](QDialog* box) {
        Save(box, QStringLiteral("confirmation"));
        grabbed = true;
        QTest::keyClick(box, Qt::Key_Escape);
    });
    report.RunJob(job);
    QVERIFY(grabbed);
}

void TestScreenshots::previewInLightAndDarkPalettes()
{
    QTemporaryDir work;
    QByteArray source = "#include <stdio.h>\n\nint main(void)\n{\n";
    for (int i = 1; i <= 12; ++i)
        source += "    int v" + QByteArray::number(i) + (i % 5 == 1 ? " = foo(v, " : " = baz(v, ")
                  + QByteArray::number(i) + ");\n";
    source += "    return foo(0);\n}\n";
    // A name too long for its column, shortened in its middle.
    const QString deep =
        work.filePath(QStringLiteral("projects/a-folder-with-a-rather-long-name/and-one-more-below-it/src"));
    QVERIFY(QDir().mkpath(deep));
    QVERIFY(WriteAll(deep + QStringLiteral("/main.c"), source));
    QVERIFY(WriteAll(work.filePath(QStringLiteral("notes.txt")), "call foo(x) first\r\nthen foo(y)\r\n"));
    QVERIFY(WriteAll(work.filePath(QStringLiteral("todo.txt")), QByteArray("foo(a) ").repeated(6)));
    QVERIFY(WriteAll(work.filePath(QStringLiteral("other.txt")), "nothing to change\n"));
    TJobSettings job;
    job.Recurse = true;
    job.Folders = {work.path().toStdString()};
    job.Masks = {"*.c", "*.txt"};
    job.ChangeText = {"foo({*}1)", "bar({}1)", "--"};
    TQuietHost host;
    const TPreview files = PreviewJob(job, host);
    QCOMPARE(files.Files.size(), std::size_t(3));

    TVarnokPreview preview(nullptr, kDefaultStoreKey);
    preview.SetPreview(job, files);
    // Sorted as a click on "Replacements" sorts it, most first; the long name selected.
    preview.fileList->sortByColumn(1, Qt::DescendingOrder);
    preview.fileList->setCurrentItem(preview.fileList->topLevelItem(1));
    preview.fileList->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
    QVERIFY(preview.diffView->toPlainText().startsWith(QStringLiteral("--- ")));
    Save(&preview, QStringLiteral("preview-light"));

    const QPalette light = QApplication::palette();
    QApplication::setPalette(DarkPalette());
    Save(&preview, QStringLiteral("preview-dark"));
    QApplication::setPalette(light);
}

void TestScreenshots::previewOfRenames()
{
    // A class renamed in its contents and in the names of its files and folder.
    QTemporaryDir work;
    QVERIFY(QDir().mkpath(work.filePath(QStringLiteral("old-name"))));
    const std::pair<const char*, const char*> files[] = {
        {"old_name.py", "OLD_NAME_LIMIT = 10\n\nclass OldName:\n    def old_name_size(self):\n        return 0\n"},
        {"OldNameTest.java", "class OldNameTest {\n    OldName oldName = new OldName();\n}\n"},
        {"old-name/util.py", "from old_name import OldName\n"},
        {"bold_names.txt", "bold_names stay as they are\n"}};
    for (const auto& [name, text] : files)
        QVERIFY(WriteAll(work.filePath(QLatin1String(name)), text));
    TJobSettings job;
    job.Recurse = true;
    job.KeepCase = true;
    job.RenameNames = true;
    job.Folders = {work.path().toStdString()};
    job.Masks = {"*.*"};
    job.ChangeText = {"old_name", "new_name", "--"};
    TQuietHost host;
    const TPreview found = PreviewJob(job, host);
    QCOMPARE(found.Renames.size(), std::size_t(3));

    TVarnokPreview preview(nullptr, kDefaultStoreKey);
    preview.SetPreview(job, found);
    const QList<QTreeWidgetItem*> source = preview.fileList->findItems(QStringLiteral("old_name.py"), Qt::MatchEndsWith);
    QVERIFY(!source.isEmpty());
    preview.fileList->setCurrentItem(source.first());
    QTRY_VERIFY2(preview.diffView->toPlainText().contains(QStringLiteral("+class NewName:")),
                 qPrintable(preview.diffView->toPlainText()));
    Save(&preview, QStringLiteral("preview-renames"));
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
    TJobSettings job;
    job.ClearReport = true;
    job.Folders = {folder.toStdString()};
    job.ChangeText = {"foo", "baz", "-"};
    job.Masks = {"*.txt"};
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

void TestScreenshots::runHistory()
{
    QTemporaryDir work, state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    const QString src = work.filePath(QStringLiteral("src")), docs = work.filePath(QStringLiteral("docs"));
    QVERIFY(QDir().mkpath(src) && QDir().mkpath(docs));
    QVERIFY(WriteAll(src + QStringLiteral("/main.c"), "int old_name(void); /* 2025 */\n"));
    QVERIFY(WriteAll(src + QStringLiteral("/util.c"), "OLD_NAME(2025);\n"));
    QVERIFY(WriteAll(docs + QStringLiteral("/guide.txt"), "The colour of 2025.\n"));
    TVarnokReport report(nullptr, kDefaultStoreKey);
    TRunHistory& history = *report.History;
    report.show();
    {
        TScriptedPrompts prompts;
        prompts.ConfirmAnswers = {true, true, true, true};
        TJobSettings job;
        job.ClearReport = true;
        job.Folders = {src.toStdString(), docs.toStdString()};
        job.Masks = {"*.c", "*.txt"};
        job.ChangeText = {"old_name", "new_name", "-", "OLD_NAME", "NEW_NAME", "-",
                          "oldName",  "newName",  "-", "old-name", "new-name", "-"};
        report.RunJob(job);
        job.Folders = {docs.toStdString()};
        job.Masks = {"*.txt"};
        job.ChangeText = {"colour", "color", "-"};
        report.RunJob(job);
        job.Folders = {src.toStdString()};
        job.Masks = {"*.c"};
        job.ChangeText = {"2025", "2026", "-"};
        report.RunJob(job);
        report.RunHistory1->trigger();
        QCOMPARE(history.runList->topLevelItemCount(), 3);
        history.runList->setCurrentItem(history.runList->topLevelItem(1));
        history.BtnUndo->click();
        QCOMPARE(ReadAll(docs + QStringLiteral("/guide.txt")), QStringLiteral("The colour of 2025.\n"));
    }
    history.runList->setCurrentItem(history.runList->topLevelItem(0));
    Save(&history, QStringLiteral("run-history"));

    // The question as the program shows it; Cancel leaves the run as it is.
    QString question;
    AnswerModal(this, [&](QDialog* box) {
        Save(box, QStringLiteral("undo-question"));
        if (auto* message = qobject_cast<QMessageBox*>(box))
            question = message->text();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    history.BtnUndo->click();
    QVERIFY2(question.startsWith(QStringLiteral("Undo the run of ")), qPrintable(question));
    QVERIFY2(question.endsWith(QStringLiteral(": restore 2 files?")), qPrintable(question));
    QCOMPARE(ReadAll(src + QStringLiteral("/main.c")), QStringLiteral("int new_name(void); /* 2026 */\n"));
    QCOMPARE(history.runList->topLevelItem(0)->text(TRunHistory::ColumnState), QStringLiteral("not undone"));
}

int main(int argc, char** argv)
{
    TMyApplication application(argc, argv);
    TestScreenshots test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_report_screenshots.moc"
