// The report window: first start, menu, runs from the dialog (confirmation,
// separator, stop, errors, closing mid-run), Save As, printing, the font,
// and a restart restoring what the window and the dialog held.

#include "../forms/TempStore.h"

#include "MyComps.h"
#include "ScriptedPrompts.h"
#include "TextUtils.h"
#include "UMyApplication.h"
#include "UMyIniFile.h"
#include "ULoadConfig.h"
#include "UMyWizard.h"
#include "USaveConfig.h"
#include "UVarnokDialog.h"
#include "UVarnokReport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace varnok;

namespace {

// Hands the next modal window to `answer` as soon as it shows.
void AnswerModal(QObject* context, std::function<void(QDialog*)> answer)
{
    auto* timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, context, [timer, answer] {
        if (auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            timer->deleteLater();
            answer(window);
        }
    });
    timer->start(5);
}

// Closes the next modal window with `result` as soon as it shows.
void CloseWhenShown(QObject* context, int result)
{
    AnswerModal(context, [result](QDialog* window) { window->done(result); });
}

QString ReadAll(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void WriteAll(const QString& fileName, const QByteArray& bytes)
{
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

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

    void firstStartHasTheDesign();
    void menuItems_data();
    void menuItems();
    void menuBarHoldsStopItself();
    void escapeLeavesTheWindowOpen();
    void runAsksFirst_data();
    void runAsksFirst();
    void cancelInTheDialogStartsNothing();
    void runsWithoutClearReportAreSeparated();
    void spacedUpdatesShowEveryLineAtTheEnd();
    void stopEndsTheRunEarly();
    void closingStopsTheRunFirst();
    void runErrorIsShownAndEndsTheRun();
    void saveAsWritesTheReport();
    void printsToPdf();
    void fontDialogSetsTheReportFont();
    void restartRestoresPlacementAndValues();
    void dialogOpensAtStartUpOnly();
    void namedConfigurationTakesLaterSaves();

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
    CloseWhenShown(this, dialogResult);
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

void TestReport::firstStartHasTheDesign()
{
    QCOMPARE(m_report->windowTitle(), QStringLiteral("Varnok Report"));
    QCOMPARE(m_report->OuterGeometry(), QRect(157, 87, 435, 300));
    QCOMPARE(m_report->StateNumber(), 0);
    QCOMPARE(m_report->Position(), 0);
    QCOMPARE(m_report->Section(), std::string("Varnok\\Report"));
    QVERIFY(m_report->resultField->toPlainText().isEmpty());
    QCOMPARE(m_report->resultField->font().family(), QStringLiteral("Courier New"));
    QCOMPARE(m_report->resultField->font().pointSize(), 10);
    QCOMPARE(m_report->ReportFontDialog(), m_report->resultField->font());
    QCOMPARE(m_report->Version, 0);
    QCOMPARE(m_report->Dialog->Section(), std::string("Varnok\\Dialog"));
    QCOMPARE(m_report->Wizard->Section(), std::string("Varnok\\Wizard"));
    QCOMPARE(m_report->resultField->lineWrapMode(), QPlainTextEdit::NoWrap);
}

void TestReport::menuItems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<bool>("enabled");

    const QKeySequence none;
    const struct {
        const char* name;
        const char* caption;
        QKeySequence shortcut;
        bool enabled;
    } rows[] = {
        {"New1", "&New", none, true},
        {"SaveAs1", "Save &As...", none, true},
        {"Dialog1", "&Dialog...", QKeySequence(Qt::Key_F5), true},
        {"Wizard1", "&Wizard...", QKeySequence(Qt::Key_F6), false},
        {"SetupPrinter1", "Setup Printer...", none, true},
        {"Print1", "&Print...", none, true},
        {"LoadConfiguration1", "Load Configuration...", none, true},
        {"SaveConfiguration1", "Save Configuration...", none, true},
        {"Exit1", "E&xit", none, true},
        {"Cut1", "Cut", QKeySequence(Qt::CTRL | Qt::Key_X), true},
        {"Copy1", "Copy", QKeySequence(Qt::CTRL | Qt::Key_C), true},
        {"Paste1", "Paste", QKeySequence(Qt::CTRL | Qt::Key_V), true},
        {"Font1", "&Font...", none, true},
        {"Stop1", "&Stop", none, true},
        {"Help2", "&Help", QKeySequence(Qt::Key_F1), true},
        {"About1", "&About...", none, true},
    };
    for (const auto& row : rows)
        QTest::newRow(row.name) << row.name << row.caption << row.shortcut << row.enabled;
}

void TestReport::menuItems()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QKeySequence, shortcut);
    QFETCH(bool, enabled);

    const auto* action = m_report->findChild<QAction*>(name);
    QVERIFY(action);
    QCOMPARE(action->text(), caption);
    QCOMPARE(action->shortcut(), shortcut);
    QCOMPARE(action->isEnabled(), enabled);
}

