#include "UAbout.h"

#include <QDir>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>

// Resources of a static library are registered by hand, outside any namespace.
static void InitIconResource()
{
    Q_INIT_RESOURCE(varnok_icon);
}

namespace varnok {

QIcon MainIcon()
{
    static const QIcon icon = [] {
        InitIconResource();
        QIcon sizes;
        for (const QString& name : QDir(QStringLiteral(":/MAINICON")).entryList(QDir::Files)) {
            sizes.addFile(QStringLiteral(":/MAINICON/") + name);
        }
        return sizes;
    }();
    return icon;
}

QFont DesignFont(const QString& family, int pixels, bool fixedPitch)
{
    QFont font = QFontDatabase::hasFamily(family)
        ? QFont(family)
        : QFontDatabase::systemFont(fixedPitch ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont);
    font.setPixelSize(pixels);
    return font;
}

TAbout::TAbout(QWidget* owner)
    : QDialog(owner)
    , iconImage(new QLabel(this))
    , QuilletNameLabel(new QLabel(this))
    , versionLabel(new QLabel(this))
    , OK(new QPushButton(QStringLiteral("OK"), this))
{
    setObjectName(QStringLiteral("About"));
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(MainIcon());
    // Its colours are the desktop's, so that it reads in a dark theme too.
    setFont(DesignFont(QStringLiteral("MS Sans Serif"), 11));
    setFixedSize(505, 165);

    iconImage->setObjectName(QStringLiteral("iconImage"));
    iconImage->setGeometry(8, 8, 41, 41);
    QuilletNameLabel->setObjectName(QStringLiteral("QuilletNameLabel"));
    QuilletNameLabel->move(64, 8);
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    versionLabel->move(64, 24);

    OK->setObjectName(QStringLiteral("OK"));
    OK->setGeometry(424, 120, 75, 25);
    OK->setDefault(true);
    connect(OK, &QPushButton::clicked, this, [this] { done(1); });
}

void ShowAbout(const QString& productName, const QString& version)
{
    TAbout about(nullptr);
    about.QuilletNameLabel->setText(productName);
    about.QuilletNameLabel->adjustSize();
    about.versionLabel->setText(QStringLiteral("version: ") + version);
    about.versionLabel->adjustSize();
    about.iconImage->setPixmap(MainIcon().pixmap(41, 41));
    about.exec();
}

}  // namespace varnok
