#include "UMyIniFile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <utility>

#include "AtomicFile.h"
#include "StoreFile.h"

namespace varnok {

namespace {

// The key path of `section` below `storeKey`; an empty section is the store key.
std::vector<std::string> KeyPath(const std::string& storeKey, const std::string& section) {
    std::vector<std::string> path = SplitKeyPath(storeKey);
    for (std::string& part : SplitKeyPath(section)) path.push_back(std::move(part));
    return path;
}

// A block header cannot carry a line break or another control character.
bool Writable(const std::vector<std::string>& path) {
    return std::none_of(path.begin(), path.end(), [](const std::string& part) {
        return std::any_of(part.begin(), part.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        });
    });
}

std::optional<int> ParseNumber(const std::string& text) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        // from_chars would take a sign here; hexadecimal is digits only.
        if (!std::isxdigit(static_cast<unsigned char>(text[2]))) return std::nullopt;
        unsigned long long value = 0;
        auto [end, error] = std::from_chars(first + 2, last, value, 16);
        if (error != std::errc() || end != last || value > static_cast<unsigned long long>(INT_MAX)) {
            return std::nullopt;
        }
        return static_cast<int>(value);
    }
    if (first != last && *first == '+') ++first;
    int value = 0;
    auto [end, error] = std::from_chars(first, last, value, 10);
    if (first == last || error != std::errc() || end != last) return std::nullopt;
    return value;
}

// N of a value named "ItemN" (any letter case), N written as "Item" + N would
// be: 1 or more, no sign, no leading zero.
std::optional<int> ItemNumber(std::string_view name) {
    if (name.size() < 5 || !SameTextIgnoringCase(name.substr(0, 4), "item") || name[4] == '0') {
        return std::nullopt;
    }
    int number = 0;
    auto [end, error] = std::from_chars(name.data() + 4, name.data() + name.size(), number, 10);
    if (error != std::errc() || end != name.data() + name.size() || number < 1) return std::nullopt;
    return number;
}

// The text value `name` of `key`; nullopt when the key or the value is missing.
std::optional<std::string> TextValue(const TStoreKey* key, const std::string& name) {
    const TStoreValue* value = key ? key->FindValue(name) : nullptr;
    if (!value) return std::nullopt;
    if (!value->IsText) {
        throw std::runtime_error("Invalid data type for '" + name + "' in the settings file " +
                                 StoreFilePath());
    }
    return value->Data;
}

// At most `limit` characters of a UTF-8 text, never cutting one in half.
std::string TruncateCharacters(const std::string& text, std::size_t limit) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && count++ == limit) {
            return text.substr(0, i);
        }
    }
    return text;
}

// The folders of a text block are created before reads as well as writes; a
// failure is ignored here because the write that needs them reports it.
std::string PrepareTextBlock(const std::string& section, const std::string& name) {
    std::string path = TextBlockPath(section, name);
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    return path;
}

void WriteTextBlockFile(const std::string& path, const std::string& text) {
    try {
        ReplaceFileAtomically(path, ProcessTempPath(path), text);
    } catch (const std::system_error& error) {
        throw std::runtime_error("Cannot create file " + path + ": " + error.code().message());
    }
}

void AppendTree(std::string& out, const std::vector<TTreeNode>& nodes, std::size_t depth) {
    for (const TTreeNode& node : nodes) {
        out.append(depth, '\t');
        out += node.Text;
        out += "\r\n";
        AppendTree(out, node.Children, depth + 1);
    }
}

}  // namespace

std::string ConfigurationStoreKey(const std::string& name) {
    return std::string(kConfigurationsKey) + "\\" + name;
}

std::string StartupStoreKey(const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments.front().empty()) return kDefaultStoreKey;
    const std::string& first = arguments.front();
    std::size_t cut = first.find_last_of("/\\:");
    std::string name = cut == std::string::npos ? first : first.substr(cut + 1);
    std::string key = ConfigurationStoreKey(TruncateCharacters(name, 255));
    // A name no key can hold is refused here, before the program relies on it,
    // rather than by the save at exit.
    if (!Writable(SplitKeyPath(key))) {
        std::string shown;
        for (const char c : name) {
            const auto byte = static_cast<unsigned char>(c);
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            shown += byte < 0x20 || byte == 0x7F ? std::string(escape) : std::string(1, c);
        }
        throw std::runtime_error("Cannot open the configuration \"" + shown
                                 + "\": its name holds a control character");
    }
    return key;
}

