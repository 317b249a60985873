#pragma once
// THistory: the data of a history box (an entry field that remembers earlier
// entries, most recent first). The THistoryBox widget wraps one of these.
//
// Stored in the key <section>-History-<number> below the store key:
//   "Text"   the entry text at the last save
//   "Count"  the number of entries then, not bounded by Size
//   "ItemI"  entry I (1 = most recent), written and read for I <= Size only

#include <string>
#include <vector>

#include "UMyIniFile.h"

namespace varnok {

class THistory {
public:
    // The most entries that go to and come from the store; the list in
    // memory has no bound of its own.
    int Size = 0;
    std::string Text;                  // the entry field's text
    std::vector<std::string> Entries;  // most recent first

    // Moves Text to the top of Entries, removing an earlier entry equal to it
    // without regard to ASCII letter case. Returns Text.
    const std::string& AddToHistory();

    // Replaces Entries by the stored ones (empty ones dropped) and Text by the
    // stored text, or keeps Text when none is stored; then removes one pair of
    // enclosing quotes from Text.
    void LoadHistory(const TMyIniFile& store, const std::string& section, int number);
    void SaveHistory(TMyIniFile& store, const std::string& section, int number) const;
};

// <section>-History-<number>
std::string HistoryKey(const std::string& section, int number);

// One pair of enclosing double quotes, or else of single quotes, removed.
std::string RemoveEnclosingQuotes(const std::string& text);

}  // namespace varnok
