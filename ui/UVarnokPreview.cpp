#include "UVarnokPreview.h"

#include "ByteText.h"
#include "Prompts.h"
#include "UAbout.h"
#include "UMyApplication.h"

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

std::string NameOf(const QTreeWidgetItem& item)
{
    return item.data(kNameColumn, Qt::UserRole).toByteArray().toStdString();
}

long long CountOf(const QTreeWidgetItem& item)
{
    return item.data(kCountColumn, Qt::UserRole).toLongLong();
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
        auto* item = new QTreeWidgetItem;
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
    std::vector<std::string> names;
    for (int row = 0; row < fileList->topLevelItemCount(); ++row) {
        const QTreeWidgetItem& item = *fileList->topLevelItem(row);
        if (item.checkState(kNameColumn) == Qt::Checked)
            names.push_back(NameOf(item));
    }
    return names;
}

void TVarnokPreview::done(int result)
{
    if (result != ResultApply) {
        const auto unchecked = fileList->topLevelItemCount() - static_cast<int>(CheckedFiles().size());
        if (unchecked != 0
            && !TPrompts::Instance().Confirm(
                this, QStringLiteral("Confirm"),
                QStringLiteral("%1 %2 unchecked. Close the preview and discard your choices?")
                    .arg(unchecked)
                    .arg(unchecked == 1 ? QStringLiteral("file is") : QStringLiteral("files are"))))
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
    if (const QTreeWidgetItem* item = fileList->currentItem())
        diffView->setPlainText(Shown(PreviewDiff(m_job, NameOf(*item))));
}

void TVarnokPreview::ShowTotals()
{
    long long files = 0, replacements = 0, checkedFiles = 0, checkedReplacements = 0;
    for (int row = 0; row < fileList->topLevelItemCount(); ++row) {
        const QTreeWidgetItem& item = *fileList->topLevelItem(row);
        ++files;
        replacements += CountOf(item);
        if (item.checkState(kNameColumn) == Qt::Checked) {
            ++checkedFiles;
            checkedReplacements += CountOf(item);
        }
    }
    const auto counted = [](long long files, long long replacements) {
        return QStringLiteral("%1 %2, %3 %4")
            .arg(files)
            .arg(files == 1 ? QStringLiteral("file") : QStringLiteral("files"))
            .arg(replacements)
            .arg(replacements == 1 ? QStringLiteral("replacement") : QStringLiteral("replacements"));
    };
    QString text = counted(files, replacements);
    if (checkedFiles != files)
        text += QStringLiteral("; checked: ") + counted(checkedFiles, checkedReplacements);
    totals->setText(text);
    BtnApply->setEnabled(checkedFiles != 0);
}

}  // namespace varnok
