#include "Matcher.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace varnok {

namespace {

constexpr int kNoMark = INT_MIN;

enum TOutcome { Pushed, Succeeded, Failed, ChildFailed };

}  // namespace

TMatcher::TMatcher(TSearchContext& context, std::string_view pattern, std::string_view text,
                   int textEnd, const TByteTable& wordChars, std::uint64_t memoMinCalls)
    : m_context(context),
      m_pattern(pattern),
      m_patternEnd(static_cast<int>(pattern.size())),
      m_text(text),
      m_textEnd(textEnd),
      m_wordChars(wordChars),
      m_memoMinCalls(memoMinCalls)
{
    // A "{" behind a "}d" lets a failed branch move the mark that a later group
    // of the successful one reads.
    bool closed = false;
    for (int q = 0; q < m_patternEnd; ++q) {
        const auto c = At(q);
        if (c == GroupClose && IsGroupDigit(At(q + 1)))
            closed = true;
        else if (c == GroupOpen && closed)
            m_markHazard = true;
    }
    // Failures that hold whatever the nesting need one bit each. Where the whole
    // text fits in a few megabytes of them, keep them all: a search may then probe
    // far beyond the nesting budget and never repeat that work.
    const std::size_t bits = (static_cast<std::size_t>(textEnd) + 1) * (static_cast<std::size_t>(m_patternEnd) + 1);
    m_universalBits = bits > kUniversalMaxBits ? 0 : bits;
    m_probe = m_universalBits > 0;
    m_probeBudget = static_cast<int>(std::min<std::int64_t>(2 * std::int64_t{textEnd} + m_patternEnd + 5000, 1 << 21));
}

bool TMatcher::EndOfPatternHolds(int t, int depth) const
{
    if (m_context.BalanceParens && depth != 0) return false;
    if (m_context.WholeWords && t < m_textEnd && IsWord(t)) return false;
    return true;
}

void TMatcher::Push(int p, int t, int depth)
{
    TFrame f{.p = p,
             .t = t,
             .depth = depth,
             .stepsAtEntry = m_context.StepCount,
             .maxSteps = m_context.StepCount,
             .callsAtEntry = m_calls,
             .markWritesAtEntry = m_markWrites};
    m_stack.push_back(f);
    ++m_calls;
}

TMatcher::TMemoEntry& TMatcher::Slot(int p, int t)
{
    const std::size_t row = static_cast<std::size_t>(t) & m_memoRowMask;
    return m_memo[row * static_cast<std::size_t>(m_patternEnd + 1) + static_cast<std::size_t>(p)];
}

bool TMatcher::Universal(const TFrame& f) const
{
    return m_universalBits > 0 && (f.depth == 0 || !m_context.BalanceParens);
}

std::size_t TMatcher::Bit(int p, int t) const
{
    return static_cast<std::size_t>(t) * static_cast<std::size_t>(m_patternEnd + 1) + static_cast<std::size_t>(p);
}

bool TMatcher::TFailureBits::Test(std::size_t bit) const
{
    const std::size_t page = bit >> kPageShift;
    return page < m_pages.size() && m_pages[page] &&
           (m_pages[page][(bit & kPageMask) >> 6] >> (bit & 63)) & 1;
}

void TMatcher::TFailureBits::Set(std::size_t bit, std::size_t bits)
{
    if (m_pages.empty()) m_pages.resize((bits >> kPageShift) + 1);
    auto& page = m_pages[bit >> kPageShift];
    if (!page) page = std::make_unique<std::uint64_t[]>((kPageMask + 1) >> 6);
    page[(bit & kPageMask) >> 6] |= std::uint64_t{1} << (bit & 63);
}

