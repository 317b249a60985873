#include "UMyForm.h"

#include "StoreTransaction.h"
#include "UMyIniFile.h"

#include <QEvent>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace varnok {
namespace {

QMargins FrameOf(const QWidget& window)
{
    const QRect outer = window.frameGeometry();
    const QRect inner = window.geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(),
            outer.right() - inner.right(), outer.bottom() - inner.bottom()};
}

}  // namespace

TMyForm::TMyForm(QWidget* owner, const std::string& section, const std::string& storeKey)
    : QDialog(owner), m_iniFile(std::make_unique<TMyIniFile>(storeKey)), m_section(section)
{
}

TMyForm::~TMyForm() = default;

void TMyForm::LoadFromIniFile()
{
    // One reading of the store for the whole load, nested windows included.
    TStoreTransaction transaction;
    TMyIniFile& ini = IniFile();
    SetOuterPosition(ini.ReadNumber(m_section, "Left", OuterGeometry().left()),
                     OuterGeometry().top());
    SetOuterPosition(OuterGeometry().left(),
                     ini.ReadNumber(m_section, "Top", OuterGeometry().top()));
    SetOuterSize(OuterGeometry().width(),
                 ini.ReadNumber(m_section, "Height", OuterGeometry().height()));
    SetOuterSize(ini.ReadNumber(m_section, "Width", OuterGeometry().width()),
                 OuterGeometry().height());
    SetStateNumber(ini.ReadNumber(m_section, "State", StateNumber()));
    SetPosition(ini.ReadNumber(m_section, "Position", m_position));
    LoadLocalFromIniFile();
    transaction.Commit();
}

void TMyForm::SaveToIniFile()
{
    // The whole save, nested windows included, is one writing of the store:
    // a kill or an error part-way leaves the previous save whole.
    TStoreTransaction transaction;
    TMyIniFile& ini = IniFile();
    const QRect outer = OuterGeometry();
    ini.WriteNumber(m_section, "Left", outer.left());
    ini.WriteNumber(m_section, "Top", outer.top());
    ini.WriteNumber(m_section, "Height", outer.height());
    ini.WriteNumber(m_section, "Width", outer.width());
    ini.WriteNumber(m_section, "State", StateNumber());
    ini.WriteNumber(m_section, "Position", m_position);
    SaveLocalToIniFile();
    transaction.Commit();
}

void TMyForm::SelectConfiguration(const std::string& name)
{
    m_iniFile = std::make_unique<TMyIniFile>(ConfigurationStoreKey(name));
}

QRect TMyForm::OuterGeometry() const
{
    // A minimised or maximised window is remembered by its normal placement,
    // so that it comes back to that size when it is restored.
    const bool normal = !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized));
    const QRect inner = normal || !normalGeometry().isValid() ? geometry() : normalGeometry();
    QRect outer = inner.marginsAdded(FrameOf(*this));
    if (m_pendingPosition)
        outer.moveTopLeft(*m_pendingPosition);
    if (m_pendingSize)
        outer.setSize(*m_pendingSize);
    return outer;
}

QSize TMyForm::OuterSize() const
{
    // The size the window has now: maximised, or on a platform that reports
    // no frame, that is not the placement waiting to be applied.
    return frameGeometry().size();
}

void TMyForm::SetOuterPosition(int left, int top)
{
    // Qt places a window by its frame once it knows the frame; until then by
    // its inside, which is corrected when the frame becomes known.
    move(left, top);
    m_pendingPosition.reset();
    if (FrameOf(*this).isNull())
        m_pendingPosition = QPoint(left, top);
}

void TMyForm::SetOuterSize(int width, int height)
{
    const QMargins frame = FrameOf(*this);
    // Below the least size (a stored one, say) the window keeps that size.
    width = std::max(width, minimumWidth() + frame.left() + frame.right());
    height = std::max(height, minimumHeight() + frame.top() + frame.bottom());
    resize(std::max(0, width - frame.left() - frame.right()),
           std::max(0, height - frame.top() - frame.bottom()));
    m_pendingSize.reset();
    if (frame.isNull())
        m_pendingSize = QSize(width, height);
}

int TMyForm::StateNumber() const
{
    if (windowState() & Qt::WindowMinimized)
        return StateMinimized;
    if (windowState() & Qt::WindowMaximized)
        return StateMaximized;
    return StateNormal;
}

void TMyForm::SetStateNumber(int state)
{
    const Qt::WindowStates others = windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    switch (state) {
    case StateNormal: setWindowState(others); break;
    case StateMinimized: setWindowState(others | Qt::WindowMinimized); break;
    case StateMaximized: setWindowState(others | Qt::WindowMaximized); break;
    default: break;  // a number with no meaning leaves the state alone
    }
}

void TMyForm::SetPosition(int position)
{
    m_position = position;
    // The system's choice is Qt's own placement of a window that was never
    // moved or resized by the program; it takes effect at the first showing,
    // and what the system chooses is not corrected afterwards.
    if (position == PositionDefault || position == PositionDefaultPos) {
        setAttribute(Qt::WA_Moved, false);
        m_pendingPosition.reset();
    }
    if (position == PositionDefault || position == PositionDefaultSize) {
        setAttribute(Qt::WA_Resized, false);
        m_pendingSize.reset();
    }
}

bool TMyForm::event(QEvent* event)
{
    // The frame becomes known only when the system has made the window; the
    // outer placement set before then is applied again once, so that windows
    // neither shift nor grow by their frame at every restart.
    // A resize would end a minimised or maximised state; the correction then
    // waits for the normal state, and for the inside size the window was
    // given, which a window leaving the maximised state gets back only after
    // the state has changed. A size the system or the user gives it instead
    // stands.
    // A window on screen in its normal state that still has no frame is on a
    // platform that reports none (no window manager): it stands where it was
    // put, and from then on its own placement is the one to keep.
    const bool normal = !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized));
    if ((m_pendingPosition || m_pendingSize) && normal && !m_placingOnShow) {
        if (FrameOf(*this).isNull()) {
            if (windowHandle() && windowHandle()->isExposed()) {
                m_pendingPosition.reset();
                m_pendingSize.reset();
            }
        } else if (!m_pendingSize || size() == *m_pendingSize || event->type() == QEvent::Resize) {
            const std::optional<QPoint> position = std::exchange(m_pendingPosition, std::nullopt);
            const std::optional<QSize> pendingSize = std::exchange(m_pendingSize, std::nullopt);
            if (pendingSize && size() == *pendingSize)
                SetOuterSize(pendingSize->width(), pendingSize->height());
            if (position)
                SetOuterPosition(position->x(), position->y());
        }
    }
    return QDialog::event(event);
}

void TMyForm::showEvent(QShowEvent* event)
{
    if (m_position == PositionScreenCenter) {
        if (const QScreen* screen = this->screen()) {
            const QRect area = screen->availableGeometry();
            const QSize outer = OuterSize();
            SetOuterPosition(area.left() + (area.width() - outer.width()) / 2,
                             area.top() + (area.height() - outer.height()) / 2);
        }
    }
    // Qt's own placement of a dialog (modes 1 and 2) ends a maximised state
    // for a moment: no correction then.
    m_placingOnShow = true;
    QDialog::showEvent(event);
    m_placingOnShow = false;
}

}  // namespace varnok
