#pragma once
// One search: the first match of a compiled pattern in a text from an offset on.
//
// A text ends at its first NUL byte for searching. Positions are 0-based indices
// into the whole text; a match covers Start..End inclusive. The search context is
// a value owned by whoever drives the searches (one replace-all), never shared.

#include <array>
#include <memory>
#include <string_view>

#include "Pattern.h"

namespace varnok {

// Group d (0..8) lives in slot d + 1. A group may start at index 0, so a slot is
// told set by its own flag rather than by a positive start.
struct TGroupTable {
    std::array<int, 11> GroupStart{};
    std::array<int, 11> GroupEnd{};
    std::array<bool, 11> Set{};
};

struct TMatch {
    int Start = -1;
    int End = -1;
    bool Found() const { return Start >= 0; }
    friend bool operator==(const TMatch&, const TMatch&) = default;
};

struct TSearchContext {
    bool WildActive = false;
    bool WholeWords = false;
    bool BalanceParens = false;
    bool SpanLines = false;
    int StepCount = 0;   // the matcher's nesting at one start position
    int StepBudget = 0;  // its limit: compiled pattern length + 5000
    TGroupTable Groups;
};

void ClearGroups(TSearchContext& context);

inline void CountParen(unsigned char c, int& depth)
{
    if (c == '(')
        ++depth;
    else if (c == ')')
        --depth;
}

class TMatcher;
class TLiteralSearch;

// Searches one compiled pattern in one text, as often as asked. Failures the
// matcher has proven are remembered across searches, so the text must not change
// while the searcher lives.
class TSearcher {
public:
    // text: the search copy (already upper-cased for a case-blind wild-card search).
    // foldCase: the plain search compares upper-cased text bytes with the pattern,
    // so that a literal search needs no upper-cased copy of the text.
    // wordChars: the class of "@" and of the whole-word rule.
    TSearcher(TSearchContext& context, std::string_view pattern, std::string_view text,
              bool foldCase, const TByteTable& wordChars);
    ~TSearcher();
    TSearcher(const TSearcher&) = delete;
    TSearcher& operator=(const TSearcher&) = delete;

    // The stretch is the text from offset on; atLineStart lets a leading "!" match at
    // its first byte. The whole-word rule is applied here.
    TMatch FindMatch(int offset, bool atLineStart);

private:
    TMatch FindOnce(int from, bool atLineStart);

    TSearchContext& m_context;
    std::string_view m_text;
    int m_end;
    const TByteTable& m_wordChars;
    std::unique_ptr<TMatcher> m_matcher;
    std::unique_ptr<TLiteralSearch> m_literal;
};

// The designed single search: AtLineStart when the offset is 0 (a negative offset
// counts as 0). Groups come back as whole-text indices.
TMatch FindMatch(TSearchContext& context, std::string_view pattern, std::string_view text,
                 int offset);

}  // namespace varnok
