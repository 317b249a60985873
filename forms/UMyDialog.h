#pragma once
// A dialog base with saved state and rule-based re-layout: each rule keeps a
// control at a fixed distance from the dialog's right or bottom edge, or lets
// its width or height follow the dialog's. Sizes are the dialog's outer size,
// both when a rule is registered and when it is applied.

#include "UMyForm.h"

#include <optional>
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

    // From the first showing on, the dialog is never smaller than
    // LeastUsableSize over these pages (shown one at a time, each filling its
    // parent): a smaller size, stored or set, is not applied.
    void KeepControlsUsable(std::vector<QWidget*> pages);
    // The least inner size at which the rules keep every control on a page,
    // and every rule's control on the dialog itself, whole within its page or
    // the dialog, a stretched one at its minimum size hint at least; and keep
    // kMinGap (or what there was at the size the rules were registered at)
    // between a control and the edges, and between two controls apart then.
    // Needs the pages laid out: once the dialog is shown.
    QSize LeastUsableSize() const;
    static constexpr int kMinGap = 4;

protected:
    void resizeEvent(QResizeEvent* event) override;  // FormResize
    void showEvent(QShowEvent* event) override;

private:
    struct TPlaced;
    // Every control KeepControlsUsable looks after, placed as the rules
    // place it at outer size `outer`, in the dialog's coordinates.
    std::vector<TPlaced> PlaceAt(QSize outer) const;
    bool UsableAt(QSize outer, bool wholeHeight, const std::vector<TPlaced>& designed) const;
    void UpdateLeastSize();

    std::vector<TResize> m_resizes;
    QSize m_registeredAt;  // the outer size at the first rule
    std::vector<QWidget*> m_pages;
    std::optional<QSize> m_frameAtLeastSize;  // the frame when the least size was worked out
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
