#include "Reference.h"

#include <algorithm>

namespace varnok::reference {

namespace {

constexpr unsigned char kGroupOpen = 15, kGroupClose = 16, kAnyChar = 17, kRepeat = 18,
                        kAnySequence = 19, kLineStart = 20, kLineEnd = 21, kWordChar = 22;
constexpr char kCR = 13, kLF = 10, kTAB = 9;

// The designed class; a case-sensitive replace-all adds the lower-case letters.
bool IsWord(const TContext& c, unsigned char ch)
{
    return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z') || ch == '_' ||
           (c.LowerCaseWords && ch >= 'a' && ch <= 'z');
}

bool IsGroupDigit(unsigned char ch) { return ch >= '0' && ch <= '8'; }

void UpperCase(std::string& s)
{
    for (char& ch : s)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
}

void CountParen(unsigned char ch, int& depth)
{
    if (ch == '(') ++depth;
    if (ch == ')') --depth;
}

unsigned char At(const std::string& s, int i)
{
    return i < static_cast<int>(s.size()) ? static_cast<unsigned char>(s[i]) : 0;
}

long long g_workLimit = 0;
long long g_work = 0;

bool MatchHere(TContext& c, int p, int t, int depth)
{
    if (g_workLimit != 0 && ++g_work > g_workLimit) throw TTooMuchWork{};
    const std::string& P = c.Pat;
    const std::string& S = c.Stretch;
    const int plen = static_cast<int>(P.size());
    const int n = static_cast<int>(S.size());
    if (p >= plen) {
        if (c.BalanceParens && depth != 0) return false;
        if (c.WholeWords && t < n && IsWord(c, At(S, t))) return false;
        return true;
    }
    if (At(P, p) == kGroupOpen) {
        c.Mark = c.Pos;
        ++p;
    }
    if (At(P, p) == kGroupClose && IsGroupDigit(At(P, p + 1))) {
        const int slot = At(P, p + 1) - '0' + 1;
        c.GroupStart[slot] = c.Mark + 1;
        c.GroupEnd[slot] = c.Pos;
        c.Set[slot] = true;
        return MatchHere(c, p + 2, t, depth);
    }
    if (t >= n) return At(P, p) == kLineEnd && p == plen - 1;
    const unsigned char e = At(P, p);
    const unsigned char ch = At(S, t);
    if (!c.SpanLines && e != kLineEnd && ch == kCR) return false;
    ++c.StepCount;
    if (c.StepCount > c.StepBudget) {
        --c.StepCount;
        return false;
    }
    if (c.WholeWords && !IsWord(c, ch)) {
        --c.StepCount;
        return false;
    }
    const int savedPos = c.Pos;
    const bool rep = At(P, p + 1) == kRepeat;
    bool ok = false;
    if (ch == e || e == kAnyChar || (e == kLineEnd && ch == kCR) || (e == kWordChar && IsWord(c, ch))) {
        CountParen(ch, depth);
        ++c.Pos;
        ok = MatchHere(c, p + 1, t + 1, depth);
        if (!ok && rep) {
            ok = MatchHere(c, p + 2, t + 1, depth);
            if (!ok) ok = MatchHere(c, p, t + 1, depth);
        }
    } else if (e == kAnySequence) {
        ok = MatchHere(c, p + 1, t, depth);
        if (!ok) {
            CountParen(ch, depth);
            ++c.Pos;
            ok = MatchHere(c, p, t + 1, depth);
        }
    } else if (rep) {
        ok = MatchHere(c, p + 2, t, depth);
    }
    if (!ok) c.Pos = savedPos;
    --c.StepCount;
    return ok;
}

void ScanForMatch(TContext& c, std::string pat, const std::string& stretch, bool atLineStart,
                  int& start, int& end)
{
    start = end = -1;
    const int n = static_cast<int>(stretch.size());
    c.StepBudget = static_cast<int>(pat.size()) + 5000;
    c.Stretch = stretch;
    if (n == 0) return;
    bool lead = false;
    for (int i = 0; i < n; ++i) {
        c.StepCount = 0;
        c.Pos = i;
        int depth = 0;
        if (!pat.empty() && At(pat, 0) == kGroupOpen) {
            pat.erase(0, 1);
            lead = true;
        }
        c.Pat = pat;
        const unsigned char e = At(pat, 0);
        const unsigned char ch = At(stretch, i);
        const int mark = lead ? i - 1 : i;
        bool ok = false;
        if (ch == e || e == kAnyChar) {
            CountParen(ch, depth);
            c.Mark = mark;
            ok = MatchHere(c, 1, i + 1, depth);
            if (!ok && At(pat, 1) == kRepeat) {
                c.Mark = mark;
                ok = MatchHere(c, 2, i + 1, depth);
                if (!ok) {
                    c.Mark = mark;
                    ok = MatchHere(c, 0, i + 1, depth);
                }
            }
        } else if (e == kAnySequence) {
            c.Pos = i - 1;
            c.Mark = i - 1;
            ok = MatchHere(c, 1, i, 0);
            if (ok && c.Pos < i) continue;
            if (!ok) {
                c.Pos = i;
                c.Mark = mark;
                ok = MatchHere(c, 1, i + 1, 0);
            }
        } else if (e == kLineStart && ((i == 0 && atLineStart) || (i >= 1 && At(stretch, i - 1) == kCR))) {
            if (i == 0) {
                c.Pos = -1;
                c.Mark = -1;
                ok = MatchHere(c, 1, 0, 0);
                if (ok && c.Pos < i) continue;
            } else {
                c.Mark = mark;
                ok = MatchHere(c, 1, i + 1, 0);
            }
        }
        if (ok) {
            start = i;
            end = c.Pos;
            return;
        }
    }
}

}  // namespace

void LimitWork(long long steps)
{
    g_workLimit = steps;
    g_work = 0;
}

bool HasWildCards(TContext& c, bool wildCards, const std::string& pattern)
{
    c.WildActive = wildCards && pattern.find_first_of("*?!$@{+") != std::string::npos;
    return c.WildActive;
}

void CompilePattern(std::string& s)
{
    int i = 1;
    while (i <= static_cast<int>(s.size())) {
        const char ch = s[i - 1];
        if (ch == '\\') {
            s.erase(i - 1, 1);
        } else if (ch == '{') {
            s[i - 1] = static_cast<char>(kGroupOpen);
        } else if (ch == '}') {
            s[i - 1] = static_cast<char>(kGroupClose);
        } else if (ch == '^') {
            if (i < static_cast<int>(s.size())) {
                if (s[i] == 'n' || s[i] == 'N') {
                    s.erase(i - 1, 1);
                    s[i - 1] = kCR;
                } else if (s[i] == 't' || s[i] == 'T') {
                    s.erase(i - 1, 1);
                    s[i - 1] = kTAB;
                }
            }
        } else if (ch == '?') {
            s[i - 1] = static_cast<char>(kAnyChar);
        } else if (ch == '+') {
            s[i - 1] = static_cast<char>(kRepeat);
        } else if (ch == '*') {
            s[i - 1] = static_cast<char>(kAnySequence);
        } else if (ch == '!') {
            s[i - 1] = static_cast<char>(kLineStart);
        } else if (ch == '$') {
            s[i - 1] = static_cast<char>(kLineEnd);
        } else if (ch == '@') {
            s[i - 1] = static_cast<char>(kWordChar);
        }
        ++i;
    }
}

void ClearGroups(TContext& c)
{
    std::fill(std::begin(c.GroupStart), std::end(c.GroupStart), 0);
    std::fill(std::begin(c.GroupEnd), std::end(c.GroupEnd), 0);
    std::fill(std::begin(c.Set), std::end(c.Set), false);
}

void FindMatch(TContext& c, const std::string& pattern, const std::string& text, int offset,
               int& start, int& end)
{
    if (offset < 0) offset = 0;
    start = end = -1;
    std::string stretch = offset < static_cast<int>(text.size()) ? text.substr(offset) : "";
    stretch = stretch.substr(0, stretch.find('\0'));
    if (pattern.empty() || stretch.empty()) return;
    if (c.WildActive) {
        ScanForMatch(c, pattern, stretch, offset == 0, start, end);
    } else {
        const auto k = stretch.find(pattern);
        if (k != std::string::npos) {
            start = static_cast<int>(k);
            end = start + static_cast<int>(pattern.size()) - 1;
        }
    }
    if (c.WholeWords && start >= 0) {
        const int n = static_cast<int>(stretch.size());
        const bool startGood = start == 0 || !IsWord(c, At(stretch, start - 1));
        const bool endGood = end >= n - 1 || !IsWord(c, At(stretch, end + 1));
        if (!(startGood && endGood)) {
            int k = start;
            while (k < n && IsWord(c, At(stretch, k + 1))) ++k;
            FindMatch(c, pattern, stretch.substr(std::min(k + 1, n)), 0, start, end);
            if (start >= 0) {
                start += k + 1;
                end += k + 1;
                for (int s = 0; s <= 10; ++s)
                    if (c.Set[s]) {
                        c.GroupStart[s] += k + 1;
                        c.GroupEnd[s] += k + 1;
                    }
            }
        }
    }
    if (start >= 0) {
        start += offset;
        end += offset;
        for (int s = 0; s <= 10; ++s)
            if (c.Set[s]) {
                c.GroupStart[s] += offset;
                c.GroupEnd[s] += offset;
            }
    }
}

void PrepareReplacement(std::string& s)
{
    int i = 1;
    while (i < static_cast<int>(s.size())) {
        const char ch = s[i - 1];
        if (ch == '\\') {
            s.erase(i - 1, 1);
        } else if (ch == '{' && s[i] == '}' && i + 2 <= static_cast<int>(s.size()) &&
                   IsGroupDigit(static_cast<unsigned char>(s[i + 1]))) {
            s[i + 1] = static_cast<char>(s[i + 1] - '0');
            s.erase(i - 1, 2);
        } else if (ch == '^' && (s[i] == 'n' || s[i] == 'N')) {
            s[i - 1] = kCR;
            s[i] = kLF;
            ++i;
        } else if (ch == '^' && (s[i] == 't' || s[i] == 'T')) {
            s[i] = kTAB;
            s.erase(i - 1, 1);
        }
        ++i;
    }
}

int LineStartOf(const std::string& text, int index)
{
    int i = index;
    while (i > 0 && text[i - 1] != kLF) --i;
    return i + 1;
}

void InsertGroups(TContext& c, std::string& r, const std::string& text, int matchStart)
{
    std::string expanded;
    for (const char ch : r) {
        const auto b = static_cast<unsigned char>(ch);
        if (b > 8) {
            expanded += ch;
        } else if (c.Set[b + 1] && c.GroupStart[b + 1] <= c.GroupEnd[b + 1]) {
            expanded += text.substr(c.GroupStart[b + 1], c.GroupEnd[b + 1] - c.GroupStart[b + 1] + 1);
        }
    }
    r = expanded;
    int indent = 0;
    for (int k = LineStartOf(text, matchStart) - 1;
         k < static_cast<int>(text.size()) - 1 && text[k] == ' '; ++k)
        ++indent;
    if (indent > 0)
        for (int k = 1; k < static_cast<int>(r.size()); ++k)
            if (r[k - 1] == kCR) r.insert(k + 1, indent, ' ');
}

int ReplaceAll(std::string& text, std::string pattern, std::string replacement,
               bool CaseSensitive, bool WildCards, bool ExpandReplacement,
               bool WholeWords, bool BalanceParens, bool SpanLines)
{
    int count = 0;
    if (pattern.empty()) return 0;
    if (!CaseSensitive) UpperCase(pattern);
    TContext c;
    HasWildCards(c, WildCards, pattern);
    c.WholeWords = WholeWords;
    c.BalanceParens = BalanceParens;
    c.SpanLines = SpanLines;
    c.LowerCaseWords = CaseSensitive;
    if (WildCards) CompilePattern(pattern);
    if (ExpandReplacement) PrepareReplacement(replacement);
    if (text.empty()) return 0;
    std::string searchCopy = text;
    if (!CaseSensitive) UpperCase(searchCopy);
    int previousStart = -1;
    int previousLength = 0;
    for (;;) {
        ClearGroups(c);
        int start = -1;
        int end = -1;
        FindMatch(c, pattern, searchCopy, previousStart + previousLength, start, end);
        if (start < 0) break;
        ++count;
        std::string r = replacement;
        InsertGroups(c, r, text, start);
        previousStart = start;
        previousLength = static_cast<int>(r.size());
        const int length = std::min(end - start + 1, static_cast<int>(text.size()) - start);
        text.erase(start, length);
        text.insert(start, r);
        searchCopy.erase(start, length);
        searchCopy.insert(start, r);
    }
    return count;
}

}  // namespace varnok::reference
