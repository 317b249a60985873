#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>

#include "JobTesting.h"
#include "RunJournal.h"
#include "SafeWrite.h"
#include "TextUtils.h"
#include "varnok-run-cli.h"

namespace varnok {
namespace {

// A report stream that raises a signal once the first report line is out,
// or, given none, fails its final flush.
class TInterruptingBuffer : public std::streambuf {
public:
    explicit TInterruptingBuffer(int signal) : m_signal(signal) {}
    std::string text;

protected:
    int overflow(int c) override {
        text += static_cast<char>(c);
        if (m_signal && c == '\n' && text.find('\n') == text.size() - 1) std::raise(m_signal);
        return c;
    }
    int sync() override { return m_signal ? 0 : -1; }

private:
    int m_signal;
};

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Write("files/a.txt", "abc\n");
        tree.Write("files/b.c", "xyz\n");
        tree.Write("changes", "abc\nxy\n--\n");
    }
    int Run(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), "varnok-run");
        in.str(input);
        TConsole console{in, out, err, inIsTerminal, errIsTerminal, 40, outIsTerminal};
        return RunBatch(args, console);
    }
    std::string Line(long long count, const std::string& name) {
        return ReportLine(count, tree.Path(name)) + "\n";
    }
    testing::TTempTree tree;
    testing::TStateHome stateHome{tree.Path("state")};
    std::istringstream in;
    std::ostringstream out, err;
    bool inIsTerminal = false;
    bool errIsTerminal = false;
    bool outIsTerminal = false;
};

TEST_F(CommandTest, UsageErrorsExitWithTwoAndTouchNothing) {
    const struct {
        std::vector<std::string> args;
        std::string message;
    } rows[] = {
        {{"--frobnicate", "-y"}, "varnok-run: unknown option '--frobnicate'\n"},
        {{"-yZ"}, "varnok-run: unknown option '-Z'\n"},
        {{"-y", "--mask"}, "varnok-run: option '--mask' needs a value\n"},
        {{"--yes=1"}, "varnok-run: option '--yes' takes no value\n"},
        {{"-y", "-c", tree.Path("missing")}, "varnok-run: Cannot open file " + tree.Path("missing") + "\n"},
        {{"-c", tree.Path("changes"), tree.Path("files")},
         "varnok-run: no terminal to ask \"Are you sure? There's no undo?\"; give --yes to run "
         "without asking\n"},
        {{"--undo"}, "varnok-run: no terminal to ask whether to undo the run; give --yes to undo without asking\n"},
        {{"--undo", "-y", "-m", "*.c"}, "varnok-run: '--list-runs' and '--undo' take no job options\n"},
        {{"--undo=1", "2", "-y"}, "varnok-run: '--undo' takes one run id\n"},
        {{"--list-runs", "--undo"}, "varnok-run: '--list-runs' and '--undo' go alone\n"},
        {{"--list-runs", tree.Path("files")}, "varnok-run: '--list-runs' takes no folders\n"},
        {{"-j0", "-y"}, "varnok-run: option '--jobs' takes a number from 1 to 1024, not '0'\n"},
        {{"--jobs", "2x", "-y"}, "varnok-run: option '--jobs' takes a number from 1 to 1024, not '2x'\n"},
    };
    for (const auto& row : rows) {
        err.str("");
        EXPECT_EQ(Run(row.args), kExitUsage) << row.message;
        EXPECT_EQ(err.str(), row.message + "Try 'varnok-run --help'.\n");
    }
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(tree.Read("files/a.txt"), "abc\n");
}

TEST_F(CommandTest, ReportOnStdoutAllDoneOnStderr) {
    EXPECT_EQ(Run({"-y", "--changes", tree.Path("changes"), "-m", "*.TXT", "--mask=*.*",
                   tree.Path("files/")}),
              kExitDone);
    const std::string changed = Line(1, "files/a.txt");
    const std::string unchanged = Line(0, "files/a.txt") + Line(0, "files/b.c");
    const std::string unchangedOtherOrder = Line(0, "files/b.c") + Line(0, "files/a.txt");
    EXPECT_TRUE(out.str() == changed + unchanged || out.str() == changed + unchangedOtherOrder)
        << out.str();
    EXPECT_EQ(err.str(), "All Done\n");
    EXPECT_EQ(tree.Read("files/a.txt"), "xy\n");
}

