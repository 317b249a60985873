#include "UnifiedDiff.h"

#include <dtl/dtl.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace varnok {
namespace {

constexpr std::size_t kContext = 3;
// Lines of each side aligned at a time where the texts part, at first and
// at most; see MarkCommon.
constexpr std::size_t kWindow = 64;
constexpr std::size_t kMaxWindow = 4096;

// Each line with its LF (the last one may lack it) and its hash, for a
// quick test of inequality.
struct TLines {
    std::vector<std::string_view> Text;
    std::vector<std::size_t> Hash;

    std::size_t size() const { return Text.size(); }
};

TLines LinesOf(std::string_view text) {
    TLines lines;
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p != end) {
        const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
        const char* next = lf ? static_cast<const char*>(lf) + 1 : end;
        lines.Text.emplace_back(p, static_cast<std::size_t>(next - p));
        lines.Hash.push_back(std::hash<std::string_view>()(lines.Text.back()));
        p = next;
    }
    return lines;
}

bool Same(const TLines& a, std::size_t i, const TLines& b, std::size_t j) {
    return a.Hash[i] == b.Hash[j] && a.Text[i] == b.Text[j];
}

struct TPair {
    std::size_t A, B;
};

// Finds the lines that both texts keep.
//
// A replace-all changes text in place, so the lines of both texts mostly
// run side by side. Equal lines are kept as they come (no alignment can do
// better than keeping them). Where the texts part, dtl aligns a window of
// the next lines of both, and its alignment is taken as far as the window's
// first half: further on, lines beyond the window might align them
// otherwise. A window with no common line in its first half grows. So the
// cost grows with the changes, not the size of the texts, and a diff of
// texts that fit in the first window is a shortest one.
class TAligner {
public:
    TAligner(const TLines& a, const TLines& b) : m_a(a), m_b(b) {}

    // Marks the lines kept; the n-th marked line of a is the n-th of b.
    void MarkCommon(std::vector<char>& keptA, std::vector<char>& keptB);

private:
    // Sets m_common to the lines dtl keeps of a[i, endA) and b[j, endB).
    void AlignWindow(std::size_t i, std::size_t endA, std::size_t j, std::size_t endB);

    const TLines& m_a;
    const TLines& m_b;
    // Kept from window to window, so that a window costs no allocation.
    std::vector<std::uint64_t> m_inA, m_inB;
    std::vector<std::string_view> m_restA, m_restB;
    std::vector<std::size_t> m_lineA, m_lineB;  // the lines m_restA and m_restB stand for
    std::vector<TPair> m_common;
};

void TAligner::AlignWindow(std::size_t i, std::size_t endA, std::size_t j, std::size_t endB) {
    // A line found on one side only is in no common subsequence: left out, it
    // costs the search nothing, and a window where every line changed needs
    // no search at all. Which lines a side holds is told by a filter of their
    // hashes, which lets few other lines through and never holds one back.
    const std::size_t bits = 64 * std::max(endA - i, endB - j);
    const auto fill = [bits](std::vector<std::uint64_t>& filter, const TLines& lines, std::size_t from,
                             std::size_t to) {
        filter.assign(bits / 64, 0);
        for (std::size_t x = from; x < to; ++x) {
            const std::size_t bit = lines.Hash[x] % bits;
            filter[bit / 64] |= std::uint64_t{1} << (bit % 64);
        }
    };
    const auto holds = [bits](const std::vector<std::uint64_t>& filter, std::size_t hash) {
        const std::size_t bit = hash % bits;
        return (filter[bit / 64] >> (bit % 64)) & 1;
    };
    const auto keepFound = [&](const TLines& lines, std::size_t from, std::size_t to,
                               const std::vector<std::uint64_t>& other,
                               std::vector<std::string_view>& rest, std::vector<std::size_t>& at) {
        rest.clear();
        at.clear();
        for (std::size_t x = from; x < to; ++x) {
            if (holds(other, lines.Hash[x])) {
                rest.push_back(lines.Text[x]);
                at.push_back(x);
            }
        }
    };
    fill(m_inA, m_a, i, endA);
    fill(m_inB, m_b, j, endB);
    keepFound(m_a, i, endA, m_inB, m_restA, m_lineA);
    keepFound(m_b, j, endB, m_inA, m_restB, m_lineB);
    m_common.clear();
    if (m_restA.empty() || m_restB.empty()) return;
    dtl::Diff<std::string_view> diff(m_restA, m_restB);
    diff.compose();
    for (const auto& [line, info] : diff.getSes().getSequence()) {
        if (info.type != dtl::SES_COMMON) continue;
        m_common.push_back({m_lineA[static_cast<std::size_t>(info.beforeIdx) - 1],
                            m_lineB[static_cast<std::size_t>(info.afterIdx) - 1]});
    }
}

