#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "MyDirectory.h"
#include "RunJob.h"
#include "TempTree.h"

namespace varnok {
namespace {

using Calls = std::vector<std::string>;

// Records every hook call as "hook argument", with the tree's root cut off.
class TRecordingWalker : public TMyDirectory, public TEventPump {
public:
    explicit TRecordingWalker(std::string root) : m_root(std::move(root)) {}
    Calls calls;
    std::function<void(const std::string&)> onFile;

    void ProcessEvents() override { calls.push_back("events"); }
    void TheFileProcedure(const std::string& name) override {
        Log("file", name);
        if (onFile) onFile(name);
    }
    void TheDirectoryProcedure(const std::string& name) override { Log("dir", name); }
    void PreProcessProcedure() override { calls.push_back("pre"); }
    void PostProcessProcedure() override { calls.push_back("post"); }
    void PreProcessDirectoryProcedure(const std::string& name) override { Log("predir", name); }
    void PostProcessDirectoryProcedure(const std::string& name) override { Log("postdir", name); }

private:
    void Log(const char* hook, const std::string& name) {
        const bool inRoot = name.starts_with(m_root);
        calls.push_back(std::string(hook) + " " + (inRoot ? "~" + name.substr(m_root.size()) : name));
    }
    std::string m_root;
};

// Files of one listing come in the file system's order; sorting the calls
// [from, to) lets the expectations be written down.
Calls Sorted(Calls calls, std::size_t from, std::size_t to) {
    std::sort(calls.begin() + static_cast<long>(from), calls.begin() + static_cast<long>(to));
    return calls;
}

class WalkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Write("a.txt", "a");
        tree.Write("b.c", "b");
        tree.Write(".hidden.txt", "h");
        tree.Write("sub/c.txt", "c");
        tree.Write(".hid/d.txt", "d");
        ASSERT_EQ(symlink(tree.Path("sub").c_str(), tree.Path("linked-sub").c_str()), 0);
        ASSERT_EQ(symlink(tree.Path("a.txt").c_str(), tree.Path("link.txt").c_str()), 0);
        ASSERT_EQ(symlink(tree.Path("nowhere").c_str(), tree.Path("broken.txt").c_str()), 0);
        ASSERT_EQ(mkfifo(tree.Path("pipe.txt").c_str(), 0600), 0);
    }
    Calls Walk(const Calls& paths, const Calls& masks, bool recurse) {
        walker.SetState(&walker, recurse);
        for (const auto& path : paths) walker.AddPath(path);
        for (const auto& mask : masks) walker.AddMask(mask);
        walker.DoProcedureToAllMatchingFiles();
        return walker.calls;
    }
    testing::TTempTree tree;
    TRecordingWalker walker{tree.Path()};
};

TEST_F(WalkerTest, MasksInOrderEachFileOncePerMatchingMask) {
    EXPECT_EQ(Sorted(Sorted(Walk({tree.Path()}, {"*.TXT", "*.*"}, false), 4, 6), 6, 9),
              (Calls{"pre", "events", "predir ~", "dir ~",
                     "file ~/a.txt", "file ~/link.txt",
                     "file ~/a.txt", "file ~/b.c", "file ~/link.txt", "post"}));
}

TEST_F(WalkerTest, RecursionSkipsHiddenFoldersAndFolderLinks) {
    EXPECT_EQ(Sorted(Walk({tree.Path() + "/"}, {"*.txt"}, true), 4, 6),
              (Calls{"pre", "events", "predir ~/", "dir ~/", "file ~/a.txt", "file ~/link.txt",
                     "events", "predir ~/sub", "dir ~/sub", "file ~/sub/c.txt", "postdir ~/sub",
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

TEST_F(WalkerTest, NoFolders) { EXPECT_EQ(Walk({}, {"*.*"}, true), (Calls{"pre", "post"})); }

TEST_F(WalkerTest, NoMasks) {
    EXPECT_EQ(Walk({tree.Path("sub")}, {}, false),
              (Calls{"pre", "events", "predir ~/sub", "dir ~/sub", "post"}));
}

TEST_F(WalkerTest, StopInTheSecondFolderSkipsTheRestAndStillEndsTheWalk) {
    tree.Write("second/x.txt", "x");
    tree.Write("second/y.txt", "y");
    SetStopFlag();  // a stop from before the walk does not count
    walker.onFile = [](const std::string& name) {
        if (name.find("/second/") != std::string::npos) SetStopFlag();
    };
    const Calls calls = Walk({tree.Path("sub"), tree.Path("second"), tree.Path("sub")}, {"*.txt"}, true);
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](auto& c) { return c.starts_with("file"); }), 2);
    EXPECT_EQ(Calls(calls.begin() + 6, calls.end()),
              (Calls{"events", "predir ~/second", "dir ~/second", calls[9], "postdir ~/second", "post"}));
    EXPECT_TRUE(StopFlag());
}

TEST(JoinPath, OneSlashBetween) {
    EXPECT_EQ(JoinPath("/src", "a.c"), "/src/a.c");
    EXPECT_EQ(JoinPath("/src/", "a.c"), "/src/a.c");
    EXPECT_EQ(JoinPath("/", "a.c"), "/a.c");
    EXPECT_EQ(JoinPath("", "a.c"), "a.c");
}

}  // namespace
}  // namespace varnok
