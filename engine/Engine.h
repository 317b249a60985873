#pragma once
// The text engine's entry point: one replace-all over one text in memory.

#include <string>

namespace varnok {

// Replaces every match of pattern in text (in place); returns the count.
// Everything from the text's first NUL byte on is left as it is.
int ReplaceAll(std::string& text, std::string pattern, std::string replacement,
               bool CaseSensitive, bool WildCards, bool ExpandReplacement,
               bool WholeWords, bool BalanceParens, bool SpanLines);

}  // namespace varnok
