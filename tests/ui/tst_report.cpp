// The report window: runs from the dialog (confirmation, separator, Stop,
// errors, closing mid-run), undoing the last run, Save As, printing, and a
// restart restoring what the window and the dialog held; on a desktop: a dark
// theme, a long path in the status line, the counts, following the run,
// closing while a run fails.

#include "UiTestHelpers.h"

#include "MyComps.h"
#include "ScriptedPrompts.h"
#include "TextUtils.h"
#include "UMyApplication.h"
#include "UVarnokDialog.h"
#include "UVarnokReport.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "../job/ImmutableFile.h"

using namespace varnok;

namespace {

QStringList ReportLines(const TVarnokReport& report)
{
    return report.resultField->toPlainText().split(QLatin1Char('\n'));
}

QString Line(int count, const QString& fileName)
{
    return QString::fromStdString(ReportLine(count, fileName.toStdString()));
}

const QString kDots(62, QLatin1Char('.'));

// A file no one may replace while it lasts: the run's rewrite of it fails.
class TImmutable {
public:
    explicit TImmutable(const QString& name) : m_name(name.toStdString()) { Set(true); }
    ~TImmutable() { Set(false); }
    bool Set(bool on) const { return testing::SetImmutable(m_name, on); }

private:
    std::string m_name;
};

QString RunCounts(const TVarnokReport& report)
{
    const auto* panel = report.findChild<QLabel*>(QStringLiteral("RunCounts"));
    return panel ? panel->text() : QString();
}

// An error box that runs events while it is open, as a real one does.
class TModalPrompts : public TScriptedPrompts {
public:
    std::function<void()> WhileErrorShown = [] {};
    void Error(QWidget* parent, const QString& text) override
    {
        TScriptedPrompts::Error(parent, text);
        QTest::qWait(20);
        WhileErrorShown();
    }
};

}  // namespace

class TestReport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_store.IsValid()); }
    void init();
    void cleanup();

    void runFromTheDialog_data();
    void runFromTheDialog();
    void findingsAreAskedAboutFirst_data();
    void findingsAreAskedAboutFirst();
    void runsWithoutClearReportAreSeparated();
    void tooManyChangesAreRefusedInTheDialog();
    void stopEndsTheRunEarly();
    void closingStopsTheRunFirst();
    void runErrorIsShownAndEndsTheRun();
    void undoLastRunFromTheFileMenu();
    void saveAsWritesTheReport();
    void printsToPdf();
    void restartRestoresPlacementAndValues();
    void runOnADesktop();
    void closingWhileTheRunFailsShowsTheErrorFirst();
    void saveAsPrintAndFont();

private:
    // Points the dialog at the work folder with one change "foo" -> "bar".
    void PrepareJob(bool clearReport);
    void Run(int dialogResult = TMyForm::ResultOK);
    // Files f00.txt, f01.txt, ... holding "foo" in the work folder.
    QStringList WriteFiles(int count);

    TTempStore m_store;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<QTemporaryDir> m_state;  // the run journals
    std::unique_ptr<TModalPrompts> m_prompts;
    std::unique_ptr<TVarnokReport> m_report;
};

void TestReport::init()
{
    m_store.Clear();
    m_work = std::make_unique<QTemporaryDir>();
    m_state = std::make_unique<QTemporaryDir>();
    qputenv("XDG_STATE_HOME", m_state->path().toUtf8());
    m_prompts = std::make_unique<TModalPrompts>();
    m_report = std::make_unique<TVarnokReport>(nullptr, kDefaultStoreKey);
    // Every line on screen at every pump, so that a test can act mid-run.
    m_report->UpdateInterval = 0;
}

void TestReport::cleanup()
{
    m_report.reset();
    m_prompts.reset();
    m_work->setAutoRemove(!QTest::currentTestFailed());
    m_work.reset();
}

void TestReport::PrepareJob(bool clearReport)
{
    TVarnokDialog& dialog = m_report->VarnokDialog();
    dialog.paths->clear();
    dialog.paths->addItem(m_work->path());
    dialog.masks->clear();
    dialog.masks->addItem(QStringLiteral("*.txt"));
    dialog.changes->setPlainText(QStringLiteral("foo\nbar\n-"));
    dialog.clearReport->setChecked(clearReport);
}

