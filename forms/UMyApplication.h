#pragma once
// The application object of the desktop program. It is the one place where
// errors are caught: an error escaping an event handler ends that command and
// its text is shown in an error box (through the prompts, so tests see it).
// It also lets the system's fonts stand in for the designed ones when those
// are not installed, while the chosen names stay as they are.

#include "ByteText.h"

#include <QApplication>

#include <exception>

namespace varnok {

class TMyApplication : public QApplication {
    Q_OBJECT
public:
    TMyApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows an error's text in the error box over the active window. Error
    // texts are bytes: a file name in them shows as ByteText.h reads it.
    static void ShowError(const QString& text);

    // Runs a command of our own; an error ends it and is shown. Commands
    // connected through this never unwind through the toolkit's frames.
    template <typename Command>
    static void RunCommand(Command&& command)
    {
        try {
            command();
        } catch (const std::exception& error) {
            ShowError(TextOfBytes(error.what()));
        }
    }
};

}  // namespace varnok
