#include <gtest/gtest.h>

#include <filesystem>

#include "StoreFile.h"
#include "StoreTestSupport.h"
#include "UMyIniFile.h"

namespace varnok {
namespace {

using testing::StoreTest;

constexpr const char* kSection = "Varnok\\Dialog";

TEST_F(StoreTest, NumbersAndFlagsReadAsDesigned) {
    struct Row {
        const char* stored;
        int number;  // read with default 7
        bool flagDefaultTrue;
        bool flagDefaultFalse;
    };
    const Row rows[] = {
        {"20", 20, true, true},
        {"-1", -1, true, true},
        {"0", 0, false, false},
        {"2", 2, true, true},
        {"0x1F", 31, true, true},
        {"0X1f", 31, true, true},
        {"0x7FFFFFFF", 2147483647, true, true},
        {"2147483647", 2147483647, true, true},
        {"-2147483648", -2147483647 - 1, true, true},
        // Everything below is not a number: the default.
        {"", 7, true, false},
        {"abc", 7, true, false},
        {"0x", 7, true, false},
        {"0x-5", 7, true, false},
        {"0x1G", 7, true, false},
        {"0x80000000", 7, true, false},
        {"2147483648", 7, true, false},
        {" 5", 7, true, false},
        {"5 ", 7, true, false},
        {"1.5", 7, true, false},
    };
    TMyIniFile store(kDefaultStoreKey);
    for (const Row& row : rows) {
        store.WriteText(kSection, "N", row.stored);
        EXPECT_EQ(store.ReadNumber(kSection, "N", 7), row.number) << '"' << row.stored << '"';
        EXPECT_EQ(store.ReadFlag(kSection, "N", true), row.flagDefaultTrue) << row.stored;
        EXPECT_EQ(store.ReadFlag(kSection, "N", false), row.flagDefaultFalse) << row.stored;
    }
    store.WriteNumber(kSection, "N", -42);
    EXPECT_EQ(store.ReadText(kSection, "N", ""), "-42");
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
    // The first spelling of a name stays.
    EXPECT_NE(FileText(StoreFilePath()).find("[HKEY_CURRENT_USER\\Tavrin Software\\Quillets\\Varnok\\Dialog]\n\"Edit-1\"="),
              std::string::npos);
}

// The message an operation raises, or "" when it raises none.
template <typename Operation>
std::string ErrorOf(Operation operation) {
    try {
        operation();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

TEST_F(StoreTest, OtherKindsOfValueAreErrors) {
    PutFile(StoreFilePath(),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Tavrin Software\\Quillets\\Varnok\\Dialog]\n"
            "\"x\"=dword:00000001\n");
    TMyIniFile store(kDefaultStoreKey);
    EXPECT_EQ(ErrorOf([&] { store.ReadText(kSection, "X", ""); }), "Invalid data type for 'X'");
    EXPECT_EQ(ErrorOf([&] { store.ReadNumber(kSection, "x", 0); }), "Invalid data type for 'x'");
    EXPECT_EQ(ErrorOf([&] { store.ReadFlag(kSection, "x", false); }), "Invalid data type for 'x'");
    // Writing another value keeps the foreign one as it was; writing it makes it a text.
    store.WriteText(kSection, "y", "1");
    EXPECT_NE(FileText(StoreFilePath()).find("\"x\"=dword:00000001\n"), std::string::npos);
    store.WriteNumber(kSection, "x", 2);
    EXPECT_EQ(store.ReadNumber(kSection, "x", 0), 2);
}

TEST_F(StoreTest, FailuresCarryTheirMessages) {
    TMyIniFile store(kDefaultStoreKey);
    store.WriteText(kSection, "v", "1");
    const std::string storePath = StoreFilePath();

    // Something in the way of the new file: the store stays as it was.
    const std::string temp = storePath + ".tmp";
    std::filesystem::create_directories(temp + "/blocker");
    EXPECT_EQ(ErrorOf([&] { store.WriteText(kSection, "v", "2"); }), "Failed to set data for 'v'");
    EXPECT_EQ(store.ReadText(kSection, "v", ""), "1");
    std::filesystem::remove_all(temp);

    const std::string block = TextBlockPath(kSection, "2");
    std::filesystem::create_directories(block + "/blocker");
    EXPECT_EQ(ErrorOf([&] { store.WriteTextBlock(kSection, "2", "x"); }), "Cannot create file " + block);
    EXPECT_EQ(store.ReadTextBlock(kSection, "2"), std::nullopt);  // unreadable: nothing reported

    // A store that is not a file at all.
    std::filesystem::remove(storePath);
    std::filesystem::create_directories(storePath + "/blocker");
    EXPECT_EQ(ErrorOf([&] { store.ReadText(kSection, "v", ""); }), "Failed to get data for 'v'");
    EXPECT_EQ(ErrorOf([&] { store.WriteText(kSection, "v", "3"); }), "Failed to create key Varnok\\Dialog");
}

TEST_F(StoreTest, ListsAsDesigned) {
    TMyIniFile store(kDefaultStoreKey);
    store.WriteList(kSection, "ListBox-2", {});
    EXPECT_EQ(store.ReadText("Varnok\\DialogListBox-2", "Count", ""), "0");
    EXPECT_TRUE(store.ReadList(kSection, "ListBox-2").empty());

    store.WriteList(kSection, "ListBox-2", {"a", "b", "c", "d", "e"});
    store.WriteList(kSection, "ListBox-2", {"x", "y", "z"});
    EXPECT_EQ(store.ReadList(kSection, "ListBox-2"), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(store.ReadText("Varnok\\DialogListBox-2", "Item5", ""), "e");  // left behind, never read

    store.WriteNumber("Varnok\\WizardListBox-1", "Count", 5);
    store.WriteText("Varnok\\WizardListBox-1", "Item1", "one");
    store.WriteText("Varnok\\WizardListBox-1", "Item2", "");
    store.WriteText("Varnok\\WizardListBox-1", "Item3", "three");
    EXPECT_EQ(store.ReadList("Varnok\\Wizard", "ListBox-1"), (std::vector<std::string>{"one", "three"}));
}

TEST_F(StoreTest, FontsReplaceEveryField) {
    TMyIniFile store(kDefaultStoreKey);
    const TFontRecord bold{"Other", 30, true, true, true, true};
    const TFontRecord fresh = store.ReadFont("Varnok\\Report", "Font-1", bold);
    EXPECT_EQ(fresh.Name, "Courier New");
    EXPECT_EQ(fresh.Size, 10);
    EXPECT_FALSE(fresh.Bold || fresh.Italic || fresh.Underline || fresh.StrikeOut);

    store.WriteFont("Varnok\\Report", "Font-1", {"Plain", 9, false, false, false, false});
    EXPECT_FALSE(store.ReadFont("Varnok\\Report", "Font-1", bold).Bold);
    store.WriteFlag("Varnok\\ReportFont-1", "Bold", true);
    EXPECT_TRUE(store.ReadFont("Varnok\\Report", "Font-1", {}).Bold);

    const TFontRecord all{"Ünïcode Mono", 14, true, false, true, false};
    store.WriteFont("Varnok\\Report", "Font-1", all);
    const TFontRecord back = store.ReadFont("Varnok\\Report", "Font-1", {});
    EXPECT_EQ(back.Name, all.Name);
    EXPECT_EQ(back.Size, all.Size);
    EXPECT_EQ(std::tie(back.Bold, back.Italic, back.Underline, back.StrikeOut),
              std::tie(all.Bold, all.Italic, all.Underline, all.StrikeOut));

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
    EXPECT_EQ(store.ReadTextBlock(kSection, "2"), "a\r\nb\r\nc\r\nd\r\n");
    // Text blocks are shared by every store key.
    EXPECT_EQ(TMyIniFile(ConfigurationStoreKey("Weekly")).ReadTextBlock(kSection, "2"), "a\r\nb\r\nc\r\nd\r\n");

    const std::vector<TTreeNode> tree{
        {"root", {{"child", {{"grandchild", {}}}}, {"second", {}}}},
        {"other root", {}},
    };
    store.WriteTree("Varnok\\Report", "3", tree);
    EXPECT_EQ(FileText(TextBlockPath("Varnok\\Report", "3")),
              "root\r\n\tchild\r\n\t\tgrandchild\r\n\tsecond\r\nother root\r\n");
    const auto back = store.ReadTree("Varnok\\Report", "3");
    ASSERT_TRUE(back.has_value());
    ASSERT_EQ(back->size(), 2u);
    EXPECT_EQ((*back)[0].Children[0].Children[0].Text, "grandchild");
    EXPECT_EQ((*back)[0].Children[1].Text, "second");
    EXPECT_EQ((*back)[1].Text, "other root");

    PutFile(TextBlockPath("Varnok\\Report", "4"), "a\n\t\t\tdeep\nb");  // too deep: a child of "a"
    const auto loose = store.ReadTree("Varnok\\Report", "4");
    ASSERT_EQ(loose->size(), 2u);
    EXPECT_EQ((*loose)[0].Children.at(0).Text, "deep");
}

TEST(StartupStoreKey, TakesTheNameAfterTheLastSeparator) {
    const std::string others = std::string(kConfigurationsKey) + "\\";
    const struct {
        std::vector<std::string> arguments;
        std::string key;
    } rows[] = {
        {{}, kDefaultStoreKey},
        {{""}, kDefaultStoreKey},
        {{"Weekly"}, others + "Weekly"},
        {{"C:\\Jobs\\Weekly"}, others + "Weekly"},
        {{"D:Weekly"}, others + "Weekly"},
        {{"/home/u/Weekly", "ignored"}, others + "Weekly"},
        {{"C:\\Jobs\\"}, others},
        {{"a/b:c\\d"}, others + "d"},
        {{std::string(300, 'w')}, others + std::string(255, 'w')},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(StartupStoreKey(row.arguments), row.key) << ::testing::PrintToString(row.arguments);
    }
    const char* argv[] = {"varnok", "/x/Monthly"};
    EXPECT_EQ(StartupStoreKey(2, argv), others + "Monthly");
}

TEST_F(StoreTest, ConfigurationsAreKeysBelowOthers) {
    EXPECT_TRUE(ListConfigurationNames().empty());
    EXPECT_TRUE(StoreKeyExists(kConfigurationsKey));

    TMyIniFile weekly(ConfigurationStoreKey("Weekly"));
    TMyIniFile slashed(ConfigurationStoreKey("a\\b"));
    TMyIniFile empty(ConfigurationStoreKey(""));
    TMyIniFile dots(ConfigurationStoreKey(".."));
    weekly.WriteText(kSection, "Edit-1", "weekly");
    slashed.WriteText(kSection, "Edit-1", "slashed");
    empty.WriteText(kSection, "Edit-1", "empty");
    dots.WriteText(kSection, "Edit-1", "dots");

    // A backslash makes deeper keys; every name keeps its own values and
    // nothing lands beside or above the configurations.
    EXPECT_EQ(ListConfigurationNames(), (std::vector<std::string>{"", "..", "a", "Weekly"}));
    EXPECT_EQ(TMyIniFile(ConfigurationStoreKey("weekly")).ReadText(kSection, "Edit-1", ""), "weekly");
    EXPECT_EQ(TMyIniFile(ConfigurationStoreKey("A\\B")).ReadText(kSection, "Edit-1", ""), "slashed");
    EXPECT_EQ(TMyIniFile(ConfigurationStoreKey("")).ReadText(kSection, "Edit-1", ""), "empty");
    EXPECT_EQ(TMyIniFile(ConfigurationStoreKey("a")).ReadText(kSection, "Edit-1", "none"), "none");
    EXPECT_EQ(TMyIniFile(kDefaultStoreKey).ReadText(kSection, "Edit-1", "none"), "none");
    std::vector<std::string> sections;
    TMyIniFile(kDefaultStoreKey).ListSections(sections);
    EXPECT_EQ(sections, (std::vector<std::string>{"Others"}));

    // A name that cannot stand in a block header is refused, not written.
    EXPECT_FALSE(StoreKeyExists(ConfigurationStoreKey("new\nline")));
    TMyIniFile broken(ConfigurationStoreKey("new\nline"));
    EXPECT_THROW(broken.WriteText(kSection, "Edit-1", "x"), std::runtime_error);
    EXPECT_NO_THROW(TStoreDocument::Parse(FileText(StoreFilePath())));
}

}  // namespace
}  // namespace varnok
