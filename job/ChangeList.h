#pragma once
// The change list as a run reads it from the change text: groups of three
// lines (search pattern, replacement, separator), the line advances stopping
// at the last line, so that a search line needs a line after it; a group whose
// search line is empty is dropped whole.

#include <string>
#include <vector>

namespace varnok {

struct TChange {
    std::string Search;
    std::string Replace;
    int Line = 0;  // of the search line, counted from 1
};

// Every change of the text, in order; nothing is capped here.
std::vector<TChange> ReadChangeList(const std::vector<std::string>& lines);

}  // namespace varnok
