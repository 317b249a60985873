#include "varnok-run-cli.h"

#include <charconv>
#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "RunHistory.h"
#include "RunJob.h"
#include "RunJournal.h"
#include "RunUndo.h"
#include "StoreFile.h"
#include "StoredJob.h"
#include "TextUtils.h"
#include "UnifiedDiff.h"

namespace varnok {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnStopSignal(int) {
    g_interrupted = 1;
    SetStopFlag();
    // Whichever of them comes next ends the process at once.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (const int signal : kStopSignals) sigaction(signal, &byDefault, nullptr);
}

constexpr const char* kUsageHead = R"(Usage: varnok-run [OPTIONS] [FOLDER...]
       varnok-run --list-runs
       varnok-run --undo [ID] [-y] [-q]
Applies a change list to every file of the folders that matches a mask,
keeps the old contents of every changed file under the extension BAK, and
prints one report line per file visited.

)";

constexpr const char* kUsageTail = R"(
Standard output: the report, one line per file visited; with --diff, each
changed file's diff after its line, which patch -p0 applies.
Standard error: "Searching: NAME ..." refreshed in place while the run goes
on, only when standard error is a terminal (nothing per file otherwise), then
"All Done"; error messages.
Before anything is asked or written, the change list is checked for what can
only be a mistake: a group inserted that the pattern never closes, a pattern
that can never match, a missing line that shifts later changes, no change at
all. Each finding is printed on standard error ("warning: Change N, line L
...") and the run goes on, unless --strict is given.
Without --yes the question is asked on the terminal (standard input); when
standard input is not a terminal the run is refused. Ctrl+C stops the run
after the file in hand and still ends with "All Done"; a second Ctrl+C ends
it at once. SIGTERM and SIGHUP act like Ctrl+C, and so does a standard output
that can no longer be written (the reader of a pipe went away). Files are
never left half-written either way.

Every run that rewrites files keeps a journal of them under
$XDG_STATE_HOME/Tavrin Software/Quillets/runs (~/.local/state when unset);
the last 50 are kept. --undo asks "Undo the run of TIME in FOLDERS (FIRST
CHANGE): restore N files?" (--yes answers it) and, latest change first,
gives every file the run rewrote its old contents back from its backup,
then removes the backups the run made; a file changed since the run, or
whose backup is missing or changed, is left as it is with its backup and
reported "Kept". One report line per file ("Restored" or "Kept" in place of
the count). An undo that was stopped can be run again; a completed one
marks the run undone.

Exit status: 0 done (every file restored); 1 a run error ended it, or the
question was answered no; 2 usage error, or a finding under --strict; 3 an
undo kept some files; 4 done, but some files or folders were skipped (a
Skipped line says why); 130 stopped by Ctrl+C, SIGTERM, SIGHUP or a closed
standard output.
)";

struct TUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct TOptions {
    TJobSettings Job;
    std::optional<std::string> ChangesFile;
    std::optional<std::string> Config;
    bool Yes = false;
    bool Quiet = false;
    bool Strict = false;
    bool Help = false;
    bool Version = false;
    bool ListRuns = false;
    std::optional<std::string> Undo;  // the run's id, empty for the last one
    bool JobOptions = false;          // an option that shapes a run was given
    bool Diff = false;
    std::string Color = "auto";
};

// One option of the command line: how it is spelt, what it does, its help.
struct TRunnerOption {
    char Short;          // '\0': long only
    std::string Long;
    const char* Value;   // the value's name in the help; none: takes no value
    std::string Help;    // lines after the first are indented to the help column
    bool ShapesJob;      // refused beside --list-runs and --undo
    std::function<void(TOptions&, const std::string& value)> Handle;
};

unsigned JobsNumber(const std::string& value) {
    constexpr unsigned kMostJobs = 1024;
    unsigned jobs = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), jobs);
    if (error != std::errc() || end != value.data() + value.size() || jobs == 0 || jobs > kMostJobs) {
        throw TUsageError("option '--jobs' takes a number from 1 to 1024, not '" + value + "'");
    }
    return jobs;
}

