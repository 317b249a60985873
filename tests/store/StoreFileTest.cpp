#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "AtomicFile.h"
#include "StoreFile.h"
#include "StoreTestSupport.h"
#include "StoreTransaction.h"
#include "UMyIniFile.h"

namespace varnok {
namespace {

using testing::ErrorOf;
using testing::StoreTest;

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00\n\n";
constexpr const char* kSectionOfDialog = "Varnok\\Dialog";

TEST(StoreDocument, TextValuesSurviveSerializeAndParse) {
    const std::string texts[] = {
        "", "plain", "quote \" inside", "C:\\Windows\\Temp\\", "two\r\nlines\nand\rmore", "tab\there",
        std::string("nul\0and\x01\x1f\x7f", 10), "Grüße, 日本語",
        "\"\\x41\"",  // looks like an escape once written
    };
    TStoreDocument document;
    TStoreKey& key = document.CreateKey({"A", "B"});
    for (std::size_t i = 0; i < std::size(texts); ++i) key.SetValue({"v" + std::to_string(i), true, texts[i]});
    key.SetValue({"name \"with\" \\ quotes\n", true, "x"});

    TStoreDocument back = TStoreDocument::Parse(document.Serialize());
    const TStoreKey* read = back.FindKey({"a", "b"});
    ASSERT_NE(read, nullptr);
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        const TStoreValue* value = read->FindValue("V" + std::to_string(i));
        ASSERT_NE(value, nullptr) << i;
        EXPECT_EQ(value->Data, texts[i]) << i;
    }
    ASSERT_NE(read->FindValue("NAME \"WITH\" \\ QUOTES\n"), nullptr);
    EXPECT_EQ(back.Serialize(), document.Serialize());
}

TEST(StoreDocument, ReadsWhatHandsAndOtherToolsWrite) {
    const std::string text =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; a comment\r\n"
        "[hkey_current_user\\Tavrin Software\\Quillets\\Varnok\\Dialog]\r\n"
        "\"Edit-1\" = \"*.txt\"\r\n"
        "@=\"default\"\r\n"
        "\"Path\"=\"C:\\Data\\new\"\r\n"
        "\"x\"=dword:00000001\r\n"
        "\"h\"=hex:01,02,\\\r\n"
        "  03,04\r\n"
        "\"Edit-1\"=\"*.doc\"\r\n"
        "[HKEY_CURRENT_USER\\a]b]\n";
    TStoreDocument document = TStoreDocument::Parse(text);

    // A key implies the keys above it.
    const TStoreKey* quillets = document.FindKey({"TAVRIN SOFTWARE", "quillets"});
    ASSERT_NE(quillets, nullptr);
    ASSERT_EQ(quillets->Children().size(), 1u);
    EXPECT_EQ(quillets->Children()[0]->Name(), "Varnok");

    const TStoreKey* dialog = document.FindKey({"Tavrin Software", "Quillets", "Varnok", "Dialog"});
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->FindValue("edit-1")->Data, "*.doc");  // the later line wins
    EXPECT_EQ(dialog->FindValue("")->Data, "default");
    EXPECT_EQ(dialog->FindValue("Path")->Data, "C:\\Data\n" "ew");  // \n is ours, \D is kept
    EXPECT_FALSE(dialog->FindValue("x")->IsText);
    EXPECT_EQ(dialog->FindValue("h")->Data, "hex:01,02,\\\n  03,04");
    EXPECT_NE(document.FindKey({"a]b"}), nullptr);

    // Values of other kinds are written back as they were.
    const std::string out = document.Serialize();
    EXPECT_NE(out.find("\n\"x\"=dword:00000001\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n\"h\"=hex:01,02,\\\n  03,04\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n@=\"default\"\n"), std::string::npos) << out;
    EXPECT_EQ(TStoreDocument::Parse(out).Serialize(), out);
}

TEST(StoreDocument, RefusesWhatItCannotRead) {
    const std::string head = std::string(kHeader) + "[HKEY_CURRENT_USER\\a]\n";
    const std::string bad[] = {
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\a]\n", std::string(kHeader) + "\"v\"=\"outside a key\"\n",
        std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\a]\n", std::string(kHeader) + "[HKEY_CURRENT_USERS]\n",
        std::string(kHeader) + "[HKEY_CURRENT_USER\\a\n", head + "\"v\"=\"open\n", head + "\"v\"\"x\"\n",
        head + "\"v\"=\"x\" junk\n", head + "v=\"x\"\n", head + "\"v\"=\n",
    };
    for (const std::string& text : bad) EXPECT_THROW(TStoreDocument::Parse(text), std::runtime_error) << text;
}

