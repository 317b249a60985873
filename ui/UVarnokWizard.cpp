#include "UVarnokWizard.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>

#include <algorithm>

#include "ListEntries.h"
#include "StoreBinding.h"
#include "UAbout.h"
#include "UChooseDirectory.h"
#include "UMyIniFile.h"
#include "UWildCards.h"

// Resources of a static library are registered by hand, outside any namespace.
static QImage FinishPicture()
{
    Q_INIT_RESOURCE(wizard);
    return QImage(QStringLiteral(":/wizard/finish.png"));
}

namespace varnok {
namespace {

const QString kRootFolder = QStringLiteral("/");
const QString kAllFiles = QStringLiteral("*.*");

template <typename Control>
Control* Place(Control* control, const char* name, const QRect& geometry)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(geometry);
    return control;
}

// A wrapping label at its designed place; it grows downwards when the font
// standing in for the designed one needs more lines.
void AddText(QWidget* page, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, page);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(geometry.x(), geometry.y(), geometry.width(),
                       std::max(geometry.height(), label->heightForWidth(geometry.width())));
}

QCheckBox* AddCheckBox(QWidget* page, const char* name, const QString& caption, QPoint at, int width)
{
    return Place(new QCheckBox(caption, page), name, QRect(at, QSize(width, 17)));
}

}  // namespace