// In the order of the help.
const std::vector<TRunnerOption>& RunnerOptions() {
    static const std::vector<TRunnerOption> options = [] {
        std::vector<TRunnerOption> all = {
            {'m', "mask", "MASK", "file mask; repeatable, in order; default *.*", true,
             [](TOptions& o, const std::string& v) { o.Job.Masks.push_back(v); }},
            {'c', "changes", "FILE",
             "change list, groups of three lines (search, replacement,\nseparator); - reads standard input", true,
             [](TOptions& o, const std::string& v) { o.ChangesFile = v; }},
        };
        for (const TJobFlag& flag : kJobFlags) {
            all.push_back({flag.Short, flag.Long, nullptr, flag.Help, true,
                           [member = flag.Member](TOptions& o, const std::string&) { o.Job.*member = true; }});
        }
        const std::vector<TRunnerOption> rest = {
            {'x', "exclude", "MASK",
             "leave out the files and sub-folders whose name matches MASK\n"
             "(repeatable); a MASK with a / is matched against the path\n"
             "below the named folder, where * also matches /",
             true, [](TOptions& o, const std::string& v) { o.Job.Exclusions.push_back(v); }},
            {'\0', "config", "NAME",
             "start from the job stored by the desktop program under that\n"
             "named configuration ('' = the default settings); options given\n"
             "on the command line replace the stored ones",
             true, [](TOptions& o, const std::string& v) { o.Config = v; }},
            {'n', "dry-run", nullptr, "visit and count exactly as a run would, write nothing", true,
             [](TOptions& o, const std::string&) { o.Job.DryRun = true; }},
            {'y', "yes", nullptr, "do not ask \"Are you sure? There's no undo?\"", false,
             [](TOptions& o, const std::string&) { o.Yes = true; }},
            {'q', "quiet", nullptr, "no progress on stderr", false,
             [](TOptions& o, const std::string&) { o.Quiet = true; }},
            {'j', "jobs", "N",
             "work on N threads (default: one per core); memory use\nstays within the same bound whatever N is", false,
             [](TOptions& o, const std::string& v) { o.Job.Jobs = JobsNumber(v); }},
            {'\0', "strict", nullptr, "refuse to run (exit 2) when the change-list check finds\nanything", false,
             [](TOptions& o, const std::string&) { o.Strict = true; }},
            {'\0', "list-runs", nullptr,
             "list the kept run journals: id, start time, files\n"
             "changed, whether undone, folders; oldest first; one\n"
             "that is empty or cannot be read says so",
             false, [](TOptions& o, const std::string&) { o.ListRuns = true; }},
            {'\0', "undo", nullptr, "undo the run ID (default: the last run not undone)", false,
             [](TOptions& o, const std::string& v) { o.Undo = v; }},
            {'\0', "diff", nullptr,
             "after the report line of each changed file, its unified\n"
             "diff (with -n, what a run would write)",
             true, [](TOptions& o, const std::string&) { o.Diff = true; }},
            {'\0', "color", "WHEN",
             "colour the diffs: auto (only when standard output is a\n"
             "terminal; the default), always or never",
             true, [](TOptions& o, const std::string& v) {
                 if (v != "auto" && v != "always" && v != "never") {
                     throw TUsageError("option '--color' takes auto, always or never, not '" + v + "'");
                 }
                 o.Color = v;
             }},
            {'h', "help", nullptr, "show this help and exit", false,
             [](TOptions& o, const std::string&) { o.Help = true; }},
            {'\0', "version", nullptr, "show the version and exit", false,
             [](TOptions& o, const std::string&) { o.Version = true; }},
        };
        all.insert(all.end(), rest.begin(), rest.end());
        return all;
    }();
    return options;
}

std::string Usage() {
    constexpr std::size_t kHelpColumn = 24;
    std::string usage = kUsageHead;
    for (const TRunnerOption& option : RunnerOptions()) {
        std::string spelt = option.Short != '\0' ? std::string("  -") + option.Short + ", " : std::string(6, ' ');
        spelt += "--" + option.Long;
        if (option.Long == "undo") spelt += " [ID]";
        if (option.Value) spelt += std::string(" ") + option.Value;
        usage += spelt + std::string(spelt.size() + 2 <= kHelpColumn ? kHelpColumn - spelt.size() : 2, ' ');
        for (const char c : option.Help) usage += c == '\n' ? "\n" + std::string(kHelpColumn, ' ') : std::string(1, c);
        usage += '\n';
    }
    return usage + kUsageTail;
}

