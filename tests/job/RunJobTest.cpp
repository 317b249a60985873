#include <gtest/gtest.h>

#include "JobTesting.h"
#include "RunJob.h"
#include "TextUtils.h"

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

}  // namespace
}  // namespace varnok
