// The preview window, reached from File > Preview...: the dry run's files
// with their counts and totals, the selected file's diff, Apply running only
// the checked files through the run's confirmation (a "no" returns to the
// choices made), Close writing nothing (asking first when files are
// unchecked), Enter checking, header clicks sorting, renames listed and
// checked on their own, Stop during the dry run,
// and the window's placement kept in the store.

#include "UiTestHelpers.h"

#include "ScriptedPrompts.h"
#include "TextUtils.h"
#include "UMyApplication.h"
#include "UMyIniFile.h"
#include "UVarnokDialog.h"
#include "UVarnokPreview.h"
#include "UVarnokReport.h"

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace varnok;

class TestPreview : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_store.IsValid()); }
    void init();
    void cleanup();

    void applyRunsTheCheckedFilesOnly_data();
    void applyRunsTheCheckedFilesOnly();
    void renamesAreCheckedAsFilesAre();
    void stopDuringTheDryRunShowsNoPreview();
    void placementIsKeptInItsSection();

private:
    // f0.txt holds "foo" once, f1.txt twice, ...; z.txt none.
    QStringList WriteFiles(int count);
    // File > Preview..., OK in the dialog; `inPreview` gets the window at
    // each showing, and closes it.
    void Preview(const std::function<void(TVarnokPreview&)>& inPreview);

    TTempStore m_store;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<TScriptedPrompts> m_prompts;
    std::unique_ptr<TVarnokReport> m_report;
};

void TestPreview::init()
{
    m_store.Clear();
    m_work = std::make_unique<QTemporaryDir>();
    m_prompts = std::make_unique<TScriptedPrompts>();
    m_report = std::make_unique<TVarnokReport>(nullptr, kDefaultStoreKey);
    m_report->UpdateInterval = 0;
    TVarnokDialog& dialog = m_report->VarnokDialog();
    dialog.paths->clear();
    dialog.paths->addItem(m_work->path());
    dialog.masks->clear();
    dialog.masks->addItem(QStringLiteral("*.txt"));
    dialog.changes->setPlainText(QStringLiteral("foo\nbar\n-"));
    dialog.clearReport->setChecked(true);
}

void TestPreview::cleanup()
{
    m_report.reset();
    m_prompts.reset();
    m_work->setAutoRemove(!QTest::currentTestFailed());
    m_work.reset();
}

QStringList TestPreview::WriteFiles(int count)
{
    QStringList files;
    for (int i = 0; i < count; ++i) {
        files << m_work->filePath(QStringLiteral("f%1.txt").arg(i));
        WriteAll(files.last(), QByteArray("foo ").repeated(i + 1) + "\n");
    }
    WriteAll(m_work->filePath(QStringLiteral("z.txt")), "nothing\n");
    return files;
}

void TestPreview::Preview(const std::function<void(TVarnokPreview&)>& inPreview)
{
    QTimer showings;
    connect(&showings, &QTimer::timeout, this, [&] {
        if (QApplication::activeModalWidget() == m_report->Preview)
            inPreview(*m_report->Preview);
        if (QTest::currentTestFailed())  // no test waits for a window left open
            m_report->Preview->QDialog::done(TMyForm::ResultCancel);
    });
    showings.start(5);
    AnswerModal(this, [](QDialog* dialog) { dialog->done(TMyForm::ResultOK); });
    m_report->Preview1->trigger();
}

void TestPreview::applyRunsTheCheckedFilesOnly_data()
{
    // The header clicked, whether Enter unchecks f1.txt, the steps taken while
    // the window shows, the answers to the questions, whether the run wrote.
    QTest::addColumn<int>("header");
    QTest::addColumn<bool>("uncheck");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<bool>("ran");
    QTest::newRow("Apply, Yes") << 0 << true << "Apply" << QList{true} << true;
    QTest::newRow("Apply, Cancel, Alt+A, Yes") << 1 << true << "Apply Alt+A" << QList{false, true} << true;
    QTest::newRow("Apply, Cancel, Close, Yes") << 0 << true << "Apply Close" << QList{false, true} << false;
    QTest::newRow("Escape, Cancel, close, Yes") << 1 << true << "Escape close" << QList{false, true} << false;
    QTest::newRow("all checked, Close") << 0 << false << "Close" << QList<bool>{} << false;
    QTest::newRow("all checked, Escape") << 1 << false << "Escape" << QList<bool>{} << false;
}