void Apply(const TRunnerOption& option, const std::string& value, TOptions& options) {
    options.JobOptions = options.JobOptions || option.ShapesJob;
    option.Handle(options, value);
}

TOptions Parse(const std::vector<std::string>& args) {
    TOptions options;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.Job.Folders.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg.starts_with("--")) {
            const auto equals = arg.find('=');
            const std::string name = arg.substr(2, equals == std::string::npos ? equals : equals - 2);
            const TRunnerOption* option = nullptr;
            for (const auto& candidate : RunnerOptions()) {
                if (name == candidate.Long) option = &candidate;
            }
            if (!option) throw TUsageError("unknown option '--" + name + "'");
            std::string value;
            if (equals != std::string::npos) {
                // --undo=ID as well as --undo ID.
                if (!option->Value && name != "undo") throw TUsageError("option '--" + name + "' takes no value");
                value = arg.substr(equals + 1);
            } else if (option->Value) {
                if (++i == args.size()) throw TUsageError("option '--" + name + "' needs a value");
                value = args[i];
            }
            Apply(*option, value, options);
        } else {
            // A cluster of short options; one that takes a value takes the rest
            // of the cluster or, if none is left, the next argument.
            for (std::size_t k = 1; k < arg.size(); ++k) {
                const TRunnerOption* option = nullptr;
                for (const auto& candidate : RunnerOptions()) {
                    if (candidate.Short != '\0' && arg[k] == candidate.Short) option = &candidate;
                }
                if (!option) throw TUsageError(std::string("unknown option '-") + arg[k] + "'");
                std::string value;
                if (option->Value) {
                    if (k + 1 < arg.size()) {
                        value = arg.substr(k + 1);
                    } else if (++i == args.size()) {
                        throw TUsageError(std::string("option '-") + arg[k] + "' needs a value");
                    } else {
                        value = args[i];
                    }
                    k = arg.size();
                }
                Apply(*option, value, options);
            }
        }
    }
    if (options.ListRuns || options.Undo) {
        std::vector<std::string>& rest = options.Job.Folders;
        if (options.ListRuns && options.Undo) throw TUsageError("'--list-runs' and '--undo' go alone");
        if (options.JobOptions || options.Config) throw TUsageError("'--list-runs' and '--undo' take no job options");
        if (options.Undo && options.Undo->empty() && rest.size() == 1) {
            options.Undo = rest.front();
            rest.clear();
        }
        if (!rest.empty()) throw TUsageError(options.Undo ? "'--undo' takes one run id" : "'--list-runs' takes no folders");
    }
    if (options.Job.Masks.empty() && !options.Config) options.Job.Masks.push_back("*.*");
    return options;
}

// One line per kept journal, oldest first; those that are empty or cannot be
// read too, so that every file in the folder is accounted for.
void ListRuns(std::ostream& out) {
    for (const TKeptRun& run : KeptRuns(RunJournalFolder())) {
        out << run.Id << "  ";
        if (!run.Readable) {
            out << (run.Problem == "empty" ? run.Problem : "cannot be read: " + run.Problem) << '\n';
            continue;
        }
        const TJournal& journal = run.Journal;
        const std::size_t files = journal.FileCount();
        out << journal.Started << "  " << files << (files == 1 ? " file  " : " files  ")
            << (journal.Undone ? "undone" : "not undone");
        for (std::size_t i = 0; i < journal.Folders.size(); ++i) out << (i ? ", " : "  ") << journal.Folders[i];
        out << '\n';
    }
}

std::vector<std::string> ReadChanges(const std::string& fileName, std::istream& in) {
    std::string text;
    if (fileName == "-") {
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        in.clear();  // the answer to the question may still come from a terminal
    } else {
        std::ifstream file(fileName, std::ios::binary);
        if (!file) throw TUsageError("Cannot open file " + fileName);
        // An empty file is an empty list (the check says so), not a file that cannot be read.
        text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        if (file.bad()) throw TUsageError("Cannot open file " + fileName);
    }
    return SplitLines(text);
}

