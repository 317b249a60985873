#include <gtest/gtest.h>

#include "JobTesting.h"
#include "RunJob.h"
#include "TextUtils.h"
#include "engine/Engine.h"

namespace varnok {
namespace {

using Lines = std::vector<std::string>;

class RunJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"one/a.txt", "two/b.txt", "three/c.txt"}) tree.Write(name, "a");
        settings.Folders = {tree.Path("one"), tree.Path("two"), tree.Path("three")};
        settings.ChangeText = {"a", "b"};
        settings.Masks = {"*.txt"};
    }
    std::string Line(long long count, const std::string& name) {
        return ReportLine(count, tree.Path(name));
    }
    testing::TTempTree tree;
    testing::TScriptedHost host;
    TJobSettings settings;
};

TEST_F(RunJobTest, DeclinedChangesNothing) {
    host.answer = false;
    host.report = {"kept"};
    EXPECT_EQ(RunJob(settings, host), TRunOutcome::Declined);
    EXPECT_EQ(host.question, "Confirm: Are you sure? There's no undo?");
    // Beside it, what the run would touch.
    EXPECT_EQ(host.details, "Folders: " + tree.Path("one") + ", " + tree.Path("two") + ", " + tree.Path("three") +
                                "\nSub-folders: not searched\nMask: *.txt\nChanges: 1");
    settings.Recurse = settings.GitIgnore = settings.EditBinary = settings.CaseSensitive = true;
    settings.Exclusions = {"build", "*.png"};
    settings.Folders.resize(1);
    settings.Masks = {"*.c", "*.h"};
    settings.ChangeText = {"a", "b", "--", "c", "d"};
    EXPECT_EQ(RunJob(settings, host), TRunOutcome::Declined);
    EXPECT_EQ(host.details, "Folder: " + tree.Path("one") +
                                "\nSub-folders: searched\nMasks: *.c, *.h\nExcluded: build, *.png\n"
                                "Files git ignores: left out\nBinary files: edited before their first NUL\n"
                                "Match case\nChanges: 2");
    EXPECT_EQ(host.report, Lines{"kept"});
    EXPECT_EQ(host.status, "");
    EXPECT_EQ(tree.Read("one/a.txt"), "a");
}

TEST_F(RunJobTest, ASecondRunAppendsASeparatorUnlessTheReportIsCleared) {
    host.report = {"earlier"};
    settings.Folders = {tree.Path("one")};
    EXPECT_EQ(RunJob(settings, host), TRunOutcome::Done);
    EXPECT_EQ(RunJob(settings, host), TRunOutcome::Done);
    EXPECT_EQ(host.report, (Lines{"earlier", "", std::string(62, '.'), "", Line(1, "one/a.txt"), "",
                                  std::string(62, '.'), "", Line(0, "one/a.txt")}));
    EXPECT_EQ(host.status, "All Done");
    settings.ClearReport = true;
    settings.Folders = {};
    EXPECT_EQ(RunJob(settings, host), TRunOutcome::Done);
    EXPECT_EQ(host.report, Lines{});
}

TEST_F(RunJobTest, StopEndsTheRunWithAllDoneAndOnlyVisitedFilesReported) {
    SetStopFlag();  // a Stop given between runs has no effect on the next one
    int events = 0;
    // Events come once per folder and twice per file: the fifth is the second
    // folder's file after its status, before its changes.
    host.onEvents = [&events] {
        if (++events == 5) SetStopFlag();
    };
    settings.ClearReport = true;
    EXPECT_EQ(RunJob(settings, host), TRunOutcome::Stopped);
    EXPECT_EQ(host.report, (Lines{Line(1, "one/a.txt"), Line(0, "two/b.txt")}));
    EXPECT_EQ(host.status, "All Done");
    EXPECT_EQ(tree.Read("two/b.txt"), "a");
    EXPECT_EQ(tree.Read("three/c.txt"), "a");
}

TEST_F(RunJobTest, FindingsComeBeforeTheQuestionAndMayRefuseTheRun) {
    settings.ChangeText = {"a", "{}1", "--"};
    host.runDespite = false;
    EXPECT_EQ(RunJob(settings, host), TRunOutcome::Refused);
    EXPECT_EQ(host.findings, Lines{"Change 1, line 1 \"a\": the replacement inserts group 1 (\"{}1\"), but "
                                   "a pattern without wild cards has no groups, so nothing is inserted there"});
    EXPECT_EQ(host.question, "");
    EXPECT_EQ(tree.Read("one/a.txt"), "a");
    host.runDespite = true;
    EXPECT_EQ(RunJob(settings, host), TRunOutcome::Done);
    EXPECT_EQ(tree.Read("one/a.txt"), "\n");
}

// Match Case and Whole Words Only are the engine's CaseSensitive and WholeWords
// of every change: each file ends as the engine's own ReplaceAll leaves it.
TEST_F(RunJobTest, OptionsAreTheEngineFlagsOfEveryChange) {
    const std::string text = "size_t n; ssize_t m; SIZE_T k; Size_t(x);\nOLD_NAME(1) old_name(2)\n";
    const Lines changes = {"size_t", "size_type", "--", "old_name({*}1)", "new_name({}1)", "--"};
    for (int flags = 0; flags < 4; ++flags) {
        tree.Write("one/a.txt", text);
        settings.Folders = {tree.Path("one")};
        settings.ChangeText = changes;
        settings.CaseSensitive = (flags & 1) != 0;
        settings.WholeWords = (flags & 2) != 0;
        EXPECT_EQ(RunJob(settings, host), TRunOutcome::Done);
        std::string expected = text;
        for (std::size_t i = 0; i < changes.size(); i += 3) {
            ReplaceAll(expected, changes[i], changes[i + 1], settings.CaseSensitive, true, true,
                       settings.WholeWords, true, false);
        }
        EXPECT_EQ(tree.Read("one/a.txt"), expected) << flags;
        EXPECT_EQ(tree.Read("one/a.BAK"), expected == text ? "" : text) << flags;
    }
}

}  // namespace
}  // namespace varnok
