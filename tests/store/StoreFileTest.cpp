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
#include "UMyIniFile.h"

namespace varnok {
namespace {

using testing::StoreTest;

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00\n\n";

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

TEST_F(StoreTest, UnparsableFileIsKeptAsideAndReportedOnce) {
    const std::string path = StoreFilePath();
    const std::string garbage = "this is not a store\n";
    PutFile(path, garbage);

    TMyIniFile store(kDefaultStoreKey);
    EXPECT_EQ(store.ReadText("S", "v", "default"), "default");
    const std::string warning = TakeStoreWarning();
    EXPECT_NE(warning.find(path), std::string::npos) << warning;
    EXPECT_EQ(TakeStoreWarning(), "");

    std::vector<std::string> aside;
    for (const auto& entry : std::filesystem::directory_iterator(Folder() + "/Tavrin Software")) {
        if (entry.path().string().starts_with(path + ".corrupt-")) aside.push_back(entry.path());
    }
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(FileText(aside[0]), garbage);
    EXPECT_NE(warning.find(aside[0]), std::string::npos) << warning;

    store.WriteText("S", "v", "new");
    EXPECT_EQ(store.ReadText("S", "v", ""), "new");
    EXPECT_EQ(TakeStoreWarning(), "");
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
