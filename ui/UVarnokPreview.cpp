#include "UVarnokPreview.h"

#include "ByteText.h"
#include "Prompts.h"
#include "UAbout.h"
#include "UMyApplication.h"
#include "UnifiedDiff.h"

#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QSyntaxHighlighter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace varnok {

namespace {

constexpr int kNameColumn = 0;
constexpr int kCountColumn = 1;
// Beyond this many lines a diff is cut: a text box of millions of lines
// would take longer to fill than the diff takes to make.
constexpr int kShownLines = 20000;

QColor Tinted(const QColor& base, const QColor& tint, double share)
{
    return QColor::fromRgbF(base.redF() * (1 - share) + tint.redF() * share,
                            base.greenF() * (1 - share) + tint.greenF() * share,
                            base.blueF() * (1 - share) + tint.blueF() * share);
}

// A rename's row keeps its new name here; a file's row has none.
constexpr int kNewNameRole = Qt::UserRole + 1;

std::string NameOf(const QTreeWidgetItem& item)
{
    return item.data(kNameColumn, Qt::UserRole).toByteArray().toStdString();
}

bool IsRename(const QTreeWidgetItem& item)
{
    return item.data(kNameColumn, kNewNameRole).isValid();
}

long long CountOf(const QTreeWidgetItem& item)
{
    return item.data(kCountColumn, Qt::UserRole).toLongLong();
}

// Sorts by count as a number; a rename has none, and comes below every file
// when the most come first.
class TPreviewItem : public QTreeWidgetItem {
public:
    bool operator<(const QTreeWidgetItem& other) const override
    {
        if (treeWidget()->sortColumn() != kCountColumn)
            return QTreeWidgetItem::operator<(other);
        return CountOf(*this) < CountOf(other);
    }
};

QString Counted(long long count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

// The diff as shown: cut after kShownLines lines, with a last line saying so.
QString Shown(const std::string& diff)
{
    if (diff.empty())
        return QStringLiteral("A run would leave this file as it is now.");
    std::size_t end = 0;
    for (int line = 0; line < kShownLines && end != std::string::npos; ++line)
        end = diff.find('\n', end + (line ? 1 : 0));
    if (end == std::string::npos || end + 1 == diff.size())
        return TextOfBytes(diff);
    const auto rest = std::count(diff.begin() + static_cast<std::ptrdiff_t>(end) + 1, diff.end(), '\n');
    return TextOfBytes(std::string_view(diff).substr(0, end + 1))
           + QStringLiteral("(%1 more lines of this diff are not shown)").arg(rest);
}

}  // namespace

// Colours a diff from the palette of its view: removed and added lines on
// the base colour tinted red and green, hunk headers in the link colour, the
// file names in bold. The palette's own text colour stays readable on the
// tints, in light and dark themes alike.
class TDiffHighlighter : public QSyntaxHighlighter {
public:
    explicit TDiffHighlighter(QPlainTextEdit* view)
        : QSyntaxHighlighter(view->document()), m_view(view)
    {
        UsePalette();
        view->installEventFilter(this);  // to follow a change of theme
    }

    void UsePalette()
    {
        const QPalette palette = m_view->palette();
        const QColor base = palette.color(QPalette::Base);
        m_removed.setBackground(Tinted(base, QColor(230, 40, 40), 0.3));
        m_added.setBackground(Tinted(base, QColor(40, 180, 40), 0.3));
        m_hunk.setForeground(palette.color(QPalette::Link));
        m_names.setFontWeight(QFont::Bold);
        rehighlight();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_view && event->type() == QEvent::PaletteChange)
            UsePalette();
        return QSyntaxHighlighter::eventFilter(watched, event);
    }

    void highlightBlock(const QString& text) override
    {
        // The first two lines are the names, when it is a diff at all.
        const bool names = currentBlock().blockNumber() < 2
                           && document()->firstBlock().text().startsWith(QLatin1String("--- "));
        const QTextCharFormat* format = nullptr;
        if (names)
            format = &m_names;
        else if (text.startsWith(QLatin1Char('-')))
            format = &m_removed;
        else if (text.startsWith(QLatin1Char('+')))
            format = &m_added;
        else if (text.startsWith(QLatin1Char('@')))
            format = &m_hunk;
        if (format)
            setFormat(0, static_cast<int>(text.size()), *format);
    }

private:
    QPlainTextEdit* m_view;
    QTextCharFormat m_removed, m_added, m_hunk, m_names;
};

