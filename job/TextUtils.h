#pragma once
// Small text helpers shared by the edit job, the report and the batch runner.

#include <string>
#include <string_view>
#include <vector>

namespace varnok {

// Decimal, with a minus sign when negative.
std::string IntToText(long long value);

// A text not longer than width gets (width - length + 1) fill characters: one
// more than "up to width", which the report line's columns depend on. A longer
// text comes back unchanged.
std::string PadLeft(const std::string& text, int width, char fill);
std::string PadRight(const std::string& text, int width, char fill);

// The name with its extension replaced ("" drops it). Only a dot after the last
// "/" counts, so a dot in a folder name is never taken for the extension.
std::string ChangeExtension(const std::string& fileName, std::string extension);

// The last part of path.
std::string NameOf(const std::string& path);
// The folder part of path: "." when it has none, "/" for the root.
std::string FolderOf(const std::string& path);

// Lines of a text split at CR LF, a lone CR or a lone LF; a final line break
// does not start a further, empty line.
std::vector<std::string> SplitLines(std::string_view text);

// The report's line for one file: count in five columns, the name from column 12.
std::string ReportLine(long long count, const std::string& fileName);

// The parts with ", " between them.
std::string Joined(const std::vector<std::string>& parts);

}  // namespace varnok
