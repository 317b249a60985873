#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "JobTesting.h"
#include "MyDirectory.h"
#include "RunJob.h"

namespace varnok {
namespace {

using Calls = std::vector<std::string>;

// Records every hook as "hook name", the tree's root shown as "~".
class TRecordingWalker : public TMyDirectory, public TEventPump {
public:
    explicit TRecordingWalker(std::string root) : m_root(std::move(root)) {}
    Calls calls;
    std::string stopAt;  // the first file whose name holds it gives the Stop command

    void ProcessEvents() override { calls.push_back("events"); }
    void TheFileProcedure(const std::string& name) override {
        Log("file", name);
        if (!stopAt.empty() && name.find(stopAt) != std::string::npos) SetStopFlag();
    }
    void TheDirectoryProcedure(const std::string& name) override { Log("dir", name); }
    void PreProcessProcedure() override { calls.push_back("pre"); }
    void PostProcessProcedure() override { calls.push_back("post"); }
    void PreProcessDirectoryProcedure(const std::string& name) override { Log("predir", name); }
    void PostProcessDirectoryProcedure(const std::string& name) override { Log("postdir", name); }

private:
    void Log(const char* hook, const std::string& name) {
        calls.push_back(std::string(hook) + " ~" + name.substr(m_root.size()));
    }
    std::string m_root;
};

class WalkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"a.txt", "b.c", ".hidden.txt", "sub/c.txt", ".hid/d.txt"}) {
            tree.Write(name, "x");
        }
        ASSERT_EQ(symlink(tree.Path("sub").c_str(), tree.Path("linked-sub").c_str()), 0);
        ASSERT_EQ(symlink(tree.Path("a.txt").c_str(), tree.Path("link.txt").c_str()), 0);
        ASSERT_EQ(symlink(tree.Path("nowhere").c_str(), tree.Path("broken.txt").c_str()), 0);
        ASSERT_EQ(mkfifo(tree.Path("pipe.txt").c_str(), 0600), 0);
    }
    // Files of one listing come in the file system's order: the calls
    // [from, to) are sorted so that the expectation can be written down.
    Calls Walk(const Calls& paths, const Calls& masks, bool recurse, std::size_t from = 0,
               std::size_t to = 0) {
        walker.SetState(&walker, recurse);
        for (const auto& path : paths) walker.AddPath(path);
        for (const auto& mask : masks) walker.AddMask(mask);
        walker.DoProcedureToAllMatchingFiles();
        std::sort(walker.calls.begin() + from, walker.calls.begin() + to);
        return walker.calls;
    }
    testing::TTempTree tree;
    TRecordingWalker walker{tree.Path()};
};

TEST_F(WalkerTest, EachMaskListsTheFolderAgain) {
    Calls calls = Walk({tree.Path()}, {"*.TXT", "*.*"}, false, 4, 5);
    std::sort(calls.begin() + 5, calls.begin() + 7);
    EXPECT_EQ(calls, (Calls{"pre", "events", "predir ~", "dir ~", "file ~/a.txt", "file ~/a.txt",
                            "file ~/b.c", "post"}));
}

TEST_F(WalkerTest, RecursionSkipsHiddenFoldersAndLinks) {
    EXPECT_EQ(Walk({tree.Path() + "/"}, {"*.txt"}, true),
              (Calls{"pre", "events", "predir ~/", "dir ~/", "file ~/a.txt", "events", "predir ~/sub", "dir ~/sub", "file ~/sub/c.txt", "postdir ~/sub",
                     "postdir ~/", "post"}));
}

TEST_F(WalkerTest, FoldersAsGivenDuplicatesLinksAndMissingOnes) {
    EXPECT_EQ(Walk({tree.Path("linked-sub"), tree.Path("sub/"), tree.Path("sub"), tree.Path("none")},
                   {"*.*"}, true),
              (Calls{"pre", "events", "predir ~/linked-sub", "dir ~/linked-sub",
                     "file ~/linked-sub/c.txt", "postdir ~/linked-sub",
                     "events", "predir ~/sub/", "dir ~/sub/", "file ~/sub/c.txt", "postdir ~/sub/",
                     "events", "predir ~/sub", "dir ~/sub", "file ~/sub/c.txt", "postdir ~/sub",
                     "events", "predir ~/none", "dir ~/none", "postdir ~/none", "post"}));
}

TEST_F(WalkerTest, StopInTheSecondFolderSkipsTheRestAndStillEndsTheWalk) {
    tree.Write("second/x.txt", "x");
    tree.Write("second/y.txt", "y");
    SetStopFlag();  // a Stop from before the walk does not count
    walker.stopAt = "/second/";
    Calls calls = Walk({tree.Path("sub"), tree.Path("second"), tree.Path("sub")}, {"*.txt"}, true);
    ASSERT_EQ(calls.size(), 12u);
    EXPECT_TRUE(calls[9].starts_with("file ~/second/"));
    EXPECT_EQ(Calls(calls.begin() + 6, calls.begin() + 9),
              (Calls{"events", "predir ~/second", "dir ~/second"}));
    EXPECT_EQ(Calls(calls.begin() + 10, calls.end()), (Calls{"postdir ~/second", "post"}));
}

}  // namespace
}  // namespace varnok