void TAligner::MarkCommon(std::vector<char>& keptA, std::vector<char>& keptB) {
    const std::size_t endA = m_a.size(), endB = m_b.size();
    keptA.assign(endA, 0);
    keptB.assign(endB, 0);
    std::size_t i = 0, j = 0;
    for (;;) {
        while (i < endA && j < endB && Same(m_a, i, m_b, j)) {
            keptA[i++] = 1;
            keptB[j++] = 1;
        }
        if (i == endA || j == endB) return;
        for (std::size_t window = kWindow;; window *= 2) {
            const bool toTheEnds = i + window >= endA && j + window >= endB;
            AlignWindow(i, std::min(endA, i + window), j, std::min(endB, j + window));
            std::size_t taken = 0;
            while (taken < m_common.size() &&
                   (toTheEnds || (m_common[taken].A < i + window / 2 && m_common[taken].B < j + window / 2))) {
                ++taken;
            }
            if (taken == 0 && !toTheEnds && window < kMaxWindow) continue;
            for (std::size_t k = 0; k < taken; ++k) keptA[m_common[k].A] = keptB[m_common[k].B] = 1;
            if (taken != 0) {
                i = m_common[taken - 1].A + 1;
                j = m_common[taken - 1].B + 1;
            } else {
                // Nothing in common up to the ends, or in the first half of
                // the widest window: those lines all changed.
                i = toTheEnds ? endA : std::min(endA, i + window / 2);
                j = toTheEnds ? endB : std::min(endB, j + window / 2);
            }
            break;
        }
    }
}

// Lines [A0, A1) of the old text replaced by lines [B0, B1) of the new.
struct TBlock {
    std::size_t A0, A1, B0, B1;
};

std::vector<TBlock> BlocksOf(const std::vector<char>& keptA, const std::vector<char>& keptB) {
    std::vector<TBlock> blocks;
    std::size_t i = 0, j = 0;
    while (i < keptA.size() || j < keptB.size()) {
        if (i < keptA.size() && j < keptB.size() && keptA[i] && keptB[j]) {
            ++i;
            ++j;
            continue;
        }
        TBlock block{i, i, j, j};
        while (i < keptA.size() && !keptA[i]) ++i;
        while (j < keptB.size() && !keptB[j]) ++j;
        block.A1 = i;
        block.B1 = j;
        blocks.push_back(block);
    }
    return blocks;
}

bool NeedsQuotes(std::string_view name) {
    return std::any_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= ' ' || byte == 0x7f || c == '"' || c == '\\';
    });
}

