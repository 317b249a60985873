#include "Pattern.h"

#include <cstring>

namespace varnok {

namespace {

constexpr TByteTable MakeWordChars(bool folded)
{
    TByteTable t{};
    for (int c = '0'; c <= '9'; ++c) t[c] = 1;
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = 1;
    if (folded)
        for (int c = 'a'; c <= 'z'; ++c) t[c] = 1;
    t['_'] = 1;
    return t;
}

constexpr TByteTable MakeUpperCase()
{
    TByteTable t{};
    for (int c = 0; c < 256; ++c) t[c] = static_cast<unsigned char>(c);
    for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<unsigned char>(c - 'a' + 'A');
    return t;
}

}  // namespace

const TByteTable WordChars = MakeWordChars(false);
const TByteTable WordCharsFolded = MakeWordChars(true);
const TByteTable UpperCase = MakeUpperCase();

void UpperCaseCopy(const char* from, char* to, std::size_t n)
{
    const auto* in = reinterpret_cast<const unsigned char*>(from);
    auto* out = reinterpret_cast<unsigned char*>(to);
    for (std::size_t i = 0; i < n; ++i) out[i] = UpperCase[in[i]];
}

void UpperCaseInPlace(std::string& s)
{
    UpperCaseCopy(s.data(), s.data(), s.size());
}

bool HasWildCards(bool wildCards, std::string_view pattern)
{
    return wildCards && pattern.find_first_of("*?!$@{+") != std::string_view::npos;
}

void CompilePattern(std::string& pattern)
{
    std::string out;
    out.reserve(pattern.size());
    const std::size_t n = pattern.size();
    std::size_t j = 0;
    while (j < n) {
        const char c = pattern[j];
        switch (c) {
        case '\\':
            // The escaped byte is passed over untranslated; a trailing "\" vanishes.
            if (j + 1 < n) out += pattern[j + 1];
            j += 2;
            continue;
        case '^':
            if (j + 1 < n && (pattern[j + 1] == 'n' || pattern[j + 1] == 'N')) {
                out += static_cast<char>(CR);
                j += 2;
                continue;
            }
            if (j + 1 < n && (pattern[j + 1] == 't' || pattern[j + 1] == 'T')) {
                out += static_cast<char>(TAB);
                j += 2;
                continue;
            }
            out += c;
            break;
        case '{': out += static_cast<char>(GroupOpen); break;
        case '}': out += static_cast<char>(GroupClose); break;
        case '?': out += static_cast<char>(AnyChar); break;
        case '+': out += static_cast<char>(Repeat); break;
        case '*': out += static_cast<char>(AnySequence); break;
        case '!': out += static_cast<char>(LineStart); break;
        case '$': out += static_cast<char>(LineEnd); break;
        case '@': out += static_cast<char>(WordChar); break;
        default: out += c; break;
        }
        ++j;
    }
    pattern = std::move(out);
}

}  // namespace varnok