void TestReport::Run(int dialogResult)
{
    AnswerModal(this, [dialogResult](QDialog* window) { window->done(dialogResult); });
    m_report->Dialog1->trigger();
}

QStringList TestReport::WriteFiles(int count)
{
    QStringList files;
    for (int i = 0; i < count; ++i) {
        files << m_work->filePath(QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0')));
        WriteAll(files.last(), "foo\n");
    }
    return files;
}

void TestReport::runFromTheDialog_data()
{
    QTest::addColumn<int>("dialogResult");
    QTest::addColumn<bool>("yes");
    QTest::newRow("confirmed with Yes") << int(TMyForm::ResultOK) << true;
    QTest::newRow("confirmation cancelled") << int(TMyForm::ResultOK) << false;
    QTest::newRow("dialog cancelled: not even asked") << int(TMyForm::ResultCancel) << true;
}

void TestReport::runFromTheDialog()
{
    QFETCH(int, dialogResult);
    QFETCH(bool, yes);
    const QString file = m_work->filePath(QStringLiteral("a.txt"));
    WriteAll(file, "foo foo\n");
    PrepareJob(true);
    m_report->resultField->setPlainText(QStringLiteral("earlier"));
    m_prompts->ConfirmAnswers = {yes};

    Run(dialogResult);

    const bool asked = dialogResult == TMyForm::ResultOK;
    QCOMPARE(m_prompts->Asked, asked ? QStringList{"Confirm: Confirm: Are you sure? There's no undo?"}
                                     : QStringList{});
    if (asked && yes) {
        QCOMPARE(ReadAll(file), QStringLiteral("bar bar\n"));
        QCOMPARE(ReportLines(*m_report), QStringList{Line(2, file)});
        QCOMPARE(m_report->StatusText(), QStringLiteral("All Done"));
    } else {
        QCOMPARE(ReadAll(file), QStringLiteral("foo foo\n"));
        QCOMPARE(m_report->resultField->toPlainText(), QStringLiteral("earlier"));
        QCOMPARE(m_report->StatusText(), QString());
    }
    if (asked) {  // the folder box's text went to the top of its history either way
        QCOMPARE(m_report->VarnokDialog().pathEdit->itemText(0),
                 m_report->VarnokDialog().pathEdit->currentText());
    }
}

void TestReport::findingsAreAskedAboutFirst_data()
{
    QTest::addColumn<bool>("runAnyway");
    QTest::addColumn<bool>("preview");
    QTest::newRow("No: back in the dialog") << false << false;
    QTest::newRow("Yes: the designed question follows") << true << false;
    QTest::newRow("the preview's dialog: No") << false << true;
}

void TestReport::findingsAreAskedAboutFirst()
{
    QFETCH(bool, runAnyway);
    QFETCH(bool, preview);
    const QString file = m_work->filePath(QStringLiteral("a.txt"));
    WriteAll(file, "foo\n");
    PrepareJob(true);
    TVarnokDialog& dialog = m_report->VarnokDialog();
    dialog.changes->setPlainText(QStringLiteral("f{o+}1\nb{}2\n-\n+x\ny\n-"));
    m_prompts->WarnAnswers = {runAnyway};
    m_prompts->ConfirmAnswers = {true};

    // OK is clicked; a dialog still open is looked at and cancelled.
    QStringList seen;
    AnswerModal(this, [&](QDialog* window) {
        seen << window->windowTitle() << dialog.OKButton->text();
        dialog.OKButton->click();
        if (window->isVisible()) {
            seen << dialog.changes->textCursor().selectedText()
                 << (dialog.notebook->currentWidget() == dialog.changesTab ? "changes page" : "another page");
            window->done(TMyForm::ResultCancel);
        }
    });
    (preview ? m_report->Preview1 : m_report->Dialog1)->trigger();
    QStringList expectedSeen = preview ? QStringList{"Preview", "Pre&view"} : QStringList{"Varnok Quillet", "&OK"};
    if (!runAnyway)
        expectedSeen << "f{o+}1" << "changes page";
    QCOMPARE(seen, expectedSeen);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Varnok Quillet"));

    QStringList asked = {QStringLiteral(
        "Warn: Change List Check: The change list may not do what you mean:\n\n"
        "Change 1, line 1 \"f{o+}1\": the replacement inserts group 2 (\"{}2\"), but the pattern never "
        "closes it with \"}2\", so nothing is inserted there\n\n"
        "Change 2, line 4 \"+x\": the pattern can never match: it begins with \"+\", which has nothing "
        "before it to repeat\n\nRun anyway?")};
    if (runAnyway)
        asked << QStringLiteral("Confirm: Confirm: Are you sure? There's no undo?");
    QCOMPARE(m_prompts->Asked, asked);
    QCOMPARE(m_prompts->Details, QStringList(runAnyway ? 1 : 0, QStringLiteral("Folder: %1\nSub-folders: searched\n"
                                                                              "Mask: *.txt\nChanges: 2")
                                                                   .arg(m_work->path())));
    QCOMPARE(ReadAll(file), runAnyway ? QStringLiteral("bo\n") : QStringLiteral("foo\n"));  // "+" is shortest first
    QCOMPARE(m_report->StatusText(), runAnyway ? QStringLiteral("All Done") : QString());
}

void TestReport::tooManyChangesAreRefusedInTheDialog()
{
    const QString file = m_work->filePath(QStringLiteral("a.txt"));
    WriteAll(file, "foo\n");
    PrepareJob(true);
    QString changes;
    for (int i = 0; i <= 16000; ++i)
        changes += QStringLiteral("foo\nbar\n-\n");
    m_report->VarnokDialog().changes->setPlainText(changes);
    bool stayedOpen = false;
    AnswerModal(this, [&](QDialog* window) {
        m_report->VarnokDialog().OKButton->click();
        stayedOpen = window->isVisible();
        window->done(TMyForm::ResultCancel);
    });
    m_report->Dialog1->trigger();
    QVERIFY(stayedOpen);
    QCOMPARE(m_prompts->Asked, QStringList{"Error: The change list holds more than 16000 changes"});
    QCOMPARE(ReadAll(file), QStringLiteral("foo\n"));
}

void TestReport::runsWithoutClearReportAreSeparated()
{
    const QString file = m_work->filePath(QStringLiteral("a.txt"));
    WriteAll(file, "foo\n");
    PrepareJob(false);
    m_prompts->ConfirmAnswers = {true, true};

    Run();
    WriteAll(file, "foo foo foo\n");
    m_report->Stop1->trigger();  // between runs: no effect on the next one
    Run();

    QCOMPARE(ReportLines(*m_report), QStringList({"", kDots, "", Line(1, file), "", kDots, "",
                                                  Line(3, file)}));
}

void TestReport::stopEndsTheRunEarly()
{
    const QStringList files = WriteFiles(40);
    PrepareJob(true);
    m_prompts->ConfirmAnswers = {true};

    // After the third report line, Stop is chosen through the event pump,
    // and the commands that would disturb the run are found disabled.
    QStringList disabledDuringRun;
    bool stopSent = false;
    connect(m_report->resultField, &QPlainTextEdit::textChanged, this, [&] {
        if (stopSent || m_report->resultField->blockCount() < 3)
            return;
        stopSent = true;
        for (QAction* action : m_report->findChildren<QAction*>())
            if (!action->isEnabled())
                disabledDuringRun << action->objectName();
        QMetaObject::invokeMethod(m_report->Stop1, &QAction::trigger, Qt::QueuedConnection);
    });

    Run();

    // The file in hand when Stop came is reported unchanged.
    const QStringList lines = ReportLines(*m_report);
    QVERIFY2(lines.size() >= 3 && lines.size() < files.size(), qPrintable(lines.join('|')));
    int changed = 0;
    for (const QString& file : files)
        changed += ReadAll(file) == QStringLiteral("bar\n");
    QCOMPARE(changed, lines.filter(QRegularExpression(QStringLiteral("^ +1 "))).size());
    QVERIFY(changed >= lines.size() - 1);
    QCOMPARE(m_report->StatusText(), QStringLiteral("All Done"));
    QCOMPARE(RunCounts(*m_report), QStringLiteral("%1 files, %2 changed, %2 replacements, stopped")
                                       .arg(lines.size()).arg(changed));
    disabledDuringRun.sort();
    QCOMPARE(disabledDuringRun, QStringList({"Dialog1", "LoadConfiguration1", "New1", "Preview1",
                                             "SaveConfiguration1", "UndoLastRun1", "Wizard1"}));
    QVERIFY(m_report->Dialog1->isEnabled());
    QVERIFY(!m_report->Running());
}

void TestReport::closingStopsTheRunFirst()
{
    WriteFiles(20);
    PrepareJob(true);
    m_prompts->ConfirmAnswers = {true};
    m_report->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_report.get()));

    // The window is closed through the event pump once the walk is under way.
    bool closeSent = false;
    connect(m_report->resultField, &QPlainTextEdit::textChanged, this, [&] {
        if (closeSent || m_report->resultField->toPlainText().isEmpty())
            return;
        closeSent = true;
        QMetaObject::invokeMethod(m_report.get(), &QWidget::close, Qt::QueuedConnection);
    });

    Run();

    QVERIFY(closeSent);
    QVERIFY(m_report->isVisible());
    QVERIFY(ReportLines(*m_report).size() < 20);
    QCOMPARE(m_report->StatusText(), QStringLiteral("All Done"));
    QTRY_VERIFY(!m_report->isVisible());
}

