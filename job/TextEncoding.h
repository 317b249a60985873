#pragma once
// What a file's bytes are, as far as editing goes, judged from the bytes
// alone: text in UTF-16 with a byte-order mark, text with a UTF-8 mark, a
// binary file (a NUL byte where the text is not UTF-16), or plain bytes
// (anything else, edited as they are, whatever their encoding).
//
// UTF-16 text is edited as UTF-8 and written back in its own order, mark
// first; a text that cannot be (an unpaired surrogate, or U+0000, which no
// text file holds) makes the file binary.

#include <optional>
#include <string>
#include <string_view>

namespace varnok {

enum class TTextKind { Plain, Utf8Marked, Utf16Le, Utf16Be, Binary };

inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// From the first bytes and whether a NUL occurs in bytes (a prefix of the
// file is enough when it holds the first NUL).
TTextKind KindOf(std::string_view bytes);
bool IsUtf16(TTextKind kind);
// "UTF-16LE" or "UTF-16BE"; "" for the others.
const char* EncodingName(TTextKind kind);

// The UTF-8 text of a UTF-16 file's bytes after the mark; none when they are
// not text (an odd length, an unpaired surrogate, U+0000).
std::optional<std::string> DecodeUtf16(std::string_view bytes, TTextKind kind);
// Back to bytes, mark first; none when text is not valid UTF-8 or holds a NUL.
std::optional<std::string> EncodeUtf16(std::string_view text, TTextKind kind);

bool IsValidUtf8(std::string_view text);
// A line that is not UTF-8 taken as Latin-1, in UTF-8; UTF-8 as it is.
std::string Utf8OfLine(std::string_view line);

}  // namespace varnok
