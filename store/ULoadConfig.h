#pragma once
// The window that picks a stored configuration to load; nothing can be typed,
// and OK is available only while a name is selected.

#include "UConfigWindow.h"

class QComboBox;

namespace varnok {

class TLoadConfig : public TConfigWindow {
    Q_OBJECT
public:
    explicit TLoadConfig(QWidget* owner);

    QComboBox* ComboBoxNames;

    // The selected name as it is stored; empty when there is none.
    QString ConfigurationName() const override;

    void FormCreate();
};

}  // namespace varnok
