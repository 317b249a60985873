#include "UVarnokDialog.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "AtomicFile.h"
#include "ByteText.h"
#include "ChangeCheck.h"
#include "ChangeList.h"
#include "FileIo.h"
#include "JobOptions.h"
#include "ListEntries.h"
#include "MyComps.h"
#include "Prompts.h"
#include "RunJob.h"
#include "StoreBinding.h"
#include "UAbout.h"
#include "UChooseDirectory.h"
#include "UMyApplication.h"
#include "UMyIniFile.h"

namespace varnok {

namespace {

const QString kRootFolder = QStringLiteral("/");
const QString kAllFiles = QStringLiteral("*.*");
const QString kCaption = QStringLiteral("Varnok Quillet");

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        int left, int top, int width = 75, int height = 25)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, top, width, height);
    return button;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption,
                        int left, int top, int width)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    // A stand-in font may be wider than the designed one: the caption still shows whole.
    box->setGeometry(left, top, std::max(width, box->sizeHint().width()), 17);
    return box;
}

QListWidget* MakeList(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* list = new QListWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setGeometry(left, top, width, height);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}

QWidget* AddPage(QTabWidget* notebook, const char* name, const QString& caption)
{
    auto* page = new QWidget(notebook);
    page->setObjectName(QString::fromLatin1(name));
    notebook->addTab(page, caption);
    return page;
}

}  // namespace