void TestReport::runErrorIsShownAndEndsTheRun()
{
    QDir work(m_work->path());
    QVERIFY(work.mkdir(QStringLiteral("1")) && work.mkdir(QStringLiteral("2")));
    const QString good = m_work->filePath(QStringLiteral("1/a.txt"));
    const QString bad = m_work->filePath(QStringLiteral("2/b.txt"));
    WriteAll(good, "foo\n");
    WriteAll(bad, "foo\n");
    const TImmutable immutable(bad);
    QVERIFY2(immutable.Set(true), "needs CAP_LINUX_IMMUTABLE");
    PrepareJob(true);
    m_report->VarnokDialog().paths->clear();
    m_report->VarnokDialog().paths->addItems({m_work->filePath(QStringLiteral("1")),
                                              m_work->filePath(QStringLiteral("2"))});
    // What the run did before the error is on screen however spaced the updates.
    m_report->UpdateInterval = 60000;
    m_prompts->ConfirmAnswers = {true};

    AnswerModal(this, [](QDialog* window) { window->done(TMyForm::ResultOK); });
    QMetaObject::invokeMethod(m_report->Dialog1, &QAction::trigger, Qt::QueuedConnection);
    QTRY_COMPARE(m_prompts->Asked.size(), 2);

    QCOMPARE(m_prompts->Asked.at(1),
             QStringLiteral("Error: Cannot create file ") + bad + QStringLiteral(": Operation not permitted"));
    QCOMPARE(ReportLines(*m_report), QStringList{Line(1, good)});
    QCOMPARE(m_report->StatusText(), QStringLiteral("Searching: ") + bad + QStringLiteral(" ..."));
    QCOMPARE(ReadAll(bad), QStringLiteral("foo\n"));
    QCOMPARE(RunCounts(*m_report), QStringLiteral("1 file, 1 changed, 1 replacement"));
    QVERIFY(!m_report->Running());
    QVERIFY(m_report->Dialog1->isEnabled());
}

