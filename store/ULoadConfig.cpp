#include "ULoadConfig.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace varnok {

TLoadConfig::TLoadConfig(QWidget* owner)
    : TConfigWindow(owner, QStringLiteral("Load Configuration"), 89)
    , ComboBoxNames(new QComboBox(this))
{
    setObjectName(QStringLiteral("LoadConfig"));
    ComboBoxNames->setObjectName(QStringLiteral("ComboBoxNames"));
    ComboBoxNames->setEditable(false);
    ComboBoxNames->setGeometry(8, 24, 185, 21);
    NameLabel->setBuddy(ComboBoxNames);
    FormCreate();
}

void TLoadConfig::FormCreate()
{
    ComboBoxNames->clear();
    ComboBoxNames->addItems(ConfigurationNameList());
    ComboBoxNames->setCurrentIndex(ComboBoxNames->count() > 0 ? 0 : -1);
    // With no name to pick, OK would load a configuration that is not there.
    OKButton->setEnabled(ComboBoxNames->currentIndex() >= 0);
}

QString TLoadConfig::ConfigurationName() const
{
    return ComboBoxNames->currentText();
}

}  // namespace varnok