TVarnokDialog::TVarnokDialog(QWidget* owner, const std::string& storeKey)
    : TMyDialog(owner, "Varnok", storeKey)
    , notebook(new QTabWidget(this))
    , FoldersTab(AddPage(notebook, "FoldersTab", QStringLiteral("Folders")))
    , masksTab(AddPage(notebook, "masksTab", QStringLiteral("Masks")))
    , VarnokTab(AddPage(notebook, "VarnokTab", QStringLiteral("Varnok")))
    , changesTab(AddPage(notebook, "changesTab", QStringLiteral("Changes")))
    , optionsTab(AddPage(notebook, "optionsTab", QStringLiteral("Options")))
    , pathEdit(new THistoryBox(FoldersTab))
    , BrowseButton(MakeButton(FoldersTab, "BrowseButton", QStringLiteral("..."), 304, 8, 25, 21))
    , paths(MakeList(FoldersTab, "paths", 8, 40, 321, 145))
    , InsertDirectoryButton(MakeButton(FoldersTab, "InsertDirectoryButton", QStringLiteral("&Insert"), 356, 152))
    , DeleteDirectoryButton(MakeButton(FoldersTab, "DeleteDirectoryButton", QStringLiteral("&Delete"), 356, 184))
    , recurseDirectories(MakeCheckBox(FoldersTab, "recurseDirectories",
                                      QStringLiteral("Search Other Folders Contained In These"), 24, 192, 233))
    , maskEdit(new QLineEdit(kAllFiles, masksTab))
    , InsertMaskButton(MakeButton(masksTab, "InsertMaskButton", QStringLiteral("Insert"), 356, 152))
    , DeleteMaskButton(MakeButton(masksTab, "DeleteMaskButton", QStringLiteral("Delete"), 356, 184))
    , masks(MakeList(masksTab, "masks", 16, 48, 89, 153))
    // In the free middle of the page, clear of the dialog buttons over its
    // right side; the check boxes end where the designed pages' controls do.
    , exclusionLabel(new QLabel(QStringLiteral("E&xclude"), masksTab))
    , exclusionEdit(new QLineEdit(masksTab))
    , exclusions(MakeList(masksTab, "exclusions", 120, 48, 137, 105))
    , InsertExclusionButton(MakeButton(masksTab, "InsertExclusionButton", QStringLiteral("Insert"), 264, 48))
    , DeleteExclusionButton(MakeButton(masksTab, "DeleteExclusionButton", QStringLiteral("Delete"), 264, 80))
    , gitIgnore(MakeCheckBox(masksTab, "gitIgnore", QStringLiteral("Skip Files That &Git Ignores"), 120, 168, 169))
    , editBinary(MakeCheckBox(masksTab, "editBinary", QStringLiteral("Edit &Binary Files"), 120, 192, 169))
    , spanLines(MakeCheckBox(VarnokTab, "spanLines", QStringLiteral("Span Lines When Matching"), 40, 24, 169))
    , changes(new QPlainTextEdit(changesTab))
    , LoadButton(MakeButton(changesTab, "LoadButton", QStringLiteral("&Load..."), 356, 152))
    , SaveButton(MakeButton(changesTab, "SaveButton", QStringLiteral("&Save..."), 356, 184))
    , startWithDialog(MakeCheckBox(optionsTab, "startWithDialog",
                                   QStringLiteral("Run Dialog Automatically"), 40, 16, 209))
    , clearReport(MakeCheckBox(optionsTab, "clearReport", QStringLiteral("Clear Report"), 40, 40, 177))
    , matchCase(MakeCheckBox(optionsTab, "matchCase", QStringLiteral("Match Case"), 40, 64, 177))
    , wholeWords(MakeCheckBox(optionsTab, "wholeWords", QStringLiteral("Whole Words Only"), 40, 88, 177))
    , keepCase(MakeCheckBox(optionsTab, "keepCase", QStringLiteral("&Keep Case"), 40, 112, 177))
    , renameNames(MakeCheckBox(optionsTab, "renameNames", QStringLiteral("Re&name Files and Folders"), 40, 136, 209))
    , OKButton(MakeButton(this, "OKButton", QStringLiteral("&OK"), 360, 48))
    , WizardButton(MakeButton(this, "WizardButton", QStringLiteral("&Wizard..."), 360, 80))
    , helpButton(MakeButton(this, "helpButton", QStringLiteral("&Help"), 360, 112))
    , CancelButton(MakeButton(this, "CancelButton", QStringLiteral("&Cancel"), 360, 144))
    , m_chooser(new TChooseDirectory(this))
{
    setObjectName(QStringLiteral("VarnokDialog"));
    setWindowTitle(kCaption);
    setWindowIcon(MainIcon());
    setFont(DesignFont(QStringLiteral("MS Sans Serif"), 11));
    setSizeGripEnabled(true);
    SetOuterSize(460, 272);
    SetPosition(PositionScreenCenter);

    // The page control fills the client area; the dialog buttons lie over it.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(notebook);
    notebook->setObjectName(QStringLiteral("notebook"));
    for (QPushButton* button : {OKButton, WizardButton, helpButton, CancelButton}) {
        button->raise();
    }

    pathEdit->setObjectName(QStringLiteral("pathEdit"));
    pathEdit->setGeometry(8, 8, 297, 21);
    pathEdit->setEditText(QDir::tempPath());
    pathEdit->SetSize(20);

    maskEdit->setObjectName(QStringLiteral("maskEdit"));
    maskEdit->setGeometry(16, 16, 89, 21);

    exclusionLabel->setObjectName(QStringLiteral("exclusionLabel"));
    exclusionLabel->setGeometry(120, 18, std::max(45, exclusionLabel->sizeHint().width()), 17);
    exclusionLabel->setBuddy(exclusionEdit);
    exclusionEdit->setObjectName(QStringLiteral("exclusionEdit"));
    exclusionEdit->setGeometry(176, 16, 163, 21);
    exclusions->setToolTip(QStringLiteral("Files and folders a run leaves out: a mask without / matches a name, "
                                          "one with / a path below the folder, one ending in / folders only."));

    changes->setObjectName(QStringLiteral("changes"));
    changes->setGeometry(8, 8, 337, 201);
    changes->setFont(DesignFont(QStringLiteral("Courier New"), 11, true));
    changes->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    changes->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    changes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    changes->setTabChangesFocus(true);
    changes->clear();

    startWithDialog->setToolTip(
        QStringLiteral("Always run this dialog automatically when the Quillet starts up."));
    clearReport->setToolTip(QStringLiteral("Delete the current report before beginning the next one."));
    matchCase->setToolTip(QStringLiteral("Match letters only in the case they are typed in: OLD_NAME no longer "
                                         "finds old_name."));
    wholeWords->setToolTip(QStringLiteral("Match whole words only: a match does not continue a word on either "
                                          "side, and with wild cards every character it takes is a letter, a "
                                          "digit or _. size_t no longer finds ssize_t."));
    gitIgnore->setToolTip(QStringLiteral("Inside a git work tree, leave out the files and folders git ignores; "
                                         "tracked files are never left out."));
    editBinary->setToolTip(QStringLiteral("Edit files with a NUL byte too: the text before the first NUL is "
                                          "edited, the rest kept as it is."));

    OKButton->setDefault(true);
    WizardButton->setEnabled(false);

    // Only what the user does to the folder box counts as a change: typing, or
    // picking an entry of its history.
    connect(pathEdit->lineEdit(), &QLineEdit::textEdited, this, &TVarnokDialog::pathEditChange);
    connect(pathEdit, &QComboBox::textActivated, this, &TVarnokDialog::pathEditChange);
    // Buttons run their handlers as the menu runs its commands: an error ends
    // the handler and is shown, and never unwinds through the toolkit.
    const auto command = [this](QPushButton* button, void (TVarnokDialog::*handler)()) {
        connect(button, &QPushButton::clicked, this,
                [this, handler] { TMyApplication::RunCommand([&] { (this->*handler)(); }); });
    };
    command(BrowseButton, &TVarnokDialog::BrowseButtonClick);
    command(InsertDirectoryButton, &TVarnokDialog::InsertDirectoryButtonClick);
    command(DeleteDirectoryButton, &TVarnokDialog::DeleteDirectoryButtonClick);
    command(InsertMaskButton, &TVarnokDialog::InsertMaskButtonClick);
    command(DeleteMaskButton, &TVarnokDialog::DeleteMaskButtonClick);
    command(InsertExclusionButton, &TVarnokDialog::InsertExclusionButtonClick);
    command(DeleteExclusionButton, &TVarnokDialog::DeleteExclusionButtonClick);
    command(LoadButton, &TVarnokDialog::LoadButtonClick);
    command(SaveButton, &TVarnokDialog::SaveButtonClick);
    command(helpButton, &TVarnokDialog::helpButtonClick);
    command(OKButton, &TVarnokDialog::OKButtonClick);
    connect(WizardButton, &QPushButton::clicked, this, [this] { done(ResultWizard); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { done(ResultCancel); });
    paths->viewport()->installEventFilter(this);
    masks->viewport()->installEventFilter(this);
    maskEdit->installEventFilter(this);
    exclusions->viewport()->installEventFilter(this);
    exclusionEdit->installEventFilter(this);

    QWidget* order[] = {OKButton, CancelButton, WizardButton, notebook,
                        pathEdit, BrowseButton, paths, InsertDirectoryButton, DeleteDirectoryButton,
                        recurseDirectories, maskEdit, masks, InsertMaskButton, DeleteMaskButton,
                        exclusionEdit, exclusions, InsertExclusionButton, DeleteExclusionButton,
                        gitIgnore, editBinary, spanLines, changes, LoadButton, SaveButton,
                        startWithDialog, clearReport, matchCase, wholeWords, keepCase, renameNames,
                        helpButton};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }

    // The offsets come from the designed layout, before any saved size applies.
    AddResize(paths, false, true, false, true);
    AddResize(recurseDirectories, false, false, true, false);
    AddResize(masks, false, false, false, true);
    AddResize(changes, false, true, false, true);
    AddResize(pathEdit, false, true, false, false);
    AddResize(BrowseButton, true, false, false, false);
    // The exclusions take the width the page gains; their options stay below them.
    AddResize(exclusionEdit, false, true, false, false);
    AddResize(exclusions, false, true, false, true);
    AddResize(gitIgnore, false, false, true, false);
    AddResize(editBinary, false, false, true, false);
    for (QWidget* button : {OKButton, WizardButton, helpButton, CancelButton, LoadButton, SaveButton,
                            InsertMaskButton, DeleteMaskButton, InsertDirectoryButton,
                            DeleteDirectoryButton, InsertExclusionButton, DeleteExclusionButton}) {
        AddResize(button, true, false, false, false);
    }
    KeepControlsUsable({FoldersTab, masksTab, VarnokTab, changesTab, optionsTab});
}

