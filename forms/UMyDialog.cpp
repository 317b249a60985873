#include "UMyDialog.h"

#include "Prompts.h"
#include "UHelpWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QLayout>

#include <algorithm>

namespace varnok {

TMyDialog::TMyDialog(QWidget* owner, const std::string& productSubKey,
                     const std::string& storeKey)
    : TMyForm(owner, productSubKey + "\\Dialog", storeKey)
{
}

namespace {

// Where `rule` puts its control, which stands at `place`, in a dialog of
// outer size `dialog`.
QRect Placed(const TResize& rule, QRect place, QSize dialog)
{
    if (rule.KeepRight)
        place.moveLeft(dialog.width() - rule.LeftOffset);
    // A dialog made smaller than its layout allows gives empty controls,
    // never negative sizes.
    if (rule.StretchWidth)
        place.setWidth(std::max(0, dialog.width() - rule.WidthOffset));
    if (rule.KeepBottom)
        place.moveTop(dialog.height() - rule.TopOffset);
    if (rule.StretchHeight)
        place.setHeight(std::max(0, dialog.height() - rule.HeightOffset));
    return place;
}

// The pixels between two rectangles side by side or one above the other;
// negative when they overlap.
int Distance(const QRect& a, const QRect& b)
{
    return std::max({b.left() - a.right(), a.left() - b.right(), b.top() - a.bottom(),
                     a.top() - b.bottom()})
           - 1;
}

// The pixels between a control and the nearest edge of its area, up and
// down too when `wholeHeight`; negative when it sticks out.
int Inside(const QRect& place, const QRect& area, bool wholeHeight)
{
    const int across = std::min(place.left() - area.left(), area.right() - place.right());
    if (!wholeHeight)
        return across;
    return std::min({across, place.top() - area.top(), area.bottom() - place.bottom()});
}

// The least number from `start` on down that fits, or up when `start` does not.
template <typename Fits>
int LeastFitting(int start, Fits fits)
{
    constexpr int kMostGrowth = 1000;
    int n = start;
    if (!fits(n)) {
        while (n < start + kMostGrowth && !fits(n))
            ++n;
        return n;
    }
    while (n > 1 && fits(n - 1))
        --n;
    return n;
}

}  // namespace

struct TMyDialog::TPlaced {
    QRect Place, Area;  // the control, and the page or dialog it must stay in
    QSize Least;        // its least size where a rule stretches it; 0 elsewhere
    const QWidget* Page = nullptr;  // null: on the dialog, over every page
};

void TMyDialog::AddResize(QWidget* control, bool keepRight, bool stretchWidth, bool keepBottom,
                          bool stretchHeight)
{
    const QSize dialog = OuterSize();
    if (m_resizes.empty())
        m_registeredAt = dialog;
    m_resizes.push_back({control, keepRight, stretchWidth, keepBottom, stretchHeight,
                         dialog.width() - control->x(), dialog.width() - control->width(),
                         dialog.height() - control->y(), dialog.height() - control->height()});
}

void TMyDialog::ResizeControls()
{
    const QSize dialog = OuterSize();
    for (const TResize& rule : m_resizes)
        rule.Control->setGeometry(Placed(rule, rule.Control->geometry(), dialog));
}

void TMyDialog::resizeEvent(QResizeEvent* event)
{
    TMyForm::resizeEvent(event);
    ResizeControls();
    // Once the system frames the window, the rules place by a larger outer size.
    if (m_frameAtLeastSize && *m_frameAtLeastSize != OuterSize() - size())
        UpdateLeastSize();
}

void TMyDialog::showEvent(QShowEvent* event)
{
    // The pages are laid out by now (children show first); the least size
    // comes before a centred placement takes the size.
    if (!m_frameAtLeastSize && !m_pages.empty())
        UpdateLeastSize();
    TMyForm::showEvent(event);
}

void TMyDialog::KeepControlsUsable(std::vector<QWidget*> pages)
{
    m_pages = std::move(pages);
}

std::vector<TMyDialog::TPlaced> TMyDialog::PlaceAt(QSize outer) const
{
    const QSize growth = outer - OuterSize();
    std::vector<TPlaced> placed;
    const auto add = [&](QWidget* control, const QWidget* page, QRect area) {
        const auto rule = std::find_if(m_resizes.begin(), m_resizes.end(),
                                       [&](const TResize& r) { return r.Control == control; });
        const QPoint offset = page ? page->parentWidget()->mapTo(this, QPoint()) : QPoint();
        QRect place = control->geometry();
        QSize least;
        if (rule != m_resizes.end()) {
            place = Placed(*rule, place, outer);
            // A control made smaller than its hint by design may stay so.
            least = control->minimumSizeHint()
                        .expandedTo(control->minimumSize())
                        .expandedTo(QSize(0, 0))
                        .boundedTo(Placed(*rule, control->geometry(), m_registeredAt).size());
            least = {rule->StretchWidth ? least.width() : 0,
                     rule->StretchHeight ? least.height() : 0};
        }
        placed.push_back({place.translated(offset), area, least, page});
    };
    for (const QWidget* page : m_pages) {
        // Only the page on show is laid out; all fill the same room.
        const QWidget* room = page->parentWidget();
        const QRect area(room->mapTo(this, QPoint()), room->size() + growth);
        for (QWidget* control : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!control->isWindow() && !control->isHidden())
                add(control, page, area);
        }
    }
    for (const TResize& rule : m_resizes) {
        if (rule.Control->parentWidget() == this && !rule.Control->isHidden())
            add(rule.Control, nullptr, QRect(QPoint(), size() + growth));
    }
    return placed;
}

