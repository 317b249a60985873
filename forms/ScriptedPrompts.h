#pragma once
// Prompts answered in advance, for tests. Each question takes the next answer
// of its kind; with none left it gets the cautious one (Cancel, no file, no
// font, no printing). Every question asked is recorded in order, as
// "Kind: text", so a test can tell what the user would have seen; a print
// dialog's as "Print: <document> to <the file it proposes>", if any.

#include "Prompts.h"

#include <QStringList>

#include <deque>

namespace varnok {

class TScriptedPrompts : public TPrompts {
public:
    // Installs itself program-wide for its lifetime.
    TScriptedPrompts();
    ~TScriptedPrompts() override;
    TScriptedPrompts(const TScriptedPrompts&) = delete;
    TScriptedPrompts& operator=(const TScriptedPrompts&) = delete;

    std::deque<bool> ConfirmAnswers;
    std::deque<bool> WarnAnswers;  // cautious: No
    std::deque<std::optional<QString>> FileNames;  // for open and save alike
    std::deque<std::optional<QFont>> Fonts;
    // A name confirms the print dialog and sends the document to that PDF file.
    std::deque<std::optional<QString>> PrintFiles;
    std::deque<bool> SetupAnswers;

    QStringList Asked;
    QStringList Details;  // of each confirmation, in order

    bool Confirm(QWidget* parent, const QString& caption, const QString& question,
                 const QString& details = {}) override;
    bool WarnYesNo(QWidget* parent, const QString& caption, const QString& text) override;
    void Error(QWidget* parent, const QString& text) override;
    void Information(QWidget* parent, const QString& text) override;
    std::optional<QString> OpenFileName(QWidget* parent, const QString& proposed) override;
    std::optional<QString> SaveFileName(QWidget* parent, const QString& proposed) override;
    std::optional<QFont> ChooseFont(QWidget* parent, const QFont& initial) override;
    bool Print(QWidget* parent, QPrinter& printer) override;
    bool SetupPrinter(QWidget* parent, QPrinter& printer) override;
};

}  // namespace varnok
