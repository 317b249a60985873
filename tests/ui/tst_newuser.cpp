// The desktop program as a new user meets it: a configuration name with
// nothing stored, the settings dialog's least size, the error box, an undo's
// counts and the empty report's hint.

#include "UiTestHelpers.h"

#include "ScriptedPrompts.h"
#include "StartConfiguration.h"
#include "UMyApplication.h"
#include "UMyIniFile.h"
#include "UVarnokDialog.h"
#include "UVarnokReport.h"

#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

using namespace varnok;

class TestNewUser : public QObject {
    Q_OBJECT
private slots:
    void init() { m_store.Clear(); }
    void startConfiguration();
    void dialogKeepsItsControlsUsable();
    void storeFailureInTheErrorBox();
    void undoCountsAndTheFirstStartHint();

private:
    TTempStore m_store;
};

// A name with nothing stored is asked about (Yes goes on, Cancel quits);
// asking writes nothing, not even into an empty settings folder.
void TestNewUser::startConfiguration()
{
    {
        const TScriptedPrompts quit;
        QVERIFY(!ChooseStartConfiguration({"Monthly"}) && QDir(m_store.Path()).isEmpty());
    }
    TMyIniFile(ConfigurationStoreKey("Weekly")).WriteText("Varnok\\Dialog", "Edit-1", "*.txt");
    const QString stored = ReadAll(m_store.StoreFile());
    const struct { std::string name; bool goOn, asked; } rows[] = {
        {"", false, false}, {"weekly", false, false}, {"Monthly", false, true}, {"Monthly", true, true}};
    for (const auto& row : rows) {
        TScriptedPrompts prompts;
        prompts.ConfirmAnswers = {row.goOn};
        const std::optional<TStartConfiguration> start = ChooseStartConfiguration({row.name});
        QCOMPARE(prompts.Asked, row.asked ? QStringList{"Confirm: Varnok Quillet: No configuration named \"Monthly\" "
                                                        "is stored.\n\nStart a new configuration of that name?"}
                                          : QStringList{});
        QCOMPARE(ReadAll(m_store.StoreFile()), stored);
        QCOMPARE(start ? start->StoreKey : "quit", row.goOn || !row.asked ? StartupStoreKey({row.name}) : "quit");
        QCOMPARE(start && start->New, row.goOn);
    }
}

// At its least size no control leaves its page or meets another, on any page;
// a smaller stored size is not applied, and the design has room to spare.
void TestNewUser::dialogKeepsItsControlsUsable()
{
    TMyIniFile(kDefaultStoreKey).WriteNumber("Varnok\\Dialog", "Width", 120);
    TMyIniFile(kDefaultStoreKey).WriteNumber("Varnok\\Dialog", "Height", 90);
    TVarnokDialog dialog(nullptr, kDefaultStoreKey);
    const auto placeOf = [&](QWidget* w) { return QRect(w->mapTo(&dialog, QPoint()), w->size()); };
    QHash<QWidget*, QRect> designed;
    for (QWidget* control : dialog.findChildren<QWidget*>())
        designed[control] = placeOf(control);
    dialog.LoadFromIniFile();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.size(), dialog.minimumSize());
    QVERIFY(dialog.OuterSize().width() < 460 && dialog.OuterSize().height() <= 272);
    for (int page = 0; page < dialog.notebook->count(); ++page) {
        dialog.notebook->setCurrentIndex(page);
        QList<QWidget*> controls = dialog.notebook->widget(page)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QPushButton* button : {dialog.OKButton, dialog.WizardButton, dialog.helpButton, dialog.CancelButton})
            controls << button;
        for (QWidget* a : controls) {
            QVERIFY2(placeOf(a->parentWidget()).contains(placeOf(a)), qPrintable(a->objectName()));
            for (QWidget* b : controls)
                QVERIFY2(a == b || designed[a].intersects(designed[b]) || !placeOf(a).intersects(placeOf(b)),
                         qPrintable(a->objectName() + " meets " + b->objectName()));
        }
    }
}

// A store that cannot be written, in the box the program shows.
void TestNewUser::storeFailureInTheErrorBox()
{
    TVarnokReport report(nullptr, kDefaultStoreKey);
    QVERIFY(QFile::remove(m_store.StoreFile() + ".lock") && QDir().mkpath(m_store.StoreFile() + ".lock/in-the-way"));
    QStringList shown;
    AnswerModal(this, [&](QDialog* box) {
        shown << box->windowTitle() << static_cast<QMessageBox*>(box)->text();
        box->reject();
    });
    TMyApplication::RunCommand([&] { report.FormDestroy(); });
    QCOMPARE(shown, QStringList({"Varnok Quillet", "Failed to create key Varnok\\Report: the settings file "
                                                       + m_store.StoreFile() + " cannot be locked (Is a directory)"}));
}

void TestNewUser::undoCountsAndTheFirstStartHint()
{
    QTemporaryDir work, state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        QVERIFY(WriteAll(work.filePath(QLatin1String(name)), "foo\n"));
    TScriptedPrompts prompts;
    prompts.ConfirmAnswers = {false, true, true};
    TVarnokReport report(nullptr, kDefaultStoreKey);
    QCOMPARE(report.resultField->placeholderText().replace(QChar(0xa0), QLatin1Char(' ')),
             QStringLiteral("Press F5 to set up a run, F7 to preview one, F1 for help"));
    report.SaveReport(work.filePath(QStringLiteral("report.txt")));
    QCOMPARE(ReadAll(work.filePath(QStringLiteral("report.txt"))), QString());  // no part of the report
    TJobSettings job;
    job.Folders = {work.path().toStdString()};
    job.Masks = {"*.txt"};
    job.ChangeText = {"foo", "bar", "-"};
    report.RunJob(job);  // declined: still the first start
    QVERIFY(!report.resultField->placeholderText().isEmpty());
    report.RunJob(job);
    QVERIFY(report.resultField->placeholderText().isEmpty());
    QVERIFY(WriteAll(work.filePath(QStringLiteral("b.txt")), "edited\n"));
    report.UndoLastRun1->trigger();
    QCOMPARE(report.findChild<QLabel*>(QStringLiteral("RunCounts"))->text(),
             QStringLiteral("3 files, 2 restored, 1 kept"));
}

QTEST_MAIN(TestNewUser)
#include "tst_newuser.moc"
