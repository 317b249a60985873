#pragma once
// The main window base: a window with saved state that owns the settings
// dialog and the wizard, shows them, and leaves what a run does to its
// subclass. Its section is the product name + "\Report".

#include "UMyForm.h"

#include <QFont>

namespace varnok {

class TMyDialog;
class TMyWizard;

class TMyReport : public TMyForm {
    Q_OBJECT
public:
    TMyReport(QWidget* owner, const std::string& productName, const std::string& storeKey);

    int Version = 0;              // as read at the last load; nothing else uses it
    TMyDialog* Dialog = nullptr;  // owned; created by the subclass
    TMyWizard* Wizard = nullptr;  // owned; created by the subclass

    // "Version", then the dialog's and the wizard's whole state.
    void LoadLocalFromIniFile() override;
    void SaveLocalToIniFile() override;
    // Re-opens its own, the dialog's and the wizard's store.
    void SelectConfiguration(const std::string& name) override;

    // Shows the dialog modally: OK runs from it, Wizard shows the wizard.
    void ShowDialog();
    // Shows the wizard modally: OK runs from it.
    void ShowWizard();
    // The font dialog over the report font; a confirmed font becomes it.
    void ChooseReportFont();

    // Ask for a configuration's name; on OK select it, then run the full save
    // into it, or the full load from it. The selection stays even when the
    // save or load fails.
    void SaveNamedConfiguration();
    void LoadNamedConfiguration();

    virtual void RunFromDialog() = 0;
    virtual void RunFromWizard() = 0;
    // The font the font dialog starts from and keeps its choice in.
    virtual QFont& ReportFontDialog() = 0;
    virtual void SetReportFont(const QFont& font) = 0;

protected:
    // The main window is no dialog: Escape does not close it.
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace varnok
