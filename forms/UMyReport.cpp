#include "UMyReport.h"

#include "Prompts.h"
#include "StoreTransaction.h"
#include "ULoadConfig.h"
#include "UMyDialog.h"
#include "UMyIniFile.h"
#include "UMyWizard.h"
#include "USaveConfig.h"

#include <QKeyEvent>

namespace varnok {

TMyReport::TMyReport(QWidget* owner, const std::string& productName,
                     const std::string& storeKey)
    : TMyForm(owner, productName + "\\Report", storeKey)
{
}

void TMyReport::LoadLocalFromIniFile()
{
    TMyForm::LoadLocalFromIniFile();
    Version = IniFile().ReadNumber(Section(), "Version", 0);
    Dialog->LoadFromIniFile();
    Wizard->LoadFromIniFile();
}

void TMyReport::SaveLocalToIniFile()
{
    TMyForm::SaveLocalToIniFile();
    IniFile().WriteNumber(Section(), "Version", 1);
    Dialog->SaveToIniFile();
    Wizard->SaveToIniFile();
}

void TMyReport::SelectConfiguration(const std::string& name)
{
    TMyForm::SelectConfiguration(name);
    Dialog->SelectConfiguration(name);
    Wizard->SelectConfiguration(name);
}

void TMyReport::ShowDialog()
{
    const int result = Dialog->exec();
    if (result == ResultOK)
        RunFromDialog();
    else if (result == ResultWizard)
        ShowWizard();
}

void TMyReport::ShowWizard()
{
    if (Wizard->exec() == ResultOK)
        RunFromWizard();
}

void TMyReport::ChooseReportFont()
{
    QFont& dialogFont = ReportFontDialog();
    if (const std::optional<QFont> chosen = TPrompts::Instance().ChooseFont(this, dialogFont)) {
        dialogFont = *chosen;
        SetReportFont(*chosen);
    }
}

void TMyReport::SaveNamedConfiguration()
{
    TSaveConfig window(this);
    if (window.exec() != TConfigWindow::ResultOK)
        return;
    // Creating the configuration's key belongs to the same single writing.
    TStoreTransaction transaction;
    SelectConfiguration(window.ConfigurationName().toStdString());
    SaveToIniFile();
    transaction.Commit();
}

void TMyReport::LoadNamedConfiguration()
{
    TLoadConfig window(this);
    if (window.exec() != TConfigWindow::ResultOK)
        return;
    TStoreTransaction transaction;
    SelectConfiguration(window.ConfigurationName().toStdString());
    LoadFromIniFile();
    transaction.Commit();
}

void TMyReport::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    TMyForm::keyPressEvent(event);
}

}  // namespace varnok