bool TMatcher::TryMemo(TFrame& f)
{
    // A bit keeps no group mark, which only a search whose success is final needs.
    if (m_universalBits > 0 && (!m_markHazard || m_inProbe)) {
        const std::size_t bit = Bit(f.p, f.t);
        if (m_context.BalanceParens && m_anyDepth.Test(bit)) {
            f.fromMemo = true;
            return true;
        }
        if (Universal(f) && m_universal.Test(bit)) {
            f.fromMemo = true;
            f.depthTold = m_context.BalanceParens;
            return true;
        }
    }
    if (m_memo.empty()) return false;
    const int depth = m_context.BalanceParens ? f.depth : 0;
    const TMemoEntry& e = Slot(f.p, f.t);
    if (!e.used || e.t != f.t || e.depth != depth) return false;
    // A probe needs only success or failure, so marks matter to it nowhere.
    const bool marksMatter = m_markHazard && !m_inProbe;
    if (e.markless && marksMatter) return false;
    const int headroom = m_context.StepBudget - m_context.StepCount;
    const bool holds = e.budgetHit
                           ? headroom <= e.headroom && (!marksMatter || headroom == e.headroom)
                           : !marksMatter || headroom >= e.reach;
    if (!holds) return false;
    if (e.lastMark != kNoMark) {
        m_mark = e.lastMark;
        ++m_markWrites;
    }
    f.maxSteps = m_context.StepCount + e.reach;
    f.budgetHit = e.budgetHit;
    f.depthTold = e.depthTold;
    f.fromMemo = true;
    return true;
}

void TMatcher::Remember(const TFrame& f)
{
    const bool anyDepth = !f.budgetHit && !f.depthTold && m_universalBits > 0 && m_context.BalanceParens;
    const bool universal = anyDepth || (!f.budgetHit && Universal(f));
    if (anyDepth) {
        m_anyDepth.Set(Bit(f.p, f.t), m_universalBits);
    } else if (universal) {
        m_universal.Set(Bit(f.p, f.t), m_universalBits);
    }
    // A bit says all there is to say, except to a search whose marks matter.
    if (universal && (!m_markHazard || m_inProbe)) return;
    if (m_memo.empty()) {
        // Rows of text positions, direct-mapped: the search works on a window of
        // nearby positions, so a small table holds the failures that matter.
        const std::size_t width = static_cast<std::size_t>(m_patternEnd) + 1;
        std::size_t rows = 1;
        while (rows < 8192 && rows * 2 * width <= (std::size_t{1} << 20)) rows *= 2;
        m_memoRowMask = rows - 1;
        m_memo.resize(rows * width);
    }
    Slot(f.p, f.t) = TMemoEntry{.t = f.t,
                                .depth = m_context.BalanceParens ? f.depth : 0,
                                .headroom = m_context.StepBudget - f.stepsAtEntry,
                                .reach = f.maxSteps - f.stepsAtEntry,
                                .lastMark = m_markWrites != f.markWritesAtEntry ? m_mark : kNoMark,
                                .budgetHit = f.budgetHit,
                                .depthTold = f.depthTold,
                                // a probe skips marks behind its bits: only probes may use this
                                .markless = m_markHazard && m_inProbe,
                                .used = true};
}

// Most calls fail at once: a literal that does not fit the byte, a Repeat code
// tried as an element. Those are settled here, without a frame, with the same
// effect on the caller's nesting record as a frame would have.
bool TMatcher::Call(int p, int t, int depth)
{
    TFrame& parent = m_stack.back();
    const unsigned char e = At(p);
    if (p >= m_patternEnd || e == GroupOpen || e == GroupClose || e == AnySequence || RepeatFollows(p) ||
        (t < m_textEnd && static_cast<unsigned char>(m_text[t]) == e)) {
        Push(p, t, depth);
        return true;
    }
    if (t == m_textEnd) {
        if (e == LineEnd && p == m_patternEnd - 1) {
            Push(p, t, depth);
            return true;
        }
        return false;
    }
    const auto c = static_cast<unsigned char>(m_text[t]);
    if (!m_context.SpanLines && e != LineEnd && c == CR) return false;
    const int steps = m_context.StepCount + 1;
    parent.maxSteps = std::max(parent.maxSteps, steps);
    if (steps > m_context.StepBudget) {
        parent.budgetHit = true;
        return false;
    }
    if (m_context.WholeWords && !IsWord(t)) return false;
    if (e == AnyChar || (e == LineEnd && c == CR) || (e == WordChar && IsWord(t))) {
        Push(p, t, depth);
        return true;
    }
    return false;
}