TVarnokPreview::TVarnokPreview(QWidget* owner, const std::string& storeKey)
    : TMyForm(owner, "Varnok\\Preview", storeKey)
{
    setObjectName(QStringLiteral("VarnokPreview"));
    setWindowTitle(QStringLiteral("Varnok Preview"));
    setWindowIcon(MainIcon());
    SetOuterPosition(180, 110);
    SetOuterSize(640, 480);
    SetPosition(PositionDesigned);

    totals = new QLabel(this);
    totals->setObjectName(QStringLiteral("totals"));

    fileList = new QTreeWidget(this);
    fileList->setObjectName(QStringLiteral("fileList"));
    fileList->setColumnCount(2);
    fileList->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Replacements")});
    fileList->setRootIsDecorated(false);
    fileList->setUniformRowHeights(true);  // keeps a list of many files quick
    // Names differ mostly at their ends: the folder and the file's own name.
    fileList->setTextElideMode(Qt::ElideMiddle);
    // No indicator: the list starts in the walk's order, until a header is clicked.
    fileList->header()->setSortIndicator(-1, Qt::AscendingOrder);
    fileList->setSortingEnabled(true);
    // The files with the most replacements are the ones to look at first.
    fileList->headerItem()->setData(kCountColumn, Qt::InitialSortOrderRole, Qt::DescendingOrder);
    fileList->installEventFilter(this);
    fileList->header()->setStretchLastSection(false);
    fileList->header()->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
    fileList->header()->setSectionResizeMode(kCountColumn, QHeaderView::ResizeToContents);

    diffView = new QPlainTextEdit(this);
    diffView->setObjectName(QStringLiteral("diffView"));
    diffView->setReadOnly(true);
    diffView->setLineWrapMode(QPlainTextEdit::NoWrap);
    diffView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    new TDiffHighlighter(diffView);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->addWidget(fileList);
    splitter->addWidget(diffView);
    splitter->setStretchFactor(1, 2);

    BtnApply = new QPushButton(QStringLiteral("&Apply"), this);
    BtnApply->setObjectName(QStringLiteral("BtnApply"));
    BtnClose = new QPushButton(QStringLiteral("Close"), this);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));
    BtnClose->setDefault(true);  // Enter never writes

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnApply);
    buttons->addWidget(BtnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(totals);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);

    connect(BtnApply, &QPushButton::clicked, this, [this] { done(ResultApply); });
    connect(BtnClose, &QPushButton::clicked, this, [this] { done(ResultCancel); });
    connect(fileList, &QTreeWidget::currentItemChanged, this,
            [this] { TMyApplication::RunCommand([this] { ShowSelectedDiff(); }); });
    connect(fileList, &QTreeWidget::itemChanged, this, [this] { ShowTotals(); });
}

TVarnokPreview::~TVarnokPreview() = default;

void TVarnokPreview::SetPreview(const TJobSettings& job, const TPreview& preview)
{
    m_job = job;
    const QSignalBlocker quiet(fileList);
    fileList->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(preview.Files.size()));
    for (const TPreviewFile& file : preview.Files) {
        auto* item = new TPreviewItem;
        item->setText(kNameColumn, TextOfBytes(file.FileName));
        item->setToolTip(kNameColumn, item->text(kNameColumn));
        item->setData(kNameColumn, Qt::UserRole, QByteArray::fromStdString(file.FileName));
        item->setCheckState(kNameColumn, Qt::Checked);
        // A number, so that sorting by it is numeric.
        item->setData(kCountColumn, Qt::DisplayRole, static_cast<qlonglong>(file.Count));
        item->setData(kCountColumn, Qt::UserRole, static_cast<qlonglong>(file.Count));
        item->setTextAlignment(kCountColumn, Qt::AlignRight | Qt::AlignVCenter);
        items << item;
    }
    for (const TPreviewRename& rename : preview.Renames) {
        auto* item = new TPreviewItem;
        const QString slash = rename.Folder ? QStringLiteral("/") : QString();
        item->setText(kNameColumn, TextOfBytes(rename.Name) + slash + QStringLiteral("  \u2192  ")
                                       + TextOfBytes(rename.NewName.substr(rename.NewName.rfind('/') + 1)) + slash);
        item->setToolTip(kNameColumn, TextOfBytes(rename.Name) + slash + QStringLiteral(" \u2192 ")
                                          + TextOfBytes(rename.NewName) + slash);
        item->setData(kNameColumn, Qt::UserRole, QByteArray::fromStdString(rename.Name));
        item->setData(kNameColumn, kNewNameRole, QByteArray::fromStdString(rename.NewName));
        item->setCheckState(kNameColumn, Qt::Checked);
        item->setText(kCountColumn, QStringLiteral("renamed"));
        item->setData(kCountColumn, Qt::UserRole, -1LL);
        item->setTextAlignment(kCountColumn, Qt::AlignRight | Qt::AlignVCenter);
        items << item;
    }
    // Sorted once, not item by item; in the order the user chose for the last preview.
    fileList->setSortingEnabled(false);
    fileList->addTopLevelItems(items);
    fileList->setSortingEnabled(true);
    fileList->setCurrentItem(fileList->topLevelItem(0));
    ShowTotals();
    TMyApplication::RunCommand([this] { ShowSelectedDiff(); });
}

