#pragma once
// The preview of a run: the files a dry run of the job found it would
// change, each with its replacement count and a check box, then the files
// and folders it would rename, each with a check box of its own, the totals
// above them, and the diff of the row selected, made when it is selected. "Apply"
// ends the window with ResultApply; the run of the checked files is the
// report window's, which may show the window again as it was left. "Close"
// ends it writing nothing, after asking when files are unchecked. A header
// click sorts the list; Enter in it checks or unchecks the current file.

#include "UMyForm.h"

#include "Preview.h"

#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace varnok {

class TVarnokPreview : public TMyForm {
    Q_OBJECT
public:
    static constexpr int ResultApply = ResultOK;

    // The section is "Varnok\Preview".
    TVarnokPreview(QWidget* owner, const std::string& storeKey);
    ~TVarnokPreview() override;

    // Shows preview's files, all checked, the first one selected; its diffs
    // are made from job.
    void SetPreview(const TJobSettings& job, const TPreview& preview);
    // The checked files' names, and the checked renames' old names.
    std::vector<std::string> CheckedFiles() const;
    std::vector<std::string> CheckedRenames() const;

    // Closing (Close, Escape, the window's close) with files unchecked asks
    // first; a "no" keeps the window open as it is.
    void done(int result) override;

    QLabel* totals;
    QTreeWidget* fileList;
    QPlainTextEdit* diffView;
    QPushButton* BtnApply;
    QPushButton* BtnClose;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowSelectedDiff();
    void ShowTotals();
    std::vector<std::string> Checked(bool renames) const;

    TJobSettings m_job;
};

}  // namespace varnok