bool TMatcher::MatchHere(int p, int t, int depth)
{
    m_stack.clear();
    Push(p, t, depth);
    bool childResult = false;
    for (;;) {
        const std::size_t top = m_stack.size() - 1;
        TOutcome outcome = Failed;
        {
            TFrame& f = m_stack[top];
            const int pc = f.pc;
            switch (f.stage) {
            case Enter: {
                if (TryMemo(f)) {
                    outcome = Failed;
                    break;
                }
                if (f.p == m_patternEnd) {
                    outcome = EndOfPatternHolds(f.t, f.depth) ? Succeeded : Failed;
                    if (outcome == Succeeded) Succeed(f.t);
                    f.depthTold = m_context.BalanceParens;
                    break;
                }
                int q = f.p;
                if (At(q) == GroupOpen) {
                    m_mark = f.t - 1;
                    ++m_markWrites;
                    ++q;
                }
                f.pc = q;
                if (At(q) == GroupClose && IsGroupDigit(At(q + 1))) {
                    const int slot = At(q + 1) - '0' + 1;
                    m_context.Groups.GroupStart[slot] = m_mark + 1;
                    m_context.Groups.GroupEnd[slot] = f.t - 1;
                    m_context.Groups.Set[slot] = true;
                    f.stage = Tail;
                    outcome = Call(q + 2, f.t, f.depth) ? Pushed : ChildFailed;
                    break;
                }
                const unsigned char e = At(q);
                if (f.t == m_textEnd) {
                    // Only a closing "$" may stand at the very end of the text.
                    outcome = (e == LineEnd && q == m_patternEnd - 1) ? Succeeded : Failed;
                    if (outcome == Succeeded) Succeed(f.t);
                    break;
                }
                const auto c = static_cast<unsigned char>(m_text[f.t]);
                if (!m_context.SpanLines && e != LineEnd && c == CR) {
                    outcome = Failed;
                    break;
                }
                ++m_context.StepCount;
                f.counted = true;
                f.maxSteps = std::max(f.maxSteps, m_context.StepCount);
                if (m_context.StepCount > m_context.StepBudget) {
                    f.budgetHit = true;
                    outcome = Failed;
                    break;
                }
                if (m_context.WholeWords && !IsWord(f.t)) {
                    outcome = Failed;
                    break;
                }
                if (c == e || e == AnyChar || (e == LineEnd && c == CR) ||
                    (e == WordChar && IsWord(f.t))) {
                    f.depthTaken = f.depth;
                    CountParen(c, f.depthTaken);
                    f.stage = AfterTake;
                    outcome = Call(q + 1, f.t + 1, f.depthTaken) ? Pushed : ChildFailed;
                } else if (e == AnySequence) {
                    f.stage = AfterSequenceEnd;
                    outcome = Call(q + 1, f.t, f.depth) ? Pushed : ChildFailed;
                } else if (RepeatFollows(q)) {
                    // Zero repetitions are tried only when the byte does not fit.
                    f.stage = Tail;
                    outcome = Call(q + 2, f.t, f.depth) ? Pushed : ChildFailed;
                } else {
                    outcome = Failed;
                }
                break;
            }
            case AfterTake:
                if (childResult) {
                    outcome = Succeeded;
                } else if (RepeatFollows(pc)) {
                    f.stage = AfterRepeatEnd;
                    outcome = Call(pc + 2, f.t + 1, f.depthTaken) ? Pushed : ChildFailed;
                } else {
                    outcome = Failed;
                }
                break;
            case AfterRepeatEnd:
                if (childResult) {
                    outcome = Succeeded;
                } else {
                    f.stage = Tail;
                    outcome = Call(pc, f.t + 1, f.depthTaken) ? Pushed : ChildFailed;
                }
                break;
            case AfterSequenceEnd:
                if (childResult) {
                    outcome = Succeeded;
                } else {
                    f.depthTaken = f.depth;
                    CountParen(static_cast<unsigned char>(m_text[f.t]), f.depthTaken);
                    f.stage = Tail;
                    outcome = Call(pc, f.t + 1, f.depthTaken) ? Pushed : ChildFailed;
                }
                break;
            case Tail:
                outcome = childResult ? Succeeded : Failed;
                break;
            }
        }
        if (outcome == Pushed) continue;
        if (outcome == ChildFailed) {
            childResult = false;
            continue;
        }
        if (outcome == Succeeded) {
            // Every caller up the chain succeeds at once; nesting no longer matters.
            m_stack.clear();
            m_context.StepCount = 0;
            return true;
        }
        const TFrame f = m_stack.back();
        m_stack.pop_back();
        if (f.counted) --m_context.StepCount;
        if (!f.fromMemo && m_calls - f.callsAtEntry >= m_memoMinCalls) Remember(f);
        if (m_stack.empty()) {
            m_lastBudgetHit = f.budgetHit;
            return false;
        }
        TFrame& parent = m_stack.back();
        parent.maxSteps = std::max(parent.maxSteps, f.maxSteps);
        parent.budgetHit = parent.budgetHit || f.budgetHit;
        parent.depthTold = parent.depthTold || f.depthTold;
        childResult = false;
    }
}