void TestReport::menuBarHoldsStopItself()
{
    QStringList bar;
    for (const QAction* action : m_report->MainMenu1->actions())
        bar << action->text() + (action->menu() ? QStringLiteral(" >") : QString());
    QCOMPARE(bar, QStringList({"&File >", "&Edit >", "&Stop", "&Help >"}));

    QStringList file;
    for (const QAction* action : m_report->File1->actions())
        file << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
    QCOMPARE(file, QStringList({"New1", "SaveAs1", "-", "Dialog1", "Wizard1", "-",
                                "SetupPrinter1", "Print1", "-", "LoadConfiguration1",
                                "SaveConfiguration1", "-", "Exit1"}));
}

void TestReport::escapeLeavesTheWindowOpen()
{
    m_report->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_report.get()));
    QTest::keyClick(m_report->resultField, Qt::Key_Escape);
    QVERIFY(m_report->isVisible());
}

void TestReport::runAsksFirst_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes runs") << true;
    QTest::newRow("Cancel changes nothing") << false;
}

void TestReport::runAsksFirst()
{
    QFETCH(bool, yes);
    const QString file = m_work->filePath(QStringLiteral("a.txt"));
    WriteAll(file, "foo foo\n");
    PrepareJob(true);
    m_report->resultField->setPlainText(QStringLiteral("earlier"));
    m_prompts->ConfirmAnswers = {yes};

    Run();

    QCOMPARE(m_prompts->Asked,
             QStringList{QStringLiteral("Confirm: Confirm: Are you sure? There's no undo?")});
    if (yes) {
        QCOMPARE(ReadAll(file), QStringLiteral("bar bar\n"));
        QCOMPARE(ReportLines(*m_report), QStringList{Line(2, file)});
        QCOMPARE(m_report->StatusText(), QStringLiteral("All Done"));
    } else {
        QCOMPARE(ReadAll(file), QStringLiteral("foo foo\n"));
        QCOMPARE(m_report->resultField->toPlainText(), QStringLiteral("earlier"));
        QCOMPARE(m_report->StatusText(), QString());
    }
    // The folder box's text went to the top of its history either way.
    QCOMPARE(m_report->VarnokDialog().pathEdit->itemText(0),
             m_report->VarnokDialog().pathEdit->currentText());
}