// A name as the diff shows it: a leading "./" (a walk of ".") dropped, since
// git apply refuses it and patch reads the name the same without it.
std::string Quoted(std::string_view name) {
    while (name.starts_with("./") && name.size() > 2) name.remove_prefix(2);
    if (!NeedsQuotes(name)) return std::string(name);
    std::string quoted = "\"";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (byte < ' ' || byte == 0x7f) {
            char octal[5];
            std::snprintf(octal, sizeof octal, "\\%03o", byte);
            quoted += octal;
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}

// "start,length" of a hunk's side, or "start" alone for one line; an empty
// side is named by the line before it.
void AppendRange(std::string& out, std::size_t start, std::size_t length) {
    out += std::to_string(length == 0 ? start : start + 1);
    if (length != 1) {
        out += ',';
        out += std::to_string(length);
    }
}

class TWriter {
public:
    TWriter(std::string& out, const TDiffMarkup& markup) : m_out(out), m_markup(markup) {}

    void Line(char kind, std::string_view start, std::string_view line) {
        const bool ended = !line.empty() && line.back() == '\n';
        m_out += start;
        m_out += kind;
        m_out.append(line.data(), line.size() - (ended ? 1 : 0));
        if (!start.empty()) m_out += m_markup.End;
        m_out += '\n';
        if (!ended) m_out += "\\ No newline at end of file\n";
    }

    void Names(std::string_view name, std::string_view newName) {
        for (const char* sign : {"--- ", "+++ "}) {
            m_out += m_markup.Names;
            m_out += sign;
            m_out += Quoted(sign[0] == '+' && !newName.empty() ? newName : name);
            m_out += m_markup.End;
            m_out += '\n';
        }
    }

    void Hunk(std::size_t a0, std::size_t aLength, std::size_t b0, std::size_t bLength) {
        m_out += m_markup.Hunk;
        m_out += "@@ -";
        AppendRange(m_out, a0, aLength);
        m_out += " +";
        AppendRange(m_out, b0, bLength);
        m_out += " @@";
        m_out += m_markup.End;
        m_out += '\n';
    }

private:
    std::string& m_out;
    const TDiffMarkup& m_markup;
};

}  // namespace

void AppendUnifiedDiff(std::string& out, std::string_view name, std::string_view before,
                       std::string_view after, const TDiffMarkup& markup, std::string_view encoding,
                       std::string_view newName) {
    if (before == after) return;
    if (!encoding.empty()) out.append("Shown as UTF-8, the file is ").append(encoding).append(" text\n");
    const TLines a = LinesOf(before);
    const TLines b = LinesOf(after);
    std::vector<char> keptA, keptB;
    TAligner(a, b).MarkCommon(keptA, keptB);
    const std::vector<TBlock> blocks = BlocksOf(keptA, keptB);

    TWriter writer(out, markup);
    writer.Names(name, newName);
    // Blocks closer than twice the context share a hunk, as diff makes them.
    for (std::size_t first = 0; first < blocks.size();) {
        std::size_t last = first;
        while (last + 1 < blocks.size() && blocks[last + 1].A0 - blocks[last].A1 <= 2 * kContext) ++last;
        const std::size_t before0 = std::min(kContext, blocks[first].A0 - (first ? blocks[first - 1].A1 : 0));
        const std::size_t nextA0 = last + 1 < blocks.size() ? blocks[last + 1].A0 : a.size();
        const std::size_t after1 = std::min(kContext, nextA0 - blocks[last].A1);
        const std::size_t a0 = blocks[first].A0 - before0, a1 = blocks[last].A1 + after1;
        const std::size_t b0 = blocks[first].B0 - before0, b1 = blocks[last].B1 + after1;
        writer.Hunk(a0, a1 - a0, b0, b1 - b0);
        std::size_t i = a0;
        for (std::size_t k = first; k <= last; ++k) {
            const TBlock& block = blocks[k];
            for (; i < block.A0; ++i) writer.Line(' ', {}, a.Text[i]);
            for (; i < block.A1; ++i) writer.Line('-', markup.Removed, a.Text[i]);
            for (std::size_t j = block.B0; j < block.B1; ++j) writer.Line('+', markup.Added, b.Text[j]);
        }
        for (; i < a1; ++i) writer.Line(' ', {}, a.Text[i]);
        first = last + 1;
    }
}

void AppendRenameHeader(std::string& out, std::string_view name, std::string_view newName, const TDiffMarkup& markup) {
    // git quotes a name whole, prefix included.
    const auto prefixed = [](std::string_view prefix, std::string_view path) {
        const std::string quoted = Quoted(path);
        if (quoted.empty() || quoted.front() != '"') return std::string(prefix) + quoted;
        return "\"" + std::string(prefix) + quoted.substr(1);
    };
    for (const std::string& line : {"diff --git " + prefixed("a/", name) + " " + prefixed("b/", newName),
                                    "rename from " + Quoted(name), "rename to " + Quoted(newName)}) {
        out.append(markup.Names).append(line).append(markup.End).append("\n");
    }
}

}  // namespace varnok
