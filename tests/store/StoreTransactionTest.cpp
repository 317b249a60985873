#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "AtomicFile.h"
#include "StoreFile.h"
#include "StoreTestSupport.h"
#include "StoreTransaction.h"
#include "UMyIniFile.h"

namespace varnok {
namespace {

using testing::StoreTest;
using Lines = std::vector<std::string>;

constexpr const char* kSection = "Varnok\\Dialog";
constexpr int kLists = 3;

// The rows of list `list` in save number `save`: its length changes from
// save to save, so that a Count of one save over the items of another shows.
Lines SavedRows(int save, int list) {
    Lines rows;
    for (int i = 0; i < 1 + (save + list) % 9; ++i) rows.push_back(std::to_string(save) + "-" + std::to_string(i));
    return rows;
}

// A full save as the windows make one: a plain value and lists, through two
// store objects of their own, one transaction.
void FullSave(int save) {
    TStoreTransaction transaction;
    TMyIniFile report(kDefaultStoreKey);
    TMyIniFile dialog(kDefaultStoreKey);
    report.WriteNumber("Varnok\\Report", "Save", save);
    for (int list = 0; list < kLists; ++list) {
        dialog.WriteList(kSection, "ListBox-" + std::to_string(list), SavedRows(save, list));
    }
    transaction.Commit();
}

// The save the store holds, after checking that every list is that save's.
int WholeSave(const std::string& round) {
    TMyIniFile store(kDefaultStoreKey);
    const int save = store.ReadNumber("Varnok\\Report", "Save", 0);
    for (int list = 0; list < kLists; ++list) {
        EXPECT_EQ(store.ReadList(kSection, "ListBox-" + std::to_string(list)),
                  save ? SavedRows(save, list) : Lines{}) << round << ", list " << list;
    }
    return save;
}

ino_t Inode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

template <typename Operation>
std::string ErrorOf(Operation operation) {
    try {
        operation();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

TEST_F(StoreTest, TransactionWritesTheStoreOnceAtCommit) {
    const std::string path = StoreFilePath();
    FullSave(1);
    const std::string before = FileText(path);
    const ino_t file = Inode(path);
    {
        TStoreTransaction transaction;
        TMyIniFile store(kDefaultStoreKey);
        for (int i = 0; i < 100; ++i) store.WriteNumber(kSection, "V" + std::to_string(i), i);
        FullSave(2);  // a nested transaction joins, its Commit writes nothing
        EXPECT_EQ(FileText(path), before);
        EXPECT_EQ(store.ReadNumber(kSection, "V99", -1), 99) << "reads see the changes";
        EXPECT_EQ(WholeSave("open"), 2);
        transaction.Commit();
    }
    EXPECT_NE(Inode(path), file);
    EXPECT_EQ(WholeSave("committed"), 2);
    EXPECT_EQ(TMyIniFile(kDefaultStoreKey).ReadNumber(kSection, "V42", -1), 42);

    // Nothing changed: no writing at all. Unwound by an error: nothing kept.
    const ino_t committed = Inode(path);
    FullSave(2);
    EXPECT_EQ(Inode(path), committed);
    EXPECT_THROW(
        {
            TStoreTransaction transaction;
            FullSave(3);
            throw std::runtime_error("in the middle of the save");
        },
        std::runtime_error);
    EXPECT_EQ(Inode(path), committed);
    EXPECT_EQ(WholeSave("unwound"), 2);

    // A failing writing reports the first changed value and leaves the store.
    std::filesystem::create_directories(path + ".tmp/blocker");
    EXPECT_EQ(ErrorOf([] {
                  TStoreTransaction transaction;
                  TMyIniFile store(kDefaultStoreKey);
                  store.WriteText(kSection, "Edit-1", "*.new");
                  store.WriteText(kSection, "Edit-2", "*.other");
                  transaction.Commit();
              }),
              "Failed to set data for 'Edit-1'");
    EXPECT_EQ(WholeSave("failed"), 2);
}

// Runs `work` in a child process that exits when it returns.
pid_t Spawn(const std::function<void()>& work) {
    pid_t pid = ::fork();
    if (pid == 0) {
        try {
            work();
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    return pid;
}

// Two processes save again and again, and are killed at random instants: the
// store always parses, and every list in it is one whole save's, the save
// whose number it holds (no list of one process over the other's).
TEST_F(StoreTest, KilledAndConcurrentFullSavesLeaveOneWholeSave) {
    std::mt19937 random(20261211);
    std::uniform_int_distribution<int> delayMicroseconds(0, 20000);
    for (int round = 0; round < 30; ++round) {
        pid_t savers[2];
        for (int s = 0; s < 2; ++s) {
            savers[s] = Spawn([s, round] {
                for (int k = 1;; ++k) FullSave((s + 1) * 1000000 + round * 1000 + k % 1000);
            });
            ASSERT_GT(savers[s], 0);
        }
        ::usleep(static_cast<useconds_t>(delayMicroseconds(random)));
        for (pid_t pid : savers) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        ASSERT_NO_THROW(TStoreDocument::Parse(ReadWholeFile(StoreFilePath()).value_or("")));
        WholeSave("round " + std::to_string(round));
        if (HasFailure()) break;
    }
    EXPECT_EQ(TakeStoreWarning(), "");
}

}  // namespace
}  // namespace varnok