TJobSettings TVarnokDialog::JobSettings() const
{
    TJobSettings settings;
    settings.ClearReport = clearReport->isChecked();
    settings.Folders = ListBoxRows(paths);
    for (const TJobFlag& flag : kJobFlags) {
        settings.*flag.Member = FlagBox(flag.ControlName)->isChecked();
    }
    settings.ChangeText = SplitTextLines(PlainTextOf(changes));
    settings.Masks = ListBoxRows(masks);
    settings.Exclusions = ListBoxRows(exclusions);
    settings.ChangeListChecked = m_changeListChecked;
    return settings;
}

QCheckBox* TVarnokDialog::FlagBox(const char* controlName) const
{
    auto* box = findChild<QCheckBox*>(QString::fromLatin1(controlName));
    Q_ASSERT(box);
    return box;
}

void TVarnokDialog::OKButtonClick()
{
    m_changeListChecked = false;
    const TJobSettings settings = JobSettings();
    try {
        RefuseTooManyChanges(ReadChangeList(settings.ChangeText).size());
    } catch (const std::runtime_error& error) {
        TPrompts::Instance().Error(this, TextOfBytes(error.what()));
        SelectChangeLine(0);
        return;
    }
    const std::vector<std::string> findings = CheckJob(settings);
    if (!findings.empty() && !AskRunDespite(this, findings)) {
        SelectChangeLine(FindingLine(findings.front()));
        return;
    }
    m_changeListChecked = true;
    done(ResultOK);
}

