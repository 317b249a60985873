// The preview against the run it shows: the same files and counts as a dry
// run's report, the diffs of what the run then writes, a run of the checked
// files that changes exactly those, and Stop during the preview.

#include <gtest/gtest.h>

#include <algorithm>

#include "JobTesting.h"
#include "Preview.h"
#include "TextUtils.h"
#include "UnifiedDiff.h"

namespace varnok {
namespace {

using Lines = std::vector<std::string>;

class PreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Write("a.c", "int x = foo(1);\nint y = foo(2);\n");
        tree.Write("b.txt", "foo(3)\r\nnothing\r\n");
        tree.Write("c.txt", "no call here\n");
        tree.Write("sub/d.c", std::string("foo(4)\0foo(5)", 13));
        tree.Write("sub/e.c", "foo(6) foo(7) foo(8)");
        job.Folders = {tree.Path()};
        job.Recurse = true;
        job.EditBinary = true;  // d.c is edited up to its NUL
        job.Masks = {"*.c", "*.*"};  // .c files are visited twice
        job.ChangeText = {"foo({*}1)", "bar({}1)", "--", "bar(6)", "foo(6)"};
    }
    // The report lines with a count, as (name, count), summed per name.
    std::vector<std::pair<std::string, long long>> DryRunReport() {
        TJobSettings dry = job;
        dry.DryRun = true;
        dry.ClearReport = true;
        EXPECT_EQ(RunJob(dry, host), TRunOutcome::Done);
        std::vector<std::pair<std::string, long long>> counts;
        for (const auto& line : host.report) {
            const long long count = std::stoll(line.substr(0, 11));
            if (count == 0) continue;
            const std::string name = line.substr(11);
            auto row = std::find_if(counts.begin(), counts.end(), [&](const auto& r) { return r.first == name; });
            if (row == counts.end()) {
                counts.emplace_back(name, count);
            } else {
                row->second += count;
            }
        }
        return counts;
    }
    testing::TTempTree tree;
    testing::TScriptedHost host;
    TJobSettings job;
};

TEST_F(PreviewTest, FilesAndCountsAreTheDryRunsAndTheDiffsWhatTheRunWrites) {
    const auto report = DryRunReport();
    host.report.clear();
    const TPreview preview = PreviewJob(job, host);
    EXPECT_EQ(preview.Outcome, TRunOutcome::Done);
    EXPECT_EQ(host.report, Lines{});  // the preview's dry run keeps no report lines
    EXPECT_EQ(host.status, "All Done");
    std::vector<std::pair<std::string, long long>> listed;
    for (const auto& file : preview.Files) listed.emplace_back(file.FileName, file.Count);
    EXPECT_EQ(listed, report);
    ASSERT_EQ(listed.size(), 4u);

    std::vector<std::string> before, diffs;
    for (const auto& file : preview.Files) {
        before.push_back(testing::TTempTree::ReadFile(file.FileName));
        diffs.push_back(PreviewDiff(job, file.FileName));
    }
    EXPECT_EQ(PreviewDiff(job, tree.Path("c.txt")), "");
    ASSERT_EQ(RunJob(job, host), TRunOutcome::Done);
    for (std::size_t i = 0; i < preview.Files.size(); ++i) {
        const std::string& name = preview.Files[i].FileName;
        std::string expected;
        AppendUnifiedDiff(expected, name, before[i], testing::TTempTree::ReadFile(name));
        EXPECT_EQ(diffs[i], expected) << name;
        EXPECT_NE(diffs[i], "") << name;
    }
}

TEST_F(PreviewTest, TheCheckedFilesAloneAreRunAndReadAgain) {
    const TPreview preview = PreviewJob(job, host);
    const std::string a = tree.Path("a.c"), e = tree.Path("sub/e.c");
    // Changed on disk since the preview: the run takes it as it is now.
    tree.Write("sub/e.c", "foo(9)\n");
    host.report.clear();
    job.ClearReport = true;
    ASSERT_EQ(RunJob(OnlyChecked(job, {a, e}, {}), host), TRunOutcome::Done);
    EXPECT_EQ(host.report, (Lines{ReportLine(2, a), ReportLine(0, a), ReportLine(1, e), ReportLine(0, e)}));
    EXPECT_EQ(tree.Read("a.c"), "int x = bar(1);\nint y = bar(2);\n");
    EXPECT_EQ(tree.Read("sub/e.c"), "bar(9)\n");
    EXPECT_EQ(tree.Read("b.txt"), "foo(3)\r\nnothing\r\n");
    EXPECT_EQ(tree.Read("sub/d.c"), std::string("foo(4)\0foo(5)", 13));
    EXPECT_FALSE(tree.Exists("b.BAK"));
    EXPECT_FALSE(tree.Exists("sub/d.BAK"));
}

TEST_F(PreviewTest, StopEndsThePreviewWithAllDoneAndWritesNothing) {
    int events = 0;
    host.onEvents = [&events] {
        if (++events == 4) SetStopFlag();  // after the first file's changes
    };
    const TPreview preview = PreviewJob(job, host);
    EXPECT_EQ(preview.Outcome, TRunOutcome::Stopped);
    EXPECT_LE(preview.Files.size(), 1u);
    EXPECT_EQ(host.status, "All Done");
    EXPECT_EQ(tree.Read("a.c"), "int x = foo(1);\nint y = foo(2);\n");
}

}  // namespace
}  // namespace varnok
