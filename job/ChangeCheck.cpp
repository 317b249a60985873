#include "ChangeCheck.h"

#include <bitset>
#include <charconv>

#include "ChangeList.h"
#include "engine/Pattern.h"
#include "engine/Substitution.h"
#include "TextUtils.h"

namespace varnok {
namespace {

// How the matcher walks a compiled pattern (engine/Matcher.cpp). The scanner
// handles the first element itself: after dropping the leading "{" codes (one
// per start position) it starts a match at a byte only for a literal equal to
// it, "?", "*" or "!". Every later element is handled by a frame of MatchHere,
// which first passes one "{" and then
//   - for "}d" (d a digit 0 to 8) records the group and goes on at q + 2;
//   - at the end of the text succeeds only for a "$" that is the last element;
//   - fails at a CR unless the element is "$" or lines are spanned;
//   - with whole words, fails at a byte that is no word character;
//   - takes the byte when it equals the element (a code taken literally), or
//     for "?", for "$" at a CR, for "@" at a word character; then goes on at
//     q + 1, or past a following "+" at q + 2, or repeats at q;
//   - for "*" goes on at q without taking the byte, or takes it and repeats;
//   - for an element followed by "+" that did not fit, goes on at q + 2;
//   - and fails otherwise.
// Frames only move forward, so every match passes a frame whose element is j,
// for each j after the first element, unless the code at j is a "+" passed by
// the element before it, a digit passed with its "}", or a "{" passed on the
// way to the element after it; and unless a "+" follows j, leaving it out.
// An element that cannot take the byte in front of it there, and has no "+"
// after it, therefore ends every attempt. Searched texts hold no byte 0 before
// their end and none of the codes 15 to 22 (see the header).

bool IsCode(unsigned char c) { return c >= GroupOpen && c <= WordChar; }
bool IsWordByte(unsigned char c) { return WordCharsFolded[c] != 0; }

std::string Shown(unsigned char c) {
    switch (c) {
        case CR: return "^n";
        case TAB: return "^t";
        case LineStart: return "!";
        case LineEnd: return "$";
        case WordChar: return "@";
        case GroupClose: return "}";
        default: return std::string(1, static_cast<char>(c));
    }
}

// The first element can take the text's last LF and then reach the last
// element at the end of the text: all between is "{", "}d" or its own "+".
bool EndFollowsFirst(const std::string& code, std::size_t first) {
    const auto e = static_cast<unsigned char>(code[first]);
    if (e != LineStart && e != AnyChar && e != AnySequence && e != LF) return false;
    for (std::size_t j = first + 1; j + 1 < code.size(); ++j) {
        const auto c = static_cast<unsigned char>(code[j]);
        if (c == GroupClose && IsGroupDigit(static_cast<unsigned char>(code[j + 1])))
            ++j;
        else if (c != GroupOpen && !(c == Repeat && j == first + 1))
            return false;
    }
    return true;
}

struct TPatternFacts {
    std::string Never;     // why it can never match, or ""
    bool Wild = false;
    std::bitset<9> Closes;  // the groups it closes
};

TPatternFacts Examine(std::string pattern, const TMatchOptions& options) {
    TPatternFacts facts;
    if (!options.CaseSensitive) UpperCaseInPlace(pattern);
    facts.Wild = HasWildCards(true, pattern);
    CompilePattern(pattern);
    const auto at = [&](std::size_t i) {
        return i < pattern.size() ? static_cast<unsigned char>(pattern[i]) : 0;
    };
    const std::size_t n = pattern.size();
    if (n == 0) {
        facts.Never = "nothing is left of it once its \"\\\" escapes are read";
        return facts;
    }
    const auto lineBreakThen = [&](unsigned char taker, unsigned char next) {
        return "\"" + Shown(taker) + "\" takes only the CR of a line break, and \"" + Shown(next) +
               "\" cannot match the LF that always follows it; \"?\" can";
    };

    if (!facts.Wild) {
        // The plain search compares the compiled bytes, which have no groups.
        for (std::size_t i = 0; i < n; ++i) {
            if (at(i) == GroupClose) {
                facts.Never = "without wild cards it has no groups, and its \"}\" matches nothing in a "
                              "text; write \"\\}\" for the character";
                return facts;
            }
            if (at(i) == CR && i + 1 < n && at(i + 1) != LF) {
                facts.Never = lineBreakThen(CR, at(i + 1));
                return facts;
            }
        }
        return facts;
    }

    // The last "{" is passed only on the way to an element past the end (a
    // byte 0), or taken literally after another "{"; a match must get past it,
    // as it is neither "+" nor a digit.
    if (at(n - 1) == GroupOpen) {
        facts.Never = "it ends in \"{\", which starts a group that nothing follows";
        return facts;
    }
    std::size_t first = 0;
    while (at(first) == GroupOpen) ++first;
    // The scanner starts no match at a "+", "@", "$" or "}": it looks for a
    // byte equal to the code.
    switch (at(first)) {
        case Repeat: facts.Never = "it begins with \"+\", which has nothing before it to repeat"; return facts;
        case WordChar:
        case LineEnd:
        case GroupClose:
            facts.Never = "a match cannot begin with \"" + Shown(at(first)) + "\"" +
                          (at(first) == GroupClose ? "; write \"\\}\" for the character" : "");
            return facts;
        default: break;
    }

    int depth = 0;
    bool parenRepeated = false;
    bool takesAnything = false;  // "?" or "*": they can take a parenthesis
    std::size_t closeDigit = 0;  // the digit of the last "}d", 0 for none
    for (std::size_t j = first; j < n; ++j) {
        const unsigned char e = at(j);
        const bool repeated = at(j + 1) == Repeat;
        if (e == '(' || e == ')') {
            depth += e == '(' ? 1 : -1;
            parenRepeated = parenRepeated || repeated;
        }
        if (e == AnyChar || e == AnySequence) takesAnything = true;
        if (j == first) continue;  // the scanner's, checked above
        if (e == GroupOpen) continue;
        if (e == GroupClose && IsGroupDigit(at(j + 1))) {
            facts.Closes.set(at(j + 1) - '0');
            closeDigit = ++j;
            continue;
        }
        if (repeated) continue;  // may be left out
        std::string never;
        if (e == Repeat) {
            // Nothing before it repeats it: a "{" (not itself taken as an
            // element after another "{") or the digit of a group end.
            if ((at(j - 1) == GroupOpen && at(j - 2) != GroupOpen) || (closeDigit != 0 && closeDigit == j - 1))
                never = "a \"+\" right after \"{\" or after a group end has nothing to repeat";
        } else if (e == LineStart) {
            never = "\"!\" is a line start only as the first element; write \"\\!\" for the character";
        } else if (e == GroupClose) {
            never = "\"}\" ends a group only before a digit 0 to 8; write \"\\}\" for the character";
        } else if (e == AnySequence && j == n - 2 && at(n - 1) == LineEnd && !options.SpanLines) {
            // A "*" frame fails at a CR and at the end of the text, so the "$"
            // after it is tried only where neither is.
            never = "\"*\" stops at the end of a line unless \"Span Lines When Matching\" is on, so the "
                    "\"$\" after it never matches";
        } else if (e == CR && !options.SpanLines) {
            never = "\"^n\" matches a line break only when \"Span Lines When Matching\" is on; \"$\" "
                    "matches the end of a line without it";
        } else if (options.WholeWords &&
                   (e == LineEnd ? j + 1 < n || !EndFollowsFirst(pattern, first) : !IsCode(e) && !IsWordByte(e))) {
            // Whole words fail a frame at a byte that is no word character,
            // before the element looks at it; the first element is exempt. A
            // "$" takes a CR, or stands at the end of the text, right after
            // its last line break, which only the exempt first element can
            // have taken.
            never = e == LineEnd ? "with \"Whole Words Only\" a match cannot take the line break of \"$\""
                                 : "with \"Whole Words Only\" every character of a match is a letter, a digit "
                                   "or \"_\", and \"" + Shown(e) + "\" is none of them";
        } else if ((e == CR || e == LineEnd) && j + 1 < n && at(j + 2) != Repeat) {
            // Both take only a CR here (a "$" that is not last cannot stand at
            // the text's end), and the LF after it meets the next element: a
            // literal, "@", "!" (taken literally) or "$" cannot take it.
            const unsigned char next = at(j + 1);
            if ((!IsCode(next) && next != LF) || next == WordChar || next == LineStart || next == LineEnd)
                never = lineBreakThen(e, next);
        }
        if (!never.empty()) {
            facts.Never = std::move(never);
            return facts;
        }
    }
    // Only "?" and "*" take a parenthesis the pattern does not name, and each
    // literal one without "+" is taken exactly once: the depth at the end is
    // the literal count, and the end fails unless it is 0.
    if (depth != 0 && !takesAnything && !parenRepeated) {
        facts.Never = std::string("it holds more \"") + (depth > 0 ? "(" : ")") + "\" than \"" +
                      (depth > 0 ? ")" : "(") + "\", and a match holds as many of each";
    }
    return facts;
}

std::string Quoted(const std::string& line) {
    constexpr std::size_t kShown = 40;
    return "\"" + (line.size() > kShown ? line.substr(0, kShown) + "..." : line) + "\"";
}

std::string Named(int number, int line, const std::string& firstLine) {
    return "Change " + IntToText(number) + ", line " + IntToText(line) + " " + Quoted(firstLine) + ": ";
}

bool LooksLikePattern(const std::string& line) {
    bool word = false;
    for (const char c : line) word = word || IsWordByte(static_cast<unsigned char>(c));
    // A ruler of "*" or "+" has no word in it.
    return word && HasWildCards(true, line);
}

}  // namespace

int FindingLine(std::string_view finding) {
    // As Named spells it: "Change N, line L ...".
    if (!finding.starts_with("Change ")) return 0;
    const std::size_t at = finding.find(", line ");
    if (at == std::string_view::npos) return 0;
    int line = 0;
    const char* from = finding.data() + at + 7;
    std::from_chars(from, finding.data() + finding.size(), line);
    return line;
}

std::string WhyNeverMatches(std::string_view pattern, const TMatchOptions& options) {
    return pattern.empty() ? std::string() : Examine(std::string(pattern), options).Never;
}

std::vector<std::string> CheckChangeList(const std::vector<std::string>& lines,
                                         const TMatchOptions& options) {
    std::vector<std::string> findings;
    const std::vector<TChange> changes = ReadChangeList(lines);
    const auto count = static_cast<long long>(lines.size());
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const TChange& change = changes[i];
        const std::string name = Named(static_cast<int>(i + 1), change.Line, change.Search);
        const TPatternFacts facts = Examine(change.Search, options);
        if (!facts.Never.empty()) {
            findings.push_back(name + "the pattern can never match: " + facts.Never);
        } else {
            std::string replacement = change.Replace;
            PrepareReplacement(replacement);
            std::bitset<9> inserted;
            for (const char c : replacement)
                if (static_cast<unsigned char>(c) <= 8) inserted.set(static_cast<unsigned char>(c));
            for (int d = 0; d <= 8; ++d) {
                if (!inserted[d] || facts.Closes[d]) continue;
                const std::string digit = IntToText(d);
                findings.push_back(name + "the replacement inserts group " + digit + " (\"{}" + digit +
                                   "\"), but " +
                                   (facts.Wild ? "the pattern never closes it with \"}" + digit + "\""
                                               : "a pattern without wild cards has no groups") +
                                   ", so nothing is inserted there");
            }
        }
        // The separator is the line after the replacement.
        const long long separator = change.Line + 1;
        if (separator < count - 1 && LooksLikePattern(lines[separator])) {
            findings.push_back(name + "its separator, line " + IntToText(separator + 1) + " " +
                               Quoted(lines[separator]) +
                               ", looks like a pattern: if a line is missing above it, every later change "
                               "is read one line off");
        }
    }
    // A last line that begins a group has no line after it and is ignored.
    if (count % 3 == 1 && !lines.back().empty()) {
        findings.push_back(Named(static_cast<int>(changes.size() + 1), static_cast<int>(count), lines.back()) +
                           "the change text ends after this search line; without a replacement line the "
                           "run ignores it");
    }
    if (changes.empty()) findings.push_back("The change list holds no change: the run would only count files");
    return findings;
}

}  // namespace varnok