void TestReport::cancelInTheDialogStartsNothing()
{
    PrepareJob(true);
    m_prompts->ConfirmAnswers = {true};
    Run(TMyForm::ResultCancel);
    QVERIFY(m_prompts->Asked.isEmpty());
    QCOMPARE(m_prompts->ConfirmAnswers.size(), std::size_t(1));
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

void TestReport::spacedUpdatesShowEveryLineAtTheEnd()
{
    const QStringList files = WriteFiles(3);
    PrepareJob(false);
    m_prompts->ConfirmAnswers = {true};
    m_report->UpdateInterval = 60000;
    int changes = 0;
    connect(m_report->resultField, &QPlainTextEdit::textChanged, this, [&] { ++changes; });

    Run();

    // Shown at the first pump and at the end only.
    QCOMPARE(changes, 2);
    QStringList lines = ReportLines(*m_report);
    QCOMPARE(lines.mid(0, 3), QStringList({"", kDots, ""}));
    lines = lines.mid(3);
    lines.sort();
    QCOMPARE(lines, QStringList({Line(1, files[0]), Line(1, files[1]), Line(1, files[2])}));
    QCOMPARE(m_report->StatusText(), QStringLiteral("All Done"));
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

    CloseWhenShown(this, TMyForm::ResultOK);
    QMetaObject::invokeMethod(m_report->Dialog1, &QAction::trigger, Qt::QueuedConnection);
    QTRY_COMPARE(m_prompts->Asked.size(), 2);

    QCOMPARE(m_prompts->Asked.at(1),
             QStringLiteral("Error: Cannot create file ") + m_work->filePath(QStringLiteral("2/b.$$$")));
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
    m_prompts->FileNames = {file, std::nullopt};

    m_report->SaveAs1->trigger();
    QCOMPARE(ReadAll(file), QStringLiteral("one\r\ntwo\r\n"));

    QFile::remove(file);
    m_report->SaveAs1->trigger();  // cancelled
    QVERIFY(!QFile::exists(file));
    QCOMPARE(m_prompts->Asked, QStringList({"Save: Varnok/Report.txt", "Save: Varnok/Report.txt"}));

    const QString unwritable = m_work->filePath(QStringLiteral("missing/report.txt"));
    m_prompts->FileNames = {unwritable};
    m_report->SaveAs1->trigger();
    QCOMPARE(m_prompts->Asked.last(), QStringLiteral("Error: Cannot create file ") + unwritable);
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

void TestReport::fontDialogSetsTheReportFont()
{
    QFont chosen(QStringLiteral("DejaVu Sans"), 14);
    chosen.setBold(true);
    m_prompts->Fonts = {std::nullopt, chosen};

    m_report->Font1->trigger();  // cancelled
    QCOMPARE(m_report->resultField->font().pointSize(), 10);
    m_report->Font1->trigger();
    QCOMPARE(m_report->resultField->font(), chosen);
    QCOMPARE(m_report->ReportFontDialog(), chosen);
    QCOMPARE(m_prompts->Asked, QStringList({"Font: Courier New", "Font: Courier New"}));
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

void TestReport::dialogOpensAtStartUpOnly()
{
    m_report->VarnokDialog().startWithDialog->setChecked(true);
    m_report->FormDestroy();
    m_report = std::make_unique<TVarnokReport>(nullptr, kDefaultStoreKey);

    int showings = 0;
    connect(m_report->Dialog, &QDialog::finished, this, [&] { ++showings; });
    CloseWhenShown(this, TMyForm::ResultCancel);
    m_report->show();
    QTRY_COMPARE(showings, 1);

    m_report->hide();
    m_report->show();
    m_report->activateWindow();
    QTest::qWait(50);
    QCOMPARE(showings, 1);
    QVERIFY(m_prompts->Asked.isEmpty());
}

void TestReport::namedConfigurationTakesLaterSaves()
{
    TVarnokDialog& dialog = m_report->VarnokDialog();
    dialog.clearReport->setChecked(false);
    dialog.changes->setPlainText(QStringLiteral("saved"));
    AnswerModal(this, [](QDialog* window) {
        auto* save = qobject_cast<TSaveConfig*>(window);
        QVERIFY(save);
        save->EditName->setText(QStringLiteral("Weekly"));
        save->done(TConfigWindow::ResultOK);
    });
    m_report->SaveConfiguration1->trigger();

    const TMyIniFile weekly(ConfigurationStoreKey("Weekly"));
    QCOMPARE(weekly.ReadFlag("Varnok\\Dialog", "CheckBox-4", true), false);
    QCOMPARE(weekly.ReadNumber("Varnok\\Report", "Version", 0), 1);
    QCOMPARE(m_report->IniFile().StoreKey(), ConfigurationStoreKey("Weekly"));
    QCOMPARE(dialog.IniFile().StoreKey(), ConfigurationStoreKey("Weekly"));
    QCOMPARE(m_report->Wizard->IniFile().StoreKey(), ConfigurationStoreKey("Weekly"));

    // Loading it back restores the dialog's values; the change list comes
    // from the shared file, as last saved by anyone.
    dialog.clearReport->setChecked(true);
    dialog.changes->setPlainText(QStringLiteral("unsaved"));
    AnswerModal(this, [](QDialog* window) {
        auto* load = qobject_cast<TLoadConfig*>(window);
        QVERIFY(load);
        load->ComboBoxNames->setCurrentText(QStringLiteral("Weekly"));
        load->done(TConfigWindow::ResultOK);
    });
    m_report->LoadConfiguration1->trigger();
    QVERIFY(!dialog.clearReport->isChecked());
    QCOMPARE(dialog.changes->toPlainText(), QStringLiteral("saved"));

    // The exit save goes to the configuration, not to the default store.
    m_report->FormDestroy();
    const TMyIniFile standard(kDefaultStoreKey);
    QCOMPARE(standard.ReadNumber("Varnok\\Report", "Version", 0), 0);
}

int main(int argc, char** argv)
{
    TMyApplication application(argc, argv);
    TestReport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_report.moc"
