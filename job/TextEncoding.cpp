#include "TextEncoding.h"

#include <cstdint>
#include <cstring>

namespace varnok {
namespace {

constexpr std::string_view kUtf16LeMark = "\xFF\xFE", kUtf16BeMark = "\xFE\xFF";

void AppendUtf8(std::uint32_t code, std::string& out) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The code point at text[at] and its length; 0 when the bytes there are not
// UTF-8 (overlong forms and surrogates included).
std::size_t NextCodePoint(std::string_view text, std::size_t at, std::uint32_t& code) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

TTextKind KindOf(std::string_view bytes) {
    if (bytes.starts_with(kUtf16LeMark)) return TTextKind::Utf16Le;
    if (bytes.starts_with(kUtf16BeMark)) return TTextKind::Utf16Be;
    if (std::memchr(bytes.data(), '\0', bytes.size()) != nullptr) return TTextKind::Binary;
    return bytes.starts_with(kUtf8Mark) ? TTextKind::Utf8Marked : TTextKind::Plain;
}

bool IsUtf16(TTextKind kind) { return kind == TTextKind::Utf16Le || kind == TTextKind::Utf16Be; }

const char* EncodingName(TTextKind kind) {
    return kind == TTextKind::Utf16Le ? "UTF-16LE" : kind == TTextKind::Utf16Be ? "UTF-16BE" : "";
}

std::optional<std::string> DecodeUtf16(std::string_view bytes, TTextKind kind) {
    bytes.remove_prefix(2);
    if (bytes.size() % 2 != 0) return std::nullopt;
    const bool little = kind == TTextKind::Utf16Le;
    const auto unit = [&](std::size_t i) -> std::uint32_t {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return little ? (b << 8 | a) : (a << 8 | b);
    };
    std::string text;
    text.reserve(bytes.size() / 2 + bytes.size() / 8);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        std::uint32_t code = unit(i);
        if (code == 0 || (code >= 0xDC00 && code <= 0xDFFF)) return std::nullopt;
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (i + 4 > bytes.size()) return std::nullopt;
            const std::uint32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(code, text);
    }
    return text;
}

std::optional<std::string> EncodeUtf16(std::string_view text, TTextKind kind) {
    const bool little = kind == TTextKind::Utf16Le;
    std::string bytes(little ? kUtf16LeMark : kUtf16BeMark);
    bytes.reserve(2 + text.size() * 2);
    const auto put = [&](std::uint32_t unit) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += little ? low : high;
        bytes += little ? high : low;
    };
    for (std::size_t at = 0; at < text.size();) {
        std::uint32_t code = 0;
        const std::size_t length = NextCodePoint(text, at, code);
        if (length == 0 || code == 0) return std::nullopt;
        at += length;
        if (code < 0x10000) {
            put(code);
        } else {
            put(0xD800 + ((code - 0x10000) >> 10));
            put(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
    }
    return bytes;
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        std::uint32_t code = 0;
        const std::size_t length = NextCodePoint(text, at, code);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

std::string Utf8OfLine(std::string_view line) {
    if (IsValidUtf8(line)) return std::string(line);
    std::string text;
    for (const char c : line) AppendUtf8(static_cast<unsigned char>(c), text);
    return text;
}

}  // namespace varnok
