// The settings dialog: list editing rules, resize rules, the change list
// files, the folder history and the first start's job settings.

#include "UiTestHelpers.h"

#include "ListEntries.h"
#include "MyComps.h"
#include "RunJob.h"
#include "ScriptedPrompts.h"
#include "StoredJob.h"
#include "UChooseDirectory.h"
#include "UMyIniFile.h"
#include "UVarnokDialog.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace varnok;

class TDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_store.IsValid()); }
    void init()
    {
        m_store.Clear();
        m_dialog = std::make_unique<TVarnokDialog>(nullptr, m_storeKey);
        m_dialog->LoadFromIniFile();
    }
    void cleanup() { m_dialog.reset(); }

    void listEditing_data();
    void listEditing();
    void resizeRules();
    void loadAndSaveChanges();
    void errorsOfLoadAndSave_data();
    void errorsOfLoadAndSave();
    void historyBox();
    void jobSettings();
    void jobOptionsRoundTrip_data();
    void jobOptionsRoundTrip();
    void maskPagePicture();

private:
    TTempStore m_store;
    const std::string m_storeKey = std::string(kConfigurationsKey) + "\\dialog-test";
    std::unique_ptr<TVarnokDialog> m_dialog;
};

// A script of user actions, then the list, its selected row and the edit box.
// $TMP stands for the system temp folder, the folder box's first value.
void TDialogTest::listEditing_data()
{
    QTest::addColumn<bool>("folders");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("box");

    QTest::newRow("two folder inserts") << true << "insert insert" << "$TMP|/|/" << 2 << "/";
    QTest::newRow("typing edits the selected folder") << true << "type:ab" << "$TMPab" << 0 << "$TMPab";
    QTest::newRow("delete without selection") << true << "insert none delete" << "$TMP|/" << 0 << "$TMP";
    QTest::newRow("delete the only folder") << true << "delete" << "" << -1 << "$TMP";
    QTest::newRow("typing into an empty list appends") << true << "delete type:/q" << "$TMP/q" << 0
                                                          << "$TMP/q";
    QTest::newRow("click copies the folder") << true << "insert click:0" << "$TMP|/" << 0 << "$TMP";
    QTest::newRow("history pick replaces the folder") << true << "history" << "/picked" << 0 << "/picked";

    QTest::newRow("two mask inserts") << false << "insert insert" << "*.*|*.*|*.*" << 2 << "*.*";
    QTest::newRow("arrow key without selection appends") << false << "none key:left" << "*.*|*.*" << 1
                                                            << "*.*";
    QTest::newRow("second key release edits it") << false << "none key:left type:c" << "*.*|*.*c" << 1
                                                    << "*.*c";
    QTest::newRow("key release refills the empty list") << false << "delete key:end" << "*.*" << 0
                                                           << "*.*";
    QTest::newRow("click copies the mask") << false << "insert type:?.c click:0" << "*.*|*.*?.c" << 0
                                              << "*.*";
}

