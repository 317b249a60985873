#pragma once
// The program's main window: the report of the runs, a status line, and the
// menu from which the settings dialog is opened, runs are started and
// stopped, and the report is edited, saved and printed.
//
// A run executes on this thread inside the command that closed the dialog
// with OK; the run pumps window events, so the menu stays usable. While a run
// is in progress the commands that would start a second run or replace the
// state under it are disabled, and closing the window stops the run first.

#include "UMyReport.h"

#include "RunHost.h"
#include "RunJob.h"

#include <QElapsedTimer>
#include <QStringList>

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

class TVarnokDialog;

class TVarnokReport : public TMyReport, private TRunHost {
    Q_OBJECT
public:
    TVarnokReport(QWidget* owner, const std::string& storeKey);
    ~TVarnokReport() override;

    void LoadLocalFromIniFile() override;
    void SaveLocalToIniFile() override;

    void RunFromDialog() override;
    void RunFromWizard() override {}
    QFont& ReportFontDialog() override { return m_fontDialogFont; }
    void SetReportFont(const QFont& font) override;

    // The run: confirmation, report preparation, the walk, "All Done".
    void RunJob(const TJobSettings& settings);
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
    // The text of the status line.
    QString StatusText() const;
    TVarnokDialog& VarnokDialog() const;

    QPlainTextEdit* resultField;
    QStatusBar* StatusBar1;
    QMenuBar* MainMenu1;

    QMenu* File1;
    QAction* New1;
    QAction* SaveAs1;
    QAction* Dialog1;
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
    void Dialog1Click();
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
    bool Confirm(const std::string& caption, const std::string& question) override;
    void ClearReport() override;
    void AppendReportLine(const std::string& line) override;
    void SetStatusText(const std::string& text) override;
    void ProcessEvents() override;

    void BuildMenu();
    QPrinter& Printer();
    void SetRunning(bool running);
    // Puts the report lines and the status text of the run so far on screen.
    void ShowPending();

    QLabel* m_statusText;
    QFont m_fontDialogFont;
    std::unique_ptr<QPrinter> m_printer;
    std::vector<std::string> m_pendingLines;  // bytes, as the run gave them
    std::optional<QString> m_pendingStatus;
    QElapsedTimer m_sinceShown;
    bool m_emptyFirstLine = false;
    bool m_running = false;
    bool m_closeRequested = false;
    bool m_shownOnce = false;
};

}  // namespace varnok
