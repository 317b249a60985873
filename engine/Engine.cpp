#include "Engine.h"

#include <sys/mman.h>

#include <cstdint>

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>

#include "LiteralSearch.h"
#include "Pattern.h"
#include "Search.h"
#include "Substitution.h"

namespace varnok {

namespace {

// The result of a replace-all, built in one pass: the text before the next search
// offset is final, and everything from that offset on is still the original text.
// Indentation looks back across that border into earlier replacements, so the
// builder keeps what it needs to answer that without rescanning.
class TResultBuilder {
public:
    explicit TResultBuilder(const std::string& original) : m_original(original)
    {
        const std::size_t size = original.size() + original.size() / 8;
        m_out.reserve(size);
        // A big result on huge pages takes a fraction of the page faults.
        constexpr std::size_t kPage = 4096;
        if (size >= (4u << 20)) {
            const auto begin = (reinterpret_cast<std::uintptr_t>(m_out.data()) + kPage - 1) & ~(kPage - 1);
            madvise(reinterpret_cast<void*>(begin), (size - kPage) & ~(kPage - 1), MADV_HUGEPAGE);
        }
    }

    bool Empty() const { return m_out.empty(); }

    // The blanks that open the line holding the original index matchStart, which
    // lies at or after from, the first original byte not yet copied.
    int IndentAt(int from, int matchStart)
    {
        const int last = static_cast<int>(m_original.size()) - 1;
        const char* base = m_original.data();
        const void* lf = matchStart > from ? memrchr(base + from, LF, static_cast<std::size_t>(matchStart - from)) : nullptr;
        if (lf) return BlanksFrom(static_cast<int>(static_cast<const char*>(lf) - base) + 1, last);
        // The result may outgrow an int even where the original does not.
        const std::ptrdiff_t lineStart = m_lastLf + 1;
        const auto outEnd = static_cast<std::ptrdiff_t>(m_out.size());
        if (lineStart != m_runFrom) {
            m_runFrom = lineStart;
            m_runTo = lineStart;
            m_runStopped = false;
        }
        if (!m_runStopped) {
            while (m_runTo < outEnd && m_out[m_runTo] == ' ') ++m_runTo;
            m_runStopped = m_runTo < outEnd;
        }
        const auto inOut = static_cast<int>(std::min<std::ptrdiff_t>(m_runTo - m_runFrom, INT_MAX / 2));
        return m_runStopped ? inOut : inOut + BlanksFrom(from, last);
    }

    void CopyOriginal(int from, int to)
    {
        if (to <= from) return;
        Append(m_original.data() + from, static_cast<std::size_t>(to - from));
    }

    void Append(std::string_view s)
    {
        Append(s.data(), s.size());
    }

    std::string Finish(int from)
    {
        m_out.append(m_original, static_cast<std::size_t>(from));
        return std::move(m_out);
    }

private:
    void Append(const char* s, std::size_t n)
    {
        if (const void* lf = memrchr(s, LF, n))
            m_lastLf = static_cast<std::ptrdiff_t>(m_out.size()) + (static_cast<const char*>(lf) - s);
        m_out.append(s, n);
    }

    int BlanksFrom(int k, int last) const
    {
        const int from = k;
        while (k < last && m_original[k] == ' ') ++k;
        return k - from;
    }

