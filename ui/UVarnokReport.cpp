#include "UVarnokReport.h"

#include "ByteText.h"
#include "MyComps.h"
#include "Prompts.h"
#include "StoreBinding.h"
#include "UAbout.h"
#include "UMyApplication.h"
#include "UMyDialog.h"
#include "UMyIniFile.h"
#include "UVarnokDialog.h"
#include "UVarnokWizard.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QSaveFile>
#include <QStatusBar>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

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
    resultField->setFont(DesignFont(QStringLiteral("Courier New"), 11, true));
    QPalette palette = resultField->palette();
    palette.setColor(QPalette::Text, Qt::black);
    resultField->setPalette(palette);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    m_statusText = new QLabel(StatusBar1);
    m_statusText->setObjectName(QStringLiteral("StatusText"));
    StatusBar1->addWidget(m_statusText, 1);

    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
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
    LoadFromIniFile();
}

TVarnokReport::~TVarnokReport() = default;

void TVarnokReport::BuildMenu()
{
    File1 = MainMenu1->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    New1 = AddItem(File1, "New1", QStringLiteral("&New"));
    SaveAs1 = AddItem(File1, "SaveAs1", QStringLiteral("Save &As..."));
    File1->addSeparator();
    Dialog1 = AddItem(File1, "Dialog1", QStringLiteral("&Dialog..."), Qt::Key_F5);
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
        {Dialog1, &TVarnokReport::Dialog1Click},
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
}

void TVarnokReport::SaveLocalToIniFile()
{
    TMyReport::SaveLocalToIniFile();
    WriteRichEdit(IniFile(), Section(), "1", resultField);
    WriteFont(IniFile(), Section(), "Font-1", resultField->font());
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

void TVarnokReport::RunJob(const TJobSettings& settings)
{
    // Ends the run state however the run ends, an error included.
    struct TRunState {
        explicit TRunState(TVarnokReport& report) : Report(report) { Report.SetRunning(true); }
        ~TRunState() { Report.SetRunning(false); }
        TVarnokReport& Report;
    } state(*this);
    ::varnok::RunJob(settings, *this);
}

void TVarnokReport::SetRunning(bool running)
{
    m_running = running;
    if (running)
        m_sinceShown.invalidate();  // the run's first pump shows its start
    else
        ShowPending();
    for (QAction* command : {New1, Dialog1, LoadConfiguration1, SaveConfiguration1})
        command->setEnabled(!running);
    if (!running && m_closeRequested) {
        // The close asked for during the run happens once the run has unwound.
        m_closeRequested = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

bool TVarnokReport::Confirm(const std::string& caption, const std::string& question)
{
    return TPrompts::Instance().Confirm(this, QString::fromStdString(caption),
                                        QString::fromStdString(question));
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
        m_statusText->setText(*std::exchange(m_pendingStatus, std::nullopt));
    if (m_pendingLines.empty())
        return;
    const std::vector<std::string> lines = std::exchange(m_pendingLines, {});
    std::string text = lines.front();
    for (std::size_t i = 1; i < lines.size(); ++i)
        text.append("\n").append(lines[i]);
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
}

QString TVarnokReport::StatusText() const
{
    return m_statusText->text();
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
    if (const std::optional<QString> fileName = TPrompts::Instance().SaveFileName(this, proposed))
        SaveReport(*fileName);
}

void TVarnokReport::Dialog1Click()
{
    ShowDialog();
}

void TVarnokReport::Wizard1Click()
{
    ShowWizard();
}

QPrinter& TVarnokReport::Printer()
{
    // Made when first needed: asking the print service costs time at start-up.
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>();
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
    if (TPrompts::Instance().Print(this, printer))
        resultField->print(&printer);
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
