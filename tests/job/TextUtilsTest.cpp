#include <gtest/gtest.h>

#include "FileMask.h"
#include "TextUtils.h"

namespace varnok {
namespace {

TEST(ReportLine, CountInFiveColumnsNameFromColumnTwelve) {
    const std::pair<long long, const char*> rows[] = {
        {0, "    0      /src/a.c"},       {12, "   12      /src/a.c"},
        {12345, "12345      /src/a.c"},   {123456, "123456     /src/a.c"},
        {1234567890, "1234567890 /src/a.c"}, {12345678901, "12345678901/src/a.c"},
    };
    for (const auto& [count, line] : rows) EXPECT_EQ(ReportLine(count, "/src/a.c"), line);
}

TEST(ChangeExtension, OnlyTheLastNameCounts) {
    const char* rows[][3] = {
        {"/src/a.txt", "BAK", "/src/a.BAK"},     {"/my.dir/Makefile", "BAK", "/my.dir/Makefile.BAK"},
        {"/src/a.tar.gz", "BAK", "/src/a.tar.BAK"}, {"README", "$$$", "README.$$$"},
        {"a.txt", ".BAK", "a.BAK"},              {"a.txt", "", "a"},
    };
    for (const auto& row : rows) EXPECT_EQ(ChangeExtension(row[0], row[1]), row[2]) << row[0];
}

TEST(SplitLines, EveryKindOfBreakAndNoLineAfterTheLastBreak) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(SplitLines("abc\n"), Lines{"abc"});
    EXPECT_EQ(SplitLines("abc\n\n"), (Lines{"abc", ""}));
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd\n\r\n\r"), (Lines{"a", "b", "c", "d", "", ""}));
}

TEST(MaskMatches, PlatformRules) {
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"*.*", "Makefile", true},  {"*.*", "a.b.c", true},       {"*.TXT", "a.txt", true},
        {"*.txt", "a.txt.bak", false}, {"a?c", "abc", true},      {"a?c", "ac", false},
        {"a*b*c", "aXbYbZc", true}, {"a*b*c", "aXbYbZ", false},   {"README.*", "README", true},
        {"*.c", "c", false},        {"x.*", "y.x", false},        {"", "a", false},
    };
    for (const auto& [mask, name, matches] : rows) {
        EXPECT_EQ(MaskMatches(mask, name), matches) << mask << " " << name;
    }
}

}  // namespace
}  // namespace varnok
