// varnok-run as a process: exit status and output of the real program, Ctrl+C,
// and kills at random instants while it rewrites a tree.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "TempTree.h"
#include "TextUtils.h"

extern char** environ;

namespace varnok {
namespace {

namespace fs = std::filesystem;

struct TProcess {
    pid_t Pid = -1;
    int Out = -1;
    int Err = -1;
};

struct TResult {
    int Status = -1;
    std::string Out, Err;
};

// Standard input is /dev/null, so the program has no terminal to ask on.
TProcess Start(const std::vector<std::string>& args, bool capture = true) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (capture) {
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    std::vector<char*> argv{const_cast<char*>(VARNOK_RUN_PATH)};
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    TProcess process;
    if (posix_spawn(&process.Pid, VARNOK_RUN_PATH, &actions, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("spawn");
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    process.Out = out[0];
    process.Err = err[0];
    return process;
}

TResult Finish(const TProcess& process) {
    TResult result;
    pollfd fds[2] = {{process.Out, POLLIN, 0}, {process.Err, POLLIN, 0}};
    std::string* texts[2] = {&result.Out, &result.Err};
    for (int open = 2; open > 0;) {
        poll(fds, 2, -1);
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents) continue;
            char buffer[65536];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(process.Pid, &status, 0);
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
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

TEST(ProcessTest, ExitStatusAndReport) {
    testing::TTempTree tree;
    tree.Write("a.txt", "one two\r\n");
    tree.Write("changes", "two\nthree\n");
    const TResult run = Finish(Start({"-y", "-c", tree.Path("changes"), "-m", "*.txt", tree.Path()}));
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, ReportLine(1, tree.Path("a.txt")) + "\n");
    EXPECT_EQ(run.Err, "All Done\n");
    EXPECT_EQ(tree.Read("a.txt"), "one three\r\n");
    EXPECT_EQ(Finish(Start({tree.Path()})).Status, 2);  // no terminal, no --yes
}

TEST(ProcessTest, CtrlCStopsTheRunWithAllDone) {
    testing::TTempTree tree(FastScratch());
    WriteManyFiles(tree.Path("many"), 2000, "text\n");
    const TProcess process = Start({"-y", tree.Path("many")});
    // Unread, the report fills the pipe and holds the run up halfway.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(process.Pid, SIGINT);
    const TResult run = Finish(process);
    EXPECT_EQ(run.Status, 130);
    EXPECT_EQ(run.Err, "All Done\n");
    EXPECT_LT(std::count(run.Out.begin(), run.Out.end(), '\n'), 2000);
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
    const auto oldText = [](int i) {
        std::string text;
        for (int line = 0; line < 20; ++line) text += "file " + std::to_string(i) + " holds the old value\n";
        return text;
    };
    const auto newText = [&](int i) {
        std::string text = oldText(i);
        for (auto at = text.find("old"); at != std::string::npos; at = text.find("old", at)) {
            text.replace(at, 3, "new");
        }
        return text;
    };
    const auto fileName = [&](int i) {
        return root + "/d" + std::to_string(i % kFolders) + "/f" + std::to_string(i) + ".txt";
    };
    const auto makeTree = [&] {
        fs::remove_all(root);
        for (int f = 0; f < kFolders; ++f) fs::create_directories(root + "/d" + std::to_string(f));
        for (int i = 0; i < kFiles; ++i) std::ofstream(fileName(i)) << oldText(i);
    };
    base.Write("changes", "old\nnew\n--\n");
    const std::vector<std::string> args{"-y", "-q", "-r", "-c", base.Path("changes"), root};

    makeTree();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Finish(Start(args, false)).Status, 0);
    const auto fullRun = std::chrono::steady_clock::now() - started;

    std::mt19937 random(20261207);
    int interrupted = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        makeTree();
        const TProcess process = Start(args, false);
        std::uniform_int_distribution<long long> instant(0, std::chrono::nanoseconds(fullRun).count());
        std::this_thread::sleep_for(std::chrono::nanoseconds(instant(random)));
        ::kill(process.Pid, SIGKILL);
        Finish(process);

        int changed = 0, leftovers = 0, known = 0;
        for (int i = 0; i < kFiles; ++i) {
            const std::string name = fileName(i);
            const std::string backup = name.substr(0, name.size() - 4) + ".BAK";
            std::ifstream file(name, std::ios::binary);
            ASSERT_TRUE(file) << "missing: " << name;
            const std::string text{std::istreambuf_iterator<char>(file), {}};
            ASSERT_TRUE(text == oldText(i) || text == newText(i)) << "not whole: " << name;
            std::ifstream saved(backup, std::ios::binary);
            if (text == newText(i)) {
                ++changed;
                ASSERT_TRUE(saved) << "no backup: " << name;
            }
            if (saved) {
                ++known;
                ASSERT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), oldText(i)) << backup;
            }
            ++known;
        }
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.is_regular_file() && entry.path().extension() == ".$$$") ++leftovers;
        }
        EXPECT_LE(leftovers, 1);
        int files = 0;
        for (const auto& entry : fs::recursive_directory_iterator(root)) files += entry.is_regular_file();
        EXPECT_EQ(files, known + leftovers);
        interrupted += changed > 0 && changed < kFiles;
    }
    EXPECT_GT(interrupted, 0) << "no kill landed while files were being rewritten";
    std::cout << interrupted << " of " << kKills << " kills landed mid-run\n";
}

}  // namespace
}  // namespace varnok