void TestReport::undoLastRunFromTheFileMenu()
{
    QCOMPARE(m_report->File1->actions().indexOf(m_report->UndoLastRun1),
             m_report->File1->actions().indexOf(m_report->SaveAs1) + 1);
    QVERIFY(!m_report->UndoLastRun1->isEnabled());  // nothing to undo yet
    const QStringList files = WriteFiles(4);
    PrepareJob(false);
    m_prompts->ConfirmAnswers = {true, false, true, true};
    Run();
    QVERIFY(m_report->UndoLastRun1->isEnabled());
    WriteAll(files[3], "edited\n");

    m_report->UndoLastRun1->trigger();  // declined
    QCOMPARE(ReadAll(files[0]), QStringLiteral("bar\n"));
    const QRegularExpression question(QStringLiteral("^Confirm: Confirm: Undo the run of \\d+ \\w+ \\d{4} \\d\\d:\\d\\d in ")
                                      + QRegularExpression::escape(m_work->path())
                                      + QStringLiteral(" \\(foo \u2192 bar\\): restore 4 files\\?$"));
    QVERIFY2(question.match(m_prompts->Asked.last()).hasMatch(), qPrintable(m_prompts->Asked.last()));

    // Stopped after its first line, while the commands that would disturb it are disabled.
    bool disabled = false, stopSent = false;
    const auto connection = connect(m_report->resultField, &QPlainTextEdit::textChanged, this, [&] {
        if (stopSent || !ReportLines(*m_report).last().startsWith(QStringLiteral("Restored")))
            return;
        stopSent = true;
        disabled = !m_report->UndoLastRun1->isEnabled() && !m_report->Dialog1->isEnabled();
        QMetaObject::invokeMethod(m_report->Stop1, &QAction::trigger, Qt::QueuedConnection);
    });
    m_report->UndoLastRun1->trigger();
    disconnect(connection);
    QVERIFY(disabled);
    QCOMPARE(m_report->StatusText(), QStringLiteral("All Done"));
    const int stoppedAt = ReportLines(*m_report).size();
    QVERIFY(m_report->UndoLastRun1->isEnabled());  // not undone yet

    // The next undo finishes the job; the edited file is kept with its backup.
    m_report->UndoLastRun1->trigger();
    QStringList undone = ReportLines(*m_report).mid(stoppedAt + 3);
    undone.sort();
    QStringList expected;
    for (int i = 0; i < 3; ++i)
        expected << QStringLiteral("Restored   ") + files[i];
    expected.prepend(QStringLiteral("Kept       ") + files[3] + QStringLiteral(": changed since the run"));
    QCOMPARE(undone, expected);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(ReadAll(files[i]), QStringLiteral("foo\n"));
    QCOMPARE(ReadAll(files[3]), QStringLiteral("edited\n"));
    QCOMPARE(ReadAll(m_work->filePath(QStringLiteral("f03.BAK"))), QStringLiteral("foo\n"));
    QVERIFY(!QFile::exists(m_work->filePath(QStringLiteral("f00.BAK"))));
    QCOMPARE(m_report->StatusText(), QStringLiteral("All Done"));
    QVERIFY(m_report->UndoLastRun1->isEnabled());  // not undone while a file is kept
    QVERIFY(!m_report->Running());
}