TEST(StoreDocument, WritesKeysSortedAndOnlyTheBlocksItNeeds) {
    TStoreDocument document;
    document.CreateKey({"T", "b"}).SetValue({"v", true, "1"});
    document.CreateKey({"T", "A", "empty"});
    document.CreateKey({"T", "a"}).SetValue({"z", true, "2"});
    document.CreateKey({"T", "a"}).SetValue({"y", true, "3"});
    EXPECT_EQ(document.Serialize(),
              std::string(kHeader) +
                  "[HKEY_CURRENT_USER\\T\\A]\n\"z\"=\"2\"\n\"y\"=\"3\"\n\n"
                  "[HKEY_CURRENT_USER\\T\\A\\empty]\n\n"
                  "[HKEY_CURRENT_USER\\T\\b]\n\"v\"=\"1\"\n\n");
}

// Files in `folder` whose name begins with `prefix`.
std::vector<std::string> FilesStartingWith(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with(prefix)) found.push_back(entry.path());
    }
    return found;
}

TEST_F(StoreTest, UnparsableFileIsKeptAsideAtStartUpAndReportedOnce) {
    const std::string path = StoreFilePath();
    const std::string garbage = "this is not a store\n";
    PutFile(path, garbage);

    {
        TStoreTransaction startUp(TStoreTransaction::TOpening::AtStartUp);
        TMyIniFile store(kDefaultStoreKey);
        EXPECT_EQ(store.ReadText("S", "v", "default"), "default");
        startUp.Commit();
    }
    const std::string warning = TakeStoreWarning();
    EXPECT_NE(warning.find(path), std::string::npos) << warning;
    EXPECT_EQ(TakeStoreWarning(), "");

    const std::vector<std::string> aside = FilesStartingWith(Folder() + "/Tavrin Software", "Quillets.reg.corrupt-");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(FileText(aside[0]), garbage);
    EXPECT_NE(warning.find(aside[0]), std::string::npos) << warning;

    TMyIniFile store(kDefaultStoreKey);
    store.WriteText("S", "v", "new");
    EXPECT_EQ(store.ReadText("S", "v", ""), "new");
    EXPECT_EQ(TakeStoreWarning(), "");
}

// A full save is one writing at its Commit: until then the file stays as it
// was (a nested transaction joins), one unwound writes nothing, and a failing
// writing reports the first value it changed.
TEST_F(StoreTest, TransactionWritesTheStoreOnceAtCommit) {
    const std::string path = StoreFilePath();
    TMyIniFile store(kDefaultStoreKey);
    const auto save = [&](const std::string& text, bool commit) {
        const std::string before = FileText(path);
        TStoreTransaction transaction;
        store.WriteList(kSectionOfDialog, "ListBox-1", {text, text});
        {
            TStoreTransaction nested;
            store.WriteText(kSectionOfDialog, "Edit-1", text);
            nested.Commit();
        }
        EXPECT_EQ(FileText(path), before);
        EXPECT_EQ(store.ReadText(kSectionOfDialog, "Edit-1", ""), text);
        if (commit) transaction.Commit();
    };
    save("saved", true);
    save("unwound", false);
    EXPECT_EQ(store.ReadList(kSectionOfDialog, "ListBox-1"), (std::vector<std::string>{"saved", "saved"}));
    std::filesystem::create_directories(path + ".tmp/blocker");
    EXPECT_EQ(ErrorOf([&] { save("blocked", true); }),
              "Failed to set data for 'Item1': the settings file " + path + " cannot be written (File exists)");
    EXPECT_EQ(store.ReadText(kSectionOfDialog, "Edit-1", ""), "saved");
}

// After start-up the file holds this session's values and every other
// configuration: one that stopped parsing is someone's edit, so it is neither
// set aside nor written over, and every access says why it fails.
TEST_F(StoreTest, StoreThatStopsParsingInSessionIsLeftAsItIs) {
    const std::string path = StoreFilePath();
    TMyIniFile(ConfigurationStoreKey("Weekly")).WriteText(kSectionOfDialog, "Edit-1", "*.txt");
    const std::string broken = FileText(path) + "\"Edit-2\"=\"unterminated\n";
    PutFile(path, broken);
    const std::function<void()> operations[] = {
        [] { ListConfigurationNames(); },
        [] { TMyIniFile(kDefaultStoreKey).WriteText(kSectionOfDialog, "Edit-1", "x"); },
        [] {
            TStoreTransaction save;
            TMyIniFile(kDefaultStoreKey).WriteNumber("Varnok\\Report", "Left", 1);
            save.Commit();
        },
    };
    for (const auto& operation : operations) {
        EXPECT_NE(ErrorOf(operation).find(path + " cannot be read (line 6: "), std::string::npos) << ErrorOf(operation);
    }
    EXPECT_EQ(FileText(path), broken);
    EXPECT_EQ(FilesStartingWith(Folder() + "/Tavrin Software", "Quillets.reg.corrupt-").size(), 0u);
    EXPECT_EQ(TakeStoreWarning(), "");
}

