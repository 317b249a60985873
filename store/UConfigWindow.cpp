#include "UConfigWindow.h"

#include "UMyIniFile.h"

#include <QLabel>
#include <QPushButton>

namespace varnok {

TConfigWindow::TConfigWindow(QWidget* owner, const QString& caption, int clientHeight)
    : QDialog(owner)
    , NameLabel(new QLabel(QStringLiteral("Name"), this))
    , OKButton(new QPushButton(QStringLiteral("&OK"), this))
    , CancelButton(new QPushButton(QStringLiteral("&Cancel"), this))
{
    setWindowTitle(caption);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(291, clientHeight);

    NameLabel->setObjectName(QStringLiteral("NameLabel"));
    NameLabel->setGeometry(8, 8, 185, 13);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(208, 24, 75, 25);
    OKButton->setDefault(true);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(208, 56, 75, 25);
    connect(OKButton, &QPushButton::clicked, this, [this] { done(ResultOK); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { done(ResultCancel); });
}

void TConfigWindow::reject()
{
    done(ResultCancel);
}

QStringList ConfigurationNameList()
{
    QStringList names;
    for (const std::string& name : ListConfigurationNames())
        names.append(QString::fromStdString(name));
    return names;
}

}  // namespace varnok