TEST_F(CommandTest, ChangesFromStdinAndADryRun) {
    EXPECT_EQ(Run({"-ynqmb.c", "-c", "-", tree.Path("files")}, "XYZ\nq\n"), kExitDone);
    EXPECT_EQ(out.str(), Line(1, "files/b.c"));
    EXPECT_EQ(tree.Read("files/b.c"), "xyz\n");
    EXPECT_FALSE(tree.Exists("files/b.BAK"));
}

TEST_F(CommandTest, DiffsAfterTheReportLinesOfChangedFilesColouredWhenAsked) {
    const std::string name = tree.Path("files/a.txt");
    const std::string plain = "--- " + name + "\n+++ " + name + "\n@@ -1 +1 @@\n-abc\n+xy\n";
    const std::string colored = "\x1b[1m--- " + name + "\x1b[m\n\x1b[1m+++ " + name +
                                "\x1b[m\n\x1b[36m@@ -1 +1 @@\x1b[m\n\x1b[31m-abc\x1b[m\n\x1b[32m+xy\x1b[m\n";
    const struct {
        std::vector<std::string> options;
        bool onTerminal;
        std::string diff;
    } rows[] = {
        {{"--diff"}, false, plain},
        {{"--diff"}, true, colored},
        {{"--diff", "--color=never"}, true, plain},
        {{"--diff", "--color", "always"}, false, colored},
        {{"--color=always"}, false, ""},
    };
    for (const auto& row : rows) {
        out.str("");
        outIsTerminal = row.onTerminal;
        std::vector<std::string> args = row.options;
        args.insert(args.end(), {"-yn", "-c", tree.Path("changes"), "-m", "*.*", tree.Path("files")});
        EXPECT_EQ(Run(args), kExitDone);
        const std::string changed = Line(1, "files/a.txt") + row.diff;
        EXPECT_TRUE(out.str() == changed + Line(0, "files/b.c") || out.str() == Line(0, "files/b.c") + changed)
            << out.str();
    }
    err.str("");
    EXPECT_EQ(Run({"-y", "--color=sometimes", tree.Path("files")}), kExitUsage);
    EXPECT_EQ(err.str(), "varnok-run: option '--color' takes auto, always or never, not 'sometimes'\n"
                         "Try 'varnok-run --help'.\n");
    EXPECT_EQ(tree.Read("files/a.txt"), "abc\n");
}

TEST_F(CommandTest, AskedOnTheTerminal) {
    inIsTerminal = true;
    EXPECT_EQ(Run({"-c", tree.Path("changes"), tree.Path("files")}, "n\n"), kExitRunError);
    EXPECT_EQ(err.str(), "Folder: " + tree.Path("files") + "\nSub-folders: not searched\nMask: *.*\nChanges: 1\n"
                         "Are you sure? There's no undo? [y/N] ");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(Run({"-c", tree.Path("changes"), "-m", "a.txt", tree.Path("files")}, "y\n"), kExitDone);
    EXPECT_EQ(out.str(), Line(1, "files/a.txt"));
}

TEST_F(CommandTest, ProgressIsPaintedInPlaceOnATerminal) {
    errIsTerminal = true;
    EXPECT_EQ(Run({"-y", "-m", "a.txt", tree.Path("files")}), kExitDone);
    const std::string name = "Searching: " + tree.Path("files/a.txt") + " ...";
    const std::string noChange = "warning: The change list holds no change: the run would only count files\n";
    EXPECT_EQ(err.str(), noChange + "\r" + name.substr(0, 39) + "\x1b[K\r\x1b[KAll Done\n");
    err.str("");
    EXPECT_EQ(Run({"-yq", "-m", "a.txt", tree.Path("files")}), kExitDone);
    EXPECT_EQ(err.str(), noChange + "All Done\n");
}

TEST_F(CommandTest, MatchCaseAndWholeWordsReachEveryChange) {
    for (const auto& [flag, result] : {std::pair{"--match-case", "xy ABC xyd\n"}, {"--whole-words", "xy xy abcd\n"}}) {
        tree.Write("files/a.txt", "abc ABC abcd\n");
        EXPECT_EQ(Run({flag, "-y", "-m", "a.txt", "-c", tree.Path("changes"), tree.Path("files")}), kExitDone);
        EXPECT_EQ(tree.Read("files/a.txt"), result) << flag;
    }
}

