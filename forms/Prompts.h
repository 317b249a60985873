#pragma once
// Every modal question the program asks goes through TPrompts, so that tests
// can answer it in advance without a display. The program installs the Qt
// implementation (TQtPrompts); tests install TScriptedPrompts.

#include <QFont>
#include <QString>

#include <optional>

class QPrinter;
class QWidget;

namespace varnok {

class TPrompts {
public:
    virtual ~TPrompts() = default;

    // The confirmation box: question icon, "&Yes" (default) and "Cancel"
    // (Escape), details (if any) under the question. True only for Yes.
    virtual bool Confirm(QWidget* parent, const QString& caption, const QString& question,
                         const QString& details = {}) = 0;

    // A warning with "&Yes" and "&No"; "&No" is the default button and the one
    // that Escape selects. True only for Yes.
    virtual bool WarnYesNo(QWidget* parent, const QString& caption, const QString& text) = 0;

    // Error and information boxes with one OK button.
    virtual void Error(QWidget* parent, const QString& text) = 0;
    virtual void Information(QWidget* parent, const QString& text) = 0;

    // File names chosen in the standard dialogs; nullopt when cancelled. The
    // proposed name may hold a pattern ("*.txt") that starts the listing filtered.
    virtual std::optional<QString> OpenFileName(QWidget* parent, const QString& proposed) = 0;
    virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& proposed) = 0;

    // The font dialog, starting from `initial`; nullopt when cancelled.
    virtual std::optional<QFont> ChooseFont(QWidget* parent, const QFont& initial) = 0;

    // The print dialog over `printer`; true when the user confirmed printing.
    virtual bool Print(QWidget* parent, QPrinter& printer) = 0;
    // The printer-setup dialog; true when the user confirmed the settings.
    virtual bool SetupPrinter(QWidget* parent, QPrinter& printer) = 0;

    // The prompts in use program-wide: the installed ones, else the Qt ones.
    static TPrompts& Instance();
    // Installs `prompts` (not owned; nullptr restores the Qt ones).
    static void SetInstance(TPrompts* prompts);
};

}  // namespace varnok
