// varnok-run as a process: exit status and output of the real program, Ctrl+C,
// and kills at random instants while it rewrites a tree.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "JobTesting.h"

extern char** environ;

namespace varnok {
namespace {

namespace fs = std::filesystem;

struct TResult {
    int Status = -1;
    std::string Out, Err;
};

// Standard input is /dev/null, so the program has no terminal to ask on;
// standard output is a pipe, standard error a file (or both /dev/null).
pid_t Start(const std::vector<std::string>& args, int* out = nullptr, const std::string& err = "") {
    int pipeEnds[2] = {-1, -1};
    if (out && pipe(pipeEnds) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (out) posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    if (!out) posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err.empty() ? "/dev/null" : err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv{const_cast<char*>(VARNOK_RUN_PATH)};
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, VARNOK_RUN_PATH, &actions, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("spawn");
    }
    posix_spawn_file_actions_destroy(&actions);
    if (out) {
        close(pipeEnds[1]);
        *out = pipeEnds[0];
    }
    return pid;
}

TResult Finish(pid_t pid, int out = -1, const std::string& err = "") {
    TResult result;
    char buffer[65536];
    for (ssize_t n; out >= 0 && (n = read(out, buffer, sizeof buffer)) > 0;) result.Out.append(buffer, n);
    if (out >= 0) close(out);
    int status = 0;
    waitpid(pid, &status, 0);
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (!err.empty()) result.Err = testing::TTempTree::ReadFile(err);
    return result;
}

TResult RunToEnd(const std::vector<std::string>& args, const std::string& err) {
    int out = -1;
    const pid_t pid = Start(args, &out, err);
    return Finish(pid, out, err);
}

std::string FastScratch() {
    return access("/dev/shm", W_OK) == 0 ? "/dev/shm" : fs::temp_directory_path().string();
}

// Many files with long names: the report outgrows a pipe.
void WriteManyFiles(const std::string& folder, int count, const std::string& text) {
    fs::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        std::ofstream(folder + "/" + std::string(90, 'n') + std::to_string(i) + ".txt") << text;
    }
}

TEST(ProcessTest, CtrlCStopsTheRunWithAllDone) {
    testing::TTempTree tree(FastScratch());
    WriteManyFiles(tree.Path("many"), 2000, "text\n");
    int out = -1;
    const pid_t pid = Start({"-y", tree.Path("many")}, &out, tree.Path("err"));
    // Unread, the report fills the pipe and holds the run up halfway.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(pid, SIGINT);
    const TResult run = Finish(pid, out, tree.Path("err"));
    EXPECT_EQ(run.Status, 130);
    // No change list: the check says so, and the run goes on.
    EXPECT_EQ(run.Err, "warning: The change list holds no change: the run would only count files\nAll Done\n");
    EXPECT_LT(std::count(run.Out.begin(), run.Out.end(), '\n'), 2000);
    EXPECT_EQ(RunToEnd({tree.Path("many")}, tree.Path("err")).Status, 2);  // no terminal, no --yes
}

// Every file holds its old or its new contents whole; where the new ones are
// in place the old ones are under the backup name; nothing is missing and
// nothing but one temporary file is left over.
TEST(ProcessTest, KilledAtRandomInstantsLeavesEveryFileWhole) {
#ifdef VARNOK_SANITIZED
    GTEST_SKIP() << "the order of file operations is what counts here; sanitizers only slow it down";
#endif
    constexpr int kFiles = 2000, kFolders = 20, kKills = 30;
    testing::TTempTree base(FastScratch());
    const std::string root = base.Path("tree");
    const auto text = [](int i, const char* value) {
        std::string lines;
        for (int line = 0; line < 20; ++line) lines += "file " + std::to_string(i) + ": " + value + " value\n";
        return lines;
    };
    const auto fileName = [&](int i) {
        return root + "/d" + std::to_string(i % kFolders) + "/f" + std::to_string(i) + ".txt";
    };
    const auto makeTree = [&] {
        fs::remove_all(root);
        for (int f = 0; f < kFolders; ++f) fs::create_directories(root + "/d" + std::to_string(f));
        for (int i = 0; i < kFiles; ++i) std::ofstream(fileName(i)) << text(i, "old");
    };
    base.Write("changes", "old\nnew\n--\n");
    const std::vector<std::string> args{"-y", "-q", "-r", "-c", base.Path("changes"), root};

    makeTree();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Finish(Start(args)).Status, 0);
    const auto fullRun = std::chrono::steady_clock::now() - started;