void TDialogTest::listEditing()
{
    QFETCH(bool, folders);
    QFETCH(QString, script);
    QFETCH(QString, rows);
    QFETCH(int, selected);
    QFETCH(QString, box);

    TVarnokDialog& dialog = *m_dialog;
    QListWidget* list = folders ? dialog.paths : dialog.masks;
    QWidget* edit = folders ? static_cast<QWidget*>(dialog.pathEdit->lineEdit()) : dialog.maskEdit;
    dialog.notebook->setCurrentWidget(folders ? dialog.FoldersTab : dialog.masksTab);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    edit->setFocus();
    static_cast<QLineEdit*>(edit)->end(false);

    for (const QString& step : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString action = step.section(QLatin1Char(':'), 0, 0);
        const QString argument = step.section(QLatin1Char(':'), 1);
        if (action == QLatin1String("insert")) {
            (folders ? dialog.InsertDirectoryButton : dialog.InsertMaskButton)->click();
        } else if (action == QLatin1String("delete")) {
            (folders ? dialog.DeleteDirectoryButton : dialog.DeleteMaskButton)->click();
        } else if (action == QLatin1String("none")) {
            list->clearSelection();
        } else if (action == QLatin1String("type")) {
            static_cast<QLineEdit*>(edit)->end(false);
            QTest::keyClicks(edit, argument);
        } else if (action == QLatin1String("key")) {
            QTest::keyClick(edit, argument == QLatin1String("left") ? Qt::Key_Left : Qt::Key_End);
        } else if (action == QLatin1String("click")) {
            const QRect row = list->visualItemRect(list->item(argument.toInt()));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        } else if (action == QLatin1String("history")) {
            dialog.pathEdit->setEditText(QStringLiteral("/picked"));
            dialog.pathEdit->AddToHistory();
            dialog.pathEdit->setEditText(QStringLiteral("/other"));
            dialog.pathEdit->setFocus();
            QTest::keyClick(dialog.pathEdit, Qt::Key_Down);
        }
    }

    const QString temp = QDir::tempPath();
    QCOMPARE(Texts(list).join(QLatin1Char('|')), rows.replace(QStringLiteral("$TMP"), temp));
    QCOMPARE(SelectedRow(list), selected);
    const QString text = folders ? dialog.pathEdit->currentText() : dialog.maskEdit->text();
    QCOMPARE(text, box.replace(QStringLiteral("$TMP"), temp));
}

void TDialogTest::resizeRules()
{
    TVarnokDialog& dialog = *m_dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QStringList followWidth = {"paths", "changes", "pathEdit"};
    const QStringList followHeight = {"paths", "masks", "changes"};
    const QStringList keepRight = {"BrowseButton", "OKButton", "WizardButton", "helpButton",
                                   "CancelButton", "LoadButton", "SaveButton", "InsertMaskButton",
                                   "DeleteMaskButton", "InsertDirectoryButton", "DeleteDirectoryButton"};
    const QStringList keepBottom = {"recurseDirectories"};
    QStringList names = followWidth + followHeight + keepRight + keepBottom
                        + QStringList{"maskEdit", "spanLines", "startWithDialog", "clearReport", "matchCase",
                                      "wholeWords"};
    names.removeDuplicates();

    QHash<QString, QRect> before;
    for (const QString& name : names)
        before.insert(name, dialog.findChild<QWidget*>(name)->geometry());
    const QSize size = dialog.OuterSize();
    dialog.SetOuterSize(size.width() + 100, size.height() + 50);
    QTRY_COMPARE(dialog.OuterSize(), QSize(size.width() + 100, size.height() + 50));

    for (const QString& name : names) {
        const QRect now = dialog.findChild<QWidget*>(name)->geometry();
        const QRect was = before.value(name);
        const QRect expected(was.left() + (keepRight.contains(name) ? 100 : 0),
                             was.top() + (keepBottom.contains(name) ? 50 : 0),
                             was.width() + (followWidth.contains(name) ? 100 : 0),
                             was.height() + (followHeight.contains(name) ? 50 : 0));
        QVERIFY2(now == expected, qPrintable(name));
    }
}

void TDialogTest::loadAndSaveChanges()
{
    TScriptedPrompts prompts;
    QTemporaryDir folder;
    // Saved through a link: the file it points to is written, the link stays.
    const QString saved = folder.filePath(QStringLiteral("saved.txt"));
    const QString link = folder.filePath(QStringLiteral("link.txt"));
    QFile(saved).open(QIODevice::WriteOnly);
    QVERIFY(QFile::link(saved, link));
    TVarnokDialog& dialog = *m_dialog;
    const QString text = QStringLiteral("abc\nxyz\n\nd\u00a0f\nuvw");
    dialog.changes->setPlainText(text);

    prompts.FileNames = {link, std::nullopt, saved};
    dialog.SaveButton->click();
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(ReadAll(saved), QStringLiteral("abc\r\nxyz\r\n\r\nd\u00a0f\r\nuvw\r\n"));

    dialog.changes->setPlainText(QStringLiteral("other"));
    dialog.LoadButton->click();  // cancelled
    QCOMPARE(dialog.changes->toPlainText(), QStringLiteral("other"));
    dialog.LoadButton->click();
    QCOMPARE(dialog.changes->document()->toRawText().replace(QChar::ParagraphSeparator, '\n'),
             text + QLatin1Char('\n'));
    QCOMPARE(prompts.Asked, (QStringList{"Save: Changes.txt", "Open: *.txt", "Open: *.txt"}));
}

