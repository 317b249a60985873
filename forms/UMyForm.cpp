#include "UMyForm.h"

#include "UMyIniFile.h"

#include <QEvent>
#include <QScreen>

#include <algorithm>

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
}

void TMyForm::SaveToIniFile()
{
    TMyIniFile& ini = IniFile();
    const QRect outer = OuterGeometry();
    ini.WriteNumber(m_section, "Left", outer.left());
    ini.WriteNumber(m_section, "Top", outer.top());
    ini.WriteNumber(m_section, "Height", outer.height());
    ini.WriteNumber(m_section, "Width", outer.width());
    ini.WriteNumber(m_section, "State", StateNumber());
    ini.WriteNumber(m_section, "Position", m_position);
    SaveLocalToIniFile();
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
    return inner.marginsAdded(FrameOf(*this));
}

QSize TMyForm::OuterSize() const
{
    return frameGeometry().size();
}

void TMyForm::SetOuterPosition(int left, int top)
{
    // Qt places a top-level window by its frame.
    move(left, top);
}

void TMyForm::SetOuterSize(int width, int height)
{
    const QMargins frame = FrameOf(*this);
    resize(std::max(0, width - frame.left() - frame.right()),
           std::max(0, height - frame.top() - frame.bottom()));
    m_pendingOuterSize = !isVisible() && frame.isNull() ? QSize(width, height) : QSize();
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
    // moved or resized by the program; it takes effect at the first showing.
    if (position == PositionDefault || position == PositionDefaultPos)
        setAttribute(Qt::WA_Moved, false);
    if (position == PositionDefault || position == PositionDefaultSize)
        setAttribute(Qt::WA_Resized, false);
}

bool TMyForm::event(QEvent* event)
{
    // The frame becomes known only after the window is shown; an outer size
    // set before then is corrected once, so that sizes do not grow by the
    // frame at every restart.
    if (m_pendingOuterSize.isValid() && isVisible()
        && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        const QMargins frame = FrameOf(*this);
        if (!frame.isNull()) {
            const QSize outer = m_pendingOuterSize;
            m_pendingOuterSize = QSize();
            resize(std::max(0, outer.width() - frame.left() - frame.right()),
                   std::max(0, outer.height() - frame.top() - frame.bottom()));
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
            move(area.left() + (area.width() - outer.width()) / 2,
                 area.top() + (area.height() - outer.height()) / 2);
        }
    }
    QDialog::showEvent(event);
}

}  // namespace varnok
