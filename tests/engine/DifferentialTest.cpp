// The fast engine against the literal transcription of the designed algorithm,
// on seeded random patterns, replacements and texts.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Reference.h"
#include "engine/Engine.h"
#include "engine/Matcher.h"
#include "engine/Pattern.h"
#include "engine/Search.h"

namespace varnok {
namespace {

class TGenerator {
public:
    explicit TGenerator(unsigned seed) : m_random(seed) {}

    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    bool Chance(int percent) { return Below(100) < percent; }

    std::string Text(int maxLength)
    {
        static const std::string kBytes = "aaabbAB()()_19 x\r\n\r\n\t{}";
        std::string s;
        const int n = Below(maxLength + 1);
        for (int i = 0; i < n; ++i) s += Chance(2) ? '\0' : kBytes[Below(static_cast<int>(kBytes.size()))];
        return s;
    }

    std::string Pattern()
    {
        static const std::vector<std::string> kTokens = {
            "a", "a", "b", "A", "(", ")", "_", "1", " ", "x", "\r", "\n",
            "*", "*", "?", "+", "+", "!", "$", "@", "{", "{", "}1", "}2", "}0", "}", "}9",
            "\\", "\\*", "^n", "^t", "^"};
        std::string s;
        const int n = 1 + Below(6);
        for (int i = 0; i < n; ++i) s += kTokens[Below(static_cast<int>(kTokens.size()))];
        return s;
    }

    // Groups, sequences and repeats only: failed branches that move the group
    // mark, then a later group that reads it.
    std::string GroupPattern()
    {
        static const std::vector<std::string> kTokens = {"a", "b", "*", "?", "+", "{", "}1", "}2"};
        std::string s;
        const int n = 3 + Below(8);
        for (int i = 0; i < n; ++i) s += kTokens[Below(static_cast<int>(kTokens.size()))];
        return s;
    }

    std::string GroupText(int maxLength)
    {
        std::string s;
        const int n = Below(maxLength + 1);
        for (int i = 0; i < n; ++i) s += "aab"[Below(3)];
        return s;
    }

    std::string Replacement()
    {
        static const std::vector<std::string> kTokens = {
            "", "y", "Z", "a", "{}1", "{}2", "{}0", "{}9", "{}", "^n", "^N", "^t", "\\", "\\{}1",
            " ", "\r", "\x01", "\x02"};
        std::string s;
        const int n = Below(4);
        for (int i = 0; i < n; ++i) s += kTokens[Below(static_cast<int>(kTokens.size()))];
        return s;
    }

private:
    std::mt19937 m_random;
};

std::string Show(const std::string& s)
{
    std::string out;
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32 || b == '\\') {
            out += "\\x" + std::to_string(b) + ";";
        } else {
            out += c;
        }
    }
    return out;
}

TEST(EngineDifferential, ReplaceAllMatchesTheDesignedAlgorithm)
{
    TGenerator gen(20261207);
    for (int round = 0; round < 30000; ++round) {
        const std::string pattern = gen.Pattern();
        const std::string replacement = gen.Replacement();
        const std::string text = gen.Text(48);
        bool o[6];
        for (bool& b : o) b = gen.Chance(50);
        // The edit pass's options are the most important ones: favour them.
        if (gen.Chance(40)) {
            o[0] = false;
            o[1] = o[2] = o[4] = true;
            o[3] = false;
        }
        std::string fast = text;
        std::string slow = text;
        const int fastCount = ReplaceAll(fast, pattern, replacement, o[0], o[1], o[2], o[3], o[4], o[5]);
        const int slowCount = reference::ReplaceAll(slow, pattern, replacement, o[0], o[1], o[2], o[3], o[4], o[5]);
        ASSERT_EQ(fastCount, slowCount) << "round " << round << " pattern " << Show(pattern)
                                        << " replacement " << Show(replacement) << " text " << Show(text);
        ASSERT_EQ(fast, slow) << "round " << round << " pattern " << Show(pattern)
                              << " replacement " << Show(replacement) << " text " << Show(text);
        // The shortcut that skips a text must never skip one with a match.
        const TPreparedChange prepared(pattern, replacement, o[0], o[1], o[2], o[3], o[4], o[5]);
        ASSERT_TRUE(fastCount == 0 || prepared.MayMatch(text))
            << "round " << round << " pattern " << Show(pattern) << " text " << Show(text);
    }
}

TEST(EngineDifferential, FindMatchReportsTheSameMatchAndGroups)
{
    TGenerator gen(7);
    for (int round = 0; round < 30000; ++round) {
        std::string pattern = gen.Pattern();
        const std::string text = gen.Text(64);
        const int offset = gen.Below(static_cast<int>(text.size()) + 2) - 1;
        TSearchContext fast;
        reference::TContext slow;
        fast.WildActive = HasWildCards(true, pattern);
        reference::HasWildCards(slow, true, pattern);
        fast.WholeWords = slow.WholeWords = gen.Chance(25);
        fast.BalanceParens = slow.BalanceParens = gen.Chance(50);
        fast.SpanLines = slow.SpanLines = gen.Chance(50);
        CompilePattern(pattern);
        ClearGroups(fast);
        reference::ClearGroups(slow);
        const TMatch m = FindMatch(fast, pattern, text, offset);
        int start = -1;
        int end = -1;
        reference::FindMatch(slow, pattern, text, offset, start, end);
        const std::string what = "round " + std::to_string(round) + " pattern " + Show(pattern) +
                                 " text " + Show(text) + " offset " + std::to_string(offset);
        ASSERT_EQ(m.Start, start) << what;
        ASSERT_EQ(m.End, end) << what;
        if (!m.Found()) continue;
        for (int s = 0; s <= 10; ++s) {
            ASSERT_EQ(fast.Groups.Set[s], slow.Set[s]) << what << " slot " << s;
            if (!slow.Set[s]) continue;
            ASSERT_EQ(fast.Groups.GroupStart[s], slow.GroupStart[s]) << what << " slot " << s;
            ASSERT_EQ(fast.Groups.GroupEnd[s], slow.GroupEnd[s]) << what << " slot " << s;
        }
    }
}

