#include <gtest/gtest.h>

#include "FileMask.h"
#include "TextUtils.h"

namespace varnok {
namespace {

TEST(ReportLine, CountInFiveColumnsNameFromColumnTwelve) {
    const struct {
        long long count;
        const char* line;
    } rows[] = {
        {0, "    0      /src/a.c"},
        {3, "    3      /src/a.c"},
        {12, "   12      /src/a.c"},
        {1234, " 1234      /src/a.c"},
        {12345, "12345      /src/a.c"},   // five digits: PadLeft leaves them alone
        {123456, "123456     /src/a.c"},
        {1234567890, "1234567890 /src/a.c"},
        {12345678901, "12345678901/src/a.c"},  // past ten digits nothing is added
    };
    for (const auto& row : rows) EXPECT_EQ(ReportLine(row.count, "/src/a.c"), row.line);
}

TEST(Pad, AddsOneMoreThanTheWidthAndLeavesLongerTextAlone) {
    EXPECT_EQ(PadLeft("", 2, '*'), "***");
    EXPECT_EQ(PadLeft("abc", 2, '*'), "abc");
    EXPECT_EQ(PadRight("ab", 2, '*'), "ab*");
    EXPECT_EQ(IntToText(-42), "-42");
}

TEST(ChangeExtension, OnlyTheLastNameCounts) {
    const struct {
        const char* name;
        const char* extension;
        const char* result;
    } rows[] = {
        {"/src/a.txt", "BAK", "/src/a.BAK"},
        {"/my.dir/Makefile", "BAK", "/my.dir/Makefile.BAK"},
        {"/src/a.tar.gz", "BAK", "/src/a.tar.BAK"},
        {"README", "$$$", "README.$$$"},
        {"a.txt", ".BAK", "a.BAK"},
        {"a.txt", "", "a"},
        {"/src/.profile", "BAK", "/src/.BAK"},
        {"/src/a.", "BAK", "/src/a.BAK"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ChangeExtension(row.name, row.extension), row.result) << row.name;
    }
}

TEST(SplitLines, EveryKindOfBreakAndNoLineAfterTheLastBreak) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("abc"), Lines{"abc"});
    EXPECT_EQ(SplitLines("abc\n"), Lines{"abc"});
    EXPECT_EQ(SplitLines("abc\n\n"), (Lines{"abc", ""}));
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\n\r\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitLines("a\r\rb"), (Lines{"a", "", "b"}));
}

TEST(MaskMatches, PlatformRules) {
    const struct {
        const char* mask;
        const char* name;
        bool matches;
    } rows[] = {
        {"*.*", "Makefile", true},   {"*.*", "a.b.c", true},     {"*.txt", "A.TXT", true},
        {"*.txt", "a.txt.bak", false}, {"*.TXT", "notes.txt", true}, {"a?c", "abc", true},
        {"a?c", "ac", false},       {"*", "x", true},           {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYbZ", false}, {"README.*", "README", true}, {"README.*", "README.md", true},
        {"*.c", "c", false},        {"x.*", "y.x", false},      {"", "a", false},
        {"**.h", "a.h", true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(MaskMatches(row.mask, row.name), row.matches) << row.mask << " " << row.name;
    }
}

}  // namespace
}  // namespace varnok
