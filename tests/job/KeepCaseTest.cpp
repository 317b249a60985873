#include <gtest/gtest.h>

#include <string>

#include "KeepCase.h"
#include "engine/Engine.h"

namespace varnok {
namespace {

struct TRow {
    const char* search;
    const char* replacement;
    const char* text;
    const char* result;
    long long count;
};

TEST(IdentifierChange, EverySpellingInOnePass)
{
    const TRow rows[] = {
        {"zorblatt", "quux_frob", "zorblatt", "quux_frob", 1},
        {"zorblatt", "quux_frob", "ZORBLATT", "QUUX_FROB", 1},
        {"zorblatt", "quux_frob", "Zorblatt", "QuuxFrob", 1},
        {"zorblatt", "quux_frob", "zorblatt_total", "quux_frob_total", 1},
        {"zorblatt", "quux_frob", "MAX_ZORBLATT_SIZE", "MAX_QUUX_FROB_SIZE", 1},
        {"zorblatt", "quux_frob", "getZorblatt", "getQuuxFrob", 1},
        {"zorblatt", "quux_frob", "zorblattCount", "quuxFrobCount", 1},
        {"zorblatt", "quux_frob", "--zorblatt", "--quux-frob", 1},
        {"zorblatt", "quux_frob", "--ZORBLATT", "--QUUX-FROB", 1},
        {"zorblatt", "QuuxFrob", "zorblatt zorblatt_x", "QuuxFrob quux_frob_x", 2},
        {"zorblatt", "quux_frob", "ZorBlatt zorblatts xzorblatt zorblatt2 zorblaTT",
         "ZorBlatt zorblatts xzorblatt zorblatt2 zorblaTT", 0},
        {"zorblatt", "quux_frob", "café_zorblatt zorblattö ézorblatt", "café_quux_frob zorblattö ézorblatt", 1},
        {"old_name", "new_name", "oldName OldName OLD_NAME old-name old_name OLD-NAME",
         "newName NewName NEW_NAME new-name new_name NEW-NAME", 6},
        {"old_name", "new_name", "bold_names old_names bold_name oldNames = old_name;",
         "bold_names old_names bold_name oldNames = new_name;", 1},
        {"old_name", "new_name", "old_name_total getOldName my_oldName x.old_name(3)",
         "new_name_total getNewName my_newName x.new_name(3)", 4},
        {"old_name", "new_name", "Old_name oldNAME old__name old_Name old-name_x",
         "Old_name oldNAME old__name old_Name new-name_x", 1},
        {"old_name", "fresh", "old_name OLD_NAME oldNameCount OldName", "fresh FRESH freshCount Fresh", 4},
        {"old_name", "new_name", "old_name_old_name,old_name;OLD_NAME_old_name",
         "new_name_new_name,new_name;NEW_NAME_new_name", 5},
        {"old_old", "new", "OLD_old_old", "OLD_new", 1},
        {"name", "name_v2", "name name_count nameCount NAME Name", "name_v2 name_v2_count nameV2Count NAME_V2 NameV2", 5},
        {"name", "name_v2", "name_v2", "name_v2_v2", 1},
        {"md5_sum", "digest", "md5Sum MD5_SUM md5sum", "digest DIGEST md5sum", 2},
        {"http_server", "web_host", "HTTPServer HttpServer getHTTPServer", "HTTPServer WebHost getHTTPServer", 1},
        {"HTTPServer", "WebHost", "HTTPServer http_server getHTTPServer", "WebHost web_host getWebHost", 3},
        {"server", "host", "HTTPServer server_URLs", "HTTPHost host_URLs", 2},
        {"x", "width", "x X MAX_X getX x_y", "width Width MAX_WIDTH getWidth width_y", 5},
        {"old_name", "new_name", "12 + 3 == 15; // --- ***", "12 + 3 == 15; // --- ***", 0},
        {"old_name", "new_name", "", "", 0},
    };
    for (const TRow& row : rows) {
        ASSERT_TRUE(TIdentifierChange::Applies(row.search, row.replacement)) << row.search;
        const TIdentifierChange change(row.search, row.replacement);
        std::string text = row.text;
        EXPECT_EQ(change.ReplaceAll(text), row.count) << row.search << " in " << row.text;
        EXPECT_EQ(text, row.result) << row.search << " in " << row.text;
    }
}

TEST(IdentifierChange, TextAfterNulIsLeftAlone)
{
    const TIdentifierChange change("zorblatt", "quux");
    std::string text("zorblatt\0zorblatt", 17);
    EXPECT_EQ(change.ReplaceAll(text), 1);
    EXPECT_EQ(text, std::string("quux\0zorblatt", 13));
    EXPECT_TRUE(change.MayMatch(std::string_view("\0ZorBlatt", 9)));
}

TEST(IdentifierChange, AppliesToTwoPlainIdentifiersOnly)
{
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"old_name", "new-name", true}, {"oldName", "x2", true},   {"a", "b", true},
        {"old*", "new", false},         {"old", "new name", false}, {"42", "x", false},
        {"x", "_x", false},             {"__init__", "setup", false}, {"a__b", "c", false},
        {"", "x", false},               {"x", "", false},             {"naïve", "x", false},
    };
    for (const auto& [search, replacement, applies] : rows)
        EXPECT_EQ(TIdentifierChange::Applies(search, replacement), applies) << search << " -> " << replacement;
}

