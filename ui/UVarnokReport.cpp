#include "UVarnokReport.h"

#include "ByteText.h"
#include "MyComps.h"
#include "ElidedLabel.h"
#include "Prompts.h"
#include "StoreBinding.h"
#include "UAbout.h"
#include "UMyApplication.h"
#include "UMyDialog.h"
#include "UMyIniFile.h"
#include "RunJournal.h"
#include "RunUndo.h"
#include "URunHistory.h"
#include "UVarnokDialog.h"
#include "UVarnokPreview.h"
#include "UVarnokWizard.h"

#include "Preview.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QSaveFile>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>
#include <stdexcept>
#include <utility>

namespace varnok {
namespace {

QAction* AddItem(QMenu* menu, const char* name, const QString& caption,
                 const QKeySequence& shortcut = {})
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(shortcut);
    return action;
}

}  // namespace

TVarnokReport::TVarnokReport(QWidget* owner, const std::string& storeKey)
    : TMyReport(owner, "Varnok", storeKey)
{
    setObjectName(QStringLiteral("VarnokReport"));
    setWindowFlags(Qt::Window);
    setWindowTitle(QStringLiteral("Varnok Report"));
    setWindowIcon(MainIcon());
    SetOuterPosition(157, 87);
    SetOuterSize(435, 300);
    SetPosition(PositionDesigned);

    resultField = new QPlainTextEdit(this);
    resultField->setObjectName(QStringLiteral("resultField"));
    resultField->setLineWrapMode(QPlainTextEdit::NoWrap);
    resultField->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    resultField->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Its text colour is the desktop's (black in a light theme), so that the
    // report reads in a dark theme too.
    resultField->setFont(DesignFont(QStringLiteral("Courier New"), 11, true));
    // A first start shows an empty window: this says where to begin. Not in the
    // document, so never saved or printed; the first run takes it away. In a
    // narrow window it wraps after a comma only (no-break spaces elsewhere).
    QStringList hints = QStringLiteral("Press F5 to set up a run, F7 to preview one, F1 for help")
                            .split(QStringLiteral(", "));
    hints.replaceInStrings(QStringLiteral(" "), QStringLiteral("\u00a0"));
    resultField->setPlaceholderText(hints.join(QStringLiteral(", ")));

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    // A long path in the status text never widens the window.
    m_statusText = new TElidedLabel(StatusBar1);
    m_statusText->setObjectName(QStringLiteral("StatusText"));
    StatusBar1->addWidget(m_statusText, 1);
    m_runCounts = new QLabel(StatusBar1);
    m_runCounts->setObjectName(QStringLiteral("RunCounts"));
    StatusBar1->addPermanentWidget(m_runCounts);

    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    // A desktop that takes menu bars into a global menu would lose "&Stop",
    // a command on the bar itself, and take the menu away from the window
    // that runs.
    MainMenu1->setNativeMenuBar(false);
    BuildMenu();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(MainMenu1);
    layout->addWidget(resultField, 1);
    layout->addWidget(StatusBar1);

    m_fontDialogFont = DesignFont(QStringLiteral("MS Sans Serif"), 11);

    resultField->clear();
    Wizard = new TVarnokWizard(this, storeKey);
    Dialog = new TVarnokDialog(this, storeKey);
    Preview = new TVarnokPreview(this, storeKey);
    History = new TRunHistory(this, storeKey);
    History->OnUndo = [this](const std::string& id) { UndoRun(id, History); };
    LoadFromIniFile();
}

TVarnokReport::~TVarnokReport() = default;