void TestReport::saveAsWritesTheReport()
{
    m_report->resultField->setPlainText(QStringLiteral("one\ntwo"));
    const QString file = m_work->filePath(QStringLiteral("report.txt"));
    // One missing folder is made, a longer missing path is not.
    const QString unwritable = m_work->filePath(QStringLiteral("missing/deeper/report.txt"));
    m_prompts->FileNames = {file, std::nullopt, unwritable};

    m_report->SaveAs1->trigger();
    QCOMPARE(ReadAll(file), QStringLiteral("one\r\ntwo\r\n"));
    QFile::remove(file);
    m_report->SaveAs1->trigger();  // cancelled
    QVERIFY(!QFile::exists(file));
    m_report->SaveAs1->trigger();
    QCOMPARE(m_prompts->Asked, QStringList({"Save: Varnok/Report.txt", "Save: Varnok/Report.txt",
                                            "Save: Varnok/Report.txt",
                                            "Error: Cannot create file " + unwritable}));
}

void TestReport::printsToPdf()
{
    // A line without a blank, far wider than a page: cut at the edge it would take one page.
    m_report->resultField->setPlainText("    1     " + QStringLiteral("/a-rather-long-folder-name").repeated(800));
    const QString pdf = m_work->filePath(QStringLiteral("report.pdf"));
    const QString again = m_work->filePath(QStringLiteral("again.pdf"));
    m_prompts->PrintFiles = {std::nullopt, pdf, again};

    m_report->Print1->trigger();  // cancelled
    QVERIFY(!QFile::exists(pdf));
    m_report->Print1->trigger();
    QVERIFY(ReadAll(pdf).startsWith(QStringLiteral("%PDF")));
    QVERIFY(ReadAll(pdf).count(QStringLiteral("/Type /Page\n")) > 1);
    // The print dialog proposes the file printed to last, also after a restart.
    m_report->Print1->trigger();
    m_report->FormDestroy();
    m_report = std::make_unique<TVarnokReport>(nullptr, kDefaultStoreKey);
    m_report->Print1->trigger();
    const QString print = QStringLiteral("Print: Varnok\\Report Quillet");
    QCOMPARE(m_prompts->Asked, QStringList({print, print, print + " to " + pdf, print + " to " + again}));
}

