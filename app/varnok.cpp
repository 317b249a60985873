// The desktop program: one report window, shown until it is closed.
//
//   varnok [CONFIGURATION]
//
// The first argument, when given and not empty, names the stored
// configuration to start from and to save into at the end.

#include "ByteText.h"
#include "Prompts.h"
#include "StoreFile.h"
#include "StoreTransaction.h"
#include "UMyApplication.h"
#include "UAbout.h"
#include "UMyIniFile.h"
#include "UVarnokReport.h"

#include <exception>
#include <optional>

int main(int argc, char** argv)
{
    using namespace varnok;
    TMyApplication application(argc, argv);
    // Every window, the small ones included, carries the program's icon.
    QApplication::setWindowIcon(MainIcon());
    // A store file that could not be parsed at start-up was set aside; that is
    // reported even when the start fails.
    const auto reportSetAside = [](QWidget* over) {
        if (const std::string warning = TakeStoreWarning(); !warning.empty())
            TPrompts::Instance().Error(over, QString::fromStdString(warning));
    };
    try {
        std::optional<TStoreTransaction> startUp(std::in_place, TStoreTransaction::TOpening::AtStartUp);
        TVarnokReport report(nullptr, StartupStoreKey(argc, argv));
        startUp->Commit();
        startUp.reset();
        reportSetAside(&report);
        // The program lives as long as the report window, whatever else is open.
        QObject::connect(&report, &QDialog::finished, &application, &QCoreApplication::quit);
        report.show();
        application.exec();
        report.FormDestroy();
    } catch (const std::exception& error) {
        reportSetAside(nullptr);
        TMyApplication::ShowError(TextOfBytes(error.what()));
        return 1;
    }
    return 0;
}
