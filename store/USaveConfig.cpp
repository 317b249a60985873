#include "USaveConfig.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include <cstdlib>
#include <string>
#include <pwd.h>
#include <unistd.h>

namespace varnok {

TSaveConfig::TSaveConfig(QWidget* owner)
    : TConfigWindow(owner, QStringLiteral("Save Configuration"), 229)
    , EditName(new QLineEdit(this))
    , ListBoxNames(new QListWidget(this))
{
    setObjectName(QStringLiteral("SaveConfig"));
    EditName->setObjectName(QStringLiteral("EditName"));
    EditName->setGeometry(8, 24, 185, 21);
    ListBoxNames->setObjectName(QStringLiteral("ListBoxNames"));
    ListBoxNames->setGeometry(8, 52, 185, 169);
    NameLabel->setBuddy(EditName);
    // The window opens ready for typing a name over the proposed one.
    EditName->setFocus();
    // A click on the row already selected takes it over again after an edit.
    connect(ListBoxNames, &QListWidget::itemClicked, this, &TSaveConfig::ListBoxNamesClick);
    connect(ListBoxNames, &QListWidget::currentRowChanged, this, &TSaveConfig::ListBoxNamesClick);
    FormCreate();
}

void TSaveConfig::FormCreate()
{
    EditName->setText(LoginName());
    EditName->selectAll();
    ListBoxNames->clear();
    ListBoxNames->addItems(ConfigurationNameList());
}

void TSaveConfig::ListBoxNamesClick()
{
    if (const QListWidgetItem* item = ListBoxNames->currentItem(); item && item->isSelected())
        EditName->setText(item->text());
}

QString TSaveConfig::ConfigurationName() const
{
    return StoredConfigurationName(EditName->text());
}

QString TSaveConfig::LoginName()
{
    if (const passwd* entry = getpwuid(geteuid()); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    if (const char* login = getlogin())
        return QString::fromLocal8Bit(login);
    if (const char* user = std::getenv("USER"))
        return QString::fromLocal8Bit(user);
    return {};
}

QString StoredConfigurationName(const QString& typed)
{
    constexpr std::size_t kMaxCharacters = 255;
    qsizetype start = typed.size();
    while (start > 0 && !QStringLiteral("/\\:").contains(typed[start - 1]))
        --start;
    std::u32string kept;
    for (const uint code : QStringView(typed).mid(start).toUcs4()) {
        if (kept.size() < kMaxCharacters && QChar::category(char32_t(code)) != QChar::Other_Control)
            kept.push_back(char32_t(code));
    }
    return QString::fromStdU32String(kept);
}

}  // namespace varnok
