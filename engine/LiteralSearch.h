#pragma once
// The plain search: the first exact occurrence of a byte string, optionally with
// text bytes upper-cased on the fly so that no upper-cased copy is needed.

#include <string>
#include <string_view>

namespace varnok {

class TLiteralSearch {
public:
    // pattern: non-empty; upper-cased already when foldCase is set.
    TLiteralSearch(std::string_view pattern, bool foldCase);

    // First index in [from, end) at which the whole pattern fits before end, or -1.
    int Find(std::string_view text, int from, int end) const;
    std::size_t Length() const { return m_pattern.size(); }

private:
    bool MatchesAt(const unsigned char* at) const;

    std::string m_pattern;
    bool m_fold;
    int m_anchor = 0;  // the pattern byte whose occurrences are scanned for
    unsigned char m_anchorUpper = 0;
    unsigned char m_anchorLower = 0;  // equal to m_anchorUpper unless a letter is folded

    // The next occurrence of one spelling at or after from, scanned up to limit.
    struct TScanCache {
        const unsigned char* text = nullptr;
        const unsigned char* from = nullptr;
        const unsigned char* found = nullptr;
        const unsigned char* limit = nullptr;
    };
    mutable TScanCache m_cache[2];
};

}  // namespace varnok
