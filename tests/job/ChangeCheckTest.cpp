// The change-list check: each finding warns on its mistake and keeps quiet on
// a near miss; and every pattern it calls unmatchable is tried against the
// engine's own ReplaceAll on texts built to match it.

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "ChangeCheck.h"
#include "WorkingText.h"
#include "engine/Engine.h"
#include "engine/Pattern.h"

namespace varnok {
namespace {

using Lines = std::vector<std::string>;

// The run's replace-all on the text as the edit pass hands it over.
int RunCount(std::string contents, const std::string& pattern, const TMatchOptions& o) {
    TWorkingText work = MakeWorkingText(contents, false);
    return ReplaceAll(work.Text, pattern, "#", o.CaseSensitive, true, true, o.WholeWords, true, o.SpanLines);
}

constexpr TMatchOptions kDesigned{};
constexpr TMatchOptions kSpan{false, false, true};
constexpr TMatchOptions kWords{false, true, false};

TEST(ChangeCheck, EachUnmatchablePatternAndItsNearMiss) {
    const struct {
        TMatchOptions options;
        std::string pattern, why;        // never matches, and says so
        std::string nearMiss, matched;   // matches that text, no finding
    } rows[] = {
        {kDesigned, "ab{", "ends in \"{\"", "a{b", "ab"},
        {kDesigned, "+ab", "begins with \"+\"", "a+b", "aab"},
        {kDesigned, "@+x", "cannot begin with \"@\"", "x@+", "xy1"},
        {kDesigned, "$x", "cannot begin with \"$\"", "x$", "x"},
        {kDesigned, "}1a?", "cannot begin with \"}\"", "a}1?", "ab"},
        {kDesigned, "a!b", "\"!\" is a line start", "!ab", "ab"},
        {kDesigned, "a{*}", "ends a group only", "a\\}*", "a}x"},
        {kDesigned, "x{+y", "right after \"{\"", "x{{+y", "xy"},
        {kDesigned, "x}1+y", "right after \"{\"", "x}1y+", "xy"},
        {kDesigned, "a*$", "stops at the end of a line", "*$", "ab"},
        {kDesigned, "a?^nb", "only when \"Span Lines", "a?$", "ab"},
        {kSpan, "a?^nb", "takes only the CR", "a?^n?b", "ax\nb"},
        {kDesigned, "a^nb", "takes only the CR", "a^n", "a\n"},
        {kDesigned, "a$b", "takes only the CR", "a$?b", "a\nb"},
        {kWords, "size_t {@+}1;", "is none of them", "size_t", "size_t x"},
        {kWords, "a$", "line break of \"$\"", "a", "a"},
        {kWords, "?a$", "line break of \"$\"", "!{$", "a"},  // "!" takes the last LF
        {kWords, "ab$?c", "line break of \"$\"", "ab?c", "abxc"},
        {kDesigned, "f({@+}1", "more \"(\"", "f({*}1", "f(a);"},
        {kDesigned, "abc}1", "without wild cards", "abc\\}1", "abc}1"},
        {kDesigned, "\\", "escapes", "\\\\", "\\"},
    };
    for (const auto& row : rows) {
        EXPECT_NE(WhyNeverMatches(row.pattern, row.options).find(row.why), std::string::npos)
            << row.pattern << ": " << WhyNeverMatches(row.pattern, row.options);
        EXPECT_EQ(WhyNeverMatches(row.nearMiss, row.options), "") << row.nearMiss;
        EXPECT_GT(RunCount(row.matched, row.nearMiss, row.options), 0) << row.nearMiss;
    }
}

// Texts that follow a pattern element by element, with a little noise: where
// a pattern can match at all, some of them hold a match.
class TWitnesses {
public:
    explicit TWitnesses(unsigned seed) : m_random(seed) {}

    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    std::string Pattern() {
        static const Lines kTokens = {"a", "a", "b", "B", "_", "1", " ", "(", ")", ";", "*", "*", "?",
                                      "+", "+", "!", "$", "$", "@", "{", "{", "}1", "}2", "}", "}9",
                                      "\\}", "\\!", "^n", "^t", "x", "\\", "*$"};
        std::string s;
        for (int n = 1 + Below(6); n > 0; --n) s += kTokens[Below(static_cast<int>(kTokens.size()))];
        return s;
    }

    std::string Noise(int most) {
        static const std::string kBytes = "aAbB_1 ();x\t{}\r\n\n+*";
        std::string s;
        for (int n = Below(most + 1); n > 0; --n) s += kBytes[Below(static_cast<int>(kBytes.size()))];
        return s;
    }