TEST(IdentifierChange, MayMatchOnlyWhenTheWordsCanOccur)
{
    const TIdentifierChange change("old_name", "new_name");
    const std::pair<const char*, bool> rows[] = {
        {"x = OLDNAME;", true}, {"bold_names", true}, {"old nam", false}, {"", false}, {"1234 -- _", false},
    };
    for (const auto& [bytes, may] : rows) EXPECT_EQ(change.MayMatch(bytes), may) << bytes;
}

TEST(CaseLike, FollowsTheMatchsCase)
{
    const char* rows[][3] = {
        {"FOO", "bar", "BAR"},         {"foo", "BaR", "bar"},     {"Foo", "bAR baz", "Bar baz"},
        {"fOo", "bAr", "bAr"},         {"123", "bAr", "bAr"},     {"(Foo)", "x_bar", "X_bar"},
        {"F", "bar", "BAR"},           {"f2", "Bar", "bar"},      {"FOO-1", "bar_2", "BAR_2"},
        {"FooBar", "quux", "quux"},   {"", "Quux", "Quux"},      {"Straße", "strasse", "Strasse"},
    };
    for (const auto& row : rows) {
        std::string replacement = row[1];
        CaseLikeInPlace(row[0], replacement);
        EXPECT_EQ(replacement, row[2]) << row[0];
    }
}

TEST(CaseLike, AppliedToEveryWildCardMatchThroughTheHook)
{
    const std::tuple<const char*, const char*, const char*, bool> rows[] = {
        {"f?o", "bar", "FOO foo Foo fOo", false},
        {"f{*}1o", "b{}1r", "FXO fyo Fzo", false},
        {"foo", "bar", "FOO foo Foo", true},
    };
    const char* results[] = {"BAR bar Bar bar", "BXR byr Bzr", "FOO bar Foo"};
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const auto& [pattern, replacement, text, caseSensitive] = rows[i];
        TPreparedChange change(pattern, replacement, caseSensitive, /*WildCards=*/true, /*ExpandReplacement=*/true,
                               /*WholeWords=*/false, /*BalanceParens=*/true, /*SpanLines=*/false);
        change.SetReplacementHook(CaseLikeInPlace);
        std::string s = text;
        change.ReplaceAll(s);
        EXPECT_EQ(s, results[i]) << pattern;
    }
}

}  // namespace
}  // namespace varnok
