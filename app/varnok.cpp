// The desktop program: one report window, shown until it is closed.
//
//   varnok [CONFIGURATION]
//
// The first argument, when given and not empty, names the stored
// configuration to start from and to save into at the end; a name with
// nothing stored is asked about first (go on with a new one, or quit).
//
//   varnok --help-file
//
// prints the help file that F1 opens and exits (1 when there is none); it
// needs no display, so that an installation can be checked anywhere.

#include "ByteText.h"
#include "Prompts.h"
#include "StartConfiguration.h"
#include "StoreFile.h"
#include "StoreTransaction.h"
#include "UAbout.h"
#include "UMyApplication.h"
#include "UMyDialog.h"
#include "UMyIniFile.h"
#include "UVarnokReport.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <string_view>

int main(int argc, char** argv)
{
    using namespace varnok;
    if (argc == 2 && std::string_view(argv[1]) == "--help-file") {
        const QCoreApplication core(argc, argv);
        const QString file = FindHelpFile(QCoreApplication::applicationFilePath());
        if (file.isEmpty()) {
            std::fprintf(stderr, "varnok: Can't find the help file\n");
            return 1;
        }
        std::printf("%s\n", file.toLocal8Bit().constData());
        return 0;
    }
    TMyApplication application(argc, argv);
    // The running window belongs to the installed menu entry (Wayland's app id).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.varnok.Quillet"));
    // Every window, the small ones included, carries the program's icon.
    QApplication::setWindowIcon(MainIcon());
    // A store file that could not be parsed at start-up was set aside; that is
    // reported even when the start fails.
    const auto reportSetAside = [](QWidget* over) {
        if (const std::string warning = TakeStoreWarning(); !warning.empty())
            TPrompts::Instance().Error(over, QString::fromStdString(warning));
    };
    try {
        // Asked before the store is opened, so that quitting leaves it untouched.
        const std::optional<TStartConfiguration> start = ChooseStartConfiguration(argc, argv);
        if (!start)
            return 0;
        std::optional<TStoreTransaction> startUp(std::in_place, TStoreTransaction::TOpening::AtStartUp);
        TVarnokReport report(nullptr, start->StoreKey);
        // A new configuration is written whole at the end, not as an empty key now.
        if (!start->New)
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