void TestReport::restartRestoresPlacementAndValues()
{
    QFont font(QStringLiteral("DejaVu Sans Mono"), 12);
    font.setItalic(true);
    m_report->SetOuterPosition(30, 40);
    m_report->SetOuterSize(500, 320);
    m_report->resultField->setPlainText(QStringLiteral("line one\nline two"));
    m_report->SetReportFont(font);
    // A dialog value left behind by Cancel is saved like any other.
    m_report->VarnokDialog().clearReport->setChecked(false);
    m_report->FormDestroy();
    m_report.reset();

    m_report = std::make_unique<TVarnokReport>(nullptr, kDefaultStoreKey);
    QCOMPARE(m_report->OuterGeometry(), QRect(30, 40, 500, 320));
    QCOMPARE(m_report->resultField->toPlainText(), QStringLiteral("line one\nline two"));
    QCOMPARE(m_report->resultField->font().family(), font.family());
    QCOMPARE(m_report->resultField->font().pointSize(), 12);
    QVERIFY(m_report->resultField->font().italic());
    QCOMPARE(m_report->ReportFontDialog(), m_report->resultField->font());
    QCOMPARE(m_report->Version, 1);
    QVERIFY(!m_report->VarnokDialog().clearReport->isChecked());
}

void TestReport::runOnADesktop()
{
    const QPalette light = QApplication::palette();
    QApplication::setPalette(DarkPalette());
    QString folder = m_work->path();
    while (folder.size() < 200)
        folder += QStringLiteral("/a-folder-with-a-rather-long-name");
    QVERIFY(QDir().mkpath(folder));
    for (int i = 0; i < 40; ++i)
        WriteAll(folder + QStringLiteral("/f%1.txt").arg(i), "foo foo\n");
    PrepareJob(true);
    m_report->VarnokDialog().paths->clear();
    m_report->VarnokDialog().paths->addItem(folder);
    m_prompts->ConfirmAnswers = {true, true, true};
    m_report->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_report.get()));
    const int width = m_report->width();
    const auto* status = m_report->findChild<QLabel*>(QStringLiteral("StatusText"));

    // Mid-run: the file's long name never widens the window; the counts follow.
    // Lines come as their files' rewrites are done, a few at a time.
    QStringList midRun;
    int linesMidRun = 0;
    connect(m_report->resultField, &QPlainTextEdit::textChanged, this, [&] {
        const int lines = m_report->resultField->blockCount();
        if (m_report->Running() && lines >= 3 && lines < 40 && midRun.isEmpty()) {
            linesMidRun = lines;
            midRun << status->toolTip().left(12 + folder.size()) << RunCounts(*m_report);
            QCOMPARE(m_report->width(), width);
            QVERIFY(status->fontMetrics().horizontalAdvance(status->text()) <= status->contentsRect().width());
        }
    });
    Run();
    QCOMPARE(midRun, QStringList({"Searching: " + folder + "/",
                                  QStringLiteral("%1 files, %1 changed, %2 replacements")
                                      .arg(linesMidRun).arg(2 * linesMidRun)}));
    QCOMPARE(RunCounts(*m_report), QStringLiteral("40 files, 40 changed, 80 replacements"));

    // The report follows the run, from its first lines on, unless scrolled up.
    QScrollBar* bar = m_report->resultField->verticalScrollBar();
    m_report->UpdateInterval = 60000;  // every line at once, at the end
    Run();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    bar->setValue(3);
    m_report->VarnokDialog().clearReport->setChecked(false);
    Run();
    QCOMPARE(bar->value(), 3);

    // Colours of the theme; Stop in the window's own menu bar; Escape closes nothing.
    QColor aboutText;
    AnswerModal(this, [&](QDialog* box) {
        aboutText = box->palette().color(QPalette::WindowText);
        box->done(QDialog::Accepted);
    });
    m_report->About1->trigger();
    QApplication::setPalette(light);
    QCOMPARE(aboutText, DarkPalette().color(QPalette::WindowText));
    QCOMPARE(m_report->resultField->palette().color(QPalette::Text), DarkPalette().color(QPalette::Text));
    QVERIFY(!m_report->MainMenu1->isNativeMenuBar());
    QTest::keyClick(m_report->resultField, Qt::Key_Escape);
    QVERIFY(m_report->isVisible());
}