// An error ends the handler and shows in the error box, as the menu's
// commands do; nothing unwinds through the toolkit.
void TDialogTest::errorsOfLoadAndSave_data()
{
    QTest::addColumn<bool>("load");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("error");
    QTest::newRow("load a missing file") << true << "missing.txt"
                                         << "Cannot open file $F: No such file or directory";
    QTest::newRow("save into a missing folder") << false << "missing/Changes.txt"
                                                << "Cannot create file $F: No such file or directory";
    QTest::newRow("save over a folder") << false << "folder" << "Cannot create file $F: Is a directory";
}

void TDialogTest::errorsOfLoadAndSave()
{
    QFETCH(bool, load);
    QFETCH(QString, file);
    QFETCH(QString, error);
    TScriptedPrompts prompts;
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("folder")));
    const QString name = folder.filePath(file);
    prompts.FileNames = {name};
    m_dialog->changes->setPlainText(QStringLiteral("kept"));

    QVERIFY_THROWS_NO_EXCEPTION((load ? m_dialog->LoadButton : m_dialog->SaveButton)->click());
    QCOMPARE(prompts.Asked.value(1), QStringLiteral("Error: ") + QString(error).replace("$F", name));
    QCOMPARE(m_dialog->changes->toPlainText(), QStringLiteral("kept"));
    QVERIFY(QDir(folder.path()).entryList(QDir::Files).isEmpty());
}

// The folder box's history: what it shows after adding, saving and loading,
// and that typing never adds an entry or changes one's case.
void TDialogTest::historyBox()
{
    THistoryBox& box = *m_dialog->pathEdit;
    for (const char* folder : {"/c", "/tmp", "/a"}) {
        box.setEditText(QString::fromLatin1(folder));
        box.AddToHistory();
    }
    box.setEditText(QStringLiteral("/TMP"));
    box.lineEdit()->selectAll();
    QCOMPARE(box.AddToHistory(), QStringLiteral("/TMP"));
    QVERIFY(!box.lineEdit()->hasSelectedText());
    QCOMPARE(Texts(&box).join(QLatin1Char('|')), QStringLiteral("/TMP|/a|/c"));

    // Size bounds what the store keeps; the load keeps the stored text, not the first entry.
    box.SetSize(2);
    box.setEditText(QStringLiteral("/typed"));
    m_dialog->SaveToIniFile();
    TVarnokDialog again(nullptr, m_storeKey);
    again.pathEdit->SetSize(2);
    QSignalSpy edits(again.pathEdit, &QComboBox::editTextChanged);
    again.LoadFromIniFile();
    QCOMPARE(Texts(again.pathEdit).join(QLatin1Char('|')), QStringLiteral("/TMP|/a"));
    QCOMPARE(again.pathEdit->currentText(), QStringLiteral("/typed"));
    QCOMPARE(again.pathEdit->currentIndex(), -1);
    QCOMPARE(edits.count(), 0);

    m_dialog->notebook->setCurrentWidget(m_dialog->FoldersTab);
    m_dialog->show();
    // Return is OK, whose change-list check finds an empty list: run all the same.
    TScriptedPrompts prompts;
    prompts.WarnAnswers = {true};
    box.setEditText(QString());
    box.setFocus();
    QTest::keyClicks(&box, QStringLiteral("/a"));
    QTest::keyClick(&box, Qt::Key_Return);
    m_dialog->maskEdit->setFocus();
    QCOMPARE(Texts(&box).join(QLatin1Char('|')), QStringLiteral("/TMP|/a|/c"));
    QCOMPARE(box.currentText(), QStringLiteral("/a"));
}

