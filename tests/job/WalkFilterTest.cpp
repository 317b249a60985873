#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "JobTesting.h"
#include "MyDirectory.h"
#include "RunJob.h"
#include "WalkFilter.h"

namespace varnok {
namespace {

using Lines = std::vector<std::string>;

TEST(WalkFilterTest, ExclusionMasks) {
    const struct {
        const char* mask;
        const char* path;  // below the named folder
        bool folder;
        bool excluded;
    } rows[] = {
        // Without a "/": the name alone, files and folders alike, at any depth.
        {"node_modules", "node_modules", true, true},
        {"node_modules", "web/node_modules", true, true},
        {"*.png", "img/logo.PNG", false, true},
        {"*.png", "img/logo.png.txt", false, false},
        {"build", "tools/build.sh", false, false},
        {"*.*", "README", false, true},  // the masks' own rule: ".*" takes names without a dot
        // With a "/": the path, where "*" crosses "/".
        {"docs/old/*", "docs/old/a/b.txt", false, true},
        {"docs/old/*", "docs/old", true, false},
        {"docs/old/*", "x/docs/old/a.txt", false, false},
        {"*/generated/*", "a/b/generated/c.h", false, true},
        {"./build/*", "build/x.o", false, true},
        // A trailing "/": folders only.
        {"out/", "out", true, true},
        {"out/", "out", false, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ExclusionMatches(row.mask, row.path, row.folder), row.excluded) << row.mask << " " << row.path;
    }
}

class WalkFilterRunTest : public ::testing::Test {
protected:
    // The names a dry run visits, below the tree.
    Lines Visited(const Lines& exclusions, bool gitIgnore = false, const std::string& folder = "") {
        TJobSettings job;
        job.Folders = {tree.Path(folder)};
        job.Recurse = true;
        job.Masks = {"*"};
        job.ChangeText = {"zzz", "y", "--"};
        job.DryRun = true;
        job.ClearReport = true;
        job.Exclusions = exclusions;
        job.GitIgnore = gitIgnore;
        host.report.clear();
        EXPECT_EQ(RunJob(job, host), TRunOutcome::Done);
        Lines names;
        for (const std::string& line : host.report) names.push_back(line.substr(11 + tree.Path().size() + 1));
        std::sort(names.begin(), names.end());
        return names;
    }
    testing::TTempTree tree;
    testing::TScriptedHost host;
};

TEST_F(WalkFilterRunTest, ExclusionsLeaveOutFilesAndFoldersButNeverANamedFolder) {
    for (const char* name : {"a.txt", "b.png", "build/x.txt", "docs/old/c.txt", "docs/new/d.txt", "src/build/e.txt"}) {
        tree.Write(name, "text\n");
    }
    EXPECT_EQ(Visited({"build", "*.png", "docs/old/*"}), (Lines{"a.txt", "docs/new/d.txt"}));
    EXPECT_EQ(Visited({"build"}, false, "build"), (Lines{"build/x.txt"}));
    EXPECT_EQ(Visited({}), (Lines{"a.txt", "b.png", "build/x.txt", "docs/new/d.txt", "docs/old/c.txt",
                                  "src/build/e.txt"}));
    // The check says when a mask's files in the first level are all left out.
    EXPECT_EQ(ExclusionFindings({tree.Path()}, {ReadFolder(tree.Path())}, {"*.png", "*.txt", "*.none"}, {"*.png"}),
              Lines{"The exclusions leave out every file that the mask \"*.png\" finds in " + tree.Path()});
}

TEST_F(WalkFilterRunTest, GitIgnoreFollowsTheRepositoryBelowTheNamedFolder) {
    tree.Write("repo/.gitignore", "*.log\nbuild/\n");
    tree.Write("repo/a.txt", "text\n");
    tree.Write("repo/a.log", "text\n");
    tree.Write("repo/tracked.log", "text\n");
    tree.Write("repo/build/b.txt", "text\n");
    tree.Write("repo/sub/c.log", "text\n");
    const std::string git = "git -C '" + tree.Path("repo") + "' ";
    ASSERT_EQ(std::system((git + "init -q && " + git + "add -f tracked.log").c_str()), 0);
    EXPECT_EQ(Visited({}, true), (Lines{"repo/a.txt", "repo/tracked.log"}));
    EXPECT_EQ(Visited({}, true, "repo/sub"), Lines{});
    EXPECT_EQ(Visited({"a.*"}, true), Lines{"repo/tracked.log"});
}

}  // namespace
}  // namespace varnok