void TVarnokReport::BuildMenu()
{
    File1 = MainMenu1->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    New1 = AddItem(File1, "New1", QStringLiteral("&New"));
    SaveAs1 = AddItem(File1, "SaveAs1", QStringLiteral("Save &As..."));
    UndoLastRun1 = AddItem(File1, "UndoLastRun1", QStringLiteral("&Undo Last Run..."));
    RunHistory1 = AddItem(File1, "RunHistory1", QStringLiteral("Run &History..."));
    // Another instance or the batch runner may have run or undone since.
    connect(File1, &QMenu::aboutToShow, this, [this] { TMyApplication::RunCommand([this] { UpdateUndoCommand(); }); });
    UpdateUndoCommand();
    File1->addSeparator();
    Dialog1 = AddItem(File1, "Dialog1", QStringLiteral("&Dialog..."), Qt::Key_F5);
    Preview1 = AddItem(File1, "Preview1", QStringLiteral("Pre&view..."), Qt::Key_F7);
    Wizard1 = AddItem(File1, "Wizard1", QStringLiteral("&Wizard..."), Qt::Key_F6);
    Wizard1->setEnabled(false);
    File1->addSeparator();
    SetupPrinter1 = AddItem(File1, "SetupPrinter1", QStringLiteral("Setup Printer..."));
    Print1 = AddItem(File1, "Print1", QStringLiteral("&Print..."));
    File1->addSeparator();
    LoadConfiguration1 = AddItem(File1, "LoadConfiguration1", QStringLiteral("Load Configuration..."));
    SaveConfiguration1 = AddItem(File1, "SaveConfiguration1", QStringLiteral("Save Configuration..."));
    File1->addSeparator();
    Exit1 = AddItem(File1, "Exit1", QStringLiteral("E&xit"));

    Edit1 = MainMenu1->addMenu(QStringLiteral("&Edit"));
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Cut1 = AddItem(Edit1, "Cut1", QStringLiteral("Cut"), QKeySequence(Qt::CTRL | Qt::Key_X));
    Copy1 = AddItem(Edit1, "Copy1", QStringLiteral("Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
    Paste1 = AddItem(Edit1, "Paste1", QStringLiteral("Paste"), QKeySequence(Qt::CTRL | Qt::Key_V));
    Edit1->addSeparator();
    Font1 = AddItem(Edit1, "Font1", QStringLiteral("&Font..."));

    // A command on the menu bar itself, not a menu.
    Stop1 = MainMenu1->addAction(QStringLiteral("&Stop"));
    Stop1->setObjectName(QStringLiteral("Stop1"));

    Help1 = MainMenu1->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Help2 = AddItem(Help1, "Help2", QStringLiteral("&Help"), Qt::Key_F1);
    About1 = AddItem(Help1, "About1", QStringLiteral("&About..."));

    const std::pair<QAction*, void (TVarnokReport::*)()> handlers[] = {
        {New1, &TVarnokReport::New1Click},
        {SaveAs1, &TVarnokReport::SaveAs1Click},
        {UndoLastRun1, &TVarnokReport::UndoLastRun1Click},
        {RunHistory1, &TVarnokReport::RunHistory1Click},
        {Dialog1, &TVarnokReport::Dialog1Click},
        {Preview1, &TVarnokReport::Preview1Click},
        {Wizard1, &TVarnokReport::Wizard1Click},
        {SetupPrinter1, &TVarnokReport::SetupPrinter1Click},
        {Print1, &TVarnokReport::Print1Click},
        {LoadConfiguration1, &TVarnokReport::LoadConfiguration1Click},
        {SaveConfiguration1, &TVarnokReport::SaveConfiguration1Click},
        {Exit1, &TVarnokReport::Exit1Click},
        {Cut1, &TVarnokReport::Cut1Click},
        {Copy1, &TVarnokReport::Copy1Click},
        {Paste1, &TVarnokReport::Paste1Click},
        {Font1, &TVarnokReport::Font1Click},
        {Stop1, &TVarnokReport::Stop1Click},
        {Help2, &TVarnokReport::Help2Click},
        {About1, &TVarnokReport::About1Click},
    };
    for (const auto& [action, handler] : handlers) {
        // Shortcuts work wherever the focus is in this window.
        addAction(action);
        connect(action, &QAction::triggered, this,
                [this, handler = handler] { TMyApplication::RunCommand([&] { (this->*handler)(); }); });
    }
}

TVarnokDialog& TVarnokReport::VarnokDialog() const
{
    return static_cast<TVarnokDialog&>(*Dialog);
}

void TVarnokReport::LoadLocalFromIniFile()
{
    TMyReport::LoadLocalFromIniFile();
    ReadRichEdit(IniFile(), Section(), "1", resultField);
    QFont font = resultField->font();
    ReadFont(IniFile(), Section(), "Font-1", font);
    resultField->setFont(font);
    m_fontDialogFont = font;
    m_printFile = QString::fromStdString(IniFile().ReadText(Section(), "PrintFile", ""));
    if (m_printer)
        m_printer->setOutputFileName(m_printFile);
    Preview->LoadFromIniFile();
    History->LoadFromIniFile();
}

void TVarnokReport::SaveLocalToIniFile()
{
    TMyReport::SaveLocalToIniFile();
    WriteRichEdit(IniFile(), Section(), "1", resultField);
    WriteFont(IniFile(), Section(), "Font-1", resultField->font());
    IniFile().WriteText(Section(), "PrintFile", m_printFile.toStdString());
    Preview->SaveToIniFile();
    History->SaveToIniFile();
}

void TVarnokReport::SelectConfiguration(const std::string& name)
{
    TMyReport::SelectConfiguration(name);
    Preview->SelectConfiguration(name);
    History->SelectConfiguration(name);
}

void TVarnokReport::SetReportFont(const QFont& font)
{
    resultField->setFont(font);
}

void TVarnokReport::RunFromDialog()
{
    TVarnokDialog& dialog = VarnokDialog();
    dialog.pathEdit->AddToHistory();
    RunJob(dialog.JobSettings());
}

TRunOutcome TVarnokReport::RunJob(const TJobSettings& settings)
{
    return AsRun([&] { return ::varnok::RunJob(settings, *this); });
}

void TVarnokReport::ShowPreviewDialog()
{
    VarnokDialog().SetPreviewMode(true);
    const int result = Dialog->exec();
    VarnokDialog().SetPreviewMode(false);
    if (result == ResultOK) {
        TVarnokDialog& dialog = VarnokDialog();
        dialog.pathEdit->AddToHistory();
        PreviewJob(dialog.JobSettings());
    } else if (result == ResultWizard) {
        ShowWizard();
    }
}

void TVarnokReport::PreviewJob(const TJobSettings& settings)
{
    TPreview preview;
    AsRun([&] {
        preview = ::varnok::PreviewJob(settings, *this);
        return preview.Outcome;
    });
    // A stopped preview would show only some of the files: there is none.
    if (preview.Outcome == TRunOutcome::Stopped)
        return;
    Preview->SetPreview(settings, preview);
    // A "no" to the run's questions is a "not yet": the choices made in the
    // preview are not lost to it.
    while (Preview->exec() == TVarnokPreview::ResultApply) {
        const TRunOutcome outcome = RunJob(OnlyChecked(settings, Preview->CheckedFiles(), Preview->CheckedRenames()));
        if (outcome != TRunOutcome::Declined && outcome != TRunOutcome::Refused)
            break;
    }
}

TRunOutcome TVarnokReport::AsRun(const std::function<TRunOutcome()>& job)
{
    // Ends the run state however the run ends, an error included.
    struct TRunState {
        explicit TRunState(TVarnokReport& report) : Report(report) { Report.SetRunning(true); }
        ~TRunState() { Report.SetRunning(false); }
        TVarnokReport& Report;
    };
    TRunOutcome outcome = TRunOutcome::Declined;
    std::exception_ptr error;
    {
        const TRunState state(*this);
        try {
            outcome = job();
        } catch (...) {
            error = std::current_exception();
        }
    }
    if (outcome == TRunOutcome::Stopped)
        ShowRunCounts(m_shownCounts, true);
    if (m_closeRequested) {
        // The close asked for during the run happens once the run has unwound.
        // Closing ends the program, and an error box still open with it: the
        // run's error is shown first.
        m_closeRequested = false;
        if (error)
            TMyApplication::RunCommand([&] { std::rethrow_exception(error); });
        QTimer::singleShot(0, this, &QWidget::close);
        return TRunOutcome::Stopped;
    }
    if (error)
        std::rethrow_exception(error);
    return outcome;
}

void TVarnokReport::UpdateUndoCommand()
{
    UndoLastRun1->setEnabled(!m_running && LastRunToUndo(RunJournalFolder()).has_value());
}

void TVarnokReport::SetRunning(bool running)
{
    m_running = running;
    if (running)
        m_sinceShown.invalidate();  // the run's first pump shows its start
    else
        ShowPending();
    for (QAction* command : {New1, Dialog1, Preview1, LoadConfiguration1, SaveConfiguration1})
        command->setEnabled(!running);
    UpdateUndoCommand();
    History->SetRunning(running);
}

bool TVarnokReport::RunDespite(const std::vector<std::string>& findings)
{
    // All of them in one box before the designed question.
    return AskRunDespite(this, findings);
}

bool TVarnokReport::Confirm(const std::string& caption, const std::string& question, const std::string& details)
{
    return TPrompts::Instance().Confirm(m_asker ? m_asker : this, QString::fromStdString(caption),
                                        QString::fromStdString(question), TextOfBytes(details));
}

void TVarnokReport::ClearReport()
{
    m_pendingLines.clear();
    resultField->clear();
    m_emptyFirstLine = false;
}

void TVarnokReport::AppendReportLine(const std::string& line)
{
    m_pendingLines.push_back(line);
}

void TVarnokReport::SetStatusText(const std::string& text)
{
    m_pendingStatus = TextOfBytes(text);
}

void TVarnokReport::SetRunCounts(const TRunCounts& counts)
{
    m_pendingCounts = counts;
    // Counts come once a run, a preview or an undo is under way, not for one declined.
    resultField->setPlaceholderText(QString());
}

void TVarnokReport::ProcessEvents()
{
    // Showing every file's line and name at once would repaint the window
    // for every file, which costs far more than editing small files.
    if (!m_sinceShown.isValid() || m_sinceShown.elapsed() >= UpdateInterval)
        ShowPending();
    QCoreApplication::processEvents();
}

void TVarnokReport::ShowPending()
{
    m_sinceShown.start();
    if (m_pendingStatus)
        m_statusText->SetFullText(*std::exchange(m_pendingStatus, std::nullopt));
    if (m_pendingCounts)
        ShowRunCounts(*std::exchange(m_pendingCounts, std::nullopt), false);
    if (m_pendingLines.empty())
        return;
    const std::vector<std::string> lines = std::exchange(m_pendingLines, {});
    std::string text = lines.front();
    for (std::size_t i = 1; i < lines.size(); ++i)
        text.append("\n").append(lines[i]);
    // The report follows the run, unless the user has scrolled up to read.
    QScrollBar* scrollBar = resultField->verticalScrollBar();
    const bool follow = scrollBar->value() == scrollBar->maximum();
    // An empty box holds no line, so an empty first line is remembered here:
    // the next line then starts a line of its own below it.
    if (!resultField->document()->isEmpty()) {
        AppendPlainTextOf(resultField, text);
    } else if (!m_emptyFirstLine && lines == std::vector<std::string>{""}) {
        m_emptyFirstLine = true;
    } else {
        SetPlainTextOf(resultField, (m_emptyFirstLine ? "\n" : "") + text);
        m_emptyFirstLine = false;
    }
    if (follow)
        scrollBar->setValue(scrollBar->maximum());
}

void TVarnokReport::ShowRunCounts(const TRunCounts& counts, bool stopped)
{
    m_shownCounts = counts;
    const auto count = [](long long number, const char* one, const char* many) {
        return QStringLiteral("%1 %2").arg(number).arg(QLatin1String(number == 1 ? one : many));
    };
    QString text = count(counts.Files, "file", "files") + QStringLiteral(", ");
    if (counts.Undo)
        text += QStringLiteral("%1 restored, %2 kept").arg(counts.ChangedFiles).arg(counts.Skipped);
    else
        text += QStringLiteral("%1 changed, ").arg(counts.ChangedFiles)
                + count(counts.Replacements, "replacement", "replacements");
    if (stopped)
        text += QStringLiteral(", stopped");
    m_runCounts->setText(text);
}

QString TVarnokReport::StatusText() const
{
    return m_statusText->FullText();
}

void TVarnokReport::FormActivate()
{
    if (VarnokDialog().startWithDialog->isChecked())
        ShowDialog();
}

void TVarnokReport::FormDestroy()
{
    SaveToIniFile();
}

void TVarnokReport::showEvent(QShowEvent* event)
{
    TMyReport::showEvent(event);
    // Start-up only: later activations (the dialog closing, among others)
    // would open the dialog again and again.
    if (!m_shownOnce) {
        m_shownOnce = true;
        QTimer::singleShot(0, this, [this] { TMyApplication::RunCommand([this] { FormActivate(); }); });
    }
}

void TVarnokReport::closeEvent(QCloseEvent* event)
{
    if (m_running) {
        SetStopFlag();
        m_closeRequested = true;
        event->ignore();
        return;
    }
    TMyReport::closeEvent(event);
}

void TVarnokReport::SaveReport(const QString& fileName) const
{
    // Each line's bytes as they came, file names in any encoding included.
    QByteArray bytes;
    for (const char c : PlainTextOf(resultField))
        c == '\n' ? bytes.append("\r\n") : bytes.append(c);
    if (!bytes.isEmpty())
        bytes += "\r\n";
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error("Cannot create file " + fileName.toStdString());
}

void TVarnokReport::New1Click()
{
    ClearReport();
}

void TVarnokReport::SaveAs1Click()
{
    ShowPending();
    // The section names the file; its "\" is this system's "/".
    const QString proposed = QString::fromStdString(Section()).replace(QLatin1Char('\\'), QLatin1Char('/'))
                             + QStringLiteral(".txt");
    const std::optional<QString> fileName = TPrompts::Instance().SaveFileName(this, proposed);
    if (!fileName)
        return;
    const QFileInfo file(*fileName);
    if (file.exists()
        && !TPrompts::Instance().Confirm(this, QStringLiteral("Confirm"),
                                         QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                             .arg(file.absoluteFilePath())))
        return;
    // The proposal names a folder below the one the dialog shows, which need
    // not exist yet: that one folder is made (never a longer missing path).
    if (!file.dir().exists())
        QDir().mkdir(file.absolutePath());
    SaveReport(*fileName);
}

void TVarnokReport::UndoRun(const std::string& id, QWidget* asker)
{
    m_asker = asker;
    const auto restore = qScopeGuard([this] { m_asker = nullptr; });
    AsRun([&] {
        const TUndoOutcome outcome = ::varnok::UndoRun(id, VarnokDialog().clearReport->isChecked(), *this);
        return outcome == TUndoOutcome::Stopped ? TRunOutcome::Stopped : TRunOutcome::Done;
    });
}

void TVarnokReport::UndoLastRun1Click()
{
    UndoRun(std::string(), this);
}

void TVarnokReport::RunHistory1Click()
{
    History->ShowRuns();
}

void TVarnokReport::Dialog1Click()
{
    ShowDialog();
}

void TVarnokReport::Preview1Click()
{
    ShowPreviewDialog();
}

void TVarnokReport::Wizard1Click()
{
    ShowWizard();
}

QPrinter& TVarnokReport::Printer()
{
    // Made when first needed: asking the print service costs time at start-up.
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>();
        // The print dialog shows the printer's file: the one printed to last.
        if (!m_printFile.isEmpty())
            m_printer->setOutputFileName(m_printFile);
    }
    return *m_printer;
}

void TVarnokReport::SetupPrinter1Click()
{
    TPrompts::Instance().SetupPrinter(this, Printer());
}

void TVarnokReport::Print1Click()
{
    ShowPending();
    QPrinter& printer = Printer();
    printer.setDocName(QString::fromStdString(Section()) + QStringLiteral(" Quillet"));
    if (!TPrompts::Instance().Print(this, printer))
        return;
    m_printFile = printer.outputFileName();
    // The window scrolls to a line's end; paper cannot, so there lines wrap,
    // also a path without a blank in it.
    const std::unique_ptr<QTextDocument> document(resultField->document()->clone());
    QTextOption option = document->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document->setDefaultTextOption(option);
    document->print(&printer);
    if (printer.printerState() == QPrinter::Error) {
        const QString target = printer.outputFileName();
        throw std::runtime_error(target.isEmpty()
                                     ? "Cannot print to " + printer.printerName().toStdString()
                                     : "Cannot create file " + target.toStdString());
    }
}

void TVarnokReport::LoadConfiguration1Click()
{
    LoadNamedConfiguration();
}

void TVarnokReport::SaveConfiguration1Click()
{
    SaveNamedConfiguration();
}

void TVarnokReport::Exit1Click()
{
    close();
}

void TVarnokReport::Cut1Click()
{
    resultField->cut();
}

void TVarnokReport::Copy1Click()
{
    resultField->copy();
}

void TVarnokReport::Paste1Click()
{
    resultField->paste();
}

void TVarnokReport::Font1Click()
{
    ChooseReportFont();
}

void TVarnokReport::Stop1Click()
{
    SetStopFlag();
}

void TVarnokReport::Help2Click()
{
    ShowHelp();
}

void TVarnokReport::About1Click()
{
    ShowAbout(QStringLiteral("Varnok Quillet"), QStringLiteral("1.01"));
}

}  // namespace varnok
