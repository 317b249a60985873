// The report window: runs from the dialog (confirmation, separator, Stop,
// errors, closing mid-run), Save As, printing, and a restart restoring what
// the window and the dialog held.

#include "UiTestHelpers.h"

#include "MyComps.h"
#include "ScriptedPrompts.h"
#include "TextUtils.h"
#include "UMyApplication.h"
#include "UVarnokDialog.h"
#include "UVarnokReport.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

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

}  // namespace

class TestReport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_store.IsValid()); }
    void init();
    void cleanup();

    void runFromTheDialog_data();
    void runFromTheDialog();
    void runsWithoutClearReportAreSeparated();
    void stopEndsTheRunEarly();
    void closingStopsTheRunFirst();
    void runErrorIsShownAndEndsTheRun();
    void saveAsWritesTheReport();
    void printsToPdf();
    void restartRestoresPlacementAndValues();

private:
    // Points the dialog at the work folder with one change "foo" -> "bar".
    void PrepareJob(bool clearReport);
    void Run(int dialogResult = TMyForm::ResultOK);
    // Files f00.txt, f01.txt, ... holding "foo" in the work folder.
    QStringList WriteFiles(int count);

    TTempStore m_store;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<TScriptedPrompts> m_prompts;
    std::unique_ptr<TVarnokReport> m_report;
};

void TestReport::init()
{
    m_store.Clear();
    m_work = std::make_unique<QTemporaryDir>();
    m_prompts = std::make_unique<TScriptedPrompts>();
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
    disabledDuringRun.sort();
    QCOMPARE(disabledDuringRun, QStringList({"Dialog1", "LoadConfiguration1", "New1",
                                             "SaveConfiguration1", "Wizard1"}));
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
    // The temporary name of b.txt is taken by a folder: b.txt cannot be written.
    QVERIFY(work.mkdir(QStringLiteral("2/b.$$$")));
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
             QStringLiteral("Error: Cannot create file ") + m_work->filePath(QStringLiteral("2/b.$$$")) +
                 QStringLiteral(": Is a directory"));
    QCOMPARE(ReportLines(*m_report), QStringList{Line(1, good)});
    QCOMPARE(m_report->StatusText(), QStringLiteral("Searching: ") + bad + QStringLiteral(" ..."));
    QCOMPARE(ReadAll(bad), QStringLiteral("foo\n"));
    QVERIFY(!m_report->Running());
    QVERIFY(m_report->Dialog1->isEnabled());
}

void TestReport::saveAsWritesTheReport()
{
    m_report->resultField->setPlainText(QStringLiteral("one\ntwo"));
    const QString file = m_work->filePath(QStringLiteral("report.txt"));
    const QString unwritable = m_work->filePath(QStringLiteral("missing/report.txt"));
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
    m_report->resultField->setPlainText(QStringLiteral("    1     /tmp/a.txt"));
    const QString pdf = m_work->filePath(QStringLiteral("report.pdf"));
    m_prompts->PrintFiles = {std::nullopt, pdf};

    m_report->Print1->trigger();  // cancelled
    QVERIFY(!QFile::exists(pdf));
    m_report->Print1->trigger();
    QVERIFY(ReadAll(pdf).startsWith(QStringLiteral("%PDF")));
    QCOMPARE(m_prompts->Asked, QStringList({"Print: Varnok\\Report Quillet",
                                            "Print: Varnok\\Report Quillet"}));
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

int main(int argc, char** argv)
{
    TMyApplication application(argc, argv);
    TestReport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_report.moc"
