// Run journals and undo: a run then its undo gives the tree back byte for
// byte; whatever changed since the run is kept and named; torn, broken and
// undone journals; a stopped undo finished by the next; which runs keep one.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>

#include "ImmutableFile.h"
#include "JobTesting.h"
#include "RunJob.h"
#include "RunJournal.h"
#include "RunUndo.h"
#include "TextUtils.h"

namespace varnok {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// Every entry below root: its mode, then its contents or a link's target.
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        struct stat info {};
        lstat(entry.path().c_str(), &info);
        std::string shown = std::to_string(info.st_mode) + " ";
        if (S_ISLNK(info.st_mode)) shown += fs::read_symlink(entry.path()).string();
        if (S_ISREG(info.st_mode)) shown += testing::TTempTree::ReadFile(entry.path());
        entries[fs::relative(entry.path(), root).string()] = shown;
    }
    return entries;
}

template <class TCall>
std::string ErrorOf(TCall call) {
    try {
        call();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no error";
}

class UndoTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Write("t/lf.txt", "one foo\ntwo foo\n");
        tree.Write("t/crlf.txt", "foo\r\nbar\r\n");
        tree.Write("t/nul.txt", std::string("foo\0foo", 7));
        tree.Write("t/none.txt", "nothing\n");
        tree.Write("t/a.txt", "foo txt\n");  // a.txt and a.doc would share a.BAK
        tree.Write("t/a.doc", "foo doc\n");
        tree.Write("t/old.BAK", "an earlier backup\n");
        tree.Write("t/sub/deep.c", "foo\n");
        symlink("lf.txt", tree.Path("t/link.txt").c_str());
        chmod(tree.Path("t/lf.txt").c_str(), 0750);
        chmod(tree.Path("t/crlf.txt").c_str(), 0604);
        settings.ClearReport = true;
        settings.Folders = {tree.Path("t")};
        settings.Recurse = true;
        settings.EditBinary = true;  // nul.txt is edited up to its NUL
        settings.ChangeText = {"foo", "fooo", "--"};
        // The .txt files change twice; the link is left out.
        settings.Masks = {"*.txt", "*.*"};
        pristine = Snapshot(tree.Path("t"));
    }
    TUndoOutcome Undo(const std::string& id = "") { return UndoRun(id, true, host); }
    std::string Restored(const std::string& name) { return "Restored   " + tree.Path(name); }
    std::string Kept(const std::string& name, const std::string& reason) {
        return "Kept       " + tree.Path(name) + ": " + reason;
    }
    Lines Sorted(Lines lines) {
        std::sort(lines.begin(), lines.end());
        return lines;
    }
    std::string Journal(std::size_t index = 0) {
        return RunJournalFolder() + "/" + JournalIds(RunJournalFolder()).at(index) + ".txt";
    }

    testing::TTempTree tree;
    testing::TStateHome stateHome{tree.Path("state")};
    testing::TScriptedHost host;
    TJobSettings settings;
    std::map<std::string, std::string> pristine;
};

TEST_F(UndoTest, ARunThenItsUndoGivesTheTreeBackByteForByte) {
    ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
    ASSERT_EQ(tree.Read("t/lf.txt"), "one foooo\ntwo foooo\n");
    ASSERT_TRUE(tree.Exists("t/a.doc.BAK"));
    const TJournal journal = ReadJournal(RunJournalFolder(), JournalIds(RunJournalFolder()).at(0));
    EXPECT_EQ(journal.Folders, Lines{tree.Path("t")});
    EXPECT_EQ(journal.Masks, settings.Masks);
    EXPECT_EQ(journal.ChangeText, settings.ChangeText);
    EXPECT_EQ(journal.Entries.size(), 10u);
    const std::string text = tree.ReadFile(Journal());
    EXPECT_TRUE(std::regex_search(text, std::regex("\nFile \"" + tree.Path("t/a.doc") +
                                                   "\" 8 [0-9a-f]{32} -> 9 [0-9a-f]{32} backup \"" +
                                                   tree.Path("t/a.doc.BAK") + "\" made read (\\d+ ){3}\\d+\\.\\d{9} "
                                                   "placed (\\d+ ){3}\\d+\\.\\d{9}\n")))
        << text;

    EXPECT_EQ(Undo(), TUndoOutcome::Restored);
    EXPECT_TRUE(std::regex_match(host.question, std::regex("Confirm: Undo the run of \\d{1,2} \\w{3} \\d{4} \\d\\d:\\d\\d in " +
                                                           tree.Path("t") + " \\(foo → fooo\\): restore 6 files\\?")))
        << host.question;
    EXPECT_EQ(Snapshot(tree.Path("t")), pristine);
    EXPECT_EQ(Sorted(host.report), Sorted({Restored("t/lf.txt"), Restored("t/crlf.txt"), Restored("t/nul.txt"),
                                           Restored("t/a.txt"), Restored("t/a.doc"), Restored("t/sub/deep.c")}));
    EXPECT_EQ(host.status, "All Done");

    // Refused, with nothing touched: the same run again, and no run left.
    host.report = {"kept"};
    EXPECT_EQ(ErrorOf([&] { Undo(journal.Id); }), "The run of " + journal.Started + " was undone already");
    EXPECT_EQ(ErrorOf([&] { Undo(); }), "There is no run to undo");
    EXPECT_EQ(ErrorOf([&] { Undo("../t/a"); }), "No run journal ../t/a");
    EXPECT_EQ(host.report, Lines{"kept"});
}