// Report lines go to standard output; the status line is painted in place on
// a terminal and only its last text ("All Done") is printed as a line.
class TConsoleHost : public TRunHost {
public:
    TConsoleHost(TConsole& console, bool showProgress, bool assumeYes, bool strict)
        : m_console(console), m_showProgress(showProgress), m_assumeYes(assumeYes), m_strict(strict) {}

    bool RunDespite(const std::vector<std::string>& findings) override {
        for (const std::string& finding : findings) m_console.Err << "warning: " << finding << '\n';
        if (m_strict) {
            m_console.Err << "varnok-run: not run, the change-list check found " << findings.size()
                          << (findings.size() == 1 ? " problem" : " problems") << " (--strict)\n";
        }
        m_console.Err << std::flush;
        return !m_strict;
    }

    bool Confirm(const std::string&, const std::string& question, const std::string& details) override {
        if (m_assumeYes) return true;
        if (!details.empty()) m_console.Err << details << '\n';
        m_console.Err << question << " [y/N] " << std::flush;
        std::string answer;
        if (!std::getline(m_console.In, answer)) {
            m_console.Err << '\n';
            return false;
        }
        return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
    }

    void ClearReport() override {}

    // A report nobody reads any more stops the run as Stop would: what was
    // rewritten so far is synced and accounted for in the journal.
    void AppendReportLine(const std::string& line) override {
        m_console.Out << line << '\n';
        if (!m_console.Out) SetStopFlag();
    }

    void SetRunCounts(const TRunCounts& counts) override { m_skipped = counts.Skipped; }

    void SetStatusText(const std::string& text) override {
        m_status = text;
        if (!m_showProgress) return;
        // Painting every file would make a fast run wait for the terminal.
        const auto now = std::chrono::steady_clock::now();
        if (m_painted && now - m_lastPaint < std::chrono::milliseconds(50)) return;
        m_lastPaint = now;
        m_painted = true;
        const auto width = static_cast<std::size_t>(std::max(m_console.ErrColumns - 1, 1));
        m_console.Err << '\r' << text.substr(0, width) << "\x1b[K" << std::flush;
    }

    // The walk clears the stop flag as it starts; a signal or a failed diff
    // that came before must still stop it.
    void ProcessEvents() override {
        if (g_interrupted || !m_console.Out) SetStopFlag();
    }

    long long Skipped() const { return m_skipped; }

    void ClearProgress() {
        if (m_painted) m_console.Err << "\r\x1b[K";
        m_painted = false;
    }

    void PrintStatus() {
        ClearProgress();
        m_console.Err << m_status << '\n';
    }

private:
    TConsole& m_console;
    bool m_showProgress;
    bool m_assumeYes;
    bool m_strict;
    bool m_painted = false;
    std::chrono::steady_clock::time_point m_lastPaint;
    std::string m_status;
    long long m_skipped = 0;
};

// The stored job fills in what the command line left out; the flags can
// only be switched on from the command line.
void UseStoredJob(TOptions& options, std::ostream& err) {
    // A store file set aside while loading is reported even when loading fails.
    const auto reportSetAside = [&err] {
        if (const std::string warning = TakeStoreWarning(); !warning.empty()) err << warning << '\n';
    };
    TStoredJob stored;
    try {
        stored = LoadStoredJob(*options.Config);
    } catch (const std::exception&) {
        reportSetAside();
        throw;
    }
    reportSetAside();
    TJobSettings& job = options.Job;
    if (job.Folders.empty()) job.Folders = std::move(stored.Folders);
    if (job.Masks.empty()) job.Masks = std::move(stored.Masks);
    for (const TJobFlag& flag : kJobFlags) job.*flag.Member = job.*flag.Member || stored.*flag.Member;
    // The command line's exclusions come after the stored ones.
    job.Exclusions.insert(job.Exclusions.begin(), stored.Exclusions.begin(), stored.Exclusions.end());
    if (!options.ChangesFile) job.ChangeText = std::move(stored.ChangeText);
}

