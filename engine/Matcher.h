#pragma once
// The wild-card matcher: a depth-first search over (pattern position, text
// position, parenthesis depth) that tries alternatives in a fixed order and takes
// the first that succeeds, bounded by a nesting budget.
//
// Backtracking can be exponential ("a+a+a+a+b" on a long run of a), so failures
// are remembered. A failure that no budget check caused holds for any nesting; one
// that the budget caused holds for any smaller headroom. With balanced
// parentheses, the parenthesis depth only decides at the end of the pattern, so
// a failure that never got there holds for any depth: without that, every start
// position at a new depth would search the rest of the text afresh. Failed branches leave one
// side effect that later groups can see: the group-start mark. Where the pattern
// lets that matter (a "{" after a "}d"), a failure is reused only when its
// exploration would be repeated step for step.
//
// StepCount is exactly the nesting: a call that fails its budget or whole-word
// check gives its level back like any other, so the budget caps the depth of one
// attempt and never shrinks as failures pile up.
//
// Each start position is first searched under a budget deep enough for the whole
// text. Where that fails without touching the budget, the failure is final and
// every failure inside it holds for later start positions, so a run of a that
// can never match is searched once rather than once per start. Anything else is
// searched again under the real budget.
//
// The search runs on an explicit stack: no pattern or text can exhaust the
// machine stack.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "Search.h"

namespace varnok {

class TMatcher {
public:
    // A failure is remembered only when proving it took memoMinCalls calls: small
    // ones are cheaper to repeat than to look up, and the big ones bound the work.
    static constexpr std::uint64_t kMemoMinCalls = 8;

    TMatcher(TSearchContext& context, std::string_view pattern, std::string_view text,
             int textEnd, const TByteTable& wordChars, std::uint64_t memoMinCalls = kMemoMinCalls);

    // Tries every start position of the stretch [from, textEnd). A reported match
    // covers at least one byte; End is the last byte the pattern took.
    TMatch ScanForMatch(int from, bool atLineStart);

    // Matches the pattern from p at text position t with the given parenthesis
    // depth, under the budget in the context; ScanForMatch sets the group mark.
    bool MatchHere(int p, int t, int depth);

private:
    enum TStage : unsigned char { Enter, AfterTake, AfterRepeatEnd, AfterSequenceEnd, Tail };
    struct TFrame {
        int p;
        int t;
        int depth;
        int pc = 0;          // the element's position, after a "{" at p
        int depthTaken = 0;  // depth once the byte at t is counted
        int stepsAtEntry;
        int maxSteps;
        std::uint64_t callsAtEntry;
        std::uint64_t markWritesAtEntry;
        TStage stage = Enter;
        bool counted = false;  // passed the budget check, so owes one StepCount back
        bool budgetHit = false;
        bool depthTold = false;  // an end of the pattern failed, perhaps for the depth
        bool fromMemo = false;
    };
    struct TMemoEntry {
        int t;
        int depth;
        int headroom;
        int reach;  // deepest nesting the exploration reached, above its entry
        int lastMark;
        bool budgetHit;
        bool depthTold;
        bool markless;  // its mark is unknown
        bool used;
    };
    // Failures that hold whatever the nesting, one bit per (t, p), in pages made
    // as failures land in them: a replace-all runs once per change on every
    // file, and most touch a small part of the text.
    class TFailureBits {
    public:
        bool Test(std::size_t bit) const;
        void Set(std::size_t bit, std::size_t bits);

    private:
        static constexpr int kPageShift = 16;
        static constexpr std::size_t kPageMask = (std::size_t{1} << kPageShift) - 1;
        std::vector<std::unique_ptr<std::uint64_t[]>> m_pages;
    };

    unsigned char At(int p) const
    {
        return p < m_patternEnd ? static_cast<unsigned char>(m_pattern[p]) : 0;
    }
    bool RepeatFollows(int p) const { return At(p + 1) == Repeat; }
    bool IsWord(int t) const { return m_wordChars[static_cast<unsigned char>(m_text[t])] != 0; }
    bool EndOfPatternHolds(int t, int depth) const;

    // A start position's attempt: MatchHere, first tried under a large budget.
    bool Try(int p, int t, int depth);
    void Succeed(int t);
    void Push(int p, int t, int depth);
    bool Call(int p, int t, int depth);  // false: the call failed at once
    bool TryMemo(TFrame& frame);
    void Remember(const TFrame& frame);
    TMemoEntry& Slot(int p, int t);
    bool Universal(const TFrame& f) const;
    std::size_t Bit(int p, int t) const;

    TSearchContext& m_context;
    std::string_view m_pattern;
    int m_patternEnd;
    std::string_view m_text;
    int m_textEnd;
    const TByteTable& m_wordChars;
    std::uint64_t m_memoMinCalls;
    bool m_markHazard = false;  // a failed branch's mark can reach a later group

    int m_mark = 0;
    std::uint64_t m_markWrites = 0;
    int m_successT = 0;
    int m_successSteps = 0;  // nesting at the end of the last success
    bool m_lastBudgetHit = false;
    int m_budget = 0;
    int m_probeBudget = 0;  // deep enough for two frames per byte of the text
    bool m_probe = false;
    bool m_inProbe = false;  // success or failure is all a probe's caller uses
    std::uint64_t m_calls = 0;
    std::vector<TFrame> m_stack;

    std::vector<TMemoEntry> m_memo;  // rows of text positions by pattern positions
    std::size_t m_memoRowMask = 0;
    static constexpr std::size_t kUniversalMaxBits = std::size_t{1} << 26;
    std::size_t m_universalBits = 0;  // 0: no room for them
    TFailureBits m_universal;         // failed at depth 0, or at any depth without balancing
    TFailureBits m_anyDepth;          // balancing: failed before any end of the pattern
};

}  // namespace varnok