// Dotfiles kept in another folder: the store (a dangling relative link) and
// text blocks (a chain of links, a dangling one) stay links; each target is
// replaced through a temporary file beside it and keeps its permission bits;
// the store's lock and a set-aside copy stand beside the target too.
TEST_F(StoreTest, LinkedFilesStayLinks) {
    namespace fs = std::filesystem;
    const std::string dot = Folder() + "/dotfiles";
    const std::string block = TextBlockPath(kSectionOfDialog, "2");
    const std::string tree = TextBlockPath(kSectionOfDialog, "3");
    PutFile(dot + "/changes.txt", "old\r\n");
    fs::permissions(dot + "/changes.txt", fs::perms(0640));
    fs::create_directories(fs::path(block).parent_path());
    const std::pair<std::string, std::string> links[] = {{"../dotfiles/store.reg", StoreFilePath()},
        {dot + "/changes-link", block}, {"changes.txt", dot + "/changes-link"}, {dot + "/tree.txt", tree}};
    for (const auto& [target, link] : links) fs::create_symlink(target, link);

    TMyIniFile store(kDefaultStoreKey);
    store.WriteText(kSectionOfDialog, "Edit-1", "*.txt");
    store.WriteTextBlock(kSectionOfDialog, "2", "new\n");
    store.WriteTree(kSectionOfDialog, "3", {{"root", {}}});
    for (const auto& [target, link] : links) EXPECT_TRUE(fs::is_symlink(link)) << link;
    EXPECT_EQ(store.ReadText(kSectionOfDialog, "Edit-1", ""), "*.txt");
    EXPECT_EQ(FileText(dot + "/changes.txt") + FileText(dot + "/tree.txt"), "new\r\nroot\r\n");
    EXPECT_EQ(fs::status(dot + "/changes.txt").permissions(), fs::perms(0640));
    EXPECT_EQ(FilesStartingWith(dot, "store.reg."), std::vector<std::string>{dot + "/store.reg.lock"});
    EXPECT_EQ(FilesStartingWith(dot, "changes.txt.").size(), 0u);

    PutFile(dot + "/store.reg", "garbage\n");
    { TStoreTransaction startUp(TStoreTransaction::TOpening::AtStartUp); }
    EXPECT_NE(TakeStoreWarning().find(dot + "/store.reg.corrupt-"), std::string::npos);
    store.WriteText(kSectionOfDialog, "Edit-1", "*.md");
    EXPECT_TRUE(fs::is_symlink(StoreFilePath()));
    EXPECT_NE(FileText(dot + "/store.reg").find("*.md"), std::string::npos);
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

TEST_F(StoreTest, ConcurrentWritersLoseNothing) {
    constexpr int kValues = 500;
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = Spawn([w] {
            TMyIniFile store(kDefaultStoreKey);
            for (int i = 0; i < kValues; ++i) {
                store.WriteNumber("Writer" + std::to_string(w), "V" + std::to_string(i), i);
            }
        });
        ASSERT_GT(writers[w], 0);
    }
    for (pid_t pid : writers) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    TStoreDocument document = ReadStore("read");
    for (int w = 0; w < 2; ++w) {
        const TStoreKey* key = document.FindKey(
            SplitKeyPath(std::string(kDefaultStoreKey) + "\\Writer" + std::to_string(w)));
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->Values().size(), static_cast<std::size_t>(kValues)) << w;
    }
}

TEST_F(StoreTest, KilledWriterLeavesAWholeFile) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> delayMicroseconds(0, 15000);
    int written = 0;  // values of earlier rounds, which must all survive
    for (int round = 0; round < 30; ++round) {
        pid_t pid = Spawn([written] {
            TMyIniFile store(kDefaultStoreKey);
            for (int i = written;; ++i) store.WriteNumber("S", "V" + std::to_string(i), i);
        });
        ASSERT_GT(pid, 0);
        ::usleep(static_cast<useconds_t>(delayMicroseconds(random)));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);

        const std::optional<std::string> text = ReadWholeFile(StoreFilePath());
        if (!text) continue;  // killed before its first write
        TStoreDocument document = TStoreDocument::Parse(*text);
        const TStoreKey* key = document.FindKey(SplitKeyPath(std::string(kDefaultStoreKey) + "\\S"));
        const int count = key ? static_cast<int>(key->Values().size()) : 0;
        ASSERT_GE(count, written) << "round " << round;
        for (int i = 0; i < count; ++i) ASSERT_NE(key->FindValue("V" + std::to_string(i)), nullptr) << i;
        written = count;
    }
    EXPECT_EQ(TakeStoreWarning(), "");
    // The next writer clears what a killed one left behind.
    TMyIniFile(kDefaultStoreKey).WriteText("S", "after", "1");
    EXPECT_FALSE(std::filesystem::exists(StoreFilePath() + ".tmp"));
}

}  // namespace
}  // namespace varnok