void TestReport::closingWhileTheRunFailsShowsTheErrorFirst()
{
    // b.txt cannot be written: it is immutable.
    const QString file = m_work->filePath(QStringLiteral("b.txt"));
    WriteAll(file, "foo\n");
    const TImmutable immutable(file);
    QVERIFY2(immutable.Set(true), "needs CAP_LINUX_IMMUTABLE");
    PrepareJob(true);
    m_prompts->ConfirmAnswers = {true};
    m_report->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_report.get()));
    // Closed at the second pump on b.txt, after the last test of the stop
    // flag: the run stops, but only after b.txt failed.
    int pumps = 0;
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, this, [&] {
        if (m_report->Running() && m_report->StatusText().contains(file) && ++pumps == 2)
            m_report->close();
    });
    bool visibleWhileErrorShown = false;
    m_prompts->WhileErrorShown = [&] { visibleWhileErrorShown = m_report->isVisible(); };

    AnswerModal(this, [](QDialog* window) { window->done(TMyForm::ResultOK); });
    QMetaObject::invokeMethod(m_report->Dialog1, &QAction::trigger, Qt::QueuedConnection);
    QTRY_COMPARE(m_prompts->Asked.size(), 2);
    QVERIFY(m_prompts->Asked.at(1).startsWith(QStringLiteral("Error: Cannot create file ")));
    QVERIFY(visibleWhileErrorShown);
    QTRY_VERIFY(!m_report->isVisible());
}

void TestReport::saveAsPrintAndFont()
{
    // The proposed name's folder is made; an existing file is replaced only
    // when the user says so.
    const QString file = m_work->filePath(QStringLiteral("Varnok/Report.txt"));
    m_prompts->FileNames = {file, file, file};
    m_prompts->ConfirmAnswers = {false, true};
    m_report->resultField->setPlainText(QStringLiteral("one"));
    m_report->SaveAs1->trigger();
    m_report->resultField->setPlainText(QStringLiteral("two"));
    m_report->SaveAs1->trigger();
    QCOMPARE(ReadAll(file), QStringLiteral("one\r\n"));
    m_report->SaveAs1->trigger();
    QCOMPARE(ReadAll(file), QStringLiteral("two\r\n"));
    // A print that fails says so.
    const QString pdf = m_work->filePath(QStringLiteral("missing/deeper/report.pdf"));
    m_prompts->PrintFiles = {pdf};
    m_report->Print1->trigger();
    // The font dialog opens on the font on screen, not on a missing one.
    m_report->Font1->trigger();

    const QString save = QStringLiteral("Save: Varnok/Report.txt");
    const QString replace = "Confirm: Confirm: " + file + " already exists.\nDo you want to replace it?";
    QCOMPARE(m_prompts->Asked, QStringList({save, save, replace, save, replace, "Print: Varnok\\Report Quillet",
                                            "Error: Cannot create file " + pdf,
                                            "Font: " + QFontInfo(m_report->resultField->font()).family()}));
}

int main(int argc, char** argv)
{
    TMyApplication application(argc, argv);
    TestReport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_report.moc"
