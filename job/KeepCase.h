#pragma once
// "Keep Case": a replacement that follows the case of what it replaces, and for
// a change of one plain identifier into another, every spelling of it at once.
//
// Letters are ASCII letters; every other byte is caseless.

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace varnok {

// The replacement upper-cased when the match's letters are all upper case,
// lower-cased when all lower, capitalised (first letter upper, the others
// lower) when the match is; as typed otherwise and when the match holds no
// letter. A single upper-case letter counts as all upper case. In place,
// with no allocation: fit for TPreparedChange's hook.
void CaseLikeInPlace(std::string_view match, std::string& replacement);

// A change of one plain identifier into another, spelling for spelling.
//
// Identifiers are the maximal runs of letters, digits, "_", "-" and bytes from
// 128 on (so that a UTF-8 letter next to a word keeps it whole). A run splits
// into words at "_", "-", a lower-case letter or digit followed by an upper-case
// one ("getName": get|Name), and before the last capital of a capital run that
// goes on in lower case ("HTTPServer": HTTP|Server).
//
// The search pattern's words w1..wn match where n consecutive words of a run
// equal them ignoring case, spelt as one of:
//   snake w1_w2, SCREAMING W1_W2, kebab w1-w2, SCREAMING-KEBAB W1-W2,
//   camel w1W2, Pascal W1W2 (capitalised words),
//   for a single word: lower, UPPER, Capitalised,
//   or the search pattern exactly as typed (so "HTTPServer" finds itself).
// Any other mix ("Old_name", "oldNAME") is left alone. Matches start and end
// on words, so "old_name" touches neither "bold_name" nor "old_names".
//
// Each match becomes the same spelling of the replacement's words, and the
// typed spelling the replacement as typed. A single-word match takes the join
// of the identifier it sits in, the one after it first, else the one before:
//   lower-case: camel next to a hump, snake next to "_", kebab next to "-",
//     the replacement as typed when it stands alone;
//   upper-case: SCREAMING-KEBAB next to "-", SCREAMING otherwise;
//   capitalised: Pascal;
//   a word whose only letter is its first ("X", "X2") reads as upper case next
//     to "_" or "-" and as capitalised elsewhere.
//
// One pass over the original text: a replacement is never searched again.
// Like the engine, it leaves everything from the text's first NUL byte on.
class TIdentifierChange {
public:
    // Both are plain identifiers: letters, digits, "_" and "-" only, at least one
    // letter, a letter or digit at each end, and no two separators in a row
    // ("__init__" is no identifier here: its words alone would lose the "__").
    static bool Applies(std::string_view search, std::string_view replacement);

    // search and replacement: a pair for which Applies holds.
    TIdentifierChange(std::string_view search, std::string_view replacement);

    // Every spelling replaced; the number of replacements.
    long long ReplaceAll(std::string& text) const;
    // False only when no spelling can occur in bytes, even past a NUL: one of the
    // pattern's words occurs nowhere, whatever its case. Cheaper than ReplaceAll.
    bool MayMatch(std::string_view bytes) const;

private:
    enum TSpelling { Typed, Snake, Screaming, Kebab, ScreamingKebab, Camel, Pascal, SpellingCount };
    struct TWord {
        std::size_t Start, End;
    };

    TSpelling SpellingAt(std::string_view text, const std::vector<TWord>& words, std::size_t k, std::size_t runStart,
                         std::size_t runEnd) const;
    // Replaces within one run; appends to out what precedes each replacement.
    long long ReplaceInRun(std::string_view text, std::size_t runStart, std::size_t runEnd, std::vector<TWord>& words,
                           std::string& out, std::size_t& copied) const;

    std::string m_typed;               // the search pattern as typed
    std::vector<std::string> m_words;  // its words, lower case
    std::string m_anchor;              // its longest word, upper case
    std::array<std::string, SpellingCount> m_replacement;
};

}  // namespace varnok
