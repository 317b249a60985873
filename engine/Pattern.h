#pragma once
// The pattern language: element codes, character classes, wild-card detection
// and compilation of a typed pattern into its code string.
//
// Codes sit below 32 and the matcher compares a text byte with a pattern byte
// before it looks at codes, so a text byte equal to a code is taken literally.

#include <array>
#include <string>
#include <string_view>

namespace varnok {

enum TElementCode : unsigned char {
    GroupOpen = 15,
    GroupClose = 16,  // followed by a digit 0..8 to close that group
    AnyChar = 17,
    Repeat = 18,
    AnySequence = 19,
    LineStart = 20,
    LineEnd = 21,
    WordChar = 22,
};

inline constexpr unsigned char CR = 13;
inline constexpr unsigned char LF = 10;
inline constexpr unsigned char TAB = 9;

using TByteTable = std::array<unsigned char, 256>;

// 1 for "0".."9", "A".."Z" and "_".
extern const TByteTable WordChars;
// WordChars plus "a".."z": the same class seen through upper-casing.
extern const TByteTable WordCharsFolded;
// a..z to A..Z, every other byte unchanged.
extern const TByteTable UpperCase;

inline bool IsGroupDigit(unsigned char c) { return c >= '0' && c <= '8'; }

// Upper-cases a..z only; the length never changes.
void UpperCaseInPlace(std::string& s);
void UpperCaseCopy(const char* from, char* to, std::size_t n);

// True when wildCards is set and the typed pattern holds one of * ? ! $ @ { +.
bool HasWildCards(bool wildCards, std::string_view pattern);

// Rewrites the typed pattern into its code string: escapes, ^n and ^t resolved.
void CompilePattern(std::string& pattern);

}  // namespace varnok
