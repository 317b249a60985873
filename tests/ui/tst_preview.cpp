// The preview window, reached from File > Preview...: the dry run's files
// with their counts and totals, the selected file's diff, Apply running only
// the checked files through the run's confirmation, Close writing nothing,
// Stop during the dry run, and the window's placement kept in the store.

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
    void stopDuringTheDryRunShowsNoPreview();
    void placementIsKeptInItsSection();

private:
    // f0.txt holds "foo" once, f1.txt twice, ...; z.txt none.
    QStringList WriteFiles(int count);
    // File > Preview..., OK in the dialog; `inPreview` gets the window.
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
    AnswerModal(this, [this, inPreview](QDialog* dialog) {
        // The preview window is the next modal window, once the dry run is done.
        AnswerModal(this, [inPreview](QDialog* window) {
            auto* preview = qobject_cast<TVarnokPreview*>(window);
            QVERIFY(preview);
            inPreview(*preview);
        });
        dialog->done(TMyForm::ResultOK);
    });
    m_report->Preview1->trigger();
}

void TestPreview::applyRunsTheCheckedFilesOnly_data()
{
    QTest::addColumn<bool>("apply");
    QTest::addColumn<bool>("yes");
    QTest::newRow("Apply, Yes") << true << true;
    QTest::newRow("Apply, Cancel in the confirmation") << true << false;
    QTest::newRow("Close") << false << true;
}

void TestPreview::applyRunsTheCheckedFilesOnly()
{
    QFETCH(bool, apply);
    QFETCH(bool, yes);
    const QStringList files = WriteFiles(3);
    m_prompts->ConfirmAnswers = {yes};
    m_report->resultField->setPlainText(QStringLiteral("earlier"));
    QCOMPARE(m_report->Preview1->text(), QStringLiteral("Pre&view..."));
    QCOMPARE(m_report->Preview1->shortcut(), QKeySequence(Qt::Key_F7));

    QStringList listed;
    QString totals, diff, expectedDiff;
    Preview([&](TVarnokPreview& preview) {
        for (int row = 0; row < preview.fileList->topLevelItemCount(); ++row) {
            QTreeWidgetItem* item = preview.fileList->topLevelItem(row);
            listed << item->text(1) + QLatin1Char(' ') + item->text(0)
                          + (item->checkState(0) == Qt::Checked ? QStringLiteral(" checked") : QString());
            if (item->text(0) == files[1])
                item->setCheckState(0, Qt::Unchecked);
        }
        // The file selected is the first one listed; its diff is shown.
        const QTreeWidgetItem* first = preview.fileList->topLevelItem(0);
        QCOMPARE(preview.fileList->currentItem(), first);
        const int count = first->text(1).toInt();
        expectedDiff = QStringLiteral("--- %1\n+++ %1\n@@ -1 +1 @@\n-%2\n+%3\n")
                           .arg(first->text(0), QStringLiteral("foo ").repeated(count),
                                QStringLiteral("bar ").repeated(count));
        diff = preview.diffView->toPlainText();
        totals = preview.totals->text();
        (apply ? preview.BtnApply : preview.BtnClose)->click();
    });

    // The walk's order is the file system's.
    listed.sort();
    QCOMPARE(listed, QStringList({"1 " + files[0] + " checked", "2 " + files[1] + " checked",
                                  "3 " + files[2] + " checked"}));
    QCOMPARE(totals, QStringLiteral("3 files, 6 replacements; checked: 2 files, 4 replacements"));
    QCOMPARE(diff, expectedDiff);
    // The dry run asks nothing and writes nothing to the report.
    QCOMPARE(m_prompts->Asked, apply ? QStringList{"Confirm: Confirm: Are you sure? There's no undo?"}
                                     : QStringList{});
    const bool ran = apply && yes;
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