std::string StartupStoreKey(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return StartupStoreKey(arguments);
}

TMyIniFile::TMyIniFile(std::string storeKey) : m_storeKey(std::move(storeKey)) {
    const std::vector<std::string> path = SplitKeyPath(m_storeKey);
    try {
        if (!Writable(path) || StoreKeyExists(m_storeKey)) return;
        ModifyStore(
            [&](TStoreDocument& document) {
                if (document.FindKey(path)) return false;
                document.CreateKey(path);
                return true;
            },
            {"Failed to create key " + m_storeKey, "Failed to create key " + m_storeKey});
    } catch (const std::runtime_error&) {
        // A window opening its store must not fail at construction; every write
        // creates the key again and raises this same failure where it matters.
    }
}

std::optional<std::string> TMyIniFile::ReadValue(const std::string& section,
                                                 const std::string& name) const {
    std::optional<std::string> text;
    InspectStore([&](const TStoreDocument& document) {
        text = TextValue(document.FindKey(KeyPath(m_storeKey, section)), name);
    }, "Failed to get data for '" + name + "'");
    return text;
}

void TMyIniFile::WriteValue(const std::string& section, const std::string& name,
                            const std::string& text) {
    const std::vector<std::string> path = KeyPath(m_storeKey, section);
    if (!Writable(path)) {
        throw std::runtime_error(StoreFailure("Failed to create key " + section, StoreFilePath(),
                                              "written", "a key name holds a control character"));
    }
    ModifyStore(
        [&](TStoreDocument& document) {
            TStoreKey& key = document.CreateKey(path);
            const TStoreValue* old = key.FindValue(name);
            if (old && old->IsText && old->Data == text) return false;
            key.SetValue({name, true, text});
            return true;
        },
        {"Failed to create key " + section, "Failed to set data for '" + name + "'"});
}

std::string TMyIniFile::ReadText(const std::string& section, const std::string& name,
                                 const std::string& defaultText) const {
    return ReadValue(section, name).value_or(defaultText);
}

void TMyIniFile::WriteText(const std::string& section, const std::string& name,
                           const std::string& text) {
    WriteValue(section, name, text);
}

int TMyIniFile::ReadNumber(const std::string& section, const std::string& name,
                           int defaultNumber) const {
    std::optional<std::string> text = ReadValue(section, name);
    if (!text) return defaultNumber;
    return ParseNumber(*text).value_or(defaultNumber);
}

void TMyIniFile::WriteNumber(const std::string& section, const std::string& name, int number) {
    WriteValue(section, name, std::to_string(number));
}

bool TMyIniFile::ReadFlag(const std::string& section, const std::string& name,
                          bool defaultFlag) const {
    return ReadNumber(section, name, defaultFlag ? 1 : 0) != 0;
}

void TMyIniFile::WriteFlag(const std::string& section, const std::string& name, bool flag) {
    WriteValue(section, name, flag ? "1" : "0");
}

void TMyIniFile::ListSections(std::vector<std::string>& names) const {
    names.clear();
    InspectStore([&](const TStoreDocument& document) {
        if (const TStoreKey* key = document.FindKey(SplitKeyPath(m_storeKey))) {
            for (const TStoreKey* child : key->Children()) names.push_back(child->Name());
        }
    }, "Failed to get data for '" + m_storeKey + "'");
}

