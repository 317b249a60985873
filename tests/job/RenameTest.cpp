#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "JobTesting.h"
#include "Preview.h"
#include "RenameNames.h"
#include "RunJob.h"
#include "RunJournal.h"
#include "RunUndo.h"
#include "TextUtils.h"

namespace varnok {
namespace {

using Lines = std::vector<std::string>;

// Every file and folder below root and the bytes of each file.
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> seen;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string name = entry.path().string().substr(root.size());
        seen[name] = entry.is_directory() ? "<folder>" : testing::TTempTree::ReadFile(entry.path().string());
    }
    return seen;
}

TEST(RenameNames, ANameIsOneLineOfText) {
    struct TRow {
        Lines changes;
        TMatchOptions match;
        std::string name, newName, refusal;
    } const rows[] = {
        {{"old", "new"}, {}, "old_file.txt", "new_file.txt", ""},
        {{"!old", "new"}, {}, "old_old.txt", "new_old.txt", ""},  // line start: the name's start only
        {{"txt$", "md"}, {}, "a.txt.txt", "a.txt.md", ""},        // "$": its end only
        {{"a", "b", "--", "b", "c"}, {}, "a", "c", ""},           // in order
        {{"Old", "New"}, {true}, "old-Old", "old-New", ""},       // the run's options
        {{"old_name", "new_name"}, {false, false, false, true}, "OldNameTest.java", "NewNameTest.java", ""},
        {{"x", "y"}, {}, "abc", "abc", ""},
        {{"abc", ""}, {}, "abc", "", "the new name is empty"},
        {{"ab", "."}, {}, "ab", ".", "the new name \".\" names a folder itself"},
        {{"ab", ".."}, {}, "ab", "..", "the new name \"..\" names a folder itself"},
        {{"_", "/"}, {}, "a_b", "a/b", "the new name a/b holds a /"},
        {{"_", "^n"}, {}, "a_b", "a\r\nb", "the new name holds a control character"},
        {{"_", "^t"}, {}, "a_b", "a\tb", "the new name holds a control character"},
    };
    for (const TRow& row : rows) {
        const TChangeSet changes(row.changes, row.match);
        const std::string newName = ChangedName(changes, row.name);
        EXPECT_EQ(newName, row.newName) << row.name;
        EXPECT_EQ(NameRefusal(newName), row.refusal) << row.name;
    }
}

class RenameRun : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Write("t/old_name.py", "class OldName:\n    pass\n");
        tree.Write("t/OldNameTest.java", "class OldNameTest { OldName n; }\n");
        tree.Write("t/old-name/old_name_util.py", "from old_name import OldName\n");
        tree.Write("t/old-name/notes.txt", "nothing to change\n");
        tree.Write("t/other/keep.py", "x = 1\n");
        settings.Folders = {tree.Path("t")};
        settings.Masks = {"*.py", "*.java", "*.txt"};
        settings.ChangeText = {"old_name", "new_name", "--"};
        settings.Recurse = true;
        settings.KeepCase = true;
        settings.RenameNames = true;
        settings.ChangeListChecked = true;
    }
    testing::TTempTree tree;
    testing::TStateHome stateHome{tree.Path("state")};
    testing::TScriptedHost host;
    TJobSettings settings;
};

TEST_F(RenameRun, ContentsAndNamesChangeAtOnceAndTheUndoGivesBackTheTreeByteForByte) {
    const auto before = Snapshot(tree.Path("t"));
    ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);

    EXPECT_EQ(tree.Read("t/new_name.py"), "class NewName:\n    pass\n");
    EXPECT_EQ(tree.Read("t/NewNameTest.java"), "class NewNameTest { NewName n; }\n");
    EXPECT_EQ(tree.Read("t/new-name/new_name_util.py"), "from new_name import NewName\n");
    EXPECT_EQ(tree.Read("t/new-name/notes.txt"), "nothing to change\n");
    // Backups keep the old stems: made before the renames.
    EXPECT_EQ(tree.Read("t/old_name.BAK"), "class OldName:\n    pass\n");
    EXPECT_EQ(tree.Read("t/new-name/old_name_util.BAK"), "from old_name import OldName\n");
    EXPECT_FALSE(tree.Exists("t/old_name.py"));
    EXPECT_FALSE(tree.Exists("t/old-name"));

    // After the file lines, deepest first, the folder last.
    const std::string t = tree.Path("t");
    const Lines renames(host.report.end() - 4, host.report.end());
    EXPECT_EQ(renames, (Lines{"Renamed    " + t + "/old-name/old_name_util.py -> " + t + "/old-name/new_name_util.py",
                              "Renamed    " + t + "/old_name.py -> " + t + "/new_name.py",
                              "Renamed    " + t + "/OldNameTest.java -> " + t + "/NewNameTest.java",
                              "Renamed    " + t + "/old-name -> " + t + "/new-name"}));

    const std::optional<TJournal> journal = LastJournalToUndo(RunJournalFolder());
    ASSERT_TRUE(journal);
    ASSERT_EQ(journal->Renames.size(), 4u);
    EXPECT_EQ(journal->Renames.back().To, std::filesystem::canonical(t).string() + "/new-name");

    EXPECT_EQ(UndoRun("", true, host), TUndoOutcome::Restored);
    EXPECT_EQ(Snapshot(tree.Path("t")), before);
}

