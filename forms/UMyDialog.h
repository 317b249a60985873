#pragma once
// A dialog base with saved state and rule-based re-layout: each rule keeps a
// control at a fixed distance from the dialog's right or bottom edge, or lets
// its width or height follow the dialog's. Sizes are the dialog's outer size,
// both when a rule is registered and when it is applied.

#include "UMyForm.h"

#include <vector>

namespace varnok {

struct TResize {
    QWidget* Control = nullptr;  // not owned
    bool KeepRight = false;
    bool StretchWidth = false;
    bool KeepBottom = false;
    bool StretchHeight = false;
    int LeftOffset = 0;    // dialog width minus control left
    int WidthOffset = 0;   // dialog width minus control width
    int TopOffset = 0;     // dialog height minus control top
    int HeightOffset = 0;  // dialog height minus control height
};

class TMyDialog : public TMyForm {
    Q_OBJECT
public:
    // The section is `productSubKey` + "\Dialog".
    TMyDialog(QWidget* owner, const std::string& productSubKey, const std::string& storeKey);

    // Registers a rule, its offsets taken from the present layout.
    void AddResize(QWidget* control, bool keepRight, bool stretchWidth, bool keepBottom,
                   bool stretchHeight);
    // Applies every rule in registration order.
    void ResizeControls();

    const std::vector<TResize>& Resizes() const { return m_resizes; }

protected:
    void resizeEvent(QResizeEvent* event) override;  // FormResize

private:
    std::vector<TResize> m_resizes;
};

// Opens the first "Quillets.hlp" of HelpFileCandidates in the program's help
// window; or reports "Can't find the help file".
void ShowHelp();
// The same for a program file at `programPath`.
void ShowHelp(const QString& programPath);

// The places ShowHelp looks, in order, for a program file `programPath`: its
// folder, the folder above (as a bare name at the root), then share/varnok/
// beside the program's folder, where an installed program keeps its data.
std::vector<QString> HelpFileCandidates(const QString& programPath);

// The first of HelpFileCandidates that is a file, or an empty text.
QString FindHelpFile(const QString& programPath);

// The help file set by the last ShowHelp or FindHelpFile: the last candidate
// it tried.
QString ApplicationHelpFile();

}  // namespace varnok