TEST_F(UndoTest, WhatChangedSinceTheRunIsKeptAsItIsAndNamed) {
    ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
    const struct {
        const char* file;
        std::function<void()> change;
        const char* reason;
    } rows[] = {
        {"t/lf.txt", [&] { tree.Write("t/lf.txt", "edited by hand\n"); }, "changed since the run"},
        {"t/crlf.txt", [&] { fs::remove(tree.Path("t/crlf.txt")); }, "deleted since the run"},
        {"t/sub/deep.c",
         [&] {
             fs::remove(tree.Path("t/sub/deep.c"));
             symlink("deep.BAK", tree.Path("t/sub/deep.c").c_str());
         },
         "changed since the run"},
        {"t/a.doc", [&] { fs::remove(tree.Path("t/a.doc.BAK")); }, "backup missing"},
        {"t/nul.txt", [&] { tree.Write("t/nul.BAK", "altered"); }, "backup changed since the run"},
    };
    Lines expected{Restored("t/a.txt")};
    for (const auto& row : rows) {
        row.change();
        expected.push_back(Kept(row.file, row.reason));
    }
    std::map<std::string, std::string> left = Snapshot(tree.Path("t"));
    left["a.txt"] = pristine["a.txt"];
    left.erase("a.BAK");

    EXPECT_EQ(Undo(), TUndoOutcome::Kept);
    EXPECT_EQ(Sorted(host.report), Sorted(expected));
    EXPECT_EQ(Snapshot(tree.Path("t")), left);
    EXPECT_FALSE(ReadJournal(RunJournalFolder(), JournalIds(RunJournalFolder()).at(0)).Undone);
}

TEST_F(UndoTest, ATornLastLineIsIgnoredAndABrokenJournalRefused) {
    settings.Masks = {"*.txt"};
    ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
    std::ofstream(Journal(), std::ios::app) << "File \"" << tree.Path("t/none.txt") << "\" 8 ";
    EXPECT_EQ(Undo(), TUndoOutcome::Restored);
    EXPECT_EQ(Snapshot(tree.Path("t")), pristine);
    // The torn line is gone before the mark: the journal reads whole again.
    EXPECT_TRUE(ReadJournal(RunJournalFolder(), JournalIds(RunJournalFolder()).at(0)).Undone);

    ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
    const auto afterRun = Snapshot(tree.Path("t"));
    const std::string broken = Journal(1);
    const auto lines = std::count_if(std::istreambuf_iterator<char>(std::ifstream(broken).rdbuf()), {},
                                     [](char c) { return c == '\n'; });
    std::ofstream(broken, std::ios::app) << "Garbage\n";
    const std::string reason = "The run journal " + broken + " cannot be read (line " +
                               std::to_string(lines + 1) + ")";
    EXPECT_EQ(ErrorOf([&] { Undo(JournalIds(RunJournalFolder()).at(1)); }), reason);
    EXPECT_EQ(ErrorOf([&] { Undo(); }), "There is no run to undo");  // passed over
    EXPECT_EQ(Snapshot(tree.Path("t")), afterRun);
}