TEST(EngineDifferential, GroupHeavyPatternsAgree)
{
    TGenerator gen(1234);
    for (int round = 0; round < 20000; ++round) {
        const std::string pattern = gen.GroupPattern();
        const std::string text = gen.GroupText(40);
        std::string fast = text;
        std::string slow = text;
        const int n = ReplaceAll(fast, pattern, "<{}1|{}2>", false, true, true, false, false, false);
        const int m = reference::ReplaceAll(slow, pattern, "<{}1|{}2>", false, true, true, false, false, false);
        ASSERT_EQ(n, m) << "pattern " << Show(pattern) << " text " << text;
        ASSERT_EQ(fast, slow) << "pattern " << Show(pattern) << " text " << text;
    }
}

// Every failure remembered, and the memory kept across successive searches of
// one text: a remembered failure must also restore the group mark that its
// branch left behind ("?+}1b+{a" on "bbxbabbaaa" needs that).
TEST(EngineDifferential, RememberingEveryFailureChangesNoMatch)
{
    TGenerator gen(99);
    for (int round = 0; round < 8000; ++round) {
        std::string pattern = round == 0 ? "?+}1B+{A" : gen.GroupPattern();
        const std::string text = round == 0 ? "BBXBABBAAA" : gen.GroupText(40);
        CompilePattern(pattern);
        TSearchContext fast;
        fast.WildActive = true;
        reference::TContext slow;
        slow.WildActive = true;
        TMatcher matcher(fast, pattern, text, static_cast<int>(text.size()), WordChars, 1);
        for (int from = 0; from < static_cast<int>(text.size());) {
            ClearGroups(fast);
            reference::ClearGroups(slow);
            const TMatch m = matcher.ScanForMatch(from, from == 0);
            int start = -1;
            int end = -1;
            reference::FindMatch(slow, pattern, text, from, start, end);
            const std::string what = "pattern " + Show(pattern) + " text " + text + " from " + std::to_string(from);
            ASSERT_EQ(m.Start, start) << what;
            ASSERT_EQ(m.End, end) << what;
            if (!m.Found()) break;
            for (int s = 1; s <= 3; ++s)
                if (slow.Set[s]) {
                    ASSERT_EQ(fast.Groups.GroupStart[s], slow.GroupStart[s]) << what;
                    ASSERT_EQ(fast.Groups.GroupEnd[s], slow.GroupEnd[s]) << what;
                }
            from = m.End + 1;
        }
    }
}

// Long stretches where the nesting budget decides, and backtracking-heavy
// patterns where remembered failures carry the search.
TEST(EngineDifferential, BudgetAndBacktrackingCasesAgree)
{
    const std::string run(5100, 'a');
    struct TCase {
        std::string pattern;
        std::string text;
        bool spanLines;
    };
    const std::vector<TCase> cases = {
        {"a*b", "a" + std::string(6000, 'c') + "b", true},
        {"a*b", "a" + std::string(4990, 'c') + "b", true},
        {"x*b", "x" + run + "b", false},
        {"x*b", "x" + run.substr(0, 4000) + "b", false},
        {"?*b", std::string(5030, 'c') + "b", true},
        {"a+a+a+b", std::string(300, 'a') + "b", false},
        {"a+a+a+a+c", std::string(50, 'a'), false},
        {"x*a*a*a*b", "x" + std::string(60, 'a'), false},
        {"x*a*a*a*b", "x" + std::string(60, 'a') + "b", false},
        {"{a*}1b*{c}2d", "a" + std::string(40, 'a') + "bbcbcd", false},
        {"({*}1)", "(" + std::string(60, '(') + std::string(61, ')'), false},
        {"{@+}1 *{@+}2$", "ab cd ef\r\ngh ij\r\n", false},
        // Every start at a parenthesis depth of its own; failures that never
        // reached the pattern's end hold at every depth.
        {"?+}1{*q", "(a(a(a(a(a(a(a(a(a(a(a(a(a(a(a(a(a(a(a(a", false},
        {"?+}1{*}2)", "(a(a(a(a(a(aq)a(a)a)a(a)q(a)", false},
        {"*{*}1q)", "((a(q((a)q)a(q))", false},
        // The same where the group mark matters, so that only a probe may skip marks.
        {"?+}1B+{f**", "F({FF(X(+ F((A|F({F({FF(X;)F({FF(X(+ F((A", false},
    };
    for (const TCase& c : cases) {
        std::string fast = c.text;
        std::string slow = c.text;
        const int n = ReplaceAll(fast, c.pattern, "<{}1|{}2>", false, true, true, false, true, c.spanLines);
        const int m = reference::ReplaceAll(slow, c.pattern, "<{}1|{}2>", false, true, true, false, true, c.spanLines);
        EXPECT_EQ(n, m) << c.pattern;
        EXPECT_EQ(fast, slow) << c.pattern;
    }
}

}  // namespace
}  // namespace varnok
