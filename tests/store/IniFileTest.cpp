#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "StoreFile.h"
#include "StoreTestSupport.h"
#include "UMyIniFile.h"

namespace varnok {
namespace {

using testing::ErrorOf;
using testing::StoreTest;
using Lines = std::vector<std::string>;

constexpr const char* kSection = "Varnok\\Dialog";

TEST_F(StoreTest, NumbersAndFlagsFallBackToTheDefault) {
    const struct {
        const char* stored;
        std::optional<int> number;  // nullopt: not a number, the default comes back
    } rows[] = {
        {"20", 20}, {"-1", -1}, {"0", 0}, {"2", 2}, {"+3", 3}, {"0x1F", 31}, {"0X1f", 31},
        {"0x7FFFFFFF", 2147483647}, {"-2147483648", -2147483647 - 1},
        {"", {}}, {"abc", {}}, {"0x", {}}, {"0x-5", {}}, {"0x1G", {}}, {"0x80000000", {}},
        {"2147483648", {}}, {" 5", {}}, {"5 ", {}}, {"1.5", {}}, {"-0x5", {}},
    };
    TMyIniFile store(kDefaultStoreKey);
    for (const auto& row : rows) {
        store.WriteText(kSection, "N", row.stored);
        EXPECT_EQ(store.ReadNumber(kSection, "N", 7), row.number.value_or(7)) << '"' << row.stored << '"';
        for (bool defaultFlag : {false, true}) {
            EXPECT_EQ(store.ReadFlag(kSection, "N", defaultFlag),
                      row.number ? *row.number != 0 : defaultFlag) << row.stored;
        }
    }
    store.WriteFlag(kSection, "F", true);
    EXPECT_EQ(store.ReadText(kSection, "F", ""), "1");
}

TEST_F(StoreTest, TextsMatchNamesWithoutCaseAndKeepEmptyValues) {
    TMyIniFile store(kDefaultStoreKey);
    EXPECT_EQ(store.ReadText(kSection, "Edit-1", "*.*"), "*.*");
    store.WriteText(kSection, "Edit-1", "");
    EXPECT_EQ(store.ReadText(kSection, "Edit-1", "*.*"), "");
    store.WriteText("VARNOK\\dialog", "EDIT-1", "x \"y\" \\z\r\nÄ");
    EXPECT_EQ(TMyIniFile("tavrin software\\QUILLETS").ReadText(kSection, "edit-1", ""), "x \"y\" \\z\r\nÄ");
    EXPECT_NE(FileText(StoreFilePath()).find("\\Varnok\\Dialog]\n\"Edit-1\"="), std::string::npos)
        << "the first spelling stays";
}

TEST_F(StoreTest, FailuresCarryTheirMessages) {
    const std::string storePath = StoreFilePath();
    PutFile(storePath, "Windows Registry Editor Version 5.00\n\n"
                       "[HKEY_CURRENT_USER\\Tavrin Software\\Quillets\\Varnok\\Dialog]\n"
                       "\"x\"=dword:00000001\n");
    TMyIniFile store(kDefaultStoreKey);
    // Each names the settings file and says why it fails.
    const auto fault = [&](const std::string& done, const std::string& reason) {
        return ": the settings file " + storePath + " cannot be " + done + " (" + reason + ")";
    };
    EXPECT_EQ(ErrorOf([&] { store.ReadText(kSection, "X", ""); }),
              "Invalid data type for 'X' in the settings file " + storePath);
    EXPECT_EQ(ErrorOf([&] { store.ReadFlag(kSection, "x", false); }),
              "Invalid data type for 'x' in the settings file " + storePath);
    store.WriteText(kSection, "v", "1");
    EXPECT_NE(FileText(storePath).find("\"x\"=dword:00000001\n"), std::string::npos) << "kept as it was";

    // Something in the way of the new file: the store stays as it was.
    std::filesystem::create_directories(storePath + ".tmp/blocker");
    EXPECT_EQ(ErrorOf([&] { store.WriteText(kSection, "v", "2"); }),
              "Failed to set data for 'v'" + fault("written", "File exists"));
    EXPECT_EQ(store.ReadText(kSection, "v", ""), "1");

    const std::string block = TextBlockPath(kSection, "2");
    std::filesystem::create_directories(block + "/blocker");
    EXPECT_EQ(ErrorOf([&] { store.WriteTextBlock(kSection, "2", "x"); }),
              "Cannot create file " + block + ": Is a directory");
    EXPECT_EQ(store.ReadTextBlock(kSection, "2"), std::nullopt);  // unreadable: nothing reported

    std::filesystem::remove(storePath);
    std::filesystem::create_directories(storePath + "/blocker");
    EXPECT_EQ(ErrorOf([&] { store.ReadText(kSection, "v", ""); }),
              "Failed to get data for 'v'" + fault("read", "Is a directory"));
    EXPECT_EQ(ErrorOf([&] { store.WriteText(kSection, "v", "3"); }),
              "Failed to create key Varnok\\Dialog" + fault("read", "Is a directory"));
}

TEST_F(StoreTest, ListsReadNoFurtherThanTheirCount) {
    TMyIniFile store(kDefaultStoreKey);
    store.WriteList(kSection, "ListBox-2", {});
    EXPECT_EQ(store.ReadText("Varnok\\DialogListBox-2", "Count", ""), "0");
    EXPECT_TRUE(store.ReadList(kSection, "ListBox-2").empty());

    store.WriteList(kSection, "ListBox-2", {"a", "b", "c", "d", "e"});
    store.WriteList(kSection, "ListBox-2", {"x", "y", "z"});
    EXPECT_EQ(store.ReadList(kSection, "ListBox-2"), (Lines{"x", "y", "z"}));
    EXPECT_EQ(store.ReadText("Varnok\\DialogListBox-2", "Item5", ""), "e");  // left behind, never read

    store.WriteNumber("Varnok\\WizardListBox-1", "Count", 5);
    store.WriteText("Varnok\\WizardListBox-1", "Item1", "one");
    store.WriteText("Varnok\\WizardListBox-1", "Item2", "");
    store.WriteText("Varnok\\WizardListBox-1", "Item3", "three");
    EXPECT_EQ(store.ReadList("Varnok\\Wizard", "ListBox-1"), (Lines{"one", "three"}));
}

// A hand-edited Count far beyond the items: the items present are read, in
// the order of their numbers, not every number up to the Count (which, at the
// largest number, would never end).
TEST_F(StoreTest, ListsReadTheItemsPresentWhateverTheirCount) {
    const std::string key = "Varnok\\DialogListBox-2";
    TMyIniFile store(kDefaultStoreKey);
    for (const char* name : {"Count", "Item9", "item1", "Item01", "Item", "Item-3", "ITEM2", "Item2x",
                             "Item99999999999", "Item3"}) {
        store.WriteText(key, name, name);
    }
    store.WriteText(key, "Count", "0x7FFFFFFF");
    store.WriteText(key, "Item3", "");
    EXPECT_EQ(store.ReadList(kSection, "ListBox-2"), (Lines{"item1", "ITEM2", "Item9"}));
}

TEST_F(StoreTest, FontsReplaceEveryField) {
    auto fields = [](const TFontRecord& f) {
        return std::tie(f.Name, f.Size, f.Bold, f.Italic, f.Underline, f.StrikeOut);
    };
    TMyIniFile store(kDefaultStoreKey);
    const TFontRecord styled{"Other", 30, true, true, true, true};
    EXPECT_EQ(fields(store.ReadFont("Varnok\\Report", "Font-1", styled)), fields(TFontRecord{}));

    const TFontRecord saved{"Ünïcode Mono", 14, true, false, true, false};
    store.WriteFont("Varnok\\Report", "Font-1", saved);
    EXPECT_EQ(fields(store.ReadFont("Varnok\\Report", "Font-1", styled)), fields(saved));
    store.WriteText("Varnok\\ReportFont-1", "Name", std::string(300, 'n'));
    EXPECT_EQ(store.ReadFont("Varnok\\Report", "Font-1", {}).Name, std::string(255, 'n'));
}

TEST_F(StoreTest, TextBlocksLiveBelowTheConfigFolderWithCrLf) {
    TMyIniFile store(kDefaultStoreKey);
    const std::string path = Folder() + "/Tavrin Software/Quillets/Varnok/Dialog/2.txt";
    EXPECT_EQ(TextBlockPath(kSection, "2"), path);
    EXPECT_EQ(store.ReadTextBlock(kSection, "2"), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(path).parent_path()));

