#include "WorkingText.h"

#include <algorithm>
#include <cstring>

namespace varnok {
namespace {

constexpr std::string_view kCRLF = "\r\n";
constexpr std::string_view kLF = "\n";

const char* Find(const char* from, const char* end, char c) {
    const void* hit = std::memchr(from, c, static_cast<std::size_t>(end - from));
    return hit ? static_cast<const char*>(hit) : end;
}

std::size_t Count(std::string_view text, char c) {
    std::size_t n = 0;
    const char* end = text.data() + text.size();
    for (const char* p = Find(text.data(), end, c); p != end; p = Find(p + 1, end, c)) ++n;
    return n;
}

// Every line break of text is exactly eol (a last line may lack one).
bool AllBreaksAre(std::string_view text, std::string_view eol) {
    const char* end = text.data() + text.size();
    if (eol == kLF) return Find(text.data(), end, '\r') == end;
    std::size_t crs = 0;
    for (const char* p = Find(text.data(), end, '\r'); p != end; p = Find(p + 1, end, '\r')) {
        if (p + 1 == end || p[1] != '\n') return false;
        ++crs;
    }
    return crs == Count(text, '\n');
}

bool EndsWithBreak(std::string_view text) {
    return !text.empty() && (text.back() == '\n' || text.back() == '\r');
}

// JoinLines would return text unchanged.
bool IsJoined(std::string_view text, std::string_view eol) {
    return (text.empty() || text.back() == '\n') && AllBreaksAre(text, eol);
}

std::string_view EolOf(TLineEnds ends) { return ends == TLineEnds::LF ? kLF : kCRLF; }

}  // namespace

bool IsLineNeutral(std::string_view pattern, std::string_view replacement) {
    return pattern.find_first_of("*?!$@{+^\r\n") == std::string_view::npos &&
           replacement.find_first_of("\r\n") == std::string_view::npos;
}

void JoinLines(std::string_view text, std::string_view eol, std::string& out) {
    out.clear();
    if (text.empty()) return;
    out.reserve(text.size() + (Count(text, '\n') + Count(text, '\r') + 1) * eol.size());
    const char* p = text.data();
    const char* end = p + text.size();
    const char* cr = Find(p, end, '\r');
    const char* lf = Find(p, end, '\n');
    while (p != end) {
        if (cr < p) cr = Find(p, end, '\r');
        if (lf < p) lf = Find(p, end, '\n');
        const char* brk = std::min(cr, lf);
        out.append(p, brk);
        out.append(eol);
        if (brk == end) break;
        p = (*brk == '\r' && brk + 1 != end && brk[1] == '\n') ? brk + 2 : brk + 1;
    }
}

TWorkingText MakeWorkingText(std::string& contents, bool changesAreLineNeutral) {
    TWorkingText work;
    const auto nul = contents.find('\0');
    const std::string_view text = std::string_view(contents).substr(0, nul);
    work.TextEndedWithBreak = EndsWithBreak(text);

    // One pass for the usual file without a CR; the rest look further.
    const char* begin = text.data();
    const char* end = begin + text.size();
    const char* firstCR = Find(begin, end, '\r');
    std::string_view keep;
    if (firstCR == end) {
        work.FileLineEnds = TLineEnds::LF;
        if (changesAreLineNeutral) {
            keep = kLF;
        } else if (Find(begin, end, '\n') == end) {
            keep = kCRLF;  // a single line
        }
    } else {
        work.FileLineEnds = Find(begin, firstCR, '\n') < firstCR ? TLineEnds::LF : TLineEnds::CRLF;
        if (AllBreaksAre(text, kCRLF)) keep = kCRLF;
    }
    if (keep.empty()) {
        JoinLines(text, kCRLF, work.Text);
    } else {
        if (nul == std::string::npos) {
            work.Text = std::move(contents);
        } else {
            work.Text.assign(text);
        }
        if (!work.Text.empty() && !work.TextEndedWithBreak) work.Text.append(keep);
    }
    if (nul != std::string::npos) work.Rest.assign(contents, nul);
    return work;
}

void MakeFileText(TWorkingText& work) {
    const std::string_view eol = EolOf(work.FileLineEnds);
    if (!IsJoined(work.Text, eol)) {
        std::string joined;
        JoinLines(work.Text, eol, joined);
        work.Text.swap(joined);
    }
    // Before a NUL no line end is added that the text did not have.
    if (!work.Rest.empty() && !work.TextEndedWithBreak && work.Text.ends_with(eol)) {
        work.Text.resize(work.Text.size() - eol.size());
    }
}

}  // namespace varnok