void TDialogTest::jobSettings()
{
    TVarnokDialog& dialog = *m_dialog;
    dialog.changes->resize(120, 200);
    const QString longLine(400, QLatin1Char('x'));
    dialog.changes->setPlainText(longLine + QStringLiteral("\n\n"));
    dialog.InsertDirectoryButton->click();
    dialog.pathEdit->setEditText(QStringLiteral("/not-a-job-folder"));
    const TJobSettings settings = dialog.JobSettings();
    QCOMPARE(settings.ChangeText, (std::vector<std::string>{longLine.toStdString(), ""}));
    QCOMPARE(settings.Folders, (std::vector<std::string>{QDir::tempPath().toStdString(), "/"}));
    QCOMPARE(settings.Masks, (std::vector<std::string>{"*.*"}));
    // The first start's defaults.
    QVERIFY(settings.Recurse && settings.ClearReport && !settings.SpanLines);
    QVERIFY(!dialog.startWithDialog->isChecked() && !dialog.WizardButton->isEnabled());
    QVERIFY(!settings.CaseSensitive && !settings.WholeWords);

    // Our two options sit below the designed two, in their column and rhythm,
    // and reach the run and the batch runner's --config.
    QCOMPARE(dialog.matchCase->pos(), QPoint(40, 64));
    QCOMPARE(dialog.wholeWords->pos(), QPoint(40, 88));
    QCOMPARE(dialog.matchCase->parentWidget(), dialog.optionsTab);
    for (const auto& [match, words] : {std::pair{true, false}, std::pair{false, true}}) {
        dialog.matchCase->setChecked(match);
        dialog.wholeWords->setChecked(words);
        QCOMPARE(dialog.JobSettings().CaseSensitive, match);
        QCOMPARE(dialog.JobSettings().WholeWords, words);
        dialog.SaveToIniFile();
        const TStoredJob stored = LoadStoredJob("dialog-test");
        QCOMPARE(stored.CaseSensitive, match);
        QCOMPARE(stored.WholeWords, words);
    }
}

// Bit i of flags: kJobFlags[i]; the last Insert, with an empty entry, adds nothing.
void TDialogTest::jobOptionsRoundTrip_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<std::vector<std::string>>("rows");
    QTest::newRow("all off, no exclusions") << 0 << std::vector<std::string>{};
    QTest::newRow("all on, two exclusions") << 0x3f << std::vector<std::string>{"node_modules", "*.png"};
    QTest::newRow("every other flag") << 0x15 << std::vector<std::string>{"build/"};
}

void TDialogTest::jobOptionsRoundTrip()
{
    QFETCH(int, flags);
    QFETCH(std::vector<std::string>, rows);
    for (std::size_t i = 0; i < kJobFlags.size(); ++i)
        m_dialog->findChild<QCheckBox*>(kJobFlags[i].ControlName)->setChecked((flags >> i) & 1);
    for (std::size_t i = 0; i <= rows.size(); ++i) {
        m_dialog->exclusionEdit->setText(i < rows.size() ? QString::fromStdString(rows[i]) : QString());
        m_dialog->InsertExclusionButton->click();
    }
    m_dialog->SaveToIniFile();
    TVarnokDialog again(nullptr, m_storeKey);
    again.LoadFromIniFile();
    QCOMPARE(SelectedRow(again.exclusions), int(rows.size()) - 1);
    for (const TJobOptions& options :
         {TJobOptions(again.JobSettings()), TJobOptions(LoadStoredJob("dialog-test"))}) {
        for (std::size_t i = 0; i < kJobFlags.size(); ++i)
            QCOMPARE(options.*kJobFlags[i].Member, bool((flags >> i) & 1));
        QCOMPARE(options.Exclusions, rows);
    }
}

// The mask page with two exclusions, for tools/screenshots.sh.
void TDialogTest::maskPagePicture()
{
    m_dialog->exclusions->addItems({QStringLiteral("node_modules"), QStringLiteral("*.png")});
    m_dialog->show();
    m_dialog->notebook->setCurrentWidget(m_dialog->masksTab);
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
    if (const QString folder = qEnvironmentVariable("VARNOK_SCREENSHOT_DIR"); !folder.isEmpty())
        QVERIFY(m_dialog->grab().save(folder + QStringLiteral("/dialog-2-Masks.png")));
}

QTEST_MAIN(TDialogTest)
#include "tst_dialog.moc"
