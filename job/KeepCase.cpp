#include "KeepCase.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "engine/LiteralSearch.h"
#include "engine/Pattern.h"

namespace varnok {

namespace {

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
bool IsLetter(char c) { return IsUpper(c) || IsLower(c); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSeparator(char c) { return c == '_' || c == '-'; }
char ToUpper(char c) { return IsLower(c) ? static_cast<char>(c - 'a' + 'A') : c; }
char ToLower(char c) { return IsUpper(c) ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsIdentifierByte(char c)
{
    return IsLetter(c) || IsDigit(c) || IsSeparator(c) || static_cast<unsigned char>(c) >= 128;
}

void Capitalise(std::string& s)
{
    bool first = true;
    for (char& c : s) {
        if (!IsLetter(c)) continue;
        c = first ? ToUpper(c) : ToLower(c);
        first = false;
    }
}

// The word spans of s[start, end), a run of identifier bytes.
template <class TWord>
void SplitWords(std::string_view s, std::size_t start, std::size_t end, std::vector<TWord>& words)
{
    words.clear();
    std::size_t i = start;
    while (i < end) {
        while (i < end && IsSeparator(s[i])) ++i;
        if (i == end) break;
        const std::size_t wordStart = i++;
        for (; i < end && !IsSeparator(s[i]); ++i) {
            const char prev = s[i - 1];
            const char c = s[i];
            if (!IsUpper(c)) continue;
            if (IsLower(prev) || IsDigit(prev)) break;
            if (IsUpper(prev) && i + 1 < end && IsLower(s[i + 1])) break;
        }
        words.push_back({wordStart, i});
    }
}

// How a text word spells a lower-case pattern word of its length: a set of these.
enum : unsigned { kLower = 1, kUpper = 2, kCapital = 4 };

unsigned CaseOf(std::string_view word, std::string_view lower)
{
    unsigned mask = kLower | kUpper | kCapital;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = word[i];
        if (ToLower(c) != lower[i]) return 0;
        if (IsUpper(c))
            mask &= i == 0 ? ~kLower : ~(kLower | kCapital);
        else if (IsLower(c))
            mask &= i == 0 ? ~(kUpper | kCapital) : ~kUpper;
    }
    return mask;
}

enum class TJoin { None, Hump, Underscore, Hyphen };

TJoin JoinOf(std::string_view gap)
{
    if (gap.empty()) return TJoin::Hump;
    if (gap.size() > 1) return TJoin::None;
    return gap[0] == '_' ? TJoin::Underscore : TJoin::Hyphen;
}

bool IsPlainIdentifier(std::string_view s)
{
    if (s.empty() || IsSeparator(s.front()) || IsSeparator(s.back())) return false;
    bool letter = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (IsSeparator(c)) {
            if (IsSeparator(s[i - 1])) return false;
        } else if (IsLetter(c)) {
            letter = true;
        } else if (!IsDigit(c)) {
            return false;
        }
    }
    return letter;
}

}  // namespace

void CaseLikeInPlace(std::string_view match, std::string& replacement)
{
    bool anyLetter = false, anyLower = false, anyUpper = false, firstUpper = false, laterUpper = false;
    for (const char c : match) {
        if (!IsLetter(c)) continue;
        if (IsUpper(c)) {
            (anyLetter ? laterUpper : firstUpper) = true;
            anyUpper = true;
        } else {
            anyLower = true;
        }
        anyLetter = true;
    }
    if (!anyLetter) return;
    if (!anyLower)
        UpperCaseInPlace(replacement);
    else if (!anyUpper)
        std::transform(replacement.begin(), replacement.end(), replacement.begin(), ToLower);
    else if (firstUpper && !laterUpper)
        Capitalise(replacement);
}

bool TIdentifierChange::Applies(std::string_view search, std::string_view replacement)
{
    return IsPlainIdentifier(search) && IsPlainIdentifier(replacement);
}

TIdentifierChange::TIdentifierChange(std::string_view search, std::string_view replacement) : m_typed(search)
{
    std::vector<TWord> spans;
    const auto wordsOf = [&spans](std::string_view s) {
        SplitWords(s, 0, s.size(), spans);
        std::vector<std::string> words;
        for (const TWord& w : spans) {
            words.emplace_back(s.substr(w.Start, w.End - w.Start));
            std::transform(words.back().begin(), words.back().end(), words.back().begin(), ToLower);
        }
        return words;
    };
    m_words = wordsOf(search);
    for (const std::string& w : m_words)
        if (w.size() > m_anchor.size()) m_anchor = w;
    UpperCaseInPlace(m_anchor);

    const std::vector<std::string> r = wordsOf(replacement);
    const auto joined = [&r](char join, bool upper, bool capitalFirst, bool capitalRest) {
        std::string out;
        for (std::size_t i = 0; i < r.size(); ++i) {
            if (i > 0 && join) out += join;
            std::string word = r[i];
            if (upper)
                UpperCaseInPlace(word);
            else if (i == 0 ? capitalFirst : capitalRest)
                word[0] = ToUpper(word[0]);
            out += word;
        }
        return out;
    };
    m_replacement[Typed] = std::string(replacement);
    m_replacement[Snake] = joined('_', false, false, false);
    m_replacement[Screaming] = joined('_', true, false, false);
    m_replacement[Kebab] = joined('-', false, false, false);
    m_replacement[ScreamingKebab] = joined('-', true, false, false);
    m_replacement[Camel] = joined('\0', false, false, true);
    m_replacement[Pascal] = joined('\0', false, true, true);
}

bool TIdentifierChange::MayMatch(std::string_view bytes) const
{
    if (m_anchor.empty()) return false;
    if (bytes.size() >= static_cast<std::size_t>(INT_MAX)) return true;
    const TLiteralSearch anchor(m_anchor, true);
    return anchor.Find(bytes, 0, static_cast<int>(bytes.size())) >= 0;
}

TIdentifierChange::TSpelling TIdentifierChange::SpellingAt(std::string_view text, const std::vector<TWord>& words,
                                                           std::size_t k, std::size_t runStart,
                                                           std::size_t runEnd) const
{
    const std::size_t n = m_words.size();
    unsigned first = 0, rest = kLower | kUpper | kCapital;
    TJoin join = TJoin::None;
    bool uniform = true;
    for (std::size_t j = 0; j < n; ++j) {
        const TWord& w = words[k + j];
        if (w.End - w.Start != m_words[j].size()) return SpellingCount;
        const unsigned mask = CaseOf(text.substr(w.Start, w.End - w.Start), m_words[j]);
        if (mask == 0) return SpellingCount;
        if (j == 0) {
            first = mask;
            continue;
        }
        rest &= mask;
        const TJoin gap = JoinOf(text.substr(words[k + j - 1].End, w.Start - words[k + j - 1].End));
        if (gap == TJoin::None) return SpellingCount;
        uniform = uniform && (j == 1 || gap == join);
        join = gap;
    }

    const TWord& head = words[k];
    const TWord& tail = words[k + n - 1];
    if (n == 1) {
        // The identifier around the word: the join after it, else the one before.
        const auto joinAt = [text](std::size_t at) {
            return IsSeparator(text[at]) ? JoinOf(text.substr(at, 1)) : TJoin::Hump;
        };
        const TJoin context = tail.End < runEnd ? joinAt(tail.End) : head.Start > runStart ? joinAt(head.Start - 1)
                                                                                            : TJoin::None;
        const bool separated = context == TJoin::Underscore || context == TJoin::Hyphen;
        if (first & kLower) {
            switch (context) {
            case TJoin::Hump: return Camel;
            case TJoin::Underscore: return Snake;
            case TJoin::Hyphen: return Kebab;
            case TJoin::None: return Typed;
            }
        }
        if ((first & kUpper) && (!(first & kCapital) || separated))
            return context == TJoin::Hyphen ? ScreamingKebab : Screaming;
        return Pascal;
    }

    if (uniform) {
        const unsigned all = first & rest;
        switch (join) {
        case TJoin::Underscore:
            if (all & kLower) return Snake;
            if (all & kUpper) return Screaming;
            break;
        case TJoin::Hyphen:
            if (all & kLower) return Kebab;
            if (all & kUpper) return ScreamingKebab;
            break;
        case TJoin::Hump:
            if ((first & kLower) && (rest & kCapital)) return Camel;
            if (all & kCapital) return Pascal;
            break;
        case TJoin::None: break;
        }
    }
    return text.substr(head.Start, tail.End - head.Start) == m_typed ? Typed : SpellingCount;
}

long long TIdentifierChange::ReplaceInRun(std::string_view text, std::size_t runStart, std::size_t runEnd,
                                          std::vector<TWord>& words, std::string& out, std::size_t& copied) const
{
    SplitWords(text, runStart, runEnd, words);
    const std::size_t n = m_words.size();
    long long count = 0;
    for (std::size_t k = 0; k + n <= words.size();) {
        const TSpelling spelling = SpellingAt(text, words, k, runStart, runEnd);
        if (spelling == SpellingCount) {
            ++k;
            continue;
        }
        if (out.empty()) out.reserve(text.size() + text.size() / 8);
        out.append(text, copied, words[k].Start - copied);
        out += m_replacement[spelling];
        copied = words[k + n - 1].End;
        k += n;
        ++count;
    }
    return count;
}

long long TIdentifierChange::ReplaceAll(std::string& text) const
{
    if (m_words.empty()) return 0;
    const std::string_view view = text;
    const void* nul = std::memchr(text.data(), 0, text.size());
    const std::size_t end = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()) : text.size();
    // Only runs holding the longest word, in any case, can hold a match; the rest
    // is skipped at the plain search's speed.
    const bool skip = end < static_cast<std::size_t>(INT_MAX);
    const TLiteralSearch anchor(m_anchor, true);

    std::string out;
    std::vector<TWord> words;
    std::size_t copied = 0;
    long long count = 0;
    // from is always 0 or the end of a run, so no run starts before it.
    std::size_t from = 0;
    while (from < end) {
        std::size_t hit = from;
        if (skip) {
            const int found = anchor.Find(view, static_cast<int>(from), static_cast<int>(end));
            if (found < 0) break;
            hit = static_cast<std::size_t>(found);
        } else {
            while (hit < end && !IsIdentifierByte(view[hit])) ++hit;
            if (hit == end) break;
        }
        std::size_t runStart = hit, runEnd = hit;
        while (runStart > from && IsIdentifierByte(view[runStart - 1])) --runStart;
        while (runEnd < end && IsIdentifierByte(view[runEnd])) ++runEnd;
        count += ReplaceInRun(view, runStart, runEnd, words, out, copied);
        from = runEnd;
    }
    if (count > 0) {
        out.append(view, copied);
        text = std::move(out);
    }
    return count;
}

}  // namespace varnok
