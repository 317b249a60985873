#include "History.h"

#include <algorithm>

#include "StoreFile.h"

namespace varnok {

const std::string& THistory::AddToHistory() {
    auto same = std::find_if(Entries.begin(), Entries.end(),
                             [&](const std::string& entry) { return SameTextIgnoringCase(entry, Text); });
    if (same != Entries.end()) Entries.erase(same);
    Entries.insert(Entries.begin(), Text);
    return Text;
}

void THistory::LoadHistory(const TMyIniFile& store, const std::string& section, int number) {
    const std::string key = HistoryKey(section, number);
    Entries.clear();
    const int count = std::min(Size, store.ReadNumber(key, "Count", 0));
    for (int i = 1; i <= count; ++i) {
        std::string entry = store.ReadText(key, "Item" + std::to_string(i), "");
        if (!entry.empty()) Entries.push_back(std::move(entry));
    }
    Text = RemoveEnclosingQuotes(store.ReadText(key, "Text", Text));
}

void THistory::SaveHistory(TMyIniFile& store, const std::string& section, int number) const {
    const std::string key = HistoryKey(section, number);
    store.WriteText(key, "Text", Text);
    store.WriteNumber(key, "Count", static_cast<int>(Entries.size()));
    const std::size_t count = std::min(static_cast<std::size_t>(std::max(Size, 0)), Entries.size());
    for (std::size_t i = 0; i < count; ++i) {
        store.WriteText(key, "Item" + std::to_string(i + 1), Entries[i]);
    }
}

std::string HistoryKey(const std::string& section, int number) {
    return section + "-History-" + std::to_string(number);
}

std::string RemoveEnclosingQuotes(const std::string& text) {
    if (text.empty()) return text;
    const char first = text.front();
    const char last = text.back();
    if ((first == '"' && last == '"') || (first == '\'' && last == '\'')) {
        // A lone quote character is both first and last: the result is empty.
        return text.size() < 2 ? std::string() : text.substr(1, text.size() - 2);
    }
    return text;
}

}  // namespace varnok