std::vector<std::string> TMyIniFile::ReadList(const std::string& section,
                                              const std::string& name) const {
    // One reading of the store serves the whole list. The items present are
    // read, not every number up to "Count": a hand-edited Count of two
    // thousand million would otherwise stall the start.
    std::vector<std::pair<int, std::string>> items;
    InspectStore([&](const TStoreDocument& document) {
        const TStoreKey* key = document.FindKey(KeyPath(m_storeKey, section + name));
        const std::optional<std::string> countText = TextValue(key, "Count");
        const int count = countText ? ParseNumber(*countText).value_or(0) : 0;
        if (!key || count <= 0) return;
        for (const TStoreValue& value : key->Values()) {
            const std::optional<int> number = ItemNumber(value.Name);
            if (!number || *number > count) continue;
            std::string row = *TextValue(key, value.Name);
            if (!row.empty()) items.emplace_back(*number, std::move(row));
        }
    }, "Failed to get data for 'Count'");
    // Value names are unique without regard to case, so no number comes twice.
    std::sort(items.begin(), items.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> rows;
    rows.reserve(items.size());
    for (auto& item : items) rows.push_back(std::move(item.second));
    return rows;
}

void TMyIniFile::WriteList(const std::string& section, const std::string& name,
                           const std::vector<std::string>& rows) {
    const std::string key = section + name;
    WriteNumber(key, "Count", static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        WriteText(key, "Item" + std::to_string(i + 1), rows[i]);
    }
}

TFontRecord TMyIniFile::ReadFont(const std::string& section, const std::string& name,
                                 TFontRecord current) const {
    const std::string key = section + name;
    const TFontRecord defaults;
    current.Name = TruncateCharacters(ReadText(key, "Name", defaults.Name), 255);
    current.Size = ReadNumber(key, "Size", defaults.Size);
    current.Bold = ReadFlag(key, "Bold", false);
    current.Italic = ReadFlag(key, "Italic", false);
    current.Underline = ReadFlag(key, "Underline", false);
    current.StrikeOut = ReadFlag(key, "StrikeOut", false);
    return current;
}

void TMyIniFile::WriteFont(const std::string& section, const std::string& name,
                           const TFontRecord& font) {
    const std::string key = section + name;
    WriteText(key, "Name", font.Name);
    WriteNumber(key, "Size", font.Size);
    WriteFlag(key, "Bold", font.Bold);
    WriteFlag(key, "Italic", font.Italic);
    WriteFlag(key, "Underline", font.Underline);
    WriteFlag(key, "StrikeOut", font.StrikeOut);
}

std::optional<std::string> TMyIniFile::ReadTextBlock(const std::string& section,
                                                     const std::string& name) const {
    const std::string path = PrepareTextBlock(section, name);
    try {
        return ReadWholeFile(path);
    } catch (const std::system_error&) {
        return std::nullopt;  // an unreadable block leaves the control's text in place
    }
}

void TMyIniFile::WriteTextBlock(const std::string& section, const std::string& name,
                                const std::string& text) {
    const std::string path = PrepareTextBlock(section, name);
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    WriteTextBlockFile(path, out);
}

std::optional<std::vector<TTreeNode>> TMyIniFile::ReadTree(const std::string& section,
                                                           const std::string& name) const {
    std::optional<std::string> text = ReadTextBlock(section, name);
    if (!text) return std::nullopt;
    std::vector<TTreeNode> roots;
    // levels[d] is the list that takes a node of depth d; a line indented
    // deeper than one below the previous one becomes that one's child.
    std::vector<std::vector<TTreeNode>*> levels{&roots};
    for (std::string& line : SplitTextLines(*text)) {
        std::size_t depth = std::min(line.find_first_not_of('\t'), line.size());
        std::string nodeText = line.substr(depth);
        depth = std::min(depth, levels.size() - 1);
        levels.resize(depth + 1);
        levels[depth]->push_back({std::move(nodeText), {}});
        levels.push_back(&levels[depth]->back().Children);
    }
    return roots;
}

void TMyIniFile::WriteTree(const std::string& section, const std::string& name,
                           const std::vector<TTreeNode>& roots) {
    const std::string path = PrepareTextBlock(section, name);
    std::string out;
    AppendTree(out, roots, 0);
    WriteTextBlockFile(path, out);
}

std::string TextBlockPath(const std::string& section, const std::string& name) {
    std::string folder = section;
    std::replace(folder.begin(), folder.end(), '\\', '/');
    return ConfigBaseFolder() + "/Tavrin Software/Quillets/" + folder + "/" + name + ".txt";
}

std::vector<std::string> SplitTextLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

bool StoreKeyExists(const std::string& keyPath) {
    bool exists = false;
    InspectStore([&](const TStoreDocument& document) {
        exists = document.FindKey(SplitKeyPath(keyPath)) != nullptr;
    }, "Failed to get data for '" + keyPath + "'");
    return exists;
}

std::vector<std::string> ListConfigurationNames() {
    std::vector<std::string> names;
    TMyIniFile(kConfigurationsKey).ListSections(names);
    return names;
}

}  // namespace varnok