std::vector<std::string> TVarnokPreview::CheckedFiles() const
{
    return Checked(false);
}

std::vector<std::string> TVarnokPreview::CheckedRenames() const
{
    return Checked(true);
}

std::vector<std::string> TVarnokPreview::Checked(bool renames) const
{
    std::vector<std::string> names;
    for (int row = 0; row < fileList->topLevelItemCount(); ++row) {
        const QTreeWidgetItem& item = *fileList->topLevelItem(row);
        if (IsRename(item) == renames && item.checkState(kNameColumn) == Qt::Checked)
            names.push_back(NameOf(item));
    }
    return names;
}

void TVarnokPreview::done(int result)
{
    if (result != ResultApply) {
        long long files = 0, renames = 0;
        for (int row = 0; row < fileList->topLevelItemCount(); ++row) {
            const QTreeWidgetItem& item = *fileList->topLevelItem(row);
            if (item.checkState(kNameColumn) != Qt::Checked)
                ++(IsRename(item) ? renames : files);
        }
        QString unchecked;
        if (files != 0)
            unchecked = Counted(files, "file", "files");
        if (renames != 0)
            unchecked += (files != 0 ? QStringLiteral(" and ") : QString()) + Counted(renames, "rename", "renames");
        if (!unchecked.isEmpty()
            && !TPrompts::Instance().Confirm(
                this, QStringLiteral("Confirm"),
                QStringLiteral("%1 %2 unchecked. Close the preview and discard your choices?")
                    .arg(unchecked)
                    .arg(files + renames == 1 ? QStringLiteral("is") : QStringLiteral("are"))))
            return;
    }
    TMyForm::done(result);
}

bool TVarnokPreview::eventFilter(QObject* watched, QEvent* event)
{
    // Enter would press the default button and close the window: in the list
    // it is the check box's key, as Space is.
    if (watched == fileList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (QTreeWidgetItem* item = fileList->currentItem())
                item->setCheckState(kNameColumn,
                                    item->checkState(kNameColumn) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
            return true;
        }
    }
    return TMyForm::eventFilter(watched, event);
}

void TVarnokPreview::ShowSelectedDiff()
{
    diffView->clear();
    const QTreeWidgetItem* item = fileList->currentItem();
    if (!item)
        return;
    if (IsRename(*item)) {
        std::string header;
        AppendRenameHeader(header, NameOf(*item), item->data(kNameColumn, kNewNameRole).toByteArray().toStdString());
        diffView->setPlainText(TextOfBytes(header));
        return;
    }
    diffView->setPlainText(Shown(PreviewDiff(m_job, NameOf(*item))));
}

void TVarnokPreview::ShowTotals()
{
    long long files = 0, replacements = 0, renames = 0, checkedFiles = 0, checkedReplacements = 0, checkedRenames = 0;
    for (int row = 0; row < fileList->topLevelItemCount(); ++row) {
        const QTreeWidgetItem& item = *fileList->topLevelItem(row);
        const bool checked = item.checkState(kNameColumn) == Qt::Checked;
        if (IsRename(item)) {
            ++renames;
            checkedRenames += checked;
            continue;
        }
        ++files;
        replacements += CountOf(item);
        if (checked) {
            ++checkedFiles;
            checkedReplacements += CountOf(item);
        }
    }
    // Renames are named only in a preview that has some.
    const auto counted = [renames](long long files, long long replacements, long long renamed) {
        QString text = Counted(files, "file", "files") + QStringLiteral(", ")
                       + Counted(replacements, "replacement", "replacements");
        if (renames != 0)
            text += QStringLiteral(", ") + Counted(renamed, "rename", "renames");
        return text;
    };
    QString text = counted(files, replacements, renames);
    if (checkedFiles != files || checkedRenames != renames)
        text += QStringLiteral("; checked: ") + counted(checkedFiles, checkedReplacements, checkedRenames);
    totals->setText(text);
    BtnApply->setEnabled(checkedFiles + checkedRenames != 0);
}

}  // namespace varnok
