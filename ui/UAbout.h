#pragma once
// The About box, and the program's look that every window shares: its icon
// (resource "MAINICON") and its interface fonts.

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QString>

class QLabel;
class QPushButton;

namespace varnok {

// The program's icon in every size the resource holds.
QIcon MainIcon();

// A font of `family` with a height of `pixels`; when the family is not
// installed, the system's default font (or its fixed-pitch font for a family
// meant to be fixed-pitch) stands in.
QFont DesignFont(const QString& family, int pixels, bool fixedPitch = false);

class TAbout : public QDialog {
    Q_OBJECT
public:
    explicit TAbout(QWidget* owner);

    QLabel* iconImage;
    QLabel* QuilletNameLabel;
    QLabel* versionLabel;
    QPushButton* OK;
};

// Shows the About box modally with the product's name and "version: " and the
// version string below it.
void ShowAbout(const QString& productName, const QString& version);

}  // namespace varnok
