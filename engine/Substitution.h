#pragma once
// The replacement side of a replace-all: escapes and group references, group
// texts, and the indentation of inserted line breaks.

#include <string>
#include <string_view>

#include "Search.h"

namespace varnok {

// Expands escapes in place: "\c" gives c, "{}d" (d in 0..8) gives the placeholder
// byte d, "^n" gives CR LF, "^t" gives TAB. A "\" in the last place stays.
void PrepareReplacement(std::string& replacement);

// 1-based index of the first byte of the line holding the 0-based index.
int LineStartOf(std::string_view text, int index);

// The blanks (byte 32 only) at the start of the line holding index; the text's
// last byte is never counted.
int IndentOf(std::string_view text, int index);

// r with each placeholder byte d (0..8) replaced by the text of group d, read from
// source; an unset or empty group gives nothing. Inserted texts are never
// expanded again, so a group holding placeholder bytes keeps them as they are.
std::string ExpandGroups(std::string_view r, const TGroupTable& groups, std::string_view source);

// Puts indent blanks after the byte that follows each CR of r, except a CR in the
// last place.
void IndentLineBreaks(std::string& r, int indent);

}  // namespace varnok
