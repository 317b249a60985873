#include "UMyApplication.h"

#include "Prompts.h"

#include <QFont>
#include <QFontDatabase>

namespace varnok {
namespace {

void StandIn(const QString& designed, const QFont& present)
{
    if (!QFontDatabase::hasFamily(designed))
        QFont::insertSubstitution(designed, present.family());
}

}  // namespace

TMyApplication::TMyApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    StandIn(QStringLiteral("Courier New"), QFontDatabase::systemFont(QFontDatabase::FixedFont));
    StandIn(QStringLiteral("MS Sans Serif"), QFontDatabase::systemFont(QFontDatabase::GeneralFont));
}

bool TMyApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowError(TextOfBytes(error.what()));
    }
    return false;
}

void TMyApplication::ShowError(const QString& text)
{
    QWidget* over = activeModalWidget();
    TPrompts::Instance().Error(over ? over : activeWindow(), text);
}

}  // namespace varnok