    store.WriteTextBlock(kSection, "2", "a\nb\r\nc\rd\n");
    EXPECT_EQ(FileText(path), "a\r\nb\r\nc\r\nd\r\n");
    // Text blocks are shared by every store key.
    EXPECT_EQ(TMyIniFile(ConfigurationStoreKey("Weekly")).ReadTextBlock(kSection, "2"), FileText(path));

    const std::string treeText = "root\r\n\tchild\r\n\t\tgrandchild\r\n\tsecond\r\nother root\r\n";
    store.WriteTree("Varnok\\Report", "3",
                    {{"root", {{"child", {{"grandchild", {}}}}, {"second", {}}}}, {"other root", {}}});
    EXPECT_EQ(FileText(TextBlockPath("Varnok\\Report", "3")), treeText);
    store.WriteTree("Varnok\\Report", "4", *store.ReadTree("Varnok\\Report", "3"));
    EXPECT_EQ(FileText(TextBlockPath("Varnok\\Report", "4")), treeText);

    PutFile(TextBlockPath("Varnok\\Report", "5"), "a\n\t\t\ttoo deep\nb");
    EXPECT_EQ(store.ReadTree("Varnok\\Report", "5")->at(0).Children.at(0).Text, "too deep");
}

TEST(StartupStoreKey, TakesTheNameAfterTheLastSeparator) {
    const std::string others = std::string(kConfigurationsKey) + "\\";
    const struct {
        Lines arguments;
        std::string key;
    } rows[] = {
        {{}, kDefaultStoreKey}, {{""}, kDefaultStoreKey}, {{"Weekly"}, others + "Weekly"},
        {{"C:\\Jobs\\Weekly"}, others + "Weekly"}, {{"D:Weekly"}, others + "Weekly"},
        {{"/home/u/Weekly", "ignored"}, others + "Weekly"}, {{"C:\\Jobs\\"}, others},
        {{"a/b:c\\d"}, others + "d"}, {{std::string(300, 'w')}, others + std::string(255, 'w')},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(StartupStoreKey(row.arguments), row.key) << ::testing::PrintToString(row.arguments);
    }
    const char* argv[] = {"varnok", "/x/Monthly"};
    EXPECT_EQ(StartupStoreKey(2, argv), others + "Monthly");
}

// Refused at start, with the name shown; a control character in the folder
// part is cut away with it.
TEST(StartupStoreKey, RefusesControlCharacters) {
    const struct {
        std::string argument;
        std::string error;  // empty: accepted
    } rows[] = {
        {"Wee\x01kly", "Cannot open the configuration \"Wee\\x01kly\": its name holds a control character"},
        {"/jobs/new\nline", "Cannot open the configuration \"new\\x0Aline\": its name holds a control character"},
        {"tab\t\x7f", "Cannot open the configuration \"tab\\x09\\x7F\": its name holds a control character"},
        {"/odd\x02/Weekly", ""},
    };
    for (const auto& row : rows) {
        if (row.error.empty()) {
            EXPECT_EQ(StartupStoreKey({row.argument}), ConfigurationStoreKey("Weekly"));
        } else {
            EXPECT_EQ(ErrorOf([&] { StartupStoreKey({row.argument}); }), row.error) << row.argument;
        }
    }
}

TEST_F(StoreTest, ConfigurationsAreKeysBelowOthers) {
    EXPECT_TRUE(ListConfigurationNames().empty());
    EXPECT_TRUE(StoreKeyExists(kConfigurationsKey));
    for (const char* name : {"Weekly", "a\\b", "", ".."}) {
        TMyIniFile(ConfigurationStoreKey(name)).WriteText(kSection, "Edit-1", name);
    }
    // A backslash makes deeper keys; every name keeps its own values and
    // nothing lands beside or above the configurations.
    EXPECT_EQ(ListConfigurationNames(), (Lines{"", "..", "a", "Weekly"}));
    for (const char* name : {"weekly", "A\\B", "", ".."}) {
        EXPECT_TRUE(SameTextIgnoringCase(
            TMyIniFile(ConfigurationStoreKey(name)).ReadText(kSection, "Edit-1", "none"), name)) << name;
    }
    EXPECT_EQ(TMyIniFile(ConfigurationStoreKey("a")).ReadText(kSection, "Edit-1", "none"), "none");
    Lines sections;
    TMyIniFile(kDefaultStoreKey).ListSections(sections);
    EXPECT_EQ(sections, Lines{"Others"});

    // A name that cannot stand in a block header is refused, not written.
    TMyIniFile broken(ConfigurationStoreKey("new\nline"));
    EXPECT_FALSE(StoreKeyExists(broken.StoreKey()));
    EXPECT_EQ(ErrorOf([&] { broken.WriteText(kSection, "v", "x"); }),
              "Failed to create key Varnok\\Dialog: the settings file " + StoreFilePath() +
                  " cannot be written (a key name holds a control character)");
    EXPECT_NO_THROW(TStoreDocument::Parse(FileText(StoreFilePath())));
}

}  // namespace
}  // namespace varnok
