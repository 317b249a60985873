#pragma once
// TMyIniFile: the section/value store object of every window with saved state.
// It holds nothing but its store key: every read and write goes to the store
// file at once, or into the TStoreTransaction open on this thread (see
// StoreFile.h for the file and its locking, StoreTransaction.h for saves and
// loads that must be whole).
//
// A section is a key path relative to the store key ("Varnok\Dialog"). A
// composite record lives in the key formed from the section immediately
// followed by the record's name ("Varnok\DialogListBox-2"). Text blocks (large
// multi-line texts) are files below ConfigBaseFolder() whose path depends on
// the section and the name only, never on the store key.
//
// Errors are std::runtime_error with these texts, the first three followed
// by the store file and the reason (StoreFailure in StoreFile.h):
//   "Failed to get data for '%s'"    the store file exists but cannot be read
//   "Failed to create key %s"        the store cannot be locked or read for a
//                                    write, or the key path cannot be written
//   "Failed to set data for '%s'"    the new store file cannot be written
//   "Invalid data type for '%s' in the settings file %s"
//                                    the value exists but is not a text value
//   "Cannot create file %s: %s"      a text-block file cannot be written, and why
//   "The settings file %s cannot be read (<line>: <fault>); it is left as it
//   is, and nothing is written to it."
//                                    the store stopped parsing after start-up
//                                    (reads and writes alike; StoreFile.h)
// Reads never fail for missing keys or values: they give the default.

#include <optional>
#include <string>
#include <vector>

namespace varnok {

inline constexpr const char* kDefaultStoreKey = "Tavrin Software\\Quillets";
inline constexpr const char* kConfigurationsKey = "Tavrin Software\\Quillets\\Others";

// The store key of a named configuration: "...\Others\" followed by the name
// as it stands (a backslash in it makes deeper keys; see StoreFile.h).
std::string ConfigurationStoreKey(const std::string& name);

// The store key the program opens at start-up: the configuration named by the
// part of the first argument after its last "/", "\" or ":" (at most 255
// characters), or the default store key when there is no first argument or it
// is empty. A name holding a control character, which no key can hold, is
// refused with a std::runtime_error that shows it with \xHH escapes.
std::string StartupStoreKey(const std::vector<std::string>& arguments);
std::string StartupStoreKey(int argc, const char* const* argv);

struct TFontRecord {
    std::string Name = "Courier New";
    int Size = 10;  // points
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
};

// A node of a stored tree; the file holds one line per node in tree order,
// indented by one tab per level.
struct TTreeNode {
    std::string Text;
    std::vector<TTreeNode> Children;
};

class TMyIniFile {
public:
    // Opens the store at `storeKey`, creating it and the keys above it. This
    // never reports a failure: the first write reports it.
    explicit TMyIniFile(std::string storeKey);

    const std::string& StoreKey() const { return m_storeKey; }

    std::string ReadText(const std::string& section, const std::string& name,
                         const std::string& defaultText) const;
    void WriteText(const std::string& section, const std::string& name, const std::string& text);

    // Decimal, or hexadecimal after "0x"/"0X" when longer than two characters;
    // anything else, and a number that does not fit an int, gives the default.
    int ReadNumber(const std::string& section, const std::string& name, int defaultNumber) const;
    void WriteNumber(const std::string& section, const std::string& name, int number);

    // Read as a number with default 1 or 0; true when not 0. Written "1" / "0".
    bool ReadFlag(const std::string& section, const std::string& name, bool defaultFlag) const;
    void WriteFlag(const std::string& section, const std::string& name, bool flag);

    // The names of the keys directly below the store key, sorted without
    // regard to case. The list is emptied first.
    void ListSections(std::vector<std::string>& names) const;

    // A list box's rows: "Count", then "Item1".."ItemN". Reading takes the
    // items present up to the count and skips empty ones; writing leaves items
    // beyond the new count in place.
    std::vector<std::string> ReadList(const std::string& section, const std::string& name) const;
    void WriteList(const std::string& section, const std::string& name,
                   const std::vector<std::string>& rows);

    // "Name" (at most 255 characters), "Size", "Bold", "Italic", "Underline",
    // "StrikeOut"; every field of `current` is replaced by the stored value or
    // its default ("Courier New", 10, no style).
    TFontRecord ReadFont(const std::string& section, const std::string& name,
                         TFontRecord current) const;
    void WriteFont(const std::string& section, const std::string& name, const TFontRecord& font);

    // Text blocks. Both create the block's folders first (failures there are
    // ignored). A read gives the file's bytes as they stand, or nullopt when
    // the file is missing or unreadable (the control then keeps its text). A
    // write stores the text with every line break (LF, CR LF or CR) as CR LF.
    std::optional<std::string> ReadTextBlock(const std::string& section,
                                             const std::string& name) const;
    void WriteTextBlock(const std::string& section, const std::string& name,
                        const std::string& text);

    // Trees in text-block files; every line, the last included, ends in CR LF.
    std::optional<std::vector<TTreeNode>> ReadTree(const std::string& section,
                                                   const std::string& name) const;
    void WriteTree(const std::string& section, const std::string& name,
                   const std::vector<TTreeNode>& roots);

private:
    std::optional<std::string> ReadValue(const std::string& section, const std::string& name) const;
    void WriteValue(const std::string& section, const std::string& name, const std::string& text);

    std::string m_storeKey;
};

// The file of text block `name` in `section`:
// <ConfigBaseFolder>/Tavrin Software/Quillets/<section, "\" as "/">/<name>.txt
std::string TextBlockPath(const std::string& section, const std::string& name);

// A text split at its line breaks (CR LF, LF or CR); a final line break does
// not start a further, empty line.
std::vector<std::string> SplitTextLines(const std::string& text);

// Whether `keyPath` exists in the store; creates nothing.
bool StoreKeyExists(const std::string& keyPath);

// The names of the stored configurations (the keys below "...\Others", which
// is created when missing).
std::vector<std::string> ListConfigurationNames();

}  // namespace varnok