// What a killed run can leave under its hidden names: the file swapped out
// (the backup's inode), its own output, a name made for a file it never
// reached; all go, and a user's file named alike stays.
TEST_F(UndoTest, TemporariesAKilledRunLeftAreRemovedAndNoOtherFile) {
    ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
    // A run that ended leaves none: those named before are not looked for.
    ASSERT_TRUE(tree.ReadFile(Journal()).ends_with("\nEnded\n"));
    EXPECT_EQ(ReadJournal(RunJournalFolder(), JournalIds(RunJournalFolder()).at(0)).Temporaries.size(), 0u);
    std::ofstream journal(Journal(), std::ios::app);
    const auto temporary = [&](const std::string& name, const std::string& copyOf, bool link) {
        if (link) {
            ASSERT_EQ(::link(tree.Path(copyOf).c_str(), tree.Path(name).c_str()), 0);
        } else {
            tree.Write(name, tree.Read(copyOf));
        }
        struct stat info {};
        ASSERT_EQ(lstat(tree.Path(name).c_str(), &info), 0);
        // A link was named while it held the new contents: its inode is another.
        journal << "Temp \"" << tree.Path(name) << "\" " << info.st_dev << " " << info.st_ino + link << "\n";
    };
    temporary("t/.lf.txt.AAAAAA.$$$", "t/lf.BAK", true);
    temporary("t/sub/.deep.c.BBBBBB.$$$", "t/sub/deep.c", false);
    temporary("t/.gone.txt.CCCCCC.$$$", "t/none.txt", false);
    journal.close();
    tree.Write("t/.none.txt.DDDDDD.$$$", "a user's own\n");

    EXPECT_EQ(Undo(), TUndoOutcome::Restored);
    auto expected = pristine;
    expected[".none.txt.DDDDDD.$$$"] = Snapshot(tree.Path("t")).at(".none.txt.DDDDDD.$$$");
    EXPECT_EQ(Snapshot(tree.Path("t")), expected);
}

TEST_F(UndoTest, AStoppedUndoIsFinishedByTheNextOne) {
    ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
    int events = 0;
    host.onEvents = [&events] {
        if (++events == 3) SetStopFlag();
    };
    // It ends after the files in hand, each reported.
    EXPECT_EQ(Undo(), TUndoOutcome::Stopped);
    EXPECT_GE(host.report.size(), 2u);
    EXPECT_EQ(host.status, "All Done");
    EXPECT_FALSE(ReadJournal(RunJournalFolder(), JournalIds(RunJournalFolder()).at(0)).Undone);

    host.onEvents = nullptr;
    EXPECT_EQ(Undo(), TUndoOutcome::Restored);
    EXPECT_EQ(host.report.size(), 6u);
    EXPECT_EQ(Snapshot(tree.Path("t")), pristine);
}

TEST_F(UndoTest, OnlyRunsThatWriteKeepAJournalAndTheNewestAreKept) {
    settings.DryRun = true;
    ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
    settings.DryRun = false;
    settings.ChangeText = {"absent", "x"};
    ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
    EXPECT_EQ(JournalIds(RunJournalFolder()), Lines{});

    settings.Folders = {tree.Path("t/sub")};
    Lines ids;
    for (int run = 0; run < kJournalsKept + 11; ++run) {  // pruned ten at a time
        settings.ChangeText = run % 2 ? Lines{"bar", "foo"} : Lines{"foo", "bar"};
        ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
        ids.push_back(JournalIds(RunJournalFolder()).back());
    }
    EXPECT_EQ(JournalIds(RunJournalFolder()), Lines(ids.begin() + 11, ids.end()));
    EXPECT_EQ(LastRunToUndo(RunJournalFolder()), ids.back());
}

// However many threads share the work, a run and a dry run report the same
// lines and leave the same tree, and the undo gives back the tree as it was.
TEST_F(UndoTest, AnyNumberOfThreadsRunsAndUndoesAlike) {
    for (int i = 0; i < 120; ++i) {
        tree.Write("t/many/f" + std::to_string(i) + (i % 3 ? ".txt" : ".c"), i % 4 ? "foo foo\n" : "bar\n");
    }
    pristine = Snapshot(tree.Path("t"));
    std::optional<std::pair<Lines, Lines>> expected;  // the dry run's report and the run's
    std::map<std::string, std::string> changed;
    for (const unsigned jobs : {1u, 2u, 7u}) {
        SCOPED_TRACE(jobs);
        settings.Jobs = jobs;
        settings.DryRun = true;
        ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
        const Lines dryRun = Sorted(host.report);
        settings.DryRun = false;
        ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
        const std::pair reports{dryRun, Sorted(host.report)};
        if (!expected) {
            expected = reports;
            changed = Snapshot(tree.Path("t"));
        }
        EXPECT_EQ(reports, *expected);
        EXPECT_EQ(Snapshot(tree.Path("t")), changed);
        EXPECT_EQ(UndoRun("", true, host, jobs), TUndoOutcome::Restored);
        EXPECT_EQ(Snapshot(tree.Path("t")), pristine);
    }
}

