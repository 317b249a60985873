#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

#include "JobTesting.h"
#include "TextUtils.h"
#include "varnok-run-cli.h"

namespace varnok {
namespace {

// A report stream that presses Ctrl+C once the first report line is out.
class TInterruptingBuffer : public std::streambuf {
public:
    std::string text;

protected:
    int overflow(int c) override {
        text += static_cast<char>(c);
        if (c == '\n' && text.find('\n') == text.size() - 1) std::raise(SIGINT);
        return c;
    }
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
        TConsole console{in, out, err, inIsTerminal, errIsTerminal, 40};
        return RunBatch(args, console);
    }
    std::string Line(long long count, const std::string& name) {
        return ReportLine(count, tree.Path(name)) + "\n";
    }
    testing::TTempTree tree;
    std::istringstream in;
    std::ostringstream out, err;
    bool inIsTerminal = false;
    bool errIsTerminal = false;
};

TEST_F(CommandTest, UsageErrorsExitWithTwoAndTouchNothing) {
    const struct {
        std::vector<std::string> args;
        std::string message;
    } rows[] = {
        {{"--frobnicate", "-y"}, "varnok-run: unknown option '--frobnicate'\n"},
        {{"-yx"}, "varnok-run: unknown option '-x'\n"},
        {{"-y", "--mask"}, "varnok-run: option '--mask' needs a value\n"},
        {{"--yes=1"}, "varnok-run: option '--yes' takes no value\n"},
        {{"-y", "-c", tree.Path("missing")}, "varnok-run: Cannot open file " + tree.Path("missing") + "\n"},
        {{"-c", tree.Path("changes"), tree.Path("files")},
         "varnok-run: no terminal to ask \"Are you sure? There's no undo?\"; give --yes to run "
         "without asking\n"},
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

TEST_F(CommandTest, AskedOnTheTerminal) {
    inIsTerminal = true;
    EXPECT_EQ(Run({"-c", tree.Path("changes"), tree.Path("files")}, "n\n"), kExitRunError);
    EXPECT_EQ(err.str(), "Are you sure? There's no undo? [y/N] ");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(Run({"-c", tree.Path("changes"), "-m", "a.txt", tree.Path("files")}, "y\n"), kExitDone);
    EXPECT_EQ(out.str(), Line(1, "files/a.txt"));
}

TEST_F(CommandTest, ProgressIsPaintedInPlaceOnATerminal) {
    errIsTerminal = true;
    EXPECT_EQ(Run({"-y", "-m", "a.txt", tree.Path("files")}), kExitDone);
    const std::string name = "Searching: " + tree.Path("files/a.txt") + " ...";
    EXPECT_EQ(err.str(), "\r" + name.substr(0, 39) + "\x1b[K\r\x1b[KAll Done\n");
    err.str("");
    EXPECT_EQ(Run({"-yq", "-m", "a.txt", tree.Path("files")}), kExitDone);
    EXPECT_EQ(err.str(), "All Done\n");
}

TEST_F(CommandTest, ARunErrorExitsWithOne) {
    tree.Write("files/a.$$$/blocker", "");
    EXPECT_EQ(Run({"-y", "-c", tree.Path("changes"), "-m", "*.txt", tree.Path("files")}), kExitRunError);
    EXPECT_EQ(err.str(), "Cannot create file " + tree.Path("files/a.$$$") + ": Is a directory\n");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(tree.Read("files/a.txt"), "abc\n");
}

TEST_F(CommandTest, CtrlCStopsAfterTheFileInHand) {
    StopOnInterrupt();
    TInterruptingBuffer report;
    out.std::ios::rdbuf(&report);
    EXPECT_EQ(Run({"-y", "-c", tree.Path("changes"), "-m", "*.txt", "-m", "*.c", tree.Path("files")}),
              kExitStopped);
    EXPECT_EQ(report.text, Line(1, "files/a.txt"));
    EXPECT_EQ(err.str(), "All Done\n");
    EXPECT_EQ(tree.Read("files/b.c"), "xyz\n");
    std::signal(SIGINT, SIG_DFL);
}

}  // namespace
}  // namespace varnok