void TVarnokDialog::SelectChangeLine(int line)
{
    notebook->setCurrentWidget(changesTab);
    changes->setFocus();
    const QTextBlock block = changes->document()->findBlockByNumber(line - 1);
    if (line <= 0 || !block.isValid())
        return;
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    changes->setTextCursor(cursor);
}

void TVarnokDialog::SetPreviewMode(bool preview)
{
    setWindowTitle(preview ? QStringLiteral("Preview") : kCaption);
    OKButton->setText(preview ? QStringLiteral("Pre&view") : QStringLiteral("&OK"));
}

bool AskRunDespite(QWidget* parent, const std::vector<std::string>& findings)
{
    // A long list is cut so that the box still fits the screen.
    constexpr std::size_t kShown = 12;
    QStringList shown;
    for (std::size_t i = 0; i < findings.size() && i < kShown; ++i)
        shown << TextOfBytes(findings[i]);
    if (findings.size() > kShown)
        shown << QStringLiteral("... and %1 more.").arg(findings.size() - kShown);
    return TPrompts::Instance().WarnYesNo(parent, QStringLiteral("Change List Check"),
                                          QStringLiteral("The change list may not do what you mean:\n\n")
                                              + shown.join(QStringLiteral("\n\n"))
                                              + QStringLiteral("\n\nRun anyway?"));
}

void TVarnokDialog::pathEditChange()
{
    WriteSelectedEntry(paths, pathEdit->currentText());
}

void TVarnokDialog::BrowseButtonClick()
{
    if (m_chooser->exec() != ResultOK) {
        return;
    }
    pathEdit->setEditText(m_chooser->ChosenDirectory());
    pathEditChange();
}

void TVarnokDialog::pathsMouseUp()
{
    if (const auto text = SelectedText(paths)) {
        pathEdit->setEditText(*text);
    }
}

void TVarnokDialog::InsertDirectoryButtonClick()
{
    AppendEntry(paths, kRootFolder);
    pathEdit->setEditText(kRootFolder);
}

void TVarnokDialog::DeleteDirectoryButtonClick()
{
    if (const auto text = DeleteSelectedEntry(paths)) {
        pathEdit->setEditText(*text);
    }
}

void TVarnokDialog::maskEditKeyUp()
{
    WriteSelectedEntry(masks, maskEdit->text());
}

void TVarnokDialog::InsertMaskButtonClick()
{
    AppendEntry(masks, kAllFiles);
    maskEdit->setText(kAllFiles);
}

void TVarnokDialog::DeleteMaskButtonClick()
{
    if (const auto text = DeleteSelectedEntry(masks)) {
        maskEdit->setText(*text);
    }
}

void TVarnokDialog::masksMouseUp()
{
    if (const auto text = SelectedText(masks)) {
        maskEdit->setText(*text);
    }
}

// Typing keeps the selected exclusion in step, as with the masks; an empty box
// with none selected adds no empty row.
void TVarnokDialog::exclusionEditKeyUp()
{
    if (exclusionEdit->text().isEmpty() && SelectedRow(exclusions) < 0) {
        return;
    }
    WriteSelectedEntry(exclusions, exclusionEdit->text());
}

void TVarnokDialog::InsertExclusionButtonClick()
{
    if (!exclusionEdit->text().isEmpty()) {
        AppendEntry(exclusions, exclusionEdit->text());
    }
}

void TVarnokDialog::DeleteExclusionButtonClick()
{
    if (const auto text = DeleteSelectedEntry(exclusions)) {
        exclusionEdit->setText(*text);
    }
}

void TVarnokDialog::exclusionsMouseUp()
{
    if (const auto text = SelectedText(exclusions)) {
        exclusionEdit->setText(*text);
    }
}

void TVarnokDialog::LoadButtonClick()
{
    const std::optional<QString> name = TPrompts::Instance().OpenFileName(this, QStringLiteral("*.txt"));
    if (!name) {
        return;
    }
    std::optional<std::string> bytes;
    try {
        bytes = ReadWholeFile(QFile::encodeName(*name).toStdString());
    } catch (const std::system_error& error) {
        CannotOpen(name->toStdString(), error.code().value());
    }
    if (!bytes) {
        CannotOpen(name->toStdString(), ENOENT);
    }
    SetPlainTextOf(changes, *bytes);
}

