// The run history, from File > Run History...: the kept runs newest first,
// empty and unreadable journals as such, Enter undoing the selected run
// through the report window's question and report, Escape closing, and the
// window's placement kept in its own section.

#include "UiTestHelpers.h"

#include "RunHistory.h"
#include "ScriptedPrompts.h"
#include "UMyApplication.h"
#include "UMyIniFile.h"
#include "URunHistory.h"
#include "UVarnokDialog.h"
#include "UVarnokReport.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace varnok;

class TestRunHistory : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_store.IsValid()); }
    void init();
    void cleanup();

    void listsTheRunsAndUndoesTheSelected_data();
    void listsTheRunsAndUndoesTheSelected();
    void placementIsKeptInItsSection();

private:
    TTempStore m_store;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<QTemporaryDir> m_state;  // the run journals
    std::unique_ptr<TScriptedPrompts> m_prompts;
    std::unique_ptr<TVarnokReport> m_report;
};

void TestRunHistory::init()
{
    m_store.Clear();
    m_work = std::make_unique<QTemporaryDir>();
    m_state = std::make_unique<QTemporaryDir>();
    qputenv("XDG_STATE_HOME", m_state->path().toUtf8());
    m_prompts = std::make_unique<TScriptedPrompts>();
    m_report = std::make_unique<TVarnokReport>(nullptr, kDefaultStoreKey);
    m_report->VarnokDialog().clearReport->setChecked(true);
}

void TestRunHistory::cleanup()
{
    m_report.reset();
    m_prompts.reset();
    m_work->setAutoRemove(!QTest::currentTestFailed());
    m_work.reset();
}

void TestRunHistory::listsTheRunsAndUndoesTheSelected_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes") << true;
    QTest::newRow("Cancel") << false;
}

void TestRunHistory::listsTheRunsAndUndoesTheSelected()
{
    QFETCH(bool, yes);
    const QString a = m_work->filePath(QStringLiteral("a.txt")), b = m_work->filePath(QStringLiteral("b.txt"));
    WriteAll(a, "foo\n");
    WriteAll(b, "foo foo\n");
    TJobSettings job;
    job.ClearReport = true;
    job.Folders = {m_work->path().toStdString()};
    job.Masks = {"*.txt"};
    m_prompts->ConfirmAnswers = {true, true, yes};
    job.ChangeText = {"foo", "bar", "-"};
    m_report->RunJob(job);
    job.ChangeText = {"bar", "baz", "-", "qux", "quux", "-"};
    m_report->RunJob(job);
    const std::string folder = RunJournalFolder();
    WriteAll(QString::fromStdString(folder + "/20000101T000000.000000Z.txt"), "");
    WriteAll(QString::fromStdString(folder + "/20000101T000001.000000Z.txt"), "not a journal\n");
    const std::vector<TKeptRun> runs = KeptRuns(folder);
    QCOMPARE(runs.size(), std::size_t(4));

    QCOMPARE(m_report->File1->actions().indexOf(m_report->RunHistory1),
             m_report->File1->actions().indexOf(m_report->UndoLastRun1) + 1);
    m_report->RunHistory1->trigger();
    TRunHistory& history = *m_report->History;
    QVERIFY(history.isVisible());
    QTreeWidget& list = *history.runList;
    const auto rows = [&list] {
        QStringList rows;
        for (int row = 0; row < list.topLevelItemCount(); ++row) {
            QStringList columns;
            for (int column = TRunHistory::ColumnFolders; column < TRunHistory::ColumnCount; ++column)
                columns << list.topLevelItem(row)->text(column);
            rows << columns.join(QLatin1Char('|'));
        }
        return rows;
    };
    const QString work = m_work->path();
    QCOMPARE(rows(), QStringList({work + QStringLiteral("|bar \u2192 baz and 1 more|2|not undone"),
                                  work + QStringLiteral("|foo \u2192 bar|2|not undone"), "|||cannot be read",
                                  "|||empty"}));
    // The start as the undo's question gives it.
    for (int row = 0; row < 2; ++row)
        QVERIFY(QString::fromStdString(RunDescription(runs[3 - row].Journal))
                    .startsWith(list.topLevelItem(row)->text(TRunHistory::ColumnStarted) + QStringLiteral(" in ")));
    QVERIFY(list.topLevelItem(2)->toolTip(TRunHistory::ColumnState).contains(QStringLiteral("cannot be read")));

    // Only a readable run not undone can be undone; the newest is selected first.
    QCOMPARE(history.SelectedId(), runs[3].Id);
    QList<bool> undoable;
    for (int row = 3; row >= 0; --row) {
        list.setCurrentItem(list.topLevelItem(row));
        undoable << history.BtnUndo->isEnabled();
    }
    QCOMPARE(undoable, QList<bool>({false, false, true, true}));

    // Enter on the row undoes it, after the question the report window asks.
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(m_prompts->Asked.last(),
             QStringLiteral("Confirm: Confirm: ") + QString::fromStdString(UndoQuestion(runs[3].Journal, 2)));
    QCOMPARE(ReadAll(a), yes ? QStringLiteral("bar\n") : QStringLiteral("baz\n"));
    QCOMPARE(ReadAll(b), yes ? QStringLiteral("bar bar\n") : QStringLiteral("baz baz\n"));
    QCOMPARE(history.SelectedId(), runs[3].Id);
    QCOMPARE(list.topLevelItem(0)->text(TRunHistory::ColumnState),
             yes ? QStringLiteral("undone") : QStringLiteral("not undone"));
    QCOMPARE(history.BtnUndo->isEnabled(), !yes);
    if (yes) {
        QStringList report = m_report->resultField->toPlainText().split(QLatin1Char('\n'));
        report.sort();
        QCOMPARE(report, QStringList({"Restored   " + a, "Restored   " + b}));
        QCOMPARE(m_report->StatusText(), QStringLiteral("All Done"));
    }

    QTest::keyClick(&list, Qt::Key_Escape);
    QVERIFY(!history.isVisible());
}

void TestRunHistory::placementIsKeptInItsSection()
{
    m_report->History->SetOuterPosition(70, 80);
    m_report->History->SetOuterSize(600, 400);
    m_report->FormDestroy();
    TMyIniFile store(kDefaultStoreKey);
    const std::pair<const char*, int> values[] = {{"Left", 70}, {"Top", 80}, {"Width", 600}, {"Height", 400}};
    for (const auto& [name, value] : values)
        QCOMPARE(store.ReadNumber("Varnok\\RunHistory", name, -1), value);
    m_report = std::make_unique<TVarnokReport>(nullptr, kDefaultStoreKey);
    QCOMPARE(m_report->History->OuterGeometry(), QRect(70, 80, 600, 400));
}

int main(int argc, char** argv)
{
    TMyApplication application(argc, argv);
    TestRunHistory test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_runhistory.moc"
