#include "TextUtils.h"

namespace varnok {
namespace {

// What PadLeft and PadRight add: nothing to a text longer than width.
std::string Padding(const std::string& text, int width, char fill) {
    const auto length = static_cast<long long>(text.size());
    if (length > width) return {};
    return std::string(static_cast<std::size_t>(width - length + 1), fill);
}

}  // namespace

std::string IntToText(long long value) { return std::to_string(value); }

std::string PadLeft(const std::string& text, int width, char fill) {
    return Padding(text, width, fill) + text;
}

std::string PadRight(const std::string& text, int width, char fill) {
    return text + Padding(text, width, fill);
}

std::string ChangeExtension(const std::string& fileName, std::string extension) {
    if (!extension.empty() && extension.front() == '.') extension.erase(0, 1);
    std::string result = fileName;
    const auto cut = result.find_last_of("./");
    if (cut != std::string::npos && result[cut] == '.') result.resize(cut);
    if (!extension.empty()) result += '.' + extension;
    return result;
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto brk = text.find_first_of("\r\n", start);
        if (brk == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, brk - start));
        start = brk + 1;
        if (text[brk] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

std::string ReportLine(long long count, const std::string& fileName) {
    return PadRight(PadLeft(IntToText(count), 4, ' '), 10, ' ') + fileName;
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string joined;
    for (const std::string& part : parts) joined += (joined.empty() ? "" : ", ") + part;
    return joined;
}

}  // namespace varnok