TEST_F(RenameRun, ThePreviewListsEachRenameAndAppliesOnlyThoseChecked) {
    const std::string t = tree.Path("t");
    const TPreview preview = PreviewJob(settings, host);
    std::vector<std::tuple<std::string, std::string, bool>> listed;
    for (const TPreviewRename& rename : preview.Renames) listed.emplace_back(rename.Name, rename.NewName, rename.Folder);
    EXPECT_EQ(listed, (std::vector<std::tuple<std::string, std::string, bool>>{
                          {t + "/old-name/old_name_util.py", t + "/old-name/new_name_util.py", false},
                          {t + "/old_name.py", t + "/new_name.py", false},
                          {t + "/OldNameTest.java", t + "/NewNameTest.java", false},
                          {t + "/old-name", t + "/new-name", true}}));
    EXPECT_EQ(preview.Files.size(), 3u);  // notes.txt is renamed with its folder alone
    EXPECT_TRUE(tree.Exists("t/old_name.py"));

    // Contents without the name, the name without the contents, and a folder
    // renamed around a file whose own rename is unchecked.
    ASSERT_EQ(RunJob(OnlyChecked(settings, {t + "/old_name.py", t + "/old-name/old_name_util.py"},
                                 {t + "/OldNameTest.java", t + "/old-name"}),
                     host),
              TRunOutcome::Done);
    EXPECT_EQ(tree.Read("t/old_name.py"), "class NewName:\n    pass\n");
    EXPECT_EQ(tree.Read("t/NewNameTest.java"), "class OldNameTest { OldName n; }\n");
    EXPECT_EQ(tree.Read("t/new-name/old_name_util.py"), "from new_name import NewName\n");
    EXPECT_FALSE(tree.Exists("t/OldNameTest.BAK"));
}

TEST_F(RenameRun, OffChangesNoName) {
    settings.RenameNames = false;
    ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
    EXPECT_TRUE(tree.Exists("t/old_name.py"));
    EXPECT_TRUE(tree.Exists("t/old-name/old_name_util.py"));
    for (const std::string& line : host.report) EXPECT_FALSE(line.starts_with("Renamed")) << line;
}

TEST_F(RenameRun, ANewNameTakenIsNotAppliedAndTheCheckWarnsOfIt) {
    tree.Write("t/new_name.py", "mine\n");
    settings.Recurse = false;
    EXPECT_EQ(CheckJob(settings),
              Lines{"Renaming gives " + tree.Path("t") + "/old_name.py the name new_name.py that " + tree.Path("t") +
                    "/new_name.py has or gets; it will not be renamed"});
    ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
    EXPECT_EQ(tree.Read("t/new_name.py"), "mine\n");
    EXPECT_EQ(tree.Read("t/old_name.py"), "class NewName:\n    pass\n");
    EXPECT_NE(std::find(host.report.begin(), host.report.end(),
                        "Skipped   " " " + tree.Path("t/old_name.py") + ": exists already"),
              host.report.end());
    EXPECT_EQ(host.status, "All Done, 1 skipped");
    // The renames done are undone; the one refused is not in the journal.
    EXPECT_EQ(UndoRun("", true, host), TUndoOutcome::Restored);
    EXPECT_TRUE(tree.Exists("t/OldNameTest.java"));
    EXPECT_EQ(tree.Read("t/old_name.py"), "class OldName:\n    pass\n");
}

TEST_F(RenameRun, TwoNamesGivenOneNewNameRenameTheFirstOnly) {
    settings.ChangeText = {"a", "c", "--", "b", "c", "--"};
    settings.KeepCase = false;
    settings.Recurse = false;
    settings.Masks = {"*.txt"};
    tree.Write("t/a.txt", "1\n");
    tree.Write("t/b.txt", "2\n");
    EXPECT_EQ(CheckJob(settings).size(), 1u);
    settings.DryRun = true;
    testing::TScriptedHost dry;
    ASSERT_EQ(RunJob(settings, dry), TRunOutcome::Done);
    EXPECT_TRUE(tree.Exists("t/a.txt"));
    settings.DryRun = false;
    ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
    // The same lines, dry or not.
    const auto renameLines = [](const Lines& report) {
        Lines lines;
        for (const std::string& line : report) {
            if (line.starts_with("Renamed") || line.find("exists already") != std::string::npos) lines.push_back(line);
        }
        return lines;
    };
    EXPECT_EQ(renameLines(dry.report), renameLines(host.report));
    // Walk order decides which: the other keeps its name and its file.
    const bool aFirst = !tree.Exists("t/a.txt");
    EXPECT_EQ(tree.Read("t/c.txt"), aFirst ? "1\n" : "2\n");
    EXPECT_EQ(tree.Read(aFirst ? "t/b.txt" : "t/a.txt"), aFirst ? "2\n" : "1\n");
}

TEST_F(RenameRun, AnUndoKeepsANameTakenSinceTheRun) {
    settings.Recurse = false;
    ASSERT_EQ(RunJob(settings, host), TRunOutcome::Done);
    tree.Write("t/OldNameTest.java", "made since\n");
    EXPECT_EQ(UndoRun("", true, host), TUndoOutcome::Kept);
    EXPECT_NE(std::find(host.report.begin(), host.report.end(),
                        "Kept       " + std::filesystem::canonical(tree.Path("t")).string() +
                            "/NewNameTest.java: its old name " +
                            std::filesystem::canonical(tree.Path("t")).string() + "/OldNameTest.java exists"),
              host.report.end());
    EXPECT_EQ(tree.Read("t/OldNameTest.java"), "made since\n");
    EXPECT_EQ(tree.Read("t/old_name.py"), "class OldName:\n    pass\n");
}

}  // namespace
}  // namespace varnok
