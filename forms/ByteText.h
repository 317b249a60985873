#pragma once
// File and job texts are bytes; the windows show characters. Bytes are read
// as UTF-8 when they are valid UTF-8, else as Latin-1, which gives every byte
// a character of its own; written back in the same encoding, every byte
// 0x01-0xFF comes back as it was. A change list written for Latin-1 files
// therefore still matches them after it went through the windows.

#include <QString>

#include <string>
#include <string_view>

namespace varnok {

enum class TTextEncoding { Utf8 = 0, Latin1 = 1 };

// The characters of `bytes`, and the encoding they were read in. Valid UTF-8
// that holds a character a text box would turn into a line break (U+2028,
// U+2029, U+FDD0, U+FDD1) is read as Latin-1, so that it keeps its bytes too.
QString TextOfBytes(std::string_view bytes, TTextEncoding* encoding = nullptr);

// `text` in `encoding`; in UTF-8 when it holds a character Latin-1 lacks.
std::string BytesOfText(QStringView text, TTextEncoding encoding);

}  // namespace varnok