TEST_F(CommandTest, FindingsGoToStderrAndStrictRefusesTheRun) {
    tree.Write("typo", "abc\nx{}2\n--\n");
    const std::string finding = "warning: Change 1, line 1 \"abc\": the replacement inserts group 2 (\"{}2\"), "
                                "but a pattern without wild cards has no groups, so nothing is inserted there\n";
    inIsTerminal = true;  // refused before the question is asked
    EXPECT_EQ(Run({"--strict", "-c", tree.Path("typo"), tree.Path("files")}), kExitUsage);
    EXPECT_EQ(err.str(), finding + "varnok-run: not run, the change-list check found 1 problem (--strict)\n");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(tree.Read("files/a.txt"), "abc\n");
    err.str("");
    EXPECT_EQ(Run({"-y", "-m", "a.txt", "-c", tree.Path("typo"), tree.Path("files")}), kExitDone);
    EXPECT_EQ(err.str(), finding + "All Done\n");
    EXPECT_EQ(tree.Read("files/a.txt"), "x\n");
    // An empty change-list file is read, found empty, and run under --strict no more.
    tree.Write("empty", "");
    err.str("");
    EXPECT_EQ(Run({"-y", "--strict", "-c", tree.Path("empty"), tree.Path("files")}), kExitUsage);
    EXPECT_EQ(err.str(), "warning: The change list holds no change: the run would only count files\n"
                         "varnok-run: not run, the change-list check found 1 problem (--strict)\n");
}

