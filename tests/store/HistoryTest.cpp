#include <gtest/gtest.h>

#include "History.h"
#include "StoreTestSupport.h"
#include "UMyIniFile.h"

namespace varnok {
namespace {

using testing::StoreTest;
using Lines = std::vector<std::string>;

constexpr const char* kSection = "Varnok\\Dialog";
const std::string kKey = "Varnok\\Dialog-History-1";

TEST(History, AddMovesTheTextToTheTop) {
    const struct {
        Lines entries;
        std::string text;
        Lines after;
    } rows[] = {
        {{}, "/a", {"/a"}},
        {{"/a", "/b", "/c"}, "/c", {"/c", "/a", "/b"}},
        {{"/a", "c:\\temp", "/b"}, "C:\\TEMP", {"C:\\TEMP", "/a", "/b"}},
        {{"/a"}, "", {"", "/a"}},
        {{"x", "X"}, "x", {"x", "X"}},  // only the first equal entry goes
    };
    for (const auto& row : rows) {
        THistory history;
        history.Entries = row.entries;
        history.Text = row.text;
        EXPECT_EQ(history.AddToHistory(), row.text);
        EXPECT_EQ(history.Entries, row.after) << row.text;
    }
}

TEST(History, EnclosingQuotesAreRemovedOnce) {
    const std::pair<std::string, std::string> rows[] = {
        {"\"/a b\"", "/a b"}, {"'/a b'", "/a b"}, {"\"/a", "\"/a"}, {"/a\"", "/a\""}, {"\"", ""},
        {"'", ""}, {"\"\"", ""}, {"\"'x'\"", "'x'"}, {"'x\"", "'x\""}, {"", ""}, {"\"\"x\"\"", "\"x\""},
    };
    for (const auto& [text, result] : rows) EXPECT_EQ(RemoveEnclosingQuotes(text), result) << text;
}

TEST_F(StoreTest, HistoryStoresAtMostSizeEntries) {
    TMyIniFile store(kDefaultStoreKey);
    THistory history;
    history.Size = 20;
    history.Text = "/tmp";
    history.Entries = {"stale"};
    history.LoadHistory(store, kSection, 1);  // nothing stored
    EXPECT_TRUE(history.Entries.empty());
    EXPECT_EQ(history.Text, "/tmp");

    history.Text = "\"/quoted folder\"";
    for (int i = 1; i <= 30; ++i) history.Entries.push_back("/f" + std::to_string(i));
    history.SaveHistory(store, kSection, 1);
    EXPECT_EQ(store.ReadText(kKey, "Count", ""), "30");
    EXPECT_EQ(store.ReadText(kKey, "Item21", "none"), "none");
    const Lines first20(history.Entries.begin(), history.Entries.begin() + 20);
    history.LoadHistory(store, kSection, 1);
    EXPECT_EQ(history.Entries, first20);
    EXPECT_EQ(history.Text, "/quoted folder");

    history.Size = 0;  // only the text goes and comes back
    history.SaveHistory(store, kSection, 2);
    EXPECT_EQ(store.ReadText("Varnok\\Dialog-History-2", "Item1", "none"), "none");
    history.LoadHistory(store, kSection, 1);
    EXPECT_TRUE(history.Entries.empty());

    store.WriteNumber(kKey, "Count", 5);
    store.WriteText(kKey, "Item2", "");
    history.Size = 20;
    history.LoadHistory(store, kSection, 1);
    EXPECT_EQ(history.Entries, (Lines{"/f1", "/f3", "/f4", "/f5"}));
}

}  // namespace
}  // namespace varnok
