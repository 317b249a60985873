#include <gtest/gtest.h>

#include "History.h"
#include "StoreTestSupport.h"
#include "StoredJob.h"
#include "UMyIniFile.h"

namespace varnok {
namespace {

using testing::StoreTest;
using Lines = std::vector<std::string>;

constexpr const char* kSection = "Varnok\\Dialog";

class StoredJobTest : public StoreTest {
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
    EXPECT_TRUE(job.ChangeText.empty());
}

TEST_F(StoredJobTest, ReadsWhatTheDialogSaved) {
    TMyIniFile store(ConfigurationStoreKey("Weekly"));
    store.WriteList(kSection, "ListBox-2", {"/one", "/two"});
    store.WriteList(kSection, "ListBox-1", {"*.txt", "*.md"});
    store.WriteFlag(kSection, "CheckBox-1", false);
    store.WriteFlag(kSection, "CheckBox-2", true);
    store.WriteTextBlock(kSection, "2", "old\nnew\n\nx\r\ny\n");

    const TStoredJob job = LoadStoredJob("Weekly");
    EXPECT_EQ(job.Folders, (Lines{"/one", "/two"}));
    EXPECT_EQ(job.Masks, (Lines{"*.txt", "*.md"}));
    EXPECT_FALSE(job.Recurse);
    EXPECT_TRUE(job.SpanLines);
    EXPECT_EQ(job.ChangeText, (Lines{"old", "new", "", "x", "y"}));
    // The default settings are another key; the change list is shared.
    const TStoredJob defaults = LoadStoredJob("");
    EXPECT_EQ(defaults.Folders, Lines{"/scratch"});
    EXPECT_EQ(defaults.ChangeText, job.ChangeText);
}

TEST_F(StoredJobTest, EmptyListsFallBackToTheEntryTexts) {
    TMyIniFile store(kDefaultStoreKey);
    store.WriteList(kSection, "ListBox-2", {});
    store.WriteList(kSection, "ListBox-1", {"", ""});
    THistory history;
    history.Size = 20;
    history.Entries = {"/not/this/one"};
    history.Text = "'/from history'";
    history.SaveHistory(store, kSection, 1);
    store.WriteText(kSection, "Edit-1", "*.cpp");

    TStoredJob job = LoadStoredJob("");
    EXPECT_EQ(job.Folders, Lines{"/from history"});
    EXPECT_EQ(job.Masks, Lines{"*.cpp"});

    store.WriteText(kSection, "Edit-1", "");  // stored empty: not the default
    EXPECT_EQ(LoadStoredJob("").Masks, Lines{""});
}

TEST_F(StoredJobTest, UnknownConfigurationIsRefused) {
    try {
        LoadStoredJob("Weekyl");
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "No configuration named 'Weekyl' is stored");
    }
    EXPECT_TRUE(ListConfigurationNames().empty());  // and nothing was created for it
}

}  // namespace
}  // namespace varnok
