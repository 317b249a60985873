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
    const struct {
        std::string text, result;
    } rows[] = {
        {"\"/a b\"", "/a b"}, {"'/a b'", "/a b"},    {"\"/a", "\"/a"},     {"/a\"", "/a\""},
        {"\"", ""},           {"'", ""},            {"\"\"", ""},         {"\"'x'\"", "'x'"},
        {"'x\"", "'x\""},     {"", ""},             {"\"\"x\"\"", "\"x\""},
    };
    for (const auto& row : rows) EXPECT_EQ(RemoveEnclosingQuotes(row.text), row.result) << row.text;
}

TEST_F(StoreTest, HistorySavesAtMostSizeEntries) {
    TMyIniFile store(kDefaultStoreKey);
    THistory saved;
    saved.Size = 20;
    saved.Text = "\"/quoted folder\"";
    for (int i = 1; i <= 30; ++i) saved.Entries.push_back("/f" + std::to_string(i));
    saved.SaveHistory(store, kSection, 1);
    EXPECT_EQ(store.ReadText(kKey, "Count", ""), "30");
    EXPECT_EQ(store.ReadText(kKey, "Item20", ""), "/f20");
    EXPECT_EQ(store.ReadText(kKey, "Item21", "none"), "none");

    THistory loaded;
    loaded.Size = 20;
    loaded.LoadHistory(store, kSection, 1);
    EXPECT_EQ(loaded.Entries, Lines(saved.Entries.begin(), saved.Entries.begin() + 20));
    EXPECT_EQ(loaded.Text, "/quoted folder");

    // A smaller box reads fewer entries; Size 0 keeps only the text.
    loaded.Size = 3;
    loaded.LoadHistory(store, kSection, 1);
    EXPECT_EQ(loaded.Entries, (Lines{"/f1", "/f2", "/f3"}));
    THistory none;
    none.Text = "/t";
    none.Entries = {"/x"};
    none.SaveHistory(store, kSection, 2);
    EXPECT_EQ(store.ReadText("Varnok\\Dialog-History-2", "Count", ""), "1");
    EXPECT_EQ(store.ReadText("Varnok\\Dialog-History-2", "Item1", "none"), "none");
    none.Size = 20;
    none.Text = "current";
    none.LoadHistory(store, kSection, 2);
    EXPECT_TRUE(none.Entries.empty());
    EXPECT_EQ(none.Text, "/t");
}

TEST_F(StoreTest, HistoryLoadSkipsMissingEntriesAndKeepsTheTextWhenNoneIsStored) {
    TMyIniFile store(kDefaultStoreKey);
    THistory history;
    history.Size = 20;
    history.Text = "/tmp";
    history.Entries = {"stale"};
    history.LoadHistory(store, kSection, 1);
    EXPECT_TRUE(history.Entries.empty());
    EXPECT_EQ(history.Text, "/tmp");

    store.WriteNumber(kKey, "Count", 5);
    for (int i : {1, 3, 4, 5}) store.WriteText(kKey, "Item" + std::to_string(i), "/e" + std::to_string(i));
    history.LoadHistory(store, kSection, 1);
    EXPECT_EQ(history.Entries, (Lines{"/e1", "/e3", "/e4", "/e5"}));
}

}  // namespace
}  // namespace varnok
