#pragma once
// The kept runs, newest first: when each started (local time), its folders,
// its first change, the files it rewrote and whether it was undone; a journal
// that is empty or cannot be read is listed as such, the reason in its tool
// tip. "Undo" hands the selected run to OnUndo, which undoes it as the report
// window's Undo Last Run does; the end of that undo's SetRunning lists the
// runs anew.
//
// The window is not modal: the report window's Stop stays at hand during an
// undo started here.

#include "UMyForm.h"

#include <functional>
#include <string>

class QPushButton;
class QShowEvent;
class QTreeWidget;

namespace varnok {

class TRunHistory : public TMyForm {
    Q_OBJECT
public:
    enum TColumn { ColumnStarted, ColumnFolders, ColumnChanges, ColumnFiles, ColumnState, ColumnCount };

    // The section is "Varnok\RunHistory".
    TRunHistory(QWidget* owner, const std::string& storeKey);
    ~TRunHistory() override;

    // Lists the kept runs again, keeping the selected one selected.
    void Refresh();
    // Shows the window in front, its list fresh.
    void ShowRuns();
    // While a run or an undo is in progress none can start here; its end
    // lists the runs anew when the window is shown.
    void SetRunning(bool running);
    // The id of the selected run; empty when none is.
    std::string SelectedId() const;

    std::function<void(const std::string& id)> OnUndo;

    QTreeWidget* runList;
    QPushButton* BtnUndo;
    QPushButton* BtnClose;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void UpdateUndoButton();
    void UndoSelected();

    bool m_running = false;
};

}  // namespace varnok