TVarnokWizard::TVarnokWizard(QWidget* owner, const std::string& storeKey)
    : TMyWizard(owner, storeKey, "Varnok", 5, FinishPicture())
    , Welcome(AddPage("Welcome", QStringLiteral("Search Wizard")))
    , Directory(AddPage("Directory", QStringLiteral("Starting Folder")))
    , Masks(AddPage("Masks", QStringLiteral("File Masks")))
    , FileType(AddPage("FileType", QStringLiteral("File Types")))
    , SearchString(AddPage("SearchString", QStringLiteral("Search String")))
    , Finish(AddPage("Finish", QString()))
    , RootDirectory(Place(new QLineEdit(kRootFolder, Directory), "RootDirectory", {168, 104, 249, 21}))
    , BtnBrowse(Place(new QPushButton(QStringLiteral("Browse..."), Directory), "BtnBrowse",
                      {424, 104, 65, 21}))
    , recurseDirectories(AddCheckBox(Directory, "recurseDirectories",
                                     QStringLiteral("Search Other Folders Contained In This One"),
                                     {168, 144}, 257))
    , maskEdit(Place(new QLineEdit(kAllFiles, Masks), "maskEdit", {176, 136, 121, 21}))
    , masks(Place(new QListWidget(Masks), "masks", {320, 128, 121, 129}))
    , Insert(Place(new QPushButton(QStringLiteral("&Insert"), Masks), "Insert", {224, 168, 75, 25}))
    , Delete(Place(new QPushButton(QStringLiteral("&Delete"), Masks), "Delete", {224, 200, 75, 25}))
    , binaryFiles(AddCheckBox(FileType, "binaryFiles", QStringLiteral("Non Text Files"), {176, 144}, 145))
    , searchString(Place(new QLineEdit(SearchString), "searchString", {168, 104, 273, 21}))
    , wildCards(AddCheckBox(SearchString, "wildCards", QStringLiteral("Use Wild Cards"), {176, 144}, 145))
    , wholeWords(AddCheckBox(SearchString, "wholeWords", QStringLiteral("Only Match Whole Words"),
                             {176, 168}, 169))
    , WildCardWizard(Place(new QPushButton(QStringLiteral("&Wild Cards..."), SearchString),
                           "WildCardWizard", {168, 224, 75, 25}))
    , m_chooser(new TChooseDirectory(this))
{
    setObjectName(QStringLiteral("VarnokWizard"));
    setWindowTitle(QStringLiteral("Varnok Wizard"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setFont(DesignFont(QStringLiteral("MS Sans Serif"), 11));
    setFixedSize(500, 320);
    SetPosition(PositionScreenCenter);

    AddText(Welcome,
            QStringLiteral("Seldrum will search through files on your disk looking for the strings "
                           "which you specify."),
            {168, 56, 321, 41});
    AddText(Welcome, QStringLiteral("To begin click \"Next\"."), {168, 116, 377, 17});
    AddText(Directory,
            QStringLiteral("Seldrum will only report on files found in this this folder and all its "
                           "sub folders. If you want to search your entire hard disk, put \"/\" "
                           "here, and check the box."),
            {168, 56, 321, 49});
    AddText(Masks,
            QStringLiteral("Seldrum will search all files which match any of the file masks listed "
                           "here. File masks are constructed using the standard Windows/DOS "
                           "convention of '*' to mean anything, and '?' to mean any one character."),
            {168, 56, 321, 65});
    AddText(FileType,
            QStringLiteral("Usually you will only want to search ASCII text files. But if you do want "
                           "to search other kinds of files looking for certain strings, the Quillet "
                           "will do a much better job if you let it know before hand. "),
            {168, 56, 321, 49});
    AddText(FileType, QStringLiteral("Check the box only if you want to search non text files."),
            {168, 112, 321, 25});
    AddText(SearchString,
            QStringLiteral("Type the word or phrase you want to search for here. You can also use any "
                           "combination of special wild cards."),
            {168, 56, 321, 41});
    AddText(Finish, QStringLiteral("The Wizard now has enough information to complete the task."),
            {240, 102, 241, 31});
    AddText(Finish, QStringLiteral("Click on the finish button to complete the task."),
            {240, 142, 241, 19});
    // Likewise a check box widens to show its whole caption.
    for (QCheckBox* box : findChildren<QCheckBox*>())
        box->resize(std::max(box->width(), box->sizeHint().width()), box->height());

    ImageFlag->setParent(Finish);
    ImageFlag->setGeometry(16, 16, 200, 250);
    ImageFlag->show();

    masks->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(BtnBrowse, &QPushButton::clicked, this, &TVarnokWizard::BtnBrowseClick);
    connect(Insert, &QPushButton::clicked, this, &TVarnokWizard::InsertClick);
    connect(Delete, &QPushButton::clicked, this, &TVarnokWizard::DeleteClick);
    connect(WildCardWizard, &QPushButton::clicked, this, &TVarnokWizard::WildCardWizardClick);
    maskEdit->installEventFilter(this);
    masks->viewport()->installEventFilter(this);
}

QWidget* TVarnokWizard::AddPage(const char* name, const QString& title)
{
    auto* page = new QWidget(notebook);
    page->setObjectName(QString::fromLatin1(name));
    notebook->addWidget(page);
    if (!title.isEmpty()) {
        auto* label = new QLabel(title, page);
        QFont font = DesignFont(QStringLiteral("MS Sans Serif"), 24);
        font.setBold(true);
        label->setFont(font);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(palette);
        label->move(168, 16);
        label->adjustSize();
    }
    return page;
}

void TVarnokWizard::LoadLocalFromIniFile()
{
    TMyWizard::LoadLocalFromIniFile();
    const TMyIniFile& store = IniFile();
    const std::string& section = Section();
    const auto readText = [&](const char* name, const QString& fallback) {
        return QString::fromStdString(store.ReadText(section, name, fallback.toStdString()));
    };
    RootDirectory->setText(readText("Edit-1", kRootFolder));
    searchString->setText(readText("Edit-2", QString()));
    maskEdit->setText(readText("Edit-3", kAllFiles));
    recurseDirectories->setChecked(store.ReadFlag(section, "CheckBox-1", true));
    wildCards->setChecked(store.ReadFlag(section, "CheckBox-2", false));
    wholeWords->setChecked(store.ReadFlag(section, "CheckBox-3", false));
    binaryFiles->setChecked(store.ReadFlag(section, "CheckBox-4", false));
    ReadListBox(store, section, "ListBox-1", masks);
    if (masks->count() == 0)
        masks->addItem(maskEdit->text());
    SelectRow(masks, store.ReadNumber(section, "Misc-1", 0));
}

void TVarnokWizard::SaveLocalToIniFile()
{
    TMyWizard::SaveLocalToIniFile();
    TMyIniFile& store = IniFile();
    const std::string& section = Section();
    store.WriteText(section, "Edit-1", RootDirectory->text().toStdString());
    store.WriteText(section, "Edit-2", searchString->text().toStdString());
    store.WriteText(section, "Edit-3", maskEdit->text().toStdString());
    store.WriteFlag(section, "CheckBox-1", recurseDirectories->isChecked());
    store.WriteFlag(section, "CheckBox-2", wildCards->isChecked());
    store.WriteFlag(section, "CheckBox-3", wholeWords->isChecked());
    store.WriteFlag(section, "CheckBox-4", binaryFiles->isChecked());
    WriteListBox(store, section, "ListBox-1", masks);
    store.WriteNumber(section, "Misc-1", SelectedRow(masks));
}

void TVarnokWizard::BtnBrowseClick()
{
    if (m_chooser->exec() == ResultOK)
        RootDirectory->setText(m_chooser->ChosenDirectory());
}

void TVarnokWizard::maskEditKeyUp()
{
    WriteSelectedEntry(masks, maskEdit->text());
}

void TVarnokWizard::masksMouseUp()
{
    if (const auto text = SelectedText(masks))
        maskEdit->setText(*text);
}

void TVarnokWizard::InsertClick()
{
    AppendEntry(masks, kAllFiles);
    maskEdit->setText(kAllFiles);
}

void TVarnokWizard::DeleteClick()
{
    if (const auto text = DeleteSelectedEntry(masks))
        maskEdit->setText(*text);
}

void TVarnokWizard::WildCardWizardClick()
{
    TWildCards window(this);
    window.exec();
}

bool TVarnokWizard::eventFilter(QObject* watched, QEvent* event)
{
    // Selection follows the press, so at the release it is already made.
    if (event->type() == QEvent::MouseButtonRelease && watched == masks->viewport())
        masksMouseUp();
    else if (event->type() == QEvent::KeyRelease && watched == maskEdit)
        maskEditKeyUp();
    return TMyWizard::eventFilter(watched, event);
}

}  // namespace varnok
