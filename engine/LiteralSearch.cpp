#include "LiteralSearch.h"

#include <cstring>

#include "Pattern.h"

namespace varnok {

namespace {

// Rough frequency in text and source code, higher is more common. The scan runs
// on the pattern's rarest byte so that memchr covers long stretches at once.
int Commonness(unsigned char c, bool fold)
{
    static constexpr std::string_view kByFrequency =
        " etaoinsrhldcumfpgwybvkxjqz\n\r\t_.,;()=\"'0123456789-/:*{}<>[]";
    const unsigned char key = fold ? UpperCase[c] : c;
    int score = 0;
    for (std::size_t i = 0; i < kByFrequency.size(); ++i) {
        const auto k = static_cast<unsigned char>(kByFrequency[i]);
        if (k == key || (k >= 'a' && k <= 'z' && UpperCase[k] == key)) {
            score = static_cast<int>(kByFrequency.size() - i);
            break;
        }
    }
    // A folded letter has two spellings to look for.
    if (fold && key >= 'A' && key <= 'Z') score += 8;
    return score;
}

}  // namespace

TLiteralSearch::TLiteralSearch(std::string_view pattern, bool foldCase)
    : m_pattern(pattern), m_fold(foldCase)
{
    // Bytes other than A..Z compare the same upper-cased or not.
    if (m_pattern.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos) m_fold = false;
    int best = 1 << 30;
    for (std::size_t i = 0; i < m_pattern.size(); ++i) {
        const int score = Commonness(static_cast<unsigned char>(m_pattern[i]), m_fold);
        if (score < best) {
            best = score;
            m_anchor = static_cast<int>(i);
        }
    }
    m_anchorUpper = static_cast<unsigned char>(m_pattern[m_anchor]);
    m_anchorLower = m_anchorUpper;
    if (m_fold && m_anchorUpper >= 'A' && m_anchorUpper <= 'Z')
        m_anchorLower = static_cast<unsigned char>(m_anchorUpper - 'A' + 'a');
}

bool TLiteralSearch::MatchesAt(const unsigned char* at) const
{
    const auto* p = reinterpret_cast<const unsigned char*>(m_pattern.data());
    const std::size_t n = m_pattern.size();
    if (!m_fold) return std::memcmp(at, p, n) == 0;
    for (std::size_t i = 0; i < n; ++i)
        if (UpperCase[at[i]] != p[i]) return false;
    return true;
}

int TLiteralSearch::Find(std::string_view text, int from, int end) const
{
    const int n = static_cast<int>(m_pattern.size());
    if (end - from < n) return -1;
    const auto* base = reinterpret_cast<const unsigned char*>(text.data());
    // Anchor positions that leave room for the whole pattern.
    const unsigned char* lo = base + from + m_anchor;
    const unsigned char* hi = base + end - n + m_anchor + 1;
    if (m_anchorLower == m_anchorUpper) {
        for (const unsigned char* at = lo; at < hi; ++at) {
            at = static_cast<const unsigned char*>(std::memchr(at, m_anchorUpper, static_cast<std::size_t>(hi - at)));
            if (at == nullptr) return -1;
            if (MatchesAt(at - m_anchor)) return static_cast<int>(at - m_anchor - base);
        }
        return -1;
    }
    // Two spellings: walk the next occurrence of each in step. A spelling that is
    // rare or absent would be scanned to the end on every call, so where each was
    // last found (or found missing) is kept for the next, later search.
    auto next = [this, base, hi](std::size_t v, const unsigned char* at) {
        TScanCache& cache = m_cache[v];
        const unsigned char c = v == 0 ? m_anchorUpper : m_anchorLower;
        if (cache.text == base && cache.from <= at && at <= cache.found && cache.limit == hi)
            return cache.found;
        const void* r = at < hi ? std::memchr(at, c, static_cast<std::size_t>(hi - at)) : nullptr;
        cache = TScanCache{base, at, r ? static_cast<const unsigned char*>(r) : hi, hi};
        return cache.found;
    };
    const unsigned char* up = next(0, lo);
    const unsigned char* low = next(1, lo);
    while (up < hi || low < hi) {
        const unsigned char* at = up < low ? up : low;
        if (MatchesAt(at - m_anchor)) return static_cast<int>(at - m_anchor - base);
        if (at == up)
            up = next(0, at + 1);
        else
            low = next(1, at + 1);
    }
    return -1;
}

}  // namespace varnok
