#pragma once
// What the two named-configuration windows share: the label "Name", "&OK"
// (default, result 1) and "&Cancel" (Esc and the close box, result 2), and the
// list of the stored configuration names.

#include <QDialog>
#include <QStringList>

class QLabel;
class QPushButton;

namespace varnok {

class TConfigWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int ResultOK = 1;
    static constexpr int ResultCancel = 2;

    QLabel* NameLabel;
    QPushButton* OKButton;
    QPushButton* CancelButton;

    // The name the chosen configuration is to be selected by.
    virtual QString ConfigurationName() const = 0;

public slots:
    void reject() override;

protected:
    TConfigWindow(QWidget* owner, const QString& caption, int clientHeight);
};

// The names of the stored configurations, in the store's order.
QStringList ConfigurationNameList();

}  // namespace varnok
