#include "FileMask.h"

namespace varnok {
namespace {

char Folded(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Greedy matching with one back-track point per "*": linear in practice and
// never exponential, whatever the mask.
bool Glob(std::string_view mask, std::string_view name) {
    std::size_t m = 0, n = 0;
    std::size_t starMask = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() && (mask[m] == '?' || Folded(mask[m]) == Folded(name[n]))) {
            ++m;
            ++n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

}  // namespace

bool MaskMatches(std::string_view mask, std::string_view name) {
    if (Glob(mask, name)) return true;
    if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" &&
        name.find('.') == std::string_view::npos) {
        return Glob(mask.substr(0, mask.size() - 2), name);
    }
    return false;
}

}  // namespace varnok
