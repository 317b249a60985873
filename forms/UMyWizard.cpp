#include "UMyWizard.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <vector>

namespace varnok {
namespace {

constexpr int kStripHeight = 42;
constexpr QRgb kMagenta = qRgb(255, 0, 255);

QPushButton* StripButton(QWidget* strip, const char* name, const QString& caption, int left)
{
    auto* button = new QPushButton(caption, strip);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, 11, 89, 25);
    return button;
}

}  // namespace

TMyWizard::TMyWizard(QWidget* owner, const std::string& storeKey, const std::string& productSubKey,
                     int lastPage, const QImage& flagPicture)
    : TMyForm(owner, productSubKey + "\\Wizard", storeKey)
    , LastPage(lastPage)
    , notebook(new QStackedWidget(this))
    , ImageFlag(new QLabel(this))
    , m_caption(QString::fromStdString(productSubKey) + QStringLiteral(" Wizard"))
{
    notebook->setObjectName(QStringLiteral("notebook"));
    auto* strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("ButtonStrip"));
    strip->setFixedHeight(kStripHeight);
    BtnBack = StripButton(strip, "BtnBack", QStringLiteral("< &Back"), 210);
    BtnNext = StripButton(strip, "BtnNext", QStringLiteral("&Next >"), 299);
    BtnCancel = StripButton(strip, "BtnCancel", QStringLiteral("&Cancel"), 401);
    // Enter always goes forward: a focused Back does not take it for itself.
    BtnBack->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(notebook, 1);
    layout->addWidget(strip);

    connect(BtnBack, &QPushButton::clicked, this, &TMyWizard::BtnBackClick);
    connect(BtnNext, &QPushButton::clicked, this, &TMyWizard::BtnNextClick);
    connect(BtnCancel, &QPushButton::clicked, this, [this] { done(ResultCancel); });

    // The picture is drawn on magenta, which takes the window's colour here,
    // once, on the copy held in memory.
    ImageFlag->setObjectName(QStringLiteral("ImageFlag"));
    if (!flagPicture.isNull()) {
        QImage picture = flagPicture;
        FloodFill(picture, QPoint(1, 1), kMagenta, palette().color(QPalette::Window).rgb());
        ImageFlag->setPixmap(QPixmap::fromImage(picture));
    }
    ImageFlag->hide();  // until a page takes it
}

void TMyWizard::UpdateButtons()
{
    const int page = notebook->currentIndex();
    const bool last = page == LastPage;
    BtnBack->setVisible(page != FirstPage);
    BtnNext->setDefault(true);
    BtnNext->setText(last ? QStringLiteral("&Finish") : QStringLiteral("&Next >"));
    m_nextResult = last ? ResultOK : 0;
}

void TMyWizard::BtnNextClick()
{
    // The result is the one the button had when it was pressed, so the click
    // that reaches the last page does not also close the window.
    const int result = m_nextResult;
    if (notebook->currentIndex() < LastPage)
        notebook->setCurrentIndex(notebook->currentIndex() + 1);
    UpdateButtons();
    if (result != 0)
        done(result);
}

void TMyWizard::BtnBackClick()
{
    if (notebook->currentIndex() > FirstPage)
        notebook->setCurrentIndex(notebook->currentIndex() - 1);
    UpdateButtons();
}

void TMyWizard::reject()
{
    done(ResultCancel);
}

void TMyWizard::showEvent(QShowEvent* event)
{
    notebook->setCurrentIndex(FirstPage);
    setWindowTitle(m_caption);
    UpdateButtons();
    TMyForm::showEvent(event);
}

void TMyWizard::FloodFill(QImage& image, QPoint seed, QRgb from, QRgb to)
{
    const QRgb target = from & RGB_MASK;
    const QRgb fill = to & RGB_MASK;
    if (!image.valid(seed) || target == fill || (image.pixel(seed) & RGB_MASK) != target)
        return;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
        image.convertTo(QImage::Format_ARGB32);

    const int width = image.width();
    const int height = image.height();
    const auto isTarget = [target](QRgb pixel) { return (pixel & RGB_MASK) == target; };
    // Scan-line fill: each stacked point starts a run; a run is filled whole,
    // and the runs above and below it are stacked once per run.
    std::vector<QPoint> pending{seed};
    while (!pending.empty()) {
        const QPoint point = pending.back();
        pending.pop_back();
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(point.y()));
        if (!isTarget(row[point.x()]))
            continue;
        int left = point.x();
        while (left > 0 && isTarget(row[left - 1]))
            --left;
        int right = point.x();
        while (right + 1 < width && isTarget(row[right + 1]))
            ++right;
        for (int x = left; x <= right; ++x)
            row[x] = (row[x] & ~RGB_MASK) | fill;
        for (const int y : {point.y() - 1, point.y() + 1}) {
            if (y < 0 || y >= height)
                continue;
            const auto* neighbour = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = left; x <= right; ++x) {
                if (isTarget(neighbour[x]) && (x == left || !isTarget(neighbour[x - 1])))
                    pending.emplace_back(x, y);
            }
        }
    }
}

}  // namespace varnok
