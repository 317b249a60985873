#pragma once
// A look at a change list before it runs, for what can only be a mistake:
//   - a replacement that inserts a group its pattern never closes;
//   - a pattern that can never match (WhyNeverMatches);
//   - a last search line left without its replacement line, and a separator
//     line that looks like a pattern while changes follow it: signs of a
//     missing line that shifts every later change;
//   - a list that holds no change at all.
// Each finding is one line of text that names the change by its number and its
// first line. The list is read exactly as the run reads it (ChangeList.h).

#include <string>
#include <string_view>
#include <vector>

#include "EditStep.h"

namespace varnok {

// The options of the run that decide what a pattern can match.
std::vector<std::string> CheckChangeList(const std::vector<std::string>& lines,
                                         const TMatchOptions& options);

// The line of the change list (1 for the first) that a finding names first,
// 0 when it names none.
int FindingLine(std::string_view finding);

// Why the run can never match the typed pattern, or "" when it may match.
//
// "Never" holds for every text the edit pass searches: its line breaks are
// CR LF and it ends with one (WorkingText.h), and it holds none of the bytes
// 15 to 22, the codes of the pattern's elements, which the matcher would take
// literally. An earlier change of the list that cuts a CR from its LF or takes
// the last line break away can break the first condition; files holding such
// bytes are not text. Every rule is proven from the matcher
// (engine/Matcher.cpp) at the place where it is checked.
std::string WhyNeverMatches(std::string_view pattern, const TMatchOptions& options);

}  // namespace varnok
