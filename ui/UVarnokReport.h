#pragma once
// The program's main window: the report of the runs, a status line, and the
// menu from which the settings dialog is opened, runs are started, stopped
// and undone, and the report is edited, saved and printed.
//
// A run executes on this thread inside the command that closed the dialog
// with OK; the run pumps window events, so the menu stays usable. While a run
// is in progress the commands that would start a second run or replace the
// state under it are disabled, and closing the window stops the run first.
//
// The status line has two panels: the designed status text, shortened to the
// room it has, and a permanent one with what the last run did so far (files
// visited, changed, replacements, and whether Stop ended it; an undo's files,
// restored and kept). An empty report shows where to begin until the first run.

#include "UMyReport.h"

#include "RunHost.h"
#include "RunJob.h"

#include <QElapsedTimer>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPrinter;
class QStatusBar;

namespace varnok {

class TElidedLabel;
class TRunHistory;
class TVarnokDialog;
class TVarnokPreview;

class TVarnokReport : public TMyReport, private TRunHost {
    Q_OBJECT
public:
    TVarnokReport(QWidget* owner, const std::string& storeKey);
    ~TVarnokReport() override;

    void LoadLocalFromIniFile() override;
    void SaveLocalToIniFile() override;
    void SelectConfiguration(const std::string& name) override;

    void RunFromDialog() override;
    void RunFromWizard() override {}
    QFont& ReportFontDialog() override { return m_fontDialogFont; }
    void SetReportFont(const QFont& font) override;

    // The run: confirmation, report preparation, the walk, "All Done".
    TRunOutcome RunJob(const TJobSettings& settings);
    // A dry run of the job, as a run goes on screen, then the preview window
    // over its files: "Apply" runs the job on the files checked there; a run
    // the user declines shows the window again as it was.
    void PreviewJob(const TJobSettings& settings);
    // The dialog as "Dialog..." shows it; its OK previews instead of running.
    void ShowPreviewDialog();
    // Undoes the run with that id (empty: the last run not undone), asking
    // over `asker` first, and reports it as a run.
    void UndoRun(const std::string& id, QWidget* asker);
    bool Running() const { return m_running; }
    // During a run, new report lines and the status text reach the screen at
    // most this often (milliseconds), and at the run's end.
    int UpdateInterval = 40;

    // Opens the dialog when "Run Dialog Automatically" is ticked; the program
    // calls it once, when the window first shows.
    void FormActivate();
    // The full save of every window's state, run once when the program ends.
    void FormDestroy();

    // Saves the report to `fileName` as plain text, every line ending in CR LF.
    void SaveReport(const QString& fileName) const;
    // The text of the status line, whole.
    QString StatusText() const;
    TVarnokDialog& VarnokDialog() const;
    TVarnokPreview* Preview;  // owned
    TRunHistory* History;     // owned

    QPlainTextEdit* resultField;
    QStatusBar* StatusBar1;
    QMenuBar* MainMenu1;

    QMenu* File1;
    QAction* New1;
    QAction* SaveAs1;
    QAction* UndoLastRun1;
    QAction* RunHistory1;
    QAction* Dialog1;
    QAction* Preview1;
    QAction* Wizard1;
    QAction* SetupPrinter1;
    QAction* Print1;
    QAction* LoadConfiguration1;
    QAction* SaveConfiguration1;
    QAction* Exit1;
    QMenu* Edit1;
    QAction* Cut1;
    QAction* Copy1;
    QAction* Paste1;
    QAction* Font1;
    QAction* Stop1;
    QMenu* Help1;
    QAction* Help2;
    QAction* About1;

    void New1Click();
    void SaveAs1Click();
    // Undoes the last run not undone, after asking, reporting like a run.
    void UndoLastRun1Click();
    // The kept runs, from which any one not undone can be undone.
    void RunHistory1Click();
    void Dialog1Click();
    void Preview1Click();
    void Wizard1Click();
    void SetupPrinter1Click();
    void Print1Click();
    void LoadConfiguration1Click();
    void SaveConfiguration1Click();
    void Exit1Click();
    void Cut1Click();
    void Copy1Click();
    void Paste1Click();
    void Font1Click();
    void Stop1Click();
    void Help2Click();
    void About1Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // TRunHost
    bool RunDespite(const std::vector<std::string>& findings) override;
    bool Confirm(const std::string& caption, const std::string& question, const std::string& details) override;
    void ClearReport() override;
    void AppendReportLine(const std::string& line) override;
    void SetStatusText(const std::string& text) override;
    void SetRunCounts(const TRunCounts& counts) override;
    void ProcessEvents() override;

    void BuildMenu();
    QPrinter& Printer();
    void SetRunning(bool running);
    // Runs job (a run, a preview's dry run or an undo) in the run state,
    // however it ends; a close asked for meanwhile happens after it, once its
    // error is shown. Its outcome; Stopped when the window closes after it.
    TRunOutcome AsRun(const std::function<TRunOutcome()>& job);
    // Enabled when no run is in progress and a run can be undone.
    void UpdateUndoCommand();
    // Puts the report lines, the status text and the counts of the run so
    // far on screen.
    void ShowPending();
    void ShowRunCounts(const TRunCounts& counts, bool stopped);

    TElidedLabel* m_statusText;
    QLabel* m_runCounts;
    QFont m_fontDialogFont;
    std::unique_ptr<QPrinter> m_printer;
    // The file the last print went to, empty for a printer; the print dialog
    // proposes it, also after a restart ("PrintFile").
    QString m_printFile;
    std::vector<std::string> m_pendingLines;  // bytes, as the run gave them
    std::optional<QString> m_pendingStatus;
    std::optional<TRunCounts> m_pendingCounts;
    TRunCounts m_shownCounts;
    QElapsedTimer m_sinceShown;
    bool m_emptyFirstLine = false;
    bool m_running = false;
    bool m_closeRequested = false;
    bool m_shownOnce = false;
    QWidget* m_asker = nullptr;  // the window the run's questions show over; null: this one
};

}  // namespace varnok
