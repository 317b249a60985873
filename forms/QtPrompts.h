#pragma once
// The prompts of the running program: Qt's message boxes and standard dialogs.

#include "Prompts.h"

namespace varnok {

class TQtPrompts : public TPrompts {
public:
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