TEST_F(CommandTest, AFolderThatCannotBeOpenedExitsWithOneAFileSkippedWithFour) {
    const struct {
        const char* name;
        std::string setUp;  // a folder made before the run
        std::string folder;
        int status;
        std::string out, err;
    } rows[] = {
        {"missing folder", "", "none", kExitRunError, "",
         "Cannot open folder " + tree.Path("none") + ": No such file or directory\n"},
        {"older backup a folder", "files/a.BAK/x", "files", kExitSkipped,
         "Skipped    " + tree.Path("files/a.txt") + ": older backup " + tree.Path("files/a.BAK") +
             " cannot be kept: not a file\n",
         "All Done, 1 skipped\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (!row.setUp.empty()) tree.Write(row.setUp, "");
        out.str("");
        err.str("");
        EXPECT_EQ(Run({"-y", "-c", tree.Path("changes"), "-m", "*.txt", tree.Path(row.folder)}), row.status);
        EXPECT_EQ(out.str(), row.out);
        EXPECT_EQ(err.str(), row.err);
        EXPECT_EQ(tree.Read("files/a.txt"), "abc\n");
    }
}

// What other programs do to a live tree between a file's reading and its
// rewrite, done right then; afterwards every version any program wrote, and
// every file that existed before the run, is in the tree or kept with the
// journal, and the report and exit status say what happened.
TEST_F(CommandTest, ALiveTreeLosesNothing) {
    namespace fs = std::filesystem;
    const auto write = [&](const std::string& name, const std::string& text) { tree.Write(name, text); };
    const struct {
        const char* name;
        std::function<void()> setUp, meanwhile;
        std::map<std::string, std::string> after;  // in files/; "" : no such file
        int status;
        std::string line;  // a.txt's
    } rows[] = {
        {"saved by an editor meanwhile", {},
         [&] {
             write("files/.a.txt.swp", "editor's\n");
             fs::rename(tree.Path("files/.a.txt.swp"), tree.Path("files/a.txt"));
         },
         {{"a.txt", "editor's\n"}, {"a.BAK", ""}}, kExitSkipped, "Skipped    %: changed during the run"},
        {"appended to meanwhile", {}, [&] { std::ofstream(tree.Path("files/a.txt"), std::ios::app) << "log\n"; },
         {{"a.txt", "abc\nlog\n"}, {"a.BAK", ""}}, kExitSkipped, "Skipped    %: changed during the run"},
        {"deleted meanwhile", {}, [&] { fs::remove(tree.Path("files/a.txt")); },
         {{"a.txt", ""}, {"a.BAK", ""}}, kExitSkipped, "Skipped    %: changed during the run"},
        {"a user's own a.BAK and a.$$$", [&] { write("files/a.BAK", "mine\n"), write("files/a.$$$", "abc\n"); }, {},
         {{"a.txt", "xy\n"}, {"a.BAK", "abc\n"}, {"a.$$$", "abc\n"}}, kExitDone,
         "    1      %"},
        {"its folder swapped for a link meanwhile", {},
         [&] {
             fs::rename(tree.Path("files"), tree.Path("moved"));
             fs::create_directory(tree.Path("outside"));
             fs::create_directory_symlink(tree.Path("outside"), tree.Path("files"));
         },
         {}, kExitDone, "    1      %"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(tree.Path("files"));
        fs::remove_all(tree.Path("moved"));
        fs::remove_all(tree.Path("outside"));
        fs::remove_all(tree.Path("state"));
        write("files/a.txt", "abc\n");
        if (row.setUp) row.setUp();
        bool done = false;
        BeforePlacingForTests = [&](const std::string& name) {
            if (!done && name == tree.Path("files/a.txt")) row.meanwhile ? row.meanwhile() : void();
            done = true;
        };
        out.str("");
        err.str("");
        const int status = Run({"-y", "-c", tree.Path("changes"), "-m", "*.txt", tree.Path("files")});
        BeforePlacingForTests = nullptr;
        EXPECT_EQ(status, row.status) << err.str();
        std::string line = row.line;
        line.replace(line.find('%'), 1, tree.Path("files/a.txt"));
        EXPECT_TRUE(out.str().starts_with(line + "\n")) << out.str();
        for (const auto& [name, text] : row.after) {
            EXPECT_EQ(tree.Exists("files/" + name), !text.empty()) << name;
            if (!text.empty()) {
                EXPECT_EQ(tree.Read("files/" + name), text) << name;
            }
        }
        // The hidden temporaries are gone; an older backup is kept with the journal.
        for (const auto& entry : fs::recursive_directory_iterator(tree.Path())) {
            EXPECT_FALSE(entry.path().string().ends_with(".$$$") && entry.path().filename().string()[0] == '.')
                << entry.path();
        }
        if (row.setUp) {
            std::string kept;
            for (const auto& entry : fs::recursive_directory_iterator(tree.Path("state"))) {
                if (entry.path().filename() == "1-a.BAK") kept = tree.ReadFile(entry.path());
            }
            EXPECT_EQ(kept, "mine\n");
        }
        if (fs::exists(tree.Path("moved"))) {
            EXPECT_TRUE(fs::is_empty(tree.Path("outside")));  // nothing written through the link
            EXPECT_EQ(tree.Read("moved/a.txt"), "xy\n");
            EXPECT_EQ(tree.Read("moved/a.BAK"), "abc\n");
        }
    }
}

TEST_F(CommandTest, ListRunsAndAnUndoThatKeepsAnEditedFile) {
    tree.Write("files/c.txt", "abc abc\n");
    ASSERT_EQ(Run({"-y", "-c", tree.Path("changes"), "-m", "*.txt", tree.Path("files")}), kExitDone);
    out.str("");
    EXPECT_EQ(Run({"--list-runs"}), kExitDone);
    const std::string listed = out.str();
    const std::regex line("(\\d{8}T\\d{6}\\.\\d{6}Z)  \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d UTC  2 files  "
                          "not undone  " + tree.Path("files") + "\n");
    std::smatch id;
    ASSERT_TRUE(std::regex_match(listed, id, line)) << listed;

    tree.Write("files/c.txt", "edited\n");
    out.str("");
    err.str("");
    EXPECT_EQ(Run({"--undo", "--yes"}), kExitKept);
    const std::string restored = "Restored   " + tree.Path("files/a.txt") + "\n";
    const std::string kept = "Kept       " + tree.Path("files/c.txt") + ": changed since the run\n";
    EXPECT_TRUE(out.str() == restored + kept || out.str() == kept + restored) << out.str();
    EXPECT_EQ(err.str(), "All Done\n");
    EXPECT_EQ(tree.Read("files/a.txt"), "abc\n");
    EXPECT_EQ(tree.Read("files/c.txt"), "edited\n");
    EXPECT_EQ(tree.Read("files/c.BAK"), "abc abc\n");
    EXPECT_FALSE(tree.Exists("files/a.BAK"));

    // Not undone while a file is kept: once it holds what the run wrote
    // again, the next undo restores it and completes.
    out.str("");
    EXPECT_EQ(Run({"--list-runs"}), kExitDone);
    EXPECT_EQ(out.str(), listed);
    tree.Write("files/c.txt", "xy xy\n");
    out.str("");
    EXPECT_EQ(Run({"--undo", "--yes"}), kExitDone);
    const std::string both = restored + "Restored   " + tree.Path("files/c.txt") + "\n";
    EXPECT_TRUE(out.str().size() == both.size() && out.str().find(tree.Path("files/c.txt")) != std::string::npos)
        << out.str();
    EXPECT_EQ(tree.Read("files/c.txt"), "abc abc\n");
    EXPECT_FALSE(tree.Exists("files/c.BAK"));
    out.str("");
    EXPECT_EQ(Run({"--list-runs"}), kExitDone);
    EXPECT_EQ(out.str(), std::regex_replace(listed, std::regex("not undone"), "undone"));
    err.str("");
    EXPECT_EQ(Run({"--undo", id[1], "-y"}), kExitRunError);
    EXPECT_EQ(Run({"--undo", "-y"}), kExitRunError);
    EXPECT_EQ(err.str(), "The run of " + listed.substr(25, 23) + " was undone already\nThere is no run to undo\n");

    // Journals that are empty or cannot be read are listed as such, in their place.
    std::ofstream(RunJournalFolder() + "/20000101T000000.000000Z.txt");
    std::ofstream(RunJournalFolder() + "/20000101T000001.000000Z.txt") << "not a journal\n";
    out.str("");
    EXPECT_EQ(Run({"--list-runs"}), kExitDone);
    const std::string undone = std::regex_replace(listed, std::regex("not undone"), "undone");
    const std::string all = out.str();
    ASSERT_TRUE(all.ends_with(undone)) << all;
    EXPECT_TRUE(std::regex_match(all.substr(0, all.size() - undone.size()),
                                 std::regex("20000101T000000\\.000000Z  empty\n"
                                            "20000101T000001\\.000000Z  cannot be read: [^\n]+\n")))
        << all;
}

// Ctrl+C stops the run after the file in hand; so does a report that can no
// longer be written, even when only its last lines are lost once the run is done.
TEST_F(CommandTest, CtrlCAndALostReportStopTheRun) {
    const struct {
        int signal;
        std::string err;
    } rows[] = {
        {SIGINT, "All Done\n"},
        {0, "varnok-run: the report could not be written\nAll Done\n"},
    };
    for (const auto& row : rows) {
        tree.Write("files/b.c", "abc\n");
        std::filesystem::remove(tree.Path("files/b.BAK"));
        err.str("");
        StopOnInterrupt();
        TInterruptingBuffer report(row.signal);
        out.std::ios::rdbuf(&report);
        EXPECT_EQ(Run({"-y", "-c", tree.Path("changes"), "-m", "*.txt", "-m", "*.c", tree.Path("files")}),
                  kExitStopped);
        // a.txt's line comes once its rewrite is done; b.c may have been
        // rewritten by then too, and then it is reported.
        const std::string a = Line(1, "files/a.txt");
        const bool bRewritten = tree.Read("files/b.c") == "xy\n";
        EXPECT_EQ(report.text, bRewritten ? a + Line(1, "files/b.c") : a) << row.signal;
        EXPECT_EQ(bRewritten, tree.Read("files/b.BAK") == "abc\n");
        EXPECT_EQ(err.str(), row.err);
        tree.Write("files/a.txt", "abc\n");
    }
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_DFL);
}


TEST_F(CommandTest, ARenameInTheDiffIsAGitRenameHeaderBeforeItsHunks) {
    tree.Write("files/old_name.py", "old_name = 1\n");
    tree.Write("files/old_name.txt", "same\n");
    tree.Write("files/old_name/keep.txt", "same\n");  // moves with its folder
    tree.Write("rename", "old_name\nnew_name\n--\n");
    const std::string f = tree.Path("files");
    EXPECT_EQ(Run({"-ynr", "--rename", "--diff", "-c", tree.Path("rename"), "-m", "*.py", "-m", "*.txt", f}),
              kExitDone);
    const std::string shown = out.str();
    const std::string changed = "diff --git a/" + f + "/old_name.py b/" + f + "/new_name.py\n" +
                                "rename from " + f + "/old_name.py\nrename to " + f + "/new_name.py\n" +
                                "--- " + f + "/old_name.py\n+++ " + f + "/new_name.py\n" +
                                "@@ -1 +1 @@\n-old_name = 1\n+new_name = 1\n";
    const std::string renamedOnly = "diff --git a/" + f + "/old_name.txt b/" + f + "/new_name.txt\n" +
                                    "rename from " + f + "/old_name.txt\nrename to " + f + "/new_name.txt\n";
    EXPECT_NE(shown.find(changed), std::string::npos) << shown;
    EXPECT_NE(shown.find(renamedOnly), std::string::npos) << shown;
    EXPECT_NE(shown.find("rename from " + f + "/old_name/keep.txt\nrename to " + f + "/new_name/keep.txt\n"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("Renamed    " + f + "/old_name.py -> " + f + "/new_name.py\n"), std::string::npos) << shown;
    // A dry run: nothing renamed.
    EXPECT_TRUE(tree.Exists("files/old_name.py"));
    EXPECT_FALSE(tree.Exists("files/new_name.txt"));
}

}  // namespace
}  // namespace varnok