// Each changed file's diff after its report line, in the terminal's colours
// when wanted.
void ShowDiffs(const TOptions& options, TConsole& console, TJobSettings& job) {
    static constexpr TDiffMarkup kColors{"\x1b[1m", "\x1b[36m", "\x1b[31m", "\x1b[32m", "\x1b[m"};
    const bool colored = options.Color == "always" || (options.Color == "auto" && console.OutIsTerminal);
    job.OnFileChanged = [&console, markup = colored ? kColors : TDiffMarkup{}](const TFileChange& change) {
        std::string diff;
        if (!change.NewFileName.empty()) AppendRenameHeader(diff, change.FileName, change.NewFileName, markup);
        AppendUnifiedDiff(diff, change.FileName, change.Before, change.After, markup, change.Encoding,
                          change.NewFileName);
        console.Out << diff;
    };
}

}  // namespace

void StopOnInterrupt() {
    g_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    // Held back while the handler runs, so that one arriving meanwhile finds
    // the default action and ends the process.
    sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals) sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESETHAND;  // no SA_RESTART: a pending question is given up
    for (const int signal : kStopSignals) sigaction(signal, &action, nullptr);
}

int RunBatch(const std::vector<std::string>& args, TConsole& console) {
    TOptions options;
    try {
        options = Parse(args);
        if (options.Help) {
            console.Out << Usage() << std::flush;
            return kExitDone;
        }
        if (options.Version) {
            console.Out << "varnok-run 1.01\n" << std::flush;
            return kExitDone;
        }
        if (options.ChangesFile) options.Job.ChangeText = ReadChanges(*options.ChangesFile, console.In);
        if (options.Undo && !options.Yes && !console.InIsTerminal) {
            throw TUsageError("no terminal to ask whether to undo the run; give --yes to undo without asking");
        }
        if (!options.Undo && !options.ListRuns && !options.Yes && !console.InIsTerminal) {
            throw TUsageError("no terminal to ask \"Are you sure? There's no undo?\"; "
                              "give --yes to run without asking");
        }
    } catch (const TUsageError& error) {
        console.Err << "varnok-run: " << error.what() << "\nTry 'varnok-run --help'.\n";
        return kExitUsage;
    }

    options.Job.ClearReport = true;
    if (options.Diff) ShowDiffs(options, console, options.Job);
    TConsoleHost host(console, console.ErrIsTerminal && !options.Quiet, options.Yes, options.Strict);
    TRunOutcome outcome;
    TUndoOutcome undone = TUndoOutcome::Declined;
    try {
        if (options.ListRuns) {
            ListRuns(console.Out);
            console.Out.flush();
            return console.Out ? kExitDone : kExitStopped;
        }
        if (options.Config) UseStoredJob(options, console.Err);
        if (options.Undo) {
            undone = UndoRun(*options.Undo, true, host, options.Job.Jobs);
            outcome = undone == TUndoOutcome::Declined  ? TRunOutcome::Declined
                      : undone == TUndoOutcome::Stopped ? TRunOutcome::Stopped
                                                        : TRunOutcome::Done;
        } else {
            outcome = RunJob(options.Job, host);
        }
    } catch (const std::exception& error) {
        console.Out.flush();
        host.ClearProgress();
        console.Err << error.what() << '\n';
        return kExitRunError;
    }
    console.Out.flush();
    if (outcome == TRunOutcome::Refused) return kExitUsage;
    if (outcome == TRunOutcome::Declined) return g_interrupted ? kExitStopped : kExitRunError;
    // Its last lines may fail only here, once the run is done: stopped all the same.
    const bool reportLost = !console.Out;
    if (reportLost) {
        host.ClearProgress();
        console.Err << "varnok-run: the report could not be written\n";
    }
    host.PrintStatus();
    if (reportLost || outcome == TRunOutcome::Stopped) return kExitStopped;
    if (options.Undo) return undone == TUndoOutcome::Kept ? kExitKept : kExitDone;
    return host.Skipped() > 0 ? kExitSkipped : kExitDone;
}

}  // namespace varnok