void TestPreview::applyRunsTheCheckedFilesOnly()
{
    QFETCH(int, header);
    QFETCH(bool, uncheck);
    QFETCH(QString, steps);
    QFETCH(QList<bool>, answers);
    QFETCH(bool, ran);
    const QStringList files = WriteFiles(3);
    m_prompts->ConfirmAnswers.assign(answers.begin(), answers.end());
    m_report->resultField->setPlainText(QStringLiteral("earlier"));
    QCOMPARE(m_report->Preview1->text(), QStringLiteral("Pre&view..."));
    QCOMPARE(m_report->Preview1->shortcut(), QKeySequence(Qt::Key_F7));

    QStringList listed, left;
    QString totals, diff, expectedDiff;
    const QStringList taken = steps.split(QLatin1Char(' '));
    qsizetype step = 0;
    Preview([&](TVarnokPreview& preview) {
        QTreeWidget* list = preview.fileList;
        const auto shown = [list] {
            QStringList rows;
            for (int row = 0; row < list->topLevelItemCount(); ++row)
                rows << list->topLevelItem(row)->text(1) + QLatin1Char(' ') + list->topLevelItem(row)->text(0)
                            + (list->topLevelItem(row)->checkState(0) ? QStringLiteral(" checked") : QString());
            return rows;
        };
        if (listed.isEmpty()) {
            // The file selected is the first one listed; its diff is shown.
            const QTreeWidgetItem* first = list->topLevelItem(0);
            QCOMPARE(list->currentItem(), first);
            const int count = first->text(1).toInt();
            expectedDiff = QStringLiteral("--- %1\n+++ %1\n@@ -1 +1 @@\n-%2\n+%3\n")
                               .arg(first->text(0), QStringLiteral("foo ").repeated(count),
                                    QStringLiteral("bar ").repeated(count));
            diff = preview.diffView->toPlainText();
            const QHeaderView* bar = list->header();
            QTest::mouseClick(bar->viewport(), Qt::LeftButton, {}, {bar->sectionViewportPosition(header) + 5, 5});
            listed = shown();
            QCOMPARE(list->topLevelItem(0)->toolTip(0), list->topLevelItem(0)->text(0));
            // Enter checks and unchecks the current file, and never closes the window.
            list->setCurrentItem(list->findItems(files[1], Qt::MatchExactly).value(0));
            for (int press = 0; press < (uncheck ? 3 : 2); ++press)
                QTest::keyClick(list, press == 1 ? Qt::Key_Enter : Qt::Key_Return);
            totals = preview.totals->text();
        } else {
            QCOMPARE(shown(), left);  // shown again after a "no", as it was left
        }
        while (step < taken.size() && preview.isVisible()) {
            left = shown();
            const QString next = taken[step++];
            if (next == QLatin1String("Alt+A")) {
                QVERIFY(QTest::qWaitForWindowActive(&preview));  // a shortcut works in the active window only
                QTest::keyClick(list, Qt::Key_A, Qt::AltModifier);
                QTRY_VERIFY(!preview.isVisible());  // a mnemonic clicks a moment later
            } else if (next == QLatin1String("Escape")) {
                QTest::keyClick(list, Qt::Key_Escape);
            } else if (next == QLatin1String("close")) {
                preview.close();
            } else {
                (next == QLatin1String("Apply") ? preview.BtnApply : preview.BtnClose)->click();
            }
        }
    });

    // Sorted by name, or by count with the most first.
    QStringList sorted{"1 " + files[0] + " checked", "2 " + files[1] + " checked", "3 " + files[2] + " checked"};
    if (header == 1)
        std::reverse(sorted.begin(), sorted.end());
    QCOMPARE(listed, sorted);
    QCOMPARE(totals, uncheck ? QStringLiteral("3 files, 6 replacements; checked: 2 files, 4 replacements")
                             : QStringLiteral("3 files, 6 replacements"));
    QCOMPARE(diff, expectedDiff);
    QCOMPARE(step, taken.size());
    // The dry run asks nothing and writes nothing to the report.
    QStringList asked;
    for (const QString& next : taken) {
        if (next.startsWith(QLatin1Char('A')))
            asked << QStringLiteral("Confirm: Confirm: Are you sure? There's no undo?");
        else if (uncheck)
            asked << "Confirm: Confirm: 1 file is unchecked. Close the preview and discard your choices?";
    }
    QCOMPARE(m_prompts->Asked, asked);
    QCOMPARE(ReadAll(files[0]), ran ? QStringLiteral("bar \n") : QStringLiteral("foo \n"));
    QCOMPARE(ReadAll(files[1]), QStringLiteral("foo foo \n"));
    QCOMPARE(ReadAll(files[2]), ran ? QStringLiteral("bar bar bar \n") : QStringLiteral("foo foo foo \n"));
    const auto line = [](int count, const QString& file) {
        return QString::fromStdString(ReportLine(count, file.toStdString()));
    };
    QStringList report = m_report->resultField->toPlainText().split(QLatin1Char('\n'));
    report.sort();
    QCOMPARE(report, ran ? QStringList({line(1, files[0]), line(3, files[2])}) : QStringList{"earlier"});
    QCOMPARE(m_report->StatusText(), QStringLiteral("All Done"));
}