void TMatcher::Succeed(int t)
{
    m_successT = t;
    m_successSteps = m_context.StepCount;
}

bool TMatcher::Try(int p, int t, int depth)
{
    if (m_probe) {
        // First with a far larger budget. A failure that no budget check caused holds
        // for the real budget too and is remembered for every later start; so a long
        // run that can never match is searched once, not once per start position.
        const int mark = m_mark;
        m_context.StepBudget = m_probeBudget;
        m_inProbe = true;
        const bool ok = MatchHere(p, t, depth);
        m_inProbe = false;
        m_context.StepBudget = m_budget;
        if (!ok && !m_lastBudgetHit) return false;
        // The first success in search order that fits the real budget is the one the
        // real search finds; only its group mark may differ (see m_markHazard).
        if (ok && m_successSteps <= m_budget && !m_markHazard) return true;
        if (!ok || m_successSteps > m_budget) m_probe = false;  // no help here: stop probing
        m_mark = mark;
    }
    return MatchHere(p, t, depth);
}

TMatch TMatcher::ScanForMatch(int from, bool atLineStart)
{
    m_budget = m_patternEnd + 5000;
    m_context.StepBudget = m_budget;
    int first = 0;            // leading "{" codes are dropped, one per start position
    bool leadGroup = false;   // a dropped "{" opens its group at the start position
    for (int i = from; i < m_textEnd; ++i) {
        m_context.StepCount = 0;
        if (At(first) == GroupOpen && first < m_patternEnd) {
            ++first;
            leadGroup = true;
        }
        const unsigned char e = At(first);
        if (e != AnyChar && e != AnySequence && e != LineStart && e != GroupOpen) {
            // Only a byte equal to e can start a match.
            const void* hit = std::memchr(m_text.data() + i, e, static_cast<std::size_t>(m_textEnd - i));
            if (hit == nullptr) break;
            i = static_cast<int>(static_cast<const char*>(hit) - m_text.data());
        }
        const auto c = static_cast<unsigned char>(m_text[i]);
        const int markTaken = leadGroup ? i - 1 : i;
        if (c == e || e == AnyChar) {
            int depth = 0;
            CountParen(c, depth);
            m_mark = markTaken;
            bool ok = Try(first + 1, i + 1, depth);
            if (!ok && RepeatFollows(first)) {
                m_mark = markTaken;
                ok = Try(first + 2, i + 1, depth);
                if (!ok) {
                    m_mark = markTaken;
                    ok = Try(first, i + 1, depth);
                }
            }
            if (ok) return TMatch{i, m_successT - 1};
        } else if (e == AnySequence) {
            m_mark = i - 1;
            if (Try(first + 1, i, 0)) {
                // The sequence took nothing: a match here must take at least one byte.
                if (m_successT > i) return TMatch{i, m_successT - 1};
                continue;
            }
            m_mark = markTaken;
            if (Try(first + 1, i + 1, 0)) return TMatch{i, m_successT - 1};
        } else if (e == LineStart) {
            if (i == from && atLineStart) {
                m_mark = i - 1;
                if (Try(first + 1, i, 0) && m_successT > i) return TMatch{i, m_successT - 1};
            } else if (i > from && static_cast<unsigned char>(m_text[i - 1]) == CR) {
                m_mark = markTaken;
                if (Try(first + 1, i + 1, 0)) return TMatch{i, m_successT - 1};
            }
        }
    }
    return TMatch{};
}

}  // namespace varnok