    std::mt19937 random(20261207);
    int interrupted = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        makeTree();
        const pid_t pid = Start(args);
        std::uniform_int_distribution<long long> instant(0, std::chrono::nanoseconds(fullRun).count());
        std::this_thread::sleep_for(std::chrono::nanoseconds(instant(random)));
        ::kill(pid, SIGKILL);
        Finish(pid);

        int changed = 0, known = 0, leftovers = 0, files = 0;
        for (int i = 0; i < kFiles; ++i) {
            const std::string name = fileName(i);
            const std::string backup = name.substr(0, name.size() - 4) + ".BAK";
            ASSERT_TRUE(fs::exists(name)) << "missing: " << name;
            const std::string now = testing::TTempTree::ReadFile(name);
            ASSERT_TRUE(now == text(i, "old") || now == text(i, "new")) << "not whole: " << name;
            const bool saved = fs::exists(backup);
            ASSERT_TRUE(saved || now == text(i, "old")) << "no backup: " << name;
            ASSERT_TRUE(!saved || testing::TTempTree::ReadFile(backup) == text(i, "old")) << backup;
            changed += now == text(i, "new");
            known += 1 + saved;
        }
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            files += entry.is_regular_file();
            leftovers += entry.path().extension() == ".$$$";
        }
        EXPECT_LE(leftovers, 1);
        EXPECT_EQ(files, known + leftovers);
        interrupted += changed > 0 && changed < kFiles;
    }
    EXPECT_GT(interrupted, 0) << "no kill landed while files were being rewritten";
    std::cout << interrupted << " of " << kKills << " kills landed mid-run\n";
}

// An undo killed at any instant leaves every file whole, with its old or its
// new contents; the next undo finishes the job: the tree as before the run.
TEST(ProcessTest, AnUndoKilledAtRandomInstantsIsFinishedByTheNext) {
#ifdef VARNOK_SANITIZED
    GTEST_SKIP() << "the order of file operations is what counts here; sanitizers only slow it down";
#endif
    constexpr int kFiles = 600, kFolders = 6, kKills = 12;
    testing::TTempTree base(FastScratch());
    testing::TStateHome stateHome(base.Path("state"));
    const std::string root = base.Path("tree");
    const auto text = [](int i, const char* value) {
        return "file " + std::to_string(i) + ": " + value + " value\n";
    };
    const auto fileName = [&](int i) {
        return root + "/d" + std::to_string(i % kFolders) + "/f" + std::to_string(i) + ".txt";
    };
    base.Write("changes", "old\nnew\n--\n");
    const auto runOnFreshTree = [&] {
        fs::remove_all(root);
        for (int f = 0; f < kFolders; ++f) fs::create_directories(root + "/d" + std::to_string(f));
        for (int i = 0; i < kFiles; ++i) std::ofstream(fileName(i)) << text(i, "old");
        return Finish(Start({"-y", "-q", "-r", "-c", base.Path("changes"), root})).Status;
    };
    const std::vector<std::string> undo{"--undo", "-y", "-q"};

    ASSERT_EQ(runOnFreshTree(), 0);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Finish(Start(undo)).Status, 0);
    const auto fullUndo = std::chrono::steady_clock::now() - started;

    std::mt19937 random(20261208);
    int interrupted = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        ASSERT_EQ(runOnFreshTree(), 0);
        const pid_t pid = Start(undo);
        std::uniform_int_distribution<long long> instant(0, std::chrono::nanoseconds(fullUndo).count());
        std::this_thread::sleep_for(std::chrono::nanoseconds(instant(random)));
        ::kill(pid, SIGKILL);
        Finish(pid);
        int restored = 0;
        for (int i = 0; i < kFiles; ++i) {
            const std::string now = testing::TTempTree::ReadFile(fileName(i));
            ASSERT_TRUE(now == text(i, "old") || now == text(i, "new")) << "not whole: " << fileName(i);
            restored += now == text(i, "old");
        }
        interrupted += restored > 0 && restored < kFiles;

        // Unless the kill came once the first was done.
        const TResult again = RunToEnd(undo, base.Path("err"));
        ASSERT_TRUE(again.Status == 0 || again.Err == "There is no run to undo\n") << again.Err;
        int files = 0;
        for (const auto& entry : fs::recursive_directory_iterator(root)) files += entry.is_regular_file();
        EXPECT_EQ(files, kFiles);  // no backup, no temporary file left
        for (int i = 0; i < kFiles; ++i) {
            ASSERT_EQ(testing::TTempTree::ReadFile(fileName(i)), text(i, "old")) << fileName(i);
        }
    }
    EXPECT_GT(interrupted, 0) << "no kill landed while files were being restored";
    std::cout << interrupted << " of " << kKills << " kills landed mid-undo\n";
}

}  // namespace
}  // namespace varnok
