#include "ChangeList.h"

namespace varnok {

std::vector<TChange> ReadChangeList(const std::vector<std::string>& lines) {
    std::vector<TChange> changes;
    const long long last = static_cast<long long>(lines.size()) - 1;
    long long j = 0;
    while (j < last) {
        const long long first = j;
        const std::string& search = lines[j++];
        const std::string& replace = lines[j];
        if (j < last) ++j;
        if (!search.empty()) changes.push_back({search, replace, static_cast<int>(first + 1)});
        if (j < last) ++j;
    }
    return changes;
}

}  // namespace varnok
