// varnok-run as a process: exit status and output of the real program, the
// signals and the closed pipe that stop it, and kills at random instants while
// it rewrites a tree.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
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
    // Close-on-exec: a read end left in the child would keep its writes from failing.
    if (out && pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
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

// Files in sub-folders, each rewritten by the change old -> new. The names are
// long so that the report outgrows a pipe several times over.
struct TTreeToRewrite {
    std::string Root;
    static constexpr int kFiles = 2000, kFolders = 20;

    static std::string Text(int i, const char* value) {
        std::string lines;
        for (int line = 0; line < 20; ++line) lines += "file " + std::to_string(i) + ": " + value + " value\n";
        return lines;
    }
    std::string FileName(int i) const {
        return Root + "/d" + std::to_string(i % kFolders) + "/" + std::string(60, 'f') + std::to_string(i) + ".txt";
    }
    void Make() const {
        fs::remove_all(Root);
        for (int f = 0; f < kFolders; ++f) fs::create_directories(Root + "/d" + std::to_string(f));
        for (int i = 0; i < kFiles; ++i) std::ofstream(FileName(i)) << Text(i, "old");
    }

    struct TLook {
        std::string Fault;  // the first file found not whole, or with no backup to match
        int Changed = 0, Leftovers = 0;
    };
    // Every file holds its old or its new contents whole; where the new ones
    // are in place the old ones are under the backup name; nothing is missing
    // and nothing but temporary files is left over.
    TLook Look() const {
        TLook look;
        int known = 0, files = 0;
        for (int i = 0; i < kFiles; ++i) {
            const std::string name = FileName(i);
            const std::string backup = name.substr(0, name.size() - 4) + ".BAK";
            const std::string now = fs::exists(name) ? testing::TTempTree::ReadFile(name) : "";
            const bool saved = fs::exists(backup);
            if (now != Text(i, "old") && now != Text(i, "new")) return {"missing or not whole: " + name};
            if (!saved && now != Text(i, "old")) return {"no backup: " + name};
            if (saved && testing::TTempTree::ReadFile(backup) != Text(i, "old")) return {"backup not whole: " + backup};
            look.Changed += now == Text(i, "new");
            known += 1 + saved;
        }
        for (const auto& entry : fs::recursive_directory_iterator(Root)) {
            files += entry.is_regular_file();
            look.Leftovers += entry.path().extension() == ".$$$";
        }
        if (files != known + look.Leftovers) look.Fault = "files other than the tree's, backups and temporary files";
        return look;
    }
};

// Once the first report line is out, a signal or the reader of the report
// going away stops the run: the file in hand is finished, everything synced,
// "All Done" said, and nothing but whole files left.
TEST(ProcessTest, SignalsAndAClosedStdoutStopTheRunWithAllDone) {
    testing::TTempTree base(FastScratch());
    testing::TStateHome stateHome(base.Path("state"));
    const TTreeToRewrite tree{base.Path("tree")};
    base.Write("changes", "old\nnew\n--\n");
    const struct {
        int signal;  // none: standard output is closed
        std::string err;
    } rows[] = {
        {SIGTERM, "All Done\n"},
        {SIGHUP, "All Done\n"},
        {SIGINT, "All Done\n"},
        {0, "varnok-run: the report could not be written\nAll Done\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.signal ? strsignal(row.signal) : "standard output closed");
        tree.Make();
        int out = -1;
        const pid_t pid = Start({"-y", "-r", "-c", base.Path("changes"), tree.Root}, &out, base.Path("err"));
        // The rest of the report, unread, fills the pipe and holds the run up.
        char c = 0;
        while (read(out, &c, 1) == 1 && c != '\n') {}
        ASSERT_EQ(c, '\n');
        if (row.signal) {
            kill(pid, row.signal);
        } else {
            close(out);
            out = -1;
        }
        const TResult run = Finish(pid, out, base.Path("err"));
        EXPECT_EQ(run.Status, 130);
        EXPECT_EQ(run.Err, row.err);
        const TTreeToRewrite::TLook look = tree.Look();
        ASSERT_EQ(look.Fault, "");
        EXPECT_EQ(look.Leftovers, 0);
        EXPECT_GT(look.Changed, 0);
        EXPECT_LT(look.Changed, tree.kFiles);
    }
    EXPECT_EQ(RunToEnd({tree.Root}, base.Path("err")).Status, 2);  // no terminal, no --yes
}

TEST(ProcessTest, KilledAtRandomInstantsLeavesEveryFileWhole) {
#ifdef VARNOK_SANITIZED
    GTEST_SKIP() << "the order of file operations is what counts here; sanitizers only slow it down";
#endif
    constexpr int kKills = 30, kMostKills = 90;  // more while none has landed mid-run
    testing::TTempTree base(FastScratch());
    const TTreeToRewrite tree{base.Path("tree")};
    base.Write("changes", "old\nnew\n--\n");
    const std::vector<std::string> args{"-y", "-q", "-r", "-c", base.Path("changes"), tree.Root};

    tree.Make();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Finish(Start(args)).Status, 0);
    const auto fullRun = std::chrono::steady_clock::now() - started;

    std::mt19937 random(20261207);
    int interrupted = 0;
    int kills = 0;
    for (; kills < kKills || (interrupted == 0 && kills < kMostKills); ++kills) {
        tree.Make();
        const pid_t pid = Start(args);
        std::uniform_int_distribution<long long> instant(0, std::chrono::nanoseconds(fullRun).count());
        std::this_thread::sleep_for(std::chrono::nanoseconds(instant(random)));
        ::kill(pid, SIGKILL);
        Finish(pid);

        const TTreeToRewrite::TLook look = tree.Look();
        ASSERT_EQ(look.Fault, "");
        EXPECT_LE(look.Leftovers, 1);
        interrupted += look.Changed > 0 && look.Changed < tree.kFiles;
    }
    EXPECT_GT(interrupted, 0) << "no kill landed while files were being rewritten";
    std::cout << interrupted << " of " << kills << " kills landed mid-run\n";
}

// An undo killed at any instant leaves every file whole, with its old or its
// new contents; the next undo finishes the job: the tree as before the run.
TEST(ProcessTest, AnUndoKilledAtRandomInstantsIsFinishedByTheNext) {
#ifdef VARNOK_SANITIZED
    GTEST_SKIP() << "the order of file operations is what counts here; sanitizers only slow it down";
#endif
    // More kills while none has landed mid-undo: a loaded machine (or a
    // sanitizer's start-up) leaves the restoring a small share of the time.
    constexpr int kFiles = 600, kFolders = 6, kKills = 12, kMostKills = 48;
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
    int kills = 0;
    for (; kills < kKills || (interrupted == 0 && kills < kMostKills); ++kills) {
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
    std::cout << interrupted << " of " << kills << " kills landed mid-undo\n";
}

}  // namespace
}  // namespace varnok
