#pragma once
// The window that names the configuration to save: the login name is
// proposed, and a click on a stored name takes it over.

#include "UConfigWindow.h"

class QLineEdit;
class QListWidget;

namespace varnok {

class TSaveConfig : public TConfigWindow {
    Q_OBJECT
public:
    explicit TSaveConfig(QWidget* owner);

    QLineEdit* EditName;
    QListWidget* ListBoxNames;

    // The name as the store keeps it (StoredConfigurationName of EditName).
    QString ConfigurationName() const override;

    void FormCreate();
    void ListBoxNamesClick();

    // The current user's login name; empty when the system knows none.
    static QString LoginName();
};

// What a typed name becomes: as with the start-up argument, only the part after
// the last "/", "\" or ":" counts, so that a name never reaches below or beside
// its own key and the same text names the same configuration on the command
// line; control characters, which no key name can hold, are dropped; at most
// 255 characters are kept. The result may be empty: the configuration with the
// empty name, which a start-up argument ending in "/" opens as well.
QString StoredConfigurationName(const QString& typed);

}  // namespace varnok
