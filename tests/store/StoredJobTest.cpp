#include <gtest/gtest.h>

#include "History.h"
#include "StoreTestSupport.h"
#include "StoredJob.h"
#include "UMyIniFile.h"

namespace varnok {
namespace {

using Lines = std::vector<std::string>;

constexpr const char* kSection = "Varnok\\Dialog";

class StoredJobTest : public testing::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        ::setenv("TMPDIR", "/scratch", 1);
    }
    void TearDown() override {
        ::unsetenv("TMPDIR");
        StoreTest::TearDown();
    }
};

TEST_F(StoredJobTest, EmptyStoreGivesTheDialogDefaults) {
    const TStoredJob job = LoadStoredJob("");
    EXPECT_EQ(job.Folders, Lines{"/scratch"});
    EXPECT_EQ(job.Masks, Lines{"*.*"});
    EXPECT_TRUE(job.Recurse);
    EXPECT_FALSE(job.SpanLines);
    EXPECT_FALSE(job.CaseSensitive);
    EXPECT_FALSE(job.WholeWords);
    EXPECT_TRUE(job.ChangeText.empty());
}

TEST_F(StoredJobTest, EmptyListsFallBackToTheEntryTexts) {
    TMyIniFile store(ConfigurationStoreKey("Weekly"));
    store.WriteList(kSection, "ListBox-2", {});
    store.WriteList(kSection, "ListBox-1", {"", ""});
    THistory history;
    history.Size = 20;
    history.Entries = {"/not/this/one"};
    history.Text = "'/from history'";
    history.SaveHistory(store, kSection, 1);
    store.WriteText(kSection, "Edit-1", "*.cpp");
    store.WriteTextBlock(kSection, "2", "old\nnew\n\nx\r\ny\n");

    TStoredJob job = LoadStoredJob("Weekly");
    EXPECT_EQ(job.Folders, Lines{"/from history"});
    EXPECT_EQ(job.Masks, Lines{"*.cpp"});
    EXPECT_EQ(job.ChangeText, (Lines{"old", "new", "", "x", "y"}));

    store.WriteText(kSection, "Edit-1", "");  // stored empty: not the default
    EXPECT_EQ(LoadStoredJob("Weekly").Masks, Lines{""});
}

}  // namespace
}  // namespace varnok
