#include <gtest/gtest.h>

#include <sstream>

#include "StoreTestSupport.h"
#include "TextUtils.h"
#include "UMyIniFile.h"
#include "varnok-run-cli.h"

namespace varnok {
namespace {

using testing::StoreTest;

constexpr const char* kSection = "Varnok\\Dialog";

struct TResult {
    int Status;
    std::string Out;
    std::string Err;
};

TResult RunBatchWith(std::vector<std::string> args) {
    args.insert(args.begin(), "varnok-run");
    std::istringstream in("y\n");
    std::ostringstream out, err;
    TConsole console{in, out, err};
    console.InIsTerminal = true;  // the question is answered from `in`
    const int status = RunBatch(args, console);
    return {status, out.str(), err.str()};
}

class RunConfigTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        m_tree = Folder() + "/tree";
        m_other = Folder() + "/other";
        m_changes = Folder() + "/changes.txt";
        PutFile(m_tree + "/a.txt", "foo and foo\r\n");
        PutFile(m_tree + "/sub/b.txt", "no match\n");
        PutFile(m_tree + "/c.md", "foo\n");
        PutFile(m_tree + "/e.txt", "FOO food\n");  // 2 case-blind, 1 each with one option, 0 with both
        PutFile(m_other + "/d.txt", "foo\n");
        PutFile(m_changes, "foo\r\nbar\r\n\r\n");
        PutFile(Folder() + "/other-changes.txt", "and\nor\n\n");

        TMyIniFile weekly(ConfigurationStoreKey("Weekly"));
        weekly.WriteList(kSection, "ListBox-2", {m_tree});
        weekly.WriteList(kSection, "ListBox-1", {"*.txt"});
        weekly.WriteFlag(kSection, "CheckBox-1", true);
        weekly.WriteFlag(kSection, "CheckBox-2", false);
        weekly.WriteTextBlock(kSection, "2", FileText(m_changes));
        // Weekly was stored before Match Case and Whole Words Only; Exact has both.
        TMyIniFile exact(ConfigurationStoreKey("Exact"));
        exact.WriteList(kSection, "ListBox-2", {m_tree});
        exact.WriteList(kSection, "ListBox-1", {"*.txt"});
        exact.WriteFlag(kSection, "CheckBox-5", true);
        exact.WriteFlag(kSection, "CheckBox-6", true);

        TMyIniFile defaults(kDefaultStoreKey);
        defaults.WriteList(kSection, "ListBox-2", {m_other});
        defaults.WriteFlag(kSection, "CheckBox-1", false);
    }

    std::string m_tree, m_other, m_changes;
};

TEST_F(RunConfigTest, StoredJobReportsAsItsCommandLine) {
    const std::string otherChanges = Folder() + "/other-changes.txt";
    const struct {
        std::vector<std::string> stored;      // --config and what overrides it
        std::vector<std::string> equivalent;  // the same job spelled out
    } rows[] = {
        {{"--config", "Weekly"}, {"-r", "-m", "*.txt", "-c", m_changes, m_tree}},
        {{"--config=Weekly"}, {"-r", "-m", "*.txt", "-c", m_changes, m_tree}},
        {{"--config", "weekly", m_other}, {"-r", "-m", "*.txt", "-c", m_changes, m_other}},
        {{"--config", "Weekly", "-m", "*.md"}, {"-r", "-m", "*.md", "-c", m_changes, m_tree}},
        {{"--config", "Weekly", "-c", otherChanges}, {"-r", "-m", "*.txt", "-c", otherChanges, m_tree}},
        {{"--config", "Weekly", "-s"}, {"-r", "-s", "-m", "*.txt", "-c", m_changes, m_tree}},
        {{"--config", "Weekly", "--match-case"}, {"-r", "--match-case", "-m", "*.txt", "-c", m_changes, m_tree}},
        {{"--config", "Exact", "-c", m_changes},
         {"-r", "--match-case", "--whole-words", "-m", "*.txt", "-c", m_changes, m_tree}},
        // '' is the default settings: no masks stored, so the mask entry's "*.*".
        {{"--config", ""}, {"-m", "*.*", "-c", m_changes, m_other}},
    };
    for (const auto& row : rows) {
        std::vector<std::string> stored = row.stored;
        std::vector<std::string> equivalent = row.equivalent;
        stored.push_back("-n");
        equivalent.push_back("-n");
        const TResult fromStore = RunBatchWith(stored);
        const TResult spelledOut = RunBatchWith(equivalent);
        EXPECT_EQ(fromStore.Status, 0) << fromStore.Err;
        EXPECT_EQ(spelledOut.Status, 0) << spelledOut.Err;
        EXPECT_FALSE(fromStore.Out.empty()) << ::testing::PrintToString(row.stored);
        EXPECT_EQ(fromStore.Out, spelledOut.Out) << ::testing::PrintToString(row.stored);
    }
    const std::string report = RunBatchWith({"--config", "Weekly", "-n"}).Out;
    EXPECT_NE(report.find(m_tree + "/sub/b.txt"), std::string::npos) << report;
    EXPECT_EQ(report.find("c.md"), std::string::npos) << report;
    // Without the new values the stored job matches as it always did.
    EXPECT_NE(report.find(ReportLine(2, m_tree + "/e.txt")), std::string::npos) << report;
}

TEST_F(RunConfigTest, UnknownConfigurationRunsNothing) {
    const TResult result = RunBatchWith({"--config", "Weekyl", "-n"});
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(result.Out, "");
    EXPECT_NE(result.Err.find("No configuration named 'Weekyl' is stored"), std::string::npos) << result.Err;
}

TEST_F(RunConfigTest, SetAsideStoreIsReportedOnStderr) {
    PutFile(StoreFilePath(), "garbage\n");
    const TResult result = RunBatchWith({"--config", "Weekly", "-n"});
    EXPECT_EQ(result.Status, 1);
    EXPECT_NE(result.Err.find("kept as " + StoreFilePath() + ".corrupt-"), std::string::npos) << result.Err;
    EXPECT_NE(result.Err.find("No configuration named 'Weekly' is stored"), std::string::npos) << result.Err;
}

}  // namespace
}  // namespace varnok
