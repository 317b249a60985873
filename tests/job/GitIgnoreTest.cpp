#include "GitIgnore.h"

#include <git2.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <set>

#include "JobTesting.h"

namespace varnok {
namespace {

namespace fs = std::filesystem;
using TFiles = std::set<std::string>;

// git and libgit2 both see only the test's own configuration: HOME holds the
// global one, nothing system-wide.
class GitIgnoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto [level, folder] : {std::pair{GIT_CONFIG_LEVEL_GLOBAL, "home"},
                                     {GIT_CONFIG_LEVEL_XDG, "home/xdg"},
                                     {GIT_CONFIG_LEVEL_SYSTEM, "home/system"}}) {
            fs::create_directories(tree.Path(folder));
            ASSERT_EQ(git_libgit2_opts(GIT_OPT_SET_SEARCH_PATH, level, tree.Path(folder).c_str()),
                      0);
        }
    }
    // Output lines; a failing command fails the test.
    std::vector<std::string> Git(const std::string& folder, const std::string& arguments) {
        const std::string command = "cd " + folder + " && export HOME=" + tree.Path("home") +
                                    " XDG_CONFIG_HOME=" + tree.Path("home/xdg") +
                                    " GIT_CONFIG_NOSYSTEM=1 && git " + arguments;
        std::vector<std::string> lines;
        FILE* pipe = popen(command.c_str(), "r");
        char line[4096];
        while (pipe && fgets(line, sizeof line, pipe))
            lines.emplace_back(line, strcspn(line, "\n"));
        EXPECT_TRUE(pipe && pclose(pipe) == 0) << command;
        return lines;
    }
    // What a walk that skips hidden names visits, as paths below root.
    TFiles Walk(const std::string& root, std::string folder = "") {
        TFiles files;
        if (folder.empty()) folder = root;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename();
            const bool isFolder = entry.symlink_status().type() == fs::file_type::directory;
            if (name.starts_with(".") || ignore.Ignored(folder, name, isFolder)) continue;
            if (isFolder)
                files.merge(Walk(root, entry.path()));
            else
                files.insert(entry.path().string().substr(root.size() + 1));
        }
        return files;
    }

    testing::TTempTree tree;
    TGitIgnore ignore;  // constructed before SetUp: libgit2 is started
};

TEST_F(GitIgnoreTest, VisitsWhatGitLists) {
    tree.Write("home/.gitconfig", "[core]\n\texcludesFile = " + tree.Path("home/excludes") + "\n");
    tree.Write("home/excludes", "*.bak\n");
    const std::string root = tree.Path("work");
    fs::create_directories(root + "/nested");
    Git(root, "init -q && cd nested && git init -q");
    for (auto [name, text] : {std::pair{".gitignore", "*.log\n!keep.log\nbuild/\n"},
                              {"sub/.gitignore", "*.tmp\ncache/\n"},
                              {".git/info/exclude", "*.dat\n"},
                              {"nested/.gitignore", "*.txt\n"}}) {
        tree.Write("work/" + std::string(name), text);
    }
    const TFiles kept = {"a.txt",        "keep.log",          "forced.log",       "sub/y.txt",
                         "other/w.tmp",  "build/tracked.txt", "build/deep/t.txt", "nested/n.log",
                         "nested/n.dat", "nested/sub/m.c"};
    for (const auto& name : kept) tree.Write("work/" + name, "x");
    for (const char* name :
         {"b.log", "local.dat", "global.bak", "sub/x.tmp", "sub/deep/z.tmp", "sub/cache/c.txt",
          "build/out.o", "build/keep.log", "build/inner/x.txt", "build/deep/u.txt", "nested/n.txt",
          "nested/g.bak", "nested/sub/m.txt"}) {
        tree.Write("work/" + std::string(name), "x");
    }
    Git(root, "add -f forced.log build/tracked.txt build/deep/t.txt");

    // The outer listing shows the nested repository as one "nested/".
    TFiles listed;
    for (const std::string relative : {"", "nested/"}) {
        for (const auto& path : Git(root + "/" + relative, "ls-files -co --exclude-standard")) {
            if (!path.ends_with("/") && !path.starts_with(".") &&
                path.find("/.") == std::string::npos) {
                listed.insert(relative + path);
            }
        }
    }
    EXPECT_EQ(listed, kept) << "git itself disagrees: the test's configuration is off";
    EXPECT_EQ(Walk(root), listed);
    EXPECT_TRUE(ignore.TakeProblems().empty());
}

// Outside any repository, and in one libgit2 cannot open, nothing is left out.
TEST_F(GitIgnoreTest, LeavesNothingOutWithoutARepository) {
    // folder, its .git file (none: a repository of another user), part of the reason
    const std::tuple<std::string, const char*, const char*> cases[] = {
        {"malformed", "hello\n", "malformed"},
        {"gone", "gitdir: /nonexistent/repo\n", "/nonexistent/repo"},
        {"foreign", nullptr, "not owned by"}};
    tree.Write("problems/.gitignore", "*\n");
    tree.Write("problems/a.txt", "x");
    TFiles files = {"a.txt"};
    std::map<std::string, std::string> expected;  // each problem reported once
    for (const auto& [name, gitFile, reason] : cases) {
        if (!gitFile && geteuid() != 0) continue;  // only root can give a folder away
        tree.Write("problems/" + name + "/.gitignore", "*\n");
        tree.Write("problems/" + name + "/sub/a.txt", "x");
        if (gitFile)
            tree.Write("problems/" + name + "/.git", gitFile);
        else
            Git(tree.Path("problems/" + name), "init -q && chown -R 65534 .");
        files.insert(name + "/sub/a.txt");
        expected[tree.Path("problems/" + name)] = reason;
    }
    EXPECT_EQ(Walk(tree.Path("problems")), files);
    const auto problems = ignore.TakeProblems();
    EXPECT_EQ(problems.size(), expected.size());
    for (const auto& [folder, reason] : problems) {
        EXPECT_TRUE(expected.contains(folder) && reason.find(expected[folder]) != std::string::npos)
            << reason;
    }
    Walk(tree.Path("problems"));
    EXPECT_TRUE(ignore.TakeProblems().empty());
}

}  // namespace
}  // namespace varnok
