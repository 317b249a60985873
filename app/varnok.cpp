// The desktop program: one report window, shown until it is closed.
//
//   varnok [CONFIGURATION]
//
// The first argument, when given and not empty, names the stored
// configuration to start from and to save into at the end.

#include "ByteText.h"
#include "Prompts.h"
#include "StoreFile.h"
#include "UMyApplication.h"
#include "UAbout.h"
#include "UMyIniFile.h"
#include "UVarnokReport.h"

#include <exception>

int main(int argc, char** argv)
{
    using namespace varnok;
    TMyApplication application(argc, argv);
    // Every window, the small ones included, carries the program's icon.
    QApplication::setWindowIcon(MainIcon());
    try {
        TVarnokReport report(nullptr, StartupStoreKey(argc, argv));
        // A store file that could not be read was set aside during the load.
        if (const std::string warning = TakeStoreWarning(); !warning.empty())
            TPrompts::Instance().Error(&report, QString::fromStdString(warning));
        // The program lives as long as the report window, whatever else is open.
        QObject::connect(&report, &QDialog::finished, &application, &QCoreApplication::quit);
        report.show();
        application.exec();
        report.FormDestroy();
    } catch (const std::exception& error) {
        TMyApplication::ShowError(TextOfBytes(error.what()));
        return 1;
    }
    return 0;
}