// Two runs undone one after the other give back the first tree, the backups
// the second run replaced included; a file another name links to comes back
// as that very file, with its attributes and times.
TEST_F(UndoTest, TwoRunsUndoneInARowGiveBackTheFirstTreeAndTheOldFilesThemselves) {
    ASSERT_EQ(link(tree.Path("t/lf.txt").c_str(), tree.Path("t/lf.link").c_str()), 0);
    ASSERT_EQ(setxattr(tree.Path("t/lf.txt").c_str(), "user.note", "kept", 4, 0), 0);
    const timespec old[2] = {{1000000000, 5}, {1000000000, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, tree.Path("t/lf.txt").c_str(), old, 0), 0);
    struct stat before {};
    stat(tree.Path("t/lf.txt").c_str(), &before);
    pristine = Snapshot(tree.Path("t"));

    ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
    const auto afterFirst = Snapshot(tree.Path("t"));
    settings.ChangeText = {"o", "0"};  // changes the first run's backups too, replacing them
    ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
    ASSERT_NE(Snapshot(tree.Path("t")), afterFirst);

    EXPECT_EQ(Undo(), TUndoOutcome::Restored);
    EXPECT_EQ(Snapshot(tree.Path("t")), afterFirst);
    EXPECT_EQ(Undo(), TUndoOutcome::Restored);
    EXPECT_EQ(Snapshot(tree.Path("t")), pristine);
    struct stat after {};
    stat(tree.Path("t/lf.txt").c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    char note[8] = {};
    EXPECT_EQ(getxattr(tree.Path("t/lf.txt").c_str(), "user.note", note, sizeof note), 4);
}

// A file that cannot be restored is kept with the reason and the others are
// restored; the run is not marked undone, and once the file can be restored
// the next undo does it.
TEST_F(UndoTest, AFileThatCannotBeRestoredIsKeptAndTheNextUndoFinishes) {
    ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
    ASSERT_TRUE(testing::SetImmutable(tree.Path("t/crlf.txt"), true)) << "needs CAP_LINUX_IMMUTABLE";
    const TUndoOutcome first = Undo();
    testing::SetImmutable(tree.Path("t/crlf.txt"), false);
    EXPECT_EQ(first, TUndoOutcome::Kept);
    EXPECT_EQ(std::count_if(host.report.begin(), host.report.end(),
                            [](const std::string& line) { return line.starts_with("Restored"); }),
              5);
    EXPECT_NE(std::find(host.report.begin(), host.report.end(),
                        Kept("t/crlf.txt", "cannot be restored: Operation not permitted")),
              host.report.end());
    EXPECT_FALSE(ReadJournal(RunJournalFolder(), JournalIds(RunJournalFolder()).at(0)).Undone);
    EXPECT_EQ(Undo(), TUndoOutcome::Restored);
    EXPECT_EQ(Snapshot(tree.Path("t")), pristine);
}

// A run that filled its file system is undone on it, still full: the undo
// renames, it writes nothing.
TEST_F(UndoTest, ARunThatFilledTheDiskIsUndoneOnTheFullDisk) {
    const std::string disk = tree.Path("disk");
    fs::create_directories(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0) GTEST_SKIP() << "cannot mount a tmpfs";
    struct TUnmount {
        std::string Path;
        ~TUnmount() { umount2(Path.c_str(), MNT_DETACH); }
    } unmount{disk};
    for (int i = 0; i < 8; ++i) tree.Write("disk/f" + std::to_string(i) + ".txt", std::string(16384, 'a'));
    {
        std::ofstream filler(disk + "/filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), block.size())) filler.flush();
    }
    ASSERT_EQ(truncate((disk + "/filler").c_str(), fs::file_size(disk + "/filler") - 3 * 16384), 0);
    const auto full = Snapshot(disk);
    settings.Folders = {disk};
    settings.Masks = {"f*.txt"};
    settings.ChangeText = {"a", "b"};
    settings.Jobs = 1;  // files written ahead would take the space in another order
    EXPECT_NE(ErrorOf([&] { RunJob(settings, host); }).find("No space left on device"), std::string::npos);
    ASSERT_TRUE(std::any_of(fs::directory_iterator(disk), fs::directory_iterator(),
                            [](const auto& entry) { return entry.path().extension() == ".BAK"; }));
    EXPECT_EQ(Undo(), TUndoOutcome::Restored);
    EXPECT_EQ(Snapshot(disk), full);
}

}  // namespace
}  // namespace varnok
