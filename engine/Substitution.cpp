#include "Substitution.h"

#include <cstring>

namespace varnok {

void PrepareReplacement(std::string& replacement)
{
    const std::string& in = replacement;
    const std::size_t n = in.size();
    std::string out;
    out.reserve(n);
    std::size_t j = 0;
    // The last byte is never looked at on its own, hence j + 1 < n.
    while (j + 1 < n) {
        const char c = in[j];
        const char next = in[j + 1];
        if (c == '\\') {
            out += next;
            j += 2;
        } else if (c == '{' && next == '}' && j + 2 < n && IsGroupDigit(static_cast<unsigned char>(in[j + 2]))) {
            out += static_cast<char>(in[j + 2] - '0');
            j += 3;
        } else if (c == '^' && (next == 'n' || next == 'N')) {
            out += static_cast<char>(CR);
            out += static_cast<char>(LF);
            j += 2;
        } else if (c == '^' && (next == 't' || next == 'T')) {
            out += static_cast<char>(TAB);
            j += 2;
        } else {
            out += c;
            ++j;
        }
    }
    if (j < n) out += in[j];
    replacement = std::move(out);
}

int LineStartOf(std::string_view text, int index)
{
    const void* lf = index > 0 ? memrchr(text.data(), LF, static_cast<std::size_t>(index)) : nullptr;
    return lf ? static_cast<int>(static_cast<const char*>(lf) - text.data()) + 2 : 1;
}

int IndentOf(std::string_view text, int index)
{
    const int from = LineStartOf(text, index) - 1;
    const int last = static_cast<int>(text.size()) - 1;
    int k = from;
    while (k < last && text[k] == ' ') ++k;
    return k - from;
}

std::string ExpandGroups(std::string_view r, const TGroupTable& groups, std::string_view source)
{
    std::string out;
    out.reserve(r.size());
    for (const char c : r) {
        const auto b = static_cast<unsigned char>(c);
        if (b > 8) {
            out += c;
            continue;
        }
        const int slot = b + 1;
        if (!groups.Set[slot]) continue;
        const int start = groups.GroupStart[slot];
        const int end = groups.GroupEnd[slot];
        if (start < 0 || end < start || end >= static_cast<int>(source.size())) continue;
        out.append(source.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start + 1)));
    }
    return out;
}

void IndentLineBreaks(std::string& r, int indent)
{
    if (indent <= 0 || r.find(static_cast<char>(CR)) == std::string::npos) return;
    std::string out;
    out.reserve(r.size() + 16);
    const std::size_t n = r.size();
    // A CR's blanks go after the byte that follows it. When that byte is itself a
    // CR, the earlier blanks follow it, so its own blanks join that run.
    int owed = 0;
    for (std::size_t j = 0; j < n; ++j) {
        out += r[j];
        int blanks = owed;
        owed = 0;
        if (static_cast<unsigned char>(r[j]) == CR && (j + 1 < n || blanks > 0)) {
            if (blanks > 0)
                blanks += indent;
            else
                owed = indent;
        }
        out.append(static_cast<std::size_t>(blanks), ' ');
    }
    r = std::move(out);
}

}  // namespace varnok