void TestPreview::renamesAreCheckedAsFilesAre()
{
    const QString a = m_work->filePath(QStringLiteral("foo_a.txt")), b = m_work->filePath(QStringLiteral("foo_b.txt"));
    WriteAll(a, "foo\n");
    WriteAll(b, "nothing\n");
    m_report->VarnokDialog().renameNames->setChecked(true);
    m_prompts->ConfirmAnswers = {true};
    QStringList listed;
    QString totals, header;
    Preview([&](TVarnokPreview& preview) {
        QTreeWidget* list = preview.fileList;
        const QHeaderView* bar = list->header();
        // By count, the most first: renames have none and come last.
        QTest::mouseClick(bar->viewport(), Qt::LeftButton, {}, {bar->sectionViewportPosition(1) + 5, 5});
        for (int row = 0; row < list->topLevelItemCount(); ++row)
            listed << list->topLevelItem(row)->text(1) + QLatin1Char(' ') + list->topLevelItem(row)->text(0);
        // The contents of foo_a.txt, without its new name.
        list->setCurrentItem(list->topLevelItem(1));
        QTest::keyClick(list, Qt::Key_Return);
        header = preview.diffView->toPlainText();
        totals = preview.totals->text();
        preview.BtnApply->click();
    });
    const QString arrow = QStringLiteral("  \u2192  ");
    QCOMPARE(listed, QStringList({"1 " + a, "renamed " + a + arrow + "bar_a.txt", "renamed " + b + arrow + "bar_b.txt"}));
    QCOMPARE(header, QStringLiteral("diff --git a/%1 b/%2\nrename from %1\nrename to %2\n")
                         .arg(a, m_work->filePath(QStringLiteral("bar_a.txt"))));
    QCOMPARE(totals, QStringLiteral("1 file, 1 replacement, 2 renames; checked: 1 file, 1 replacement, 1 rename"));
    QCOMPARE(ReadAll(a), QStringLiteral("bar\n"));
    QCOMPARE(ReadAll(m_work->filePath(QStringLiteral("bar_b.txt"))), QStringLiteral("nothing\n"));
    QVERIFY(!QFile::exists(b));
}

void TestPreview::stopDuringTheDryRunShowsNoPreview()
{
    const QStringList files = WriteFiles(40);
    // Stop comes through the event pump of the dry run.
    QTimer stopper;
    connect(&stopper, &QTimer::timeout, this, [&] {
        if (m_report->Running()) {
            stopper.stop();
            m_report->Stop1->trigger();
        }
    });
    stopper.start(0);
    bool shown = false;
    Preview([&](TVarnokPreview& preview) {
        shown = true;
        preview.BtnClose->click();
    });
    QVERIFY(!shown);
    QVERIFY(!stopper.isActive());
    QCOMPARE(m_prompts->Asked, QStringList{});
    QCOMPARE(m_report->StatusText(), QStringLiteral("All Done"));
    QVERIFY(!m_report->Running());
    QVERIFY(m_report->Preview1->isEnabled());
    for (const QString& file : files)
        QVERIFY(ReadAll(file).startsWith(QStringLiteral("foo")));
    // The modal answer left waiting for a preview is not left for the next test.
    qDeleteAll(findChildren<QTimer*>());
}

void TestPreview::placementIsKeptInItsSection()
{
    m_report->Preview->SetOuterPosition(70, 80);
    m_report->Preview->SetOuterSize(600, 400);
    m_report->FormDestroy();
    TMyIniFile store(kDefaultStoreKey);
    const std::pair<const char*, int> values[] = {{"Left", 70}, {"Top", 80}, {"Width", 600},
                                                  {"Height", 400}, {"State", 0}, {"Position", 0}};
    for (const auto& [name, value] : values)
        QCOMPARE(store.ReadNumber("Varnok\\Preview", name, -1), value);
    m_report = std::make_unique<TVarnokReport>(nullptr, kDefaultStoreKey);
    QCOMPARE(m_report->Preview->OuterGeometry(), QRect(70, 80, 600, 400));
}

int main(int argc, char** argv)
{
    TMyApplication application(argc, argv);
    TestPreview test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_preview.moc"
