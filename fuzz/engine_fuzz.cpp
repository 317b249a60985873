// The fast engine against the literal transcription of the designed algorithm:
// the same text and count from a replace-all, the same match and groups from a
// single search, and no skipped text that holds a match.
//
// Input: the pattern and the replacement as FuzzedDataProvider strings (a
// backslash pair stands for one backslash, a backslash and another byte end
// the string), then the text; the option bits and the offset are taken from
// the end.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Reference.h"
#include "engine/Engine.h"
#include "engine/Pattern.h"
#include "engine/Search.h"

namespace {

// Enough for the reference on every input the fast engine takes well under a
// second for; inputs beyond it are compared no further.
constexpr long long kReferenceSteps = 300'000;

std::string Show(const std::string& s) {
    std::string out;
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32 || b >= 127 || b == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

[[noreturn]] void Mismatch(const char* what, const std::string& pattern, const std::string& replacement,
                           const std::string& text, unsigned options) {
    std::fprintf(stderr, "%s\n  pattern     %s\n  replacement %s\n  text        %s\n  options     %02X\n",
                 what, Show(pattern).c_str(), Show(replacement).c_str(), Show(text).c_str(), options);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const unsigned options = input.ConsumeIntegral<std::uint8_t>();
    const int offsetChoice = input.ConsumeIntegral<std::uint8_t>();
    const std::string pattern = input.ConsumeRandomLengthString(64);
    const std::string replacement = input.ConsumeRandomLengthString(64);
    const std::string text = input.ConsumeRemainingBytesAsString();
    const bool caseSensitive = options & 1, wildCards = options & 2, expand = options & 4,
               wholeWords = options & 8, balance = options & 16, spanLines = options & 32;

    std::string fast = text;
    std::string slow = text;
    const int fastCount = varnok::ReplaceAll(fast, pattern, replacement, caseSensitive, wildCards, expand,
                                             wholeWords, balance, spanLines);
    const varnok::TPreparedChange prepared(pattern, replacement, caseSensitive, wildCards, expand,
                                           wholeWords, balance, spanLines);
    std::string again = text;
    if (prepared.ReplaceAll(again) != fastCount || again != fast) {
        Mismatch("prepared change differs", pattern, replacement, text, options);
    }
    if (fastCount != 0 && !prepared.MayMatch(text)) {
        Mismatch("a text with a match was skipped", pattern, replacement, text, options);
    }
    try {
        varnok::reference::LimitWork(kReferenceSteps);
        const int slowCount = varnok::reference::ReplaceAll(slow, pattern, replacement, caseSensitive,
                                                            wildCards, expand, wholeWords, balance, spanLines);
        if (fastCount != slowCount) Mismatch("count differs", pattern, replacement, text, options);
        if (fast != slow) Mismatch("text differs", pattern, replacement, text, options);
    } catch (const varnok::reference::TTooMuchWork&) {
        return 0;
    }

    // One search with wild cards from an offset, as the differential test does.
    std::string compiled = pattern;
    varnok::TSearchContext fastContext;
    varnok::reference::TContext slowContext;
    fastContext.WildActive = varnok::HasWildCards(true, compiled);
    varnok::reference::HasWildCards(slowContext, true, compiled);
    fastContext.WholeWords = slowContext.WholeWords = wholeWords;
    fastContext.BalanceParens = slowContext.BalanceParens = balance;
    fastContext.SpanLines = slowContext.SpanLines = spanLines;
    varnok::CompilePattern(compiled);
    varnok::ClearGroups(fastContext);
    varnok::reference::ClearGroups(slowContext);
    const int offset = offsetChoice % (static_cast<int>(text.size()) + 2) - 1;
    const varnok::TMatch m = varnok::FindMatch(fastContext, compiled, text, offset);
    int start = -1;
    int end = -1;
    try {
        varnok::reference::LimitWork(kReferenceSteps);
        varnok::reference::FindMatch(slowContext, compiled, text, offset, start, end);
    } catch (const varnok::reference::TTooMuchWork&) {
        return 0;
    }
    if (m.Start != start || m.End != end) Mismatch("match differs", pattern, "", text, options);
    if (!m.Found()) return 0;
    for (int slot = 0; slot <= 10; ++slot) {
        const auto& groups = fastContext.Groups;
        if (groups.Set[slot] != slowContext.Set[slot] ||
            (slowContext.Set[slot] && (groups.GroupStart[slot] != slowContext.GroupStart[slot] ||
                                       groups.GroupEnd[slot] != slowContext.GroupEnd[slot]))) {
            Mismatch("groups differ", pattern, "", text, options);
        }
    }
    return 0;
}
