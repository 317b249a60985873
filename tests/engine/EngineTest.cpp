// The engine's behaviour, row by row: the pattern language, single searches,
// and replace-all with its replacement escapes, groups and indentation.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/Pattern.h"
#include "engine/Search.h"
#include "engine/Substitution.h"

namespace varnok {
namespace {

using namespace std::string_literals;

const std::string CRLF = "\r\n";

// A typed text and what an in-place rewrite makes of it.
struct TRewriteRow {
    std::string typed;
    std::string rewritten;
};

void ExpectRewrites(const std::vector<TRewriteRow>& rows, void (*rewrite)(std::string&))
{
    for (const TRewriteRow& row : rows) {
        std::string s = row.typed;
        rewrite(s);
        EXPECT_EQ(s, row.rewritten) << row.typed;
    }
}

TEST(Pattern, CompilesWildCardsEscapesAndControlCharacters)
{
    const std::vector<TRewriteRow> rows = {
        {"abc", "abc"},
        {"a?c", "a\x11" "c"},
        {"{*}1", "\x0f\x13\x10" "1"},
        {"}", "\x10"},
        {"+!$@", "\x12\x14\x15\x16"},
        {"A\\BC", "ABC"},
        {"\\*", "*"},
        {"\\\\", "\\"},
        {"ab\\", "ab"},
        {"\\", ""},
        {"a^nb^Nc", "a\rb\rc"},
        {"^t^T", "\t\t"},
        {"^x", "^x"},
        {"a^", "a^"},
        {"\\^n", "^n"},
    };
    ExpectRewrites(rows, CompilePattern);
}

TEST(Pattern, WildCardsAreSevenCharactersAndOnlyWhenSwitchedOn)
{
    for (const char* p : {"*", "?", "!", "$", "@", "{", "+", "a\\*"}) {
        EXPECT_TRUE(HasWildCards(true, p)) << p;
        EXPECT_FALSE(HasWildCards(false, p)) << p;
    }
    for (const char* p : {"abc", "}1", "^n", "\\a", ""}) EXPECT_FALSE(HasWildCards(true, p)) << p;
}

enum TOption { Words = 1, Parens = 2, Span = 4 };

struct TSearchRow {
    std::string pattern;  // as typed
    std::string text;
    int options;
    int start;
    int end;
};

TMatch Search(const TSearchRow& row, TSearchContext& context)
{
    std::string pattern = row.pattern;
    context.WildActive = HasWildCards(true, pattern);
    context.WholeWords = (row.options & Words) != 0;
    context.BalanceParens = (row.options & Parens) != 0;
    context.SpanLines = (row.options & Span) != 0;
    CompilePattern(pattern);
    ClearGroups(context);
    return FindMatch(context, pattern, row.text, 0);
}

TEST(FindMatch, PatternLanguageCases)
{
    const std::vector<TSearchRow> rows = {
        {"abc", "xxabcx", 0, 2, 4},
        {"A\\BC", "xABCx", 0, 1, 3},
        {"a?c", "abc", 0, 0, 2},
        {"*abc", "xabc", 0, 0, 3},
        {"abc*", "xxabc", 0, -1, -1},
        {"abc*", "abcd", 0, 0, 2},
        {"ab+c", "ac", 0, 0, 1},
        {"ab+c", "abc", 0, 0, 2},
        {"ab+c", "abbbc", 0, 0, 4},
        {"a+ab", "ab", 0, -1, -1},
        {"b+c", "c", 0, -1, -1},
        {"+abc", "some abc text", 0, -1, -1},
        {"a*b", "a\rb", 0, -1, -1},
        {"ab*$", "abc\r\nabc", 0, -1, -1},
        {"ab$", "ab\r", 0, 0, 2},
        {"a*b", "a\r\nb", Span, 0, 3},
        {"a*b", "a\nb", 0, 0, 2},
        {"abc$", "xabc", 0, 1, 3},
        {"abc$}1", "xabc", 0, -1, -1},
        {"!abc", "x\r\nabc", 0, 2, 5},
        {"!abc", "\r\nabc", 0, 1, 4},
        {"!abc", "abc", 0, 0, 2},
        {"a!b", "a b", 0, -1, -1},
        {"a!b", "a\x14" "b", 0, 0, 2},
        {"ab{", "abc", 0, -1, -1},
        {"f(*)", "f(a(b)c)", Parens, 0, 7},
        {"f(*)", "f(a(b)", Parens, -1, -1},
        {"f(*)", "f(a(b)", 0, 0, 5},
        {"AB", "XAB AB", Words, 4, 5},
        {"A?", "XAB AB", Words, 4, 5},
        {"abc", "x\0abc"s, 0, -1, -1},
        {"a*b", "a\0b"s, Span, -1, -1},
        {"a*b", "a" + std::string(6000, 'c') + "b", Span, -1, -1},
        {"a*b", "a" + std::string(4990, 'c') + "b", Span, 0, 4991},
        // A text byte equal to a code is taken by the comparison before the code.
        {"a?c", "a\x11" "c", 0, 0, 2},
        {"x*", "x\x13", 0, 0, 1},
        // "@" and "$" as first element have no case in the scanner.
        {"@b", "ab", 0, -1, -1},
        {"$b", "\rb", 0, -1, -1},
        {"a@", "aB", 0, 0, 1},
        // A match takes at least one byte; a lone "*" or "!" finds nothing.
        {"*", "abc", 0, -1, -1},
        {"!", "abc", 0, -1, -1},
        {"*abc", "abc", 0, 0, 2},
        {"*$", "ab\r", 0, 1, 2},
        // Several leading "{" lose one per start position.
        {"{{ab", "abab", 0, 2, 3},
    };
    for (const TSearchRow& row : rows) {
        TSearchContext context;
        const TMatch m = Search(row, context);
        EXPECT_EQ(m.Start, row.start) << row.pattern << " in " << row.text.substr(0, 40);
        EXPECT_EQ(m.End, row.end) << row.pattern << " in " << row.text.substr(0, 40);
    }
}

TEST(FindMatch, GroupsAreWholeTextIndices)
{
    struct TRow {
        std::string pattern;
        std::string text;
        int offset;
        std::vector<std::pair<int, std::pair<int, int>>> slots;  // slot, start, end
    };
    const std::vector<TRow> rows = {
        {"x{ab}1c", "xabc", 0, {{2, {1, 2}}}},
        {"x{a{b}1c}2", "xabc", 0, {{2, {2, 2}}, {3, {2, 3}}}},
        {"x{ab}1c", "..xabc", 2, {{2, {3, 4}}}},
        {"x{}1y", "xy", 0, {{2, {1, 0}}}},
        // A group opened by the first element starts with the match, at 0 too.
        {"{ab}1", "abc", 0, {{2, {0, 1}}}},
        {"{ab}0", "zab", 0, {{1, {1, 2}}}},
        // Behind a first element that took nothing, groups still hold what they took.
        {"*{ab}1", "ab!", 0, {{2, {0, 1}}}},
    };
    for (const TRow& row : rows) {
        TSearchContext context;
        std::string pattern = row.pattern;
        context.WildActive = true;
        CompilePattern(pattern);
        ClearGroups(context);
        ASSERT_TRUE(FindMatch(context, pattern, row.text, row.offset).Found()) << row.pattern;
        int set = 0;
        for (bool s : context.Groups.Set) set += s;
        EXPECT_EQ(set, static_cast<int>(row.slots.size())) << row.pattern;
        for (const auto& [slot, bounds] : row.slots) {
            EXPECT_TRUE(context.Groups.Set[slot]) << row.pattern << " slot " << slot;
            EXPECT_EQ(context.Groups.GroupStart[slot], bounds.first) << row.pattern << " slot " << slot;
            EXPECT_EQ(context.Groups.GroupEnd[slot], bounds.second) << row.pattern << " slot " << slot;
        }
    }
}

TEST(Replacement, EscapesLineBreaksAndGroupReferences)
{
    const std::vector<TRewriteRow> rows = {
        {"x^ny", "x\r\ny"},
        {"^N", "\r\n"},
        {"^t", "\t"},
        {"\\^n", "^n"},
        {"\\{}1", "{}1"},
        {"{}9", "{}9"},
        {"ab\\", "ab\\"},
        {"\\\\", "\\"},
        {"{}1{}8", "\x01\x08"},
        {"{}0", "\0"s},
        {"{}", "{}"},
        {"^", "^"},
        {"a^n", "a\r\n"},
    };
    ExpectRewrites(rows, PrepareReplacement);
}

TEST(Replacement, LineStartsAndIndentation)
{
    EXPECT_EQ(LineStartOf("abc", 2), 1);
    EXPECT_EQ(LineStartOf("ab\ncd", 3), 4);
    EXPECT_EQ(LineStartOf("ab\ncd", 2), 1);
    EXPECT_EQ(LineStartOf("\n\nx", 2), 3);
    EXPECT_EQ(IndentOf("  \tx", 3), 2);
    EXPECT_EQ(IndentOf("x\n   y", 5), 3);
    EXPECT_EQ(IndentOf("   ", 1), 2);  // the text's last byte is never counted

    struct TRow {
        std::string r;
        int indent;
        std::string indented;
    };
    const std::vector<TRow> rows = {
        {"a\r\nb", 2, "a\r\n  b"},
        {"a\r", 2, "a\r"},
        {"\r\r", 1, "\r\r  "},
        {"\r\n\r\n", 1, "\r\n \r\n "},
        {"a\rb", 0, "a\rb"},
        {"\rx", 3, "\rx   "},
    };
    for (const TRow& row : rows) {
        std::string r = row.r;
        IndentLineBreaks(r, row.indent);
        EXPECT_EQ(r, row.indented);
    }
}

struct TReplaceRow {
    std::string pattern;
    std::string replacement;
    std::string text;
    int count;
    std::string result;
};

void ExpectEditPass(const std::vector<TReplaceRow>& rows)
{
    for (const TReplaceRow& row : rows) {
        std::string text = row.text;
        EXPECT_EQ(ReplaceAll(text, row.pattern, row.replacement, false, true, true, false, true, false), row.count)
            << row.pattern << " -> " << row.replacement;
        EXPECT_EQ(text, row.result) << row.pattern << " -> " << row.replacement;
    }
}

TEST(ReplaceAll, SubstitutionCases)
{
    ExpectEditPass({
        {"", "x", "abc", 0, "abc"},
        {"a", "x", "", 0, ""},
        {"a", "aa", "aaa", 3, "aaaaaa"},
        {"abc", "X", "ABC aBc", 2, "X X"},
        {"f({*}1)", "g({}1)", "F(AbC)", 1, "g(AbC)"},
        {"pat", "x^ny", "  pat", 1, "  x" + CRLF + "  y"},
        {"pat", "x^ny", "a" + CRLF + "  b pat", 1, "a" + CRLF + "  b x" + CRLF + "  y"},
        {"pat", "^t", "pat", 1, "\t"},
        {"pat", "\\^n", "pat", 1, "^n"},
        {"pat", "\\{}1", "pat", 1, "{}1"},
        {"pat", "{}9", "pat", 1, "{}9"},
        {"pat", "ab\\", "pat", 1, "ab\\"},
        {"pat", "{}3", "pat", 1, ""},
        {"abc", "x", "abc\0abc"s, 1, "x\0abc"s},
        {"abc", "x", "abc\0ab\0c"s, 1, "x\0ab\0c"s},
        // A lone "*" takes nothing, so it replaces nothing; a lone "!" takes only
        // the byte after a CR.
        {"*", "x", "abc", 0, "abc"},
        {"!", "x", "ab", 0, "ab"},
        {"!", "x", "a" + CRLF + "b", 1, "a\rxb"},
        {"*abc", "x", "abc", 1, "x"},
        // Group 0 is inserted like the others; no NUL byte reaches the text.
        {"{ab}0", "<{}0>", "zabz", 1, "z<ab>z"},
        {"x", "{}0", "axb", 1, "ab"},
        // Group text that holds placeholder bytes is copied as it is.
        {"{?}1", "[{}1]", "\x02", 1, "[\x02]"},
        // An empty replacement at the text's start searches from a line start again.
        {"!a", "", "aaa", 3, ""},
        // Indentation reads the line as earlier replacements left it.
        {"x", "^n ", "xx", 2, CRLF + " " + CRLF + "  "},
        // Inserted text is never searched again.
        {"ab", "abab", "abab", 2, "abababab"},
    });
}

TEST(ReplaceAll, OptionsOtherThanTheEditPass)
{
    struct TRow {
        std::string pattern;
        std::string replacement;
        std::string text;
        bool caseSensitive, wildCards, expand, wholeWords, parens, span;
        int count;
        std::string result;
    };
    const std::vector<TRow> rows = {
        {"abc", "X", "ABC abc", true, true, true, false, false, false, 1, "ABC X"},
        {"a*c", "X", "a*c abc", false, false, true, false, false, false, 1, "X abc"},
        {"a", "^n", "a", false, true, false, false, false, false, 1, "^n"},
        {"ab", "X", "ab xab abc ab", false, true, true, true, false, false, 2, "X xab abc X"},
        // Searching case-sensitively, lower-case letters are word characters all the same.
        {"ab", "X", "AB xab ab", true, true, true, true, false, false, 1, "AB xab X"},
        {"x@+", "Y", "xab XAB", true, true, true, true, false, false, 1, "Y XAB"},
        {"a*b", "X", "a" + CRLF + "b", false, true, true, false, false, true, 1, "X"},
        {"(*)", "X", "((a)", false, true, true, false, false, false, 1, "X"},
        {"(*)", "X", "((a)", false, true, true, false, true, false, 1, "(X"},
    };
    for (const TRow& row : rows) {
        std::string text = row.text;
        EXPECT_EQ(ReplaceAll(text, row.pattern, row.replacement, row.caseSensitive, row.wildCards,
                             row.expand, row.wholeWords, row.parens, row.span),
                  row.count)
            << row.pattern;
        EXPECT_EQ(text, row.result) << row.pattern;
    }
}

TEST(ReplaceAll, TwoEqualChangesSearchTheChangedText)
{
    std::string text = "aXa";
    EXPECT_EQ(ReplaceAll(text, "a", "aa", false, true, true, false, true, false), 2);
    EXPECT_EQ(ReplaceAll(text, "a", "aa", false, true, true, false, true, false), 4);
    EXPECT_EQ(text, "aaaaXaaaa");
}

// Inputs that would exhaust a recursive matcher's stack or its patience.
TEST(ReplaceAll, HugePatternsAndLongRunsEnd)
{
    std::string text(200000, 'a');
    std::string pattern(100000, '?');
    EXPECT_EQ(ReplaceAll(text, pattern, "x", false, true, true, false, true, false), 2);
    EXPECT_EQ(text, "xx");

    const std::string run(200000, 'a');
    for (const char* pattern : {"a+a+a+a+a+a+b", "{a+}1{a+}2b"}) {
        std::string text = run;
        EXPECT_EQ(ReplaceAll(text, pattern, "x", false, true, true, false, true, false), 0) << pattern;
    }
    std::string lines;
    for (int i = 0; i < 100; ++i) lines += "x" + std::string(999, 'a') + CRLF;
    EXPECT_EQ(ReplaceAll(lines, "x*a*a*a*a*b", "y", false, true, true, false, true, true), 0);
}

}  // namespace
}  // namespace varnok