void TVarnokDialog::SaveButtonClick()
{
    const std::optional<QString> name = TPrompts::Instance().SaveFileName(this, QStringLiteral("Changes.txt"));
    if (!name) {
        return;
    }
    std::string contents;
    for (const std::string& line : SplitTextLines(PlainTextOf(changes))) {
        contents += line;
        contents += "\r\n";
    }
    // The old file gives way only to a complete new one; a link stays a link.
    const std::string path = QFile::encodeName(*name).toStdString();
    try {
        ReplaceFileAtomically(path, ProcessTempPath(path), contents);
    } catch (const std::system_error& error) {
        CannotCreate(name->toStdString(), error.code().value());
    }
}

void TVarnokDialog::helpButtonClick()
{
    ShowHelp();
}

void TVarnokDialog::LoadLocalFromIniFile()
{
    TMyDialog::LoadLocalFromIniFile();
    TMyIniFile& store = IniFile();
    const std::string section = Section();
    pathEdit->LoadHistory(store, section, 1);
    for (const TJobFlag& flag : kJobFlags) {
        FlagBox(flag.ControlName)->setChecked(store.ReadFlag(section, flag.StoreName, flag.StoredDefault));
    }
    startWithDialog->setChecked(store.ReadFlag(section, "CheckBox-3", false));
    clearReport->setChecked(store.ReadFlag(section, "CheckBox-4", true));

    // An empty list gets its edit box's text, as the box stands at that moment;
    // the selected row applies to the list so filled.
    const auto readList = [&](const char* name, QListWidget* list, const QString& entry,
                              const char* selectedName) {
        ReadListBox(store, section, name, list);
        if (list->count() == 0) {
            list->addItem(entry);
        }
        SelectRow(list, store.ReadNumber(section, selectedName, 0));
    };
    readList("ListBox-2", paths, pathEdit->currentText(), "Misc-3");
    maskEdit->setText(QString::fromStdString(store.ReadText(section, "Edit-1", kAllFiles.toStdString())));
    readList("ListBox-1", masks, maskEdit->text(), "Misc-2");
    // No fallback row: an empty list leaves nothing out, as in the batch runner.
    exclusionEdit->setText(QString::fromStdString(store.ReadText(section, kExclusionEntryName, "")));
    ReadListBox(store, section, kExclusionListName, exclusions);
    SelectRow(exclusions, store.ReadNumber(section, kExclusionRowName, -1));

    ReadRichEdit(store, section, "2", changes);
}

void TVarnokDialog::SaveLocalToIniFile()
{
    TMyDialog::SaveLocalToIniFile();
    TMyIniFile& store = IniFile();
    const std::string section = Section();
    pathEdit->SaveHistory(store, section, 1);
    for (const TJobFlag& flag : kJobFlags) {
        store.WriteFlag(section, flag.StoreName, FlagBox(flag.ControlName)->isChecked());
    }
    store.WriteFlag(section, "CheckBox-3", startWithDialog->isChecked());
    store.WriteFlag(section, "CheckBox-4", clearReport->isChecked());
    WriteListBox(store, section, "ListBox-2", paths);
    store.WriteNumber(section, "Misc-3", SelectedRow(paths));
    store.WriteText(section, "Edit-1", maskEdit->text().toStdString());
    WriteListBox(store, section, "ListBox-1", masks);
    store.WriteNumber(section, "Misc-2", SelectedRow(masks));
    store.WriteText(section, kExclusionEntryName, exclusionEdit->text().toStdString());
    WriteListBox(store, section, kExclusionListName, exclusions);
    store.WriteNumber(section, kExclusionRowName, SelectedRow(exclusions));
    WriteRichEdit(store, section, "2", changes);
}

bool TVarnokDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        // Selection follows the press, so at the release it is already made.
        if (watched == paths->viewport()) {
            pathsMouseUp();
        } else if (watched == masks->viewport()) {
            masksMouseUp();
        } else if (watched == exclusions->viewport()) {
            exclusionsMouseUp();
        }
    } else if (event->type() == QEvent::KeyRelease && watched == maskEdit) {
        maskEditKeyUp();
    } else if (event->type() == QEvent::KeyRelease && watched == exclusionEdit) {
        exclusionEditKeyUp();
    }
    return TMyDialog::eventFilter(watched, event);
}

void TVarnokDialog::showEvent(QShowEvent* event)
{
    TMyDialog::showEvent(event);
    m_changeListChecked = false;
    notebook->setCurrentWidget(changesTab);
    changes->setFocus();
}

void TVarnokDialog::reject()
{
    done(ResultCancel);
}

}  // namespace varnok