    std::string Follow(std::string pattern, bool caseSensitive) {
        if (!caseSensitive) UpperCaseInPlace(pattern);
        CompilePattern(pattern);
        std::string text = Noise(3);
        std::string last;
        for (std::size_t j = 0; j < pattern.size(); ++j) {
            const auto e = static_cast<unsigned char>(pattern[j]);
            std::string piece;
            if (e == GroupClose && j + 1 < pattern.size() && IsGroupDigit(pattern[j + 1])) {
                ++j;
            } else if (e == Repeat) {
                for (int k = Below(3); k > 0; --k) piece += last;
            } else if (e == AnyChar || e == WordChar) {
                piece = std::string(1, "aB_9x("[Below(e == WordChar ? 5 : 6)]);
            } else if (e == AnySequence) {
                piece = Noise(3);
            } else if (e == LineStart || e == LineEnd) {
                piece = Below(2) ? "\r\n" : "";
            } else if (e < GroupOpen || e > WordChar) {  // a "}" taken literally needs a code byte
                piece = std::string(1, static_cast<char>(caseSensitive || Below(2) ? e : std::tolower(e)));
            }
            if (Below(8) == 0) piece = Noise(2);
            text += piece;
            last = piece;
        }
        return text + Noise(3);
    }

private:
    std::mt19937 m_random;
};

TEST(ChangeCheck, NoTextMatchesAPatternCalledUnmatchable) {
    TWitnesses gen(20260414);
    std::map<std::string, int> reasons;
    int mayMatch = 0;
    int witnessed = 0;
    for (int round = 0; round < 20000; ++round) {
        const std::string pattern = gen.Pattern();
        const TMatchOptions options{gen.Below(2) == 0, gen.Below(3) == 0, gen.Below(2) == 0};
        const std::string why = WhyNeverMatches(pattern, options);
        bool matched = false;
        for (int k = 0; k < 12; ++k) {
            const std::string text = k < 8 ? gen.Follow(pattern, options.CaseSensitive) : gen.Noise(24);
            const int count = RunCount(text, pattern, options);
            ASSERT_TRUE(why.empty() || count == 0) << "pattern " << pattern << " text " << text << ": " << why;
            matched = matched || count > 0;
        }
        if (why.empty()) {
            ++mayMatch;
            witnessed += matched;
        } else {
            ++reasons[why.substr(0, 24)];
        }
    }
    // The texts are good enough to find most patterns that can match, and
    // every kind of rule was put to the test.
    EXPECT_GT(witnessed, mayMatch * 3 / 4) << witnessed << " of " << mayMatch;
    for (const auto& [reason, count] : reasons) EXPECT_GE(count, 20) << reason;
    EXPECT_GE(reasons.size(), 13u) << ::testing::PrintToString(reasons);
}

// Each row warns once (the finding begins so) or, as a near miss, not at all.
TEST(ChangeCheck, FindingsNameTheChangeAndItsFirstLine) {
    const std::pair<Lines, std::string> rows[] = {
        {{"f({*}1,{*}2)", "g({}2)", "--", "new_name({*}1)", "new_name({}2)", "--"},
         "Change 2, line 4 \"new_name({*}1)\": the replacement inserts group 2 (\"{}2\"), but the pattern "
         "never closes it with \"}2\", so nothing is inserted there"},
        {{"name", "{}1", "--", "a\\{}2", "\\{}2", "--"}, "Change 1, line 1 \"name\": the replacement inserts "
                                                     "group 1 (\"{}1\"), but a pattern without wild cards"},
        {{"a", "b", "", "+x", "y", ""}, "Change 2, line 4 \"+x\": the pattern can never match: it begins"},
        {{"a", "b", "--", "c"}, "Change 2, line 4 \"c\": the change text ends after this search line"},
        {{"a", "b", "--", "c", ""}, ""},
        {{"a", "b", "--", ""}, ""},
        {{"size_t {@+}1;", "size_type {}1;", "old_name({*}1)", "new_name({}1)", "--", "x"},
         "Change 1, line 1 \"size_t {@+}1;\": its separator, line 3 \"old_name({*}1)\", looks like a "
         "pattern: if a line is missing above it, every later change is read one line off"},
        {{"a", "b", "*****", "c", "d", "+-+-+"}, ""},  // rulers
        {{"a", "b", "old_name({*}1)"}, ""},            // nothing after it to shift
        {{}, "The change list holds no change: the run would only count files"},
        {{"", "x", "--"}, "The change list holds no change"},
        {{"a", ""}, ""},
    };
    for (const auto& [text, finding] : rows) {
        const Lines found = CheckChangeList(text, kDesigned);
        EXPECT_EQ(found.size(), finding.empty() ? 0u : 1u) << ::testing::PrintToString(found);
        if (found.size() == 1) {
            EXPECT_EQ(found[0].substr(0, finding.size()), finding);
        }
    }
}

}  // namespace
}  // namespace varnok