    const std::string& m_original;
    std::string m_out;
    std::ptrdiff_t m_lastLf = -1;
    // Leading blanks of the output's last line, as far as scanned.
    std::ptrdiff_t m_runFrom = -1;
    std::ptrdiff_t m_runTo = -1;
    bool m_runStopped = false;
};

bool NeedsIndent(const std::string& r)
{
    const void* cr = std::memchr(r.data(), CR, r.size());
    return cr && static_cast<const char*>(cr) != r.data() + r.size() - 1;
}

}  // namespace

TPreparedChange::TPreparedChange(std::string pattern, std::string replacement,
                                 bool CaseSensitive, bool WildCards, bool ExpandReplacement,
                                 bool WholeWords, bool BalanceParens, bool SpanLines)
    : m_pattern(std::move(pattern)),
      m_replacement(std::move(replacement)),
      m_caseSensitive(CaseSensitive),
      m_wildActive(false),
      m_wholeWords(WholeWords),
      m_balanceParens(BalanceParens),
      m_spanLines(SpanLines)
{
    if (m_pattern.empty()) return;
    if (!CaseSensitive) UpperCaseInPlace(m_pattern);
    m_wildActive = HasWildCards(WildCards, m_pattern);
    if (WildCards) CompilePattern(m_pattern);
    if (ExpandReplacement) PrepareReplacement(m_replacement);
}

bool TPreparedChange::MayMatch(std::string_view bytes) const
{
    if (m_pattern.empty()) return false;
    if (m_wildActive) return true;
    if (bytes.size() >= static_cast<std::size_t>(INT_MAX)) return true;
    const TLiteralSearch literal(m_pattern, !m_caseSensitive);
    return literal.Find(bytes, 0, static_cast<int>(bytes.size())) >= 0;
}

int ReplaceAll(std::string& text, std::string pattern, std::string replacement,
               bool CaseSensitive, bool WildCards, bool ExpandReplacement,
               bool WholeWords, bool BalanceParens, bool SpanLines)
{
    return TPreparedChange(std::move(pattern), std::move(replacement), CaseSensitive, WildCards,
                           ExpandReplacement, WholeWords, BalanceParens, SpanLines)
        .ReplaceAll(text);
}

int TPreparedChange::ReplaceAll(std::string& text) const
{
    if (m_pattern.empty() || text.empty()) return 0;
    if (text.size() >= static_cast<std::size_t>(INT_MAX))
        throw std::runtime_error("Text too large to search: " + std::to_string(text.size()) + " bytes");
    const bool CaseSensitive = m_caseSensitive;
    const std::string& pattern = m_pattern;
    const std::string& replacement = m_replacement;
    TSearchContext context;
    context.WildActive = m_wildActive;
    context.WholeWords = m_wholeWords;
    context.BalanceParens = m_balanceParens;
    context.SpanLines = m_spanLines;

    // A case-blind wild-card search runs on an upper-cased copy; the plain search
    // folds case as it compares and needs none.
    std::string upper;
    std::string_view searchText = text;
    if (!CaseSensitive && context.WildActive) {
        const void* nul = std::memchr(text.data(), 0, text.size());
        upper.resize(nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()) : text.size());
        UpperCaseCopy(text.data(), upper.data(), upper.size());
        searchText = upper;
    }
    // Letters of either case are word characters. A case-blind search sees them
    // upper-cased anyway; a case-sensitive one would otherwise take the "s" of
    // "ssize_t" for a word boundary and let a whole-word "size_t" match inside it.
    TSearcher searcher(context, pattern, searchText, !CaseSensitive && !context.WildActive,
                       WordCharsFolded);

    TResultBuilder result(text);
    // Without placeholders and line breaks to indent, every replacement is the same.
    const bool placeholders = std::any_of(replacement.begin(), replacement.end(),
                                          [](char c) { return static_cast<unsigned char>(c) <= 8; });
    const bool fixed = !m_hook && !placeholders && !NeedsIndent(replacement);
    std::string r;  // one buffer for every match's replacement
    int count = 0;
    int from = 0;  // original index of the next search offset
    for (;;) {
        if (context.WildActive) ClearGroups(context);
        // The offset in the changed text is 0 only while nothing precedes it.
        const TMatch m = searcher.FindMatch(from, result.Empty());
        if (!m.Found()) break;
        ++count;
        if (fixed) {
            result.CopyOriginal(from, m.Start);
            result.Append(replacement);
        } else {
            if (placeholders)
                r = ExpandGroups(replacement, context.Groups, text);
            else
                r = replacement;
            if (m_hook) {
                const auto length = static_cast<std::size_t>(std::max(m.End + 1 - m.Start, 0));
                m_hook(std::string_view(text).substr(static_cast<std::size_t>(m.Start), length), r);
            }
            // The indentation is read before the bytes up to the match are copied.
            if (NeedsIndent(r)) IndentLineBreaks(r, result.IndentAt(from, m.Start));
            result.CopyOriginal(from, m.Start);
            result.Append(r);
        }
        from = m.End + 1;
    }
    if (count > 0) text = result.Finish(from);
    return count;
}

}  // namespace varnok
