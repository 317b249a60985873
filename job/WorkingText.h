#pragma once
// A file's bytes as the text the changes apply to, and back.
//
// The working text is the file's lines, each followed by CR LF (a line ends at
// CR LF, a lone CR or a lone LF), so that the pattern language sees the same
// line breaks whatever the file holds. The file is written back with its own
// line ends: LF when its first break is a lone LF, CR LF when it is CR LF or a
// lone CR, LF when it has none. Only the bytes before the first NUL are text;
// the NUL and everything after it go back unchanged.
//
// Two cases skip the conversion, because it cannot change the result: a file
// whose breaks are all CR LF already is its own working text; and a file whose
// breaks are all LF may keep them when every change is line-neutral (see
// IsLineNeutral), since such changes never match, split or join a line break.

#include <cstddef>
#include <string>
#include <string_view>

namespace varnok {

enum class TLineEnds { LF, CRLF };

struct TWorkingText {
    std::string Text;              // the text the changes apply to
    std::string Rest;              // from the first NUL on, written back as it is
    TLineEnds FileLineEnds = TLineEnds::LF;
    bool TextEndedWithBreak = false;  // the bytes before the NUL ended with a line break
};

// A change whose pattern is a plain literal without "^" and whose replacement
// holds no raw line break: it behaves the same on LF and on CR LF breaks.
bool IsLineNeutral(std::string_view pattern, std::string_view replacement);

// Consumes contents (moved, not copied, when nothing needs converting).
TWorkingText MakeWorkingText(std::string& contents, bool changesAreLineNeutral);

// Turns work.Text into the bytes the file holds before work.Rest.
void MakeFileText(TWorkingText& work);

// The lines of text, each followed by eol.
void JoinLines(std::string_view text, std::string_view eol, std::string& out);

}  // namespace varnok
