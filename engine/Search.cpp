#include "Search.h"

#include <cstring>

#include "LiteralSearch.h"
#include "Matcher.h"

namespace varnok {

void ClearGroups(TSearchContext& context)
{
    context.Groups = TGroupTable{};
}

namespace {

int TextEndOf(std::string_view text)
{
    const void* nul = std::memchr(text.data(), 0, text.size());
    return static_cast<int>(nul ? static_cast<const char*>(nul) - text.data() : text.size());
}

}  // namespace

TSearcher::TSearcher(TSearchContext& context, std::string_view pattern, std::string_view text,
                     bool foldCase, const TByteTable& wordChars)
    : m_context(context),
      m_text(text),
      m_end(TextEndOf(text)),
      m_wordChars(wordChars)
{
    if (pattern.empty()) return;
    if (context.WildActive)
        m_matcher = std::make_unique<TMatcher>(context, pattern, text, m_end, m_wordChars);
    else
        m_literal = std::make_unique<TLiteralSearch>(pattern, foldCase);
}

TSearcher::~TSearcher() = default;

TMatch TSearcher::FindOnce(int from, bool atLineStart)
{
    if (m_matcher) return m_matcher->ScanForMatch(from, atLineStart);
    const int at = m_literal->Find(m_text, from, m_end);
    if (at < 0) return TMatch{};
    return TMatch{at, at + static_cast<int>(m_literal->Length()) - 1};
}

TMatch TSearcher::FindMatch(int offset, bool atLineStart)
{
    int from = offset < 0 ? 0 : offset;
    if ((!m_matcher && !m_literal) || from >= m_end) return TMatch{};
    const auto isWord = [this](int i) { return m_wordChars[static_cast<unsigned char>(m_text[i])] != 0; };
    for (;;) {
        const TMatch m = FindOnce(from, atLineStart);
        if (!m.Found() || !m_context.WholeWords) return m;
        const bool startGood = m.Start == from || !isWord(m.Start - 1);
        const bool endGood = m.End >= m_end - 1 || !isWord(m.End + 1);
        if (startGood && endGood) return m;
        // Retry behind the word the rejected match starts in, as a fresh search
        // of the shorter stretch (the byte before a stretch is never looked at).
        int k = m.Start;
        while (k + 1 < m_end && isWord(k + 1)) ++k;
        from = k + 1;
        atLineStart = true;
        if (from >= m_end) return TMatch{};
    }
}

TMatch FindMatch(TSearchContext& context, std::string_view pattern, std::string_view text,
                 int offset)
{
    // The stretch is the text from the offset on, up to its own first NUL byte.
    const int from = offset < 0 ? 0 : offset;
    if (from >= static_cast<int>(text.size())) return TMatch{};
    TSearcher searcher(context, pattern, text.substr(static_cast<std::size_t>(from)), false, WordChars);
    TMatch m = searcher.FindMatch(0, from == 0);
    if (!m.Found()) return m;
    m.Start += from;
    m.End += from;
    for (int s = 0; s < 11; ++s)
        if (context.Groups.Set[s]) {
            context.Groups.GroupStart[s] += from;
            context.Groups.GroupEnd[s] += from;
        }
    return m;
}

}  // namespace varnok
