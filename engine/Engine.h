#pragma once
// The text engine's entry point: one replace-all over one text in memory.

#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace varnok {

// Replaces every match of pattern in text (in place); returns the count.
// Everything from the text's first NUL byte on is left as it is.
int ReplaceAll(std::string& text, std::string pattern, std::string replacement,
               bool CaseSensitive, bool WildCards, bool ExpandReplacement,
               bool WholeWords, bool BalanceParens, bool SpanLines);

// One change made ready once for many texts: the same replace-all without
// compiling the pattern and the replacement again for each.
class TPreparedChange {
public:
    TPreparedChange(std::string pattern, std::string replacement, bool CaseSensitive,
                    bool WildCards, bool ExpandReplacement, bool WholeWords, bool BalanceParens,
                    bool SpanLines);

    // Rewrites each replacement in place, its groups and escapes already in,
    // given the original bytes it stands for. Unset by default.
    using TReplacementHook = std::function<void(std::string_view matched, std::string& replacement)>;
    void SetReplacementHook(TReplacementHook hook) { m_hook = std::move(hook); }

    int ReplaceAll(std::string& text) const;
    // False only when bytes cannot hold a match: the pattern is plain and
    // occurs nowhere in them, not even past a NUL. Cheaper than ReplaceAll.
    bool MayMatch(std::string_view bytes) const;

private:
    std::string m_pattern, m_replacement;  // compiled
    bool m_caseSensitive;
    bool m_wildActive;
    bool m_wholeWords, m_balanceParens, m_spanLines;
    TReplacementHook m_hook;
};

}  // namespace varnok