bool TMyDialog::UsableAt(QSize outer, bool wholeHeight, const std::vector<TPlaced>& designed) const
{
    const std::vector<TPlaced> now = PlaceAt(outer);
    for (std::size_t i = 0; i < now.size(); ++i) {
        const TPlaced& a = now[i];
        const int margin =
            std::clamp(Inside(designed[i].Place, designed[i].Area, wholeHeight), 0, kMinGap);
        if (Inside(a.Place, a.Area, wholeHeight) < margin || a.Place.width() < a.Least.width()
            || (wholeHeight && a.Place.height() < a.Least.height()))
            return false;
        for (std::size_t j = i + 1; j < now.size(); ++j) {
            const TPlaced& b = now[j];
            const int apart = Distance(designed[i].Place, designed[j].Place);
            if ((a.Page == b.Page || !a.Page || !b.Page) && apart >= 0
                && Distance(a.Place, b.Place) < std::min(apart, kMinGap))
                return false;
        }
    }
    return true;
}

QSize TMyDialog::LeastUsableSize() const
{
    // The width at the registered height, where no rule moves anything up
    // or down; then the height at that width.
    const std::vector<TPlaced> designed = PlaceAt(m_registeredAt);
    const int width = LeastFitting(m_registeredAt.width(), [&](int w) {
        return UsableAt(QSize(w, m_registeredAt.height()), false, designed);
    });
    const int height = LeastFitting(m_registeredAt.height(), [&](int h) {
        return UsableAt(QSize(width, h), true, designed);
    });
    return QSize(width, height) - (OuterSize() - size());
}

void TMyDialog::UpdateLeastSize()
{
    m_frameAtLeastSize = OuterSize() - size();
    // The layout's own least size (the page tabs, for one) still holds.
    setMinimumSize(LeastUsableSize().expandedTo(layout() ? layout()->totalMinimumSize() : QSize()));
}

namespace {

const QString kHelpFileName = QStringLiteral("Quillets.hlp");
const QString kHelpFileMissing = QStringLiteral("Can't find the help file");
QString applicationHelpFile;

// The path up to and including its last "/".
QString FolderPart(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

}  // namespace

std::vector<QString> HelpFileCandidates(const QString& programPath)
{
    const QString folder = FolderPart(programPath);
    const QString parent = FolderPart(folder.chopped(folder.isEmpty() ? 0 : 1));
    // An installed program sits in <prefix>/bin, its data in <prefix>/share;
    // a program in "/" has "/" as the prefix.
    const QString prefix = parent.isEmpty() && !folder.isEmpty() ? QStringLiteral("/") : parent;
    return {folder + kHelpFileName, parent + kHelpFileName,
            prefix + QStringLiteral("share/varnok/") + kHelpFileName};
}

QString FindHelpFile(const QString& programPath)
{
    for (const QString& candidate : HelpFileCandidates(programPath)) {
        applicationHelpFile = candidate;
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return QString();
}

QString ApplicationHelpFile()
{
    return applicationHelpFile;
}

void ShowHelp()
{
    ShowHelp(QCoreApplication::applicationFilePath());
}

void ShowHelp(const QString& programPath)
{
    const QString file = FindHelpFile(programPath);
    if (file.isEmpty()) {
        TPrompts::Instance().Error(QApplication::activeWindow(), kHelpFileMissing);
        return;
    }
    THelpWindow::Open(file);
}

}  // namespace varnok
