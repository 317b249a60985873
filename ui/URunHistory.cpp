#include "URunHistory.h"

#include "ByteText.h"
#include "UAbout.h"
#include "UMyApplication.h"

#include "ChangeList.h"
#include "RunHistory.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <ctime>

namespace varnok {

namespace {

constexpr int kUndoableRole = Qt::UserRole + 1;

// The id is the start in UTC. It is shown in local time as the undo's
// question shows it, so that the two read alike; unlike the journal's own
// start it is there when the journal cannot be read.
QString LocalStart(const std::string& id)
{
    std::tm parts{};
    if (!strptime(id.c_str(), "%Y%m%dT%H%M%S", &parts))
        return QString::fromStdString(id);
    const std::time_t time = timegm(&parts);
    std::tm local{};
    localtime_r(&time, &local);
    char text[64];
    std::strftime(text, sizeof text, "%e %b %Y %H:%M", &local);
    return QString::fromLocal8Bit(text).trimmed();
}

QStringList Folders(const TJournal& journal)
{
    QStringList folders;
    for (const std::string& folder : journal.Folders)
        folders << TextOfBytes(folder);
    return folders;
}

// "search → replacement", one per change.
QStringList Changes(const TJournal& journal)
{
    QStringList changes;
    for (const TChange& change : ReadChangeList(journal.ChangeText))
        changes << TextOfBytes(change.Search) + QStringLiteral(" \u2192 ") + TextOfBytes(change.Replace);
    return changes;
}

// The first `shown` of them, then how many more there are.
QString Shortened(const QStringList& changes, qsizetype shown, const QString& separator)
{
    QString text = changes.mid(0, shown).join(separator);
    if (changes.size() > shown)
        text += QStringLiteral(" and %1 more").arg(changes.size() - shown);
    return text;
}

// Folders that share a long start differ at their ends, which must stay in view.
class TMiddleElided : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = Qt::ElideMiddle;
    }
};

QTreeWidgetItem* ItemOf(const TKeptRun& run)
{
    auto* item = new QTreeWidgetItem;
    item->setData(TRunHistory::ColumnStarted, Qt::UserRole, QString::fromStdString(run.Id));
    item->setText(TRunHistory::ColumnStarted, LocalStart(run.Id));
    item->setTextAlignment(TRunHistory::ColumnFiles, Qt::AlignRight | Qt::AlignVCenter);
    if (!run.Readable) {
        const bool empty = run.Problem == "empty";
        item->setText(TRunHistory::ColumnState, empty ? QStringLiteral("empty") : QStringLiteral("cannot be read"));
        if (!empty)
            for (int column = 0; column < TRunHistory::ColumnCount; ++column)
                item->setToolTip(column, TextOfBytes(run.Problem));
        item->setData(TRunHistory::ColumnState, kUndoableRole, false);
        return item;
    }
    const TJournal& journal = run.Journal;
    // Tool tips hold what a narrow column cuts off.
    const QStringList folders = Folders(journal);
    item->setText(TRunHistory::ColumnFolders, folders.join(QStringLiteral(", ")));
    item->setToolTip(TRunHistory::ColumnFolders, folders.join(QLatin1Char('\n')));
    const QStringList changes = Changes(journal);
    item->setText(TRunHistory::ColumnChanges, Shortened(changes, 1, QString()));
    item->setToolTip(TRunHistory::ColumnChanges, Shortened(changes, 12, QStringLiteral("\n")));
    item->setText(TRunHistory::ColumnFiles, QString::number(journal.FileCount()));
    item->setText(TRunHistory::ColumnState,
                  journal.Undone ? QStringLiteral("undone") : QStringLiteral("not undone"));
    item->setData(TRunHistory::ColumnState, kUndoableRole, !journal.Undone);
    return item;
}

}  // namespace

TRunHistory::TRunHistory(QWidget* owner, const std::string& storeKey)
    : TMyForm(owner, "Varnok\\RunHistory", storeKey)
{
    setObjectName(QStringLiteral("RunHistory"));
    setWindowTitle(QStringLiteral("Varnok Run History"));
    setWindowIcon(MainIcon());
    SetOuterPosition(200, 130);
    SetOuterSize(680, 320);
    SetPosition(PositionDesigned);

    runList = new QTreeWidget(this);
    runList->setObjectName(QStringLiteral("runList"));
    runList->setColumnCount(ColumnCount);
    runList->setHeaderLabels({QStringLiteral("Started"), QStringLiteral("Folders"), QStringLiteral("Changes"),
                              QStringLiteral("Files"), QStringLiteral("State")});
    runList->setRootIsDecorated(false);
    runList->setUniformRowHeights(true);
    runList->setAllColumnsShowFocus(true);
    runList->setItemDelegateForColumn(ColumnFolders, new TMiddleElided(runList));
    QHeaderView* header = runList->header();
    header->setStretchLastSection(false);
    for (const int column : {ColumnStarted, ColumnFiles, ColumnState})
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    for (const int column : {ColumnFolders, ColumnChanges})
        header->setSectionResizeMode(column, QHeaderView::Stretch);

    BtnUndo = new QPushButton(QStringLiteral("&Undo"), this);
    BtnUndo->setObjectName(QStringLiteral("BtnUndo"));
    // Enter on a row undoes it, after the question.
    BtnUndo->setDefault(true);
    BtnClose = new QPushButton(QStringLiteral("Close"), this);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnUndo);
    buttons->addWidget(BtnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(runList, 1);
    layout->addLayout(buttons);
    runList->setFocus();

    connect(BtnUndo, &QPushButton::clicked, this, [this] { UndoSelected(); });
    connect(BtnClose, &QPushButton::clicked, this, [this] { done(ResultCancel); });
    connect(runList, &QTreeWidget::currentItemChanged, this, [this] { UpdateUndoButton(); });
}

TRunHistory::~TRunHistory() = default;

void TRunHistory::Refresh()
{
    const std::string selected = SelectedId();
    const QSignalBlocker quiet(runList);
    runList->clear();
    QList<QTreeWidgetItem*> items;
    QTreeWidgetItem* current = nullptr;
    const std::vector<TKeptRun> runs = KeptRuns(RunJournalFolder());
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        items << ItemOf(*run);
        if (run->Id == selected)
            current = items.last();
    }
    runList->addTopLevelItems(items);
    if (!current && !items.isEmpty())
        current = items.first();
    runList->setCurrentItem(current);
    UpdateUndoButton();
}

void TRunHistory::ShowRuns()
{
    if (isVisible())
        Refresh();
    show();
    raise();
    activateWindow();
}

void TRunHistory::SetRunning(bool running)
{
    m_running = running;
    // A run from the report window adds a run; an undo changes one.
    if (!running && isVisible())
        Refresh();
    else
        UpdateUndoButton();
}

std::string TRunHistory::SelectedId() const
{
    const QTreeWidgetItem* item = runList->currentItem();
    return item ? item->data(ColumnStarted, Qt::UserRole).toString().toStdString() : std::string();
}

void TRunHistory::showEvent(QShowEvent* event)
{
    Refresh();
    TMyForm::showEvent(event);
}

void TRunHistory::UpdateUndoButton()
{
    const QTreeWidgetItem* item = runList->currentItem();
    BtnUndo->setEnabled(!m_running && item && item->data(ColumnState, kUndoableRole).toBool());
}

void TRunHistory::UndoSelected()
{
    const std::string id = SelectedId();
    if (!id.empty() && OnUndo)
        TMyApplication::RunCommand([&] { OnUndo(id); });  // its end lists the runs anew (SetRunning)
}

}  // namespace varnok
