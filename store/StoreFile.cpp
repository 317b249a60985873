#include "StoreFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <mutex>
#include <pwd.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

#include "AtomicFile.h"
#include "StoreTransaction.h"

namespace varnok {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRoot = "HKEY_CURRENT_USER";

char FoldChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = FoldChar(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

std::string_view TrimLeft(std::string_view s) {
    std::size_t i = s.find_first_not_of(" \t");
    return i == std::string_view::npos ? std::string_view{} : s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
    std::size_t i = s.find_last_not_of(" \t");
    return i == std::string_view::npos ? std::string_view{} : s.substr(0, i + 1);
}

// A raw value's line: a CR before the line end goes too, since written back
// it would read as part of the line end.
std::string_view TrimRawLine(std::string_view s) {
    std::size_t i = s.find_last_not_of(" \t\r");
    return i == std::string_view::npos ? std::string_view{} : s.substr(0, i + 1);
}

// ---- quoted strings ------------------------------------------------------

void AppendQuoted(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '"';
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        switch (ch) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (IsControl(c)) {
                out += "\\x";
                out += kHex[c >> 4];
                out += kHex[c & 15];
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

// Reads a quoted string at the start of `s` (which begins with the quote) and
// removes it from `s`. False when the closing quote is missing.
bool TakeQuoted(std::string_view& s, std::string& out) {
    out.clear();
    std::size_t i = 1;
    while (i < s.size()) {
        char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return true;
        }
        if (c != '\\' || i + 1 >= s.size()) {
            out += c;
            ++i;
            continue;
        }
        char e = s[i + 1];
        switch (e) {
        case '\\': out += '\\'; i += 2; break;
        case '"': out += '"'; i += 2; break;
        case 'n': out += '\n'; i += 2; break;
        case 'r': out += '\r'; i += 2; break;
        case 't': out += '\t'; i += 2; break;
        case 'x':
            if (i + 3 < s.size() && HexDigit(s[i + 2]) >= 0 && HexDigit(s[i + 3]) >= 0) {
                out += static_cast<char>(HexDigit(s[i + 2]) * 16 + HexDigit(s[i + 3]));
                i += 4;
                break;
            }
            [[fallthrough]];
        default:
            // Not an escape we write: keep the backslash, so hand-typed paths survive.
            out += '\\';
            ++i;
        }
    }
    return false;
}

// ---- serialisation -------------------------------------------------------

void AppendKeyHeader(std::string& out, const std::vector<std::string>& path) {
    out += '[';
    out += kRoot;
    for (const std::string& part : path) {
        out += '\\';
        out += part;
    }
    out += "]\n";
}

void SerializeKey(std::string& out, const TStoreKey& key, std::vector<std::string>& path) {
    std::vector<const TStoreKey*> children = key.Children();
    // A key with neither values nor sub-keys still exists and needs its own
    // block; a key holding only sub-keys is implied by them.
    if (!key.Values().empty() || (children.empty() && !path.empty())) {
        AppendKeyHeader(out, path);
        for (const TStoreValue& value : key.Values()) {
            if (value.Name.empty()) {
                out += '@';
            } else {
                AppendQuoted(out, value.Name);
            }
            out += '=';
            if (value.IsText) {
                AppendQuoted(out, value.Data);
            } else {
                out += value.Data;
            }
            out += '\n';
        }
        out += '\n';
    }
    for (const TStoreKey* child : children) {
        path.push_back(child->Name());
        SerializeKey(out, *child, path);
        path.pop_back();
    }
}

// Removes the next line from `text` and gives it without its line end.
std::string_view TakeLine(std::string_view& text) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

[[noreturn]] void ThrowParseError(std::size_t lineNumber, const std::string& what) {
    throw std::runtime_error("line " + std::to_string(lineNumber) + ": " + what);
}

// ---- the store file on disk ----------------------------------------------

std::mutex g_warningMutex;
std::string g_warning;

void QueueWarning(const std::string& text) {
    std::lock_guard<std::mutex> lock(g_warningMutex);
    if (!g_warning.empty()) g_warning += '\n';
    g_warning += text;
}

std::string Timestamp() {
    std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y%m%d-%H%M%S", &tm);
    return buffer;
}

// Moves an unparsable store aside under a name not yet taken and queues the
// report. Called with the lock held, so that no writer's file is moved. The
// target of a link moves, so the link stays and the next write goes through it.
void SetAside(const std::string& path, const std::string& reason) {
    const std::string file = LinkTarget(path);
    const std::string base = file + ".corrupt-" + Timestamp();
    std::string target = base;
    for (int n = 2; ::access(target.c_str(), F_OK) == 0; ++n) target = base + "-" + std::to_string(n);
    if (::rename(file.c_str(), target.c_str()) != 0) {
        throw std::system_error(errno, std::generic_category(), path);
    }
    QueueWarning("The settings file " + path + " could not be read (" + reason +
                 "); it was kept as " + target + " and the settings start empty.");
}

TStoreUnparsable Unparsable(const std::string& path, const std::string& reason) {
    return TStoreUnparsable("The settings file " + path + " cannot be read (" + reason +
                            "); it is left as it is, and nothing is written to it.");
}

}  // namespace

std::string FoldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = FoldChar(c);
    return folded;
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y) { return FoldChar(x) == FoldChar(y); });
}

// ---- TStoreKey -------------------------------------------------------------

const TStoreKey* TStoreKey::FindChild(std::string_view name) const {
    auto it = m_children.find(FoldCase(name));
    return it == m_children.end() ? nullptr : it->second.get();
}

TStoreKey& TStoreKey::CreateChild(std::string_view name) {
    std::unique_ptr<TStoreKey>& child = m_children[FoldCase(name)];
    if (!child) child = std::make_unique<TStoreKey>(std::string(name));
    return *child;
}

std::vector<const TStoreKey*> TStoreKey::Children() const {
    std::vector<const TStoreKey*> children;
    children.reserve(m_children.size());
    for (const auto& entry : m_children) children.push_back(entry.second.get());
    return children;
}

const TStoreValue* TStoreKey::FindValue(std::string_view name) const {
    auto it = m_valueIndex.find(FoldCase(name));
    return it == m_valueIndex.end() ? nullptr : &m_values[it->second];
}

void TStoreKey::SetValue(TStoreValue value) {
    auto [it, inserted] = m_valueIndex.try_emplace(FoldCase(value.Name), m_values.size());
    if (inserted) {
        m_values.push_back(std::move(value));
    } else {
        TStoreValue& existing = m_values[it->second];
        existing.IsText = value.IsText;
        existing.Data = std::move(value.Data);
    }
}

std::vector<std::string> SplitKeyPath(std::string_view path) {
    std::vector<std::string> parts;
    if (path.empty()) return parts;
    for (;;) {
        std::size_t cut = path.find('\\');
        parts.emplace_back(path.substr(0, cut));
        if (cut == std::string_view::npos) break;
        path.remove_prefix(cut + 1);
    }
    return parts;
}

// ---- TStoreDocument --------------------------------------------------------

const TStoreKey* TStoreDocument::FindKey(const std::vector<std::string>& path) const {
    const TStoreKey* key = &m_root;
    for (const std::string& part : path) {
        key = key->FindChild(part);
        if (!key) return nullptr;
    }
    return key;
}

TStoreKey& TStoreDocument::CreateKey(const std::vector<std::string>& path) {
    TStoreKey* key = &m_root;
    for (const std::string& part : path) key = &key->CreateChild(part);
    return *key;
}

TStoreDocument TStoreDocument::Parse(std::string_view text) {
    TStoreDocument document;
    if (text.empty()) return document;  // nothing to lose; treated as a new store
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

    TStoreKey* current = nullptr;
    std::size_t lineNumber = 0;
    bool headerSeen = false;
    std::string name;
    std::string data;
    while (!text.empty()) {
        std::string_view line = TakeLine(text);
        ++lineNumber;

        if (!headerSeen) {
            if (TrimRight(line) != kHeader) ThrowParseError(lineNumber, "missing header");
            headerSeen = true;
            continue;
        }
        if (IsBlank(line) || TrimLeft(line).front() == ';') continue;

        if (line.front() == '[') {
            std::size_t close = line.rfind(']');
            if (close == std::string_view::npos || !IsBlank(line.substr(close + 1))) {
                ThrowParseError(lineNumber, "unterminated key");
            }
            std::string_view path = line.substr(1, close - 1);
            if (!SameTextIgnoringCase(path.substr(0, kRoot.size()), kRoot)) {
                ThrowParseError(lineNumber, "key outside HKEY_CURRENT_USER");
            }
            path.remove_prefix(kRoot.size());
            if (!path.empty()) {
                if (path.front() != '\\') ThrowParseError(lineNumber, "key outside HKEY_CURRENT_USER");
                path.remove_prefix(1);
            }
            current = &document.CreateKey(SplitKeyPath(path));
            continue;
        }

        if (!current) ThrowParseError(lineNumber, "value outside a key");
        std::string_view rest = TrimLeft(line);
        if (rest.front() == '@') {
            name.clear();
            rest.remove_prefix(1);
        } else if (rest.front() != '"' || !TakeQuoted(rest, name)) {
            ThrowParseError(lineNumber, "malformed value name");
        }
        rest = TrimLeft(rest);
        if (rest.empty() || rest.front() != '=') ThrowParseError(lineNumber, "missing '='");
        rest = TrimLeft(rest.substr(1));
        if (!rest.empty() && rest.front() == '"') {
            if (!TakeQuoted(rest, data) || !IsBlank(rest)) {
                ThrowParseError(lineNumber, "malformed text value");
            }
            current->SetValue({name, true, data});
            continue;
        }
        // Another kind of value, kept verbatim with its continuation lines.
        std::string raw(TrimRawLine(rest));
        if (raw.empty()) ThrowParseError(lineNumber, "missing value");
        // A continuation on the file's last line continues with an empty line,
        // as it reads when written back with a line after it.
        while (raw.back() == '\\') {
            ++lineNumber;
            raw += '\n';
            raw += TrimRawLine(TakeLine(text));
        }
        current->SetValue({name, false, raw});
    }
    return document;
}

std::string TStoreDocument::Serialize() const {
    std::string out(kHeader);
    out += "\n\n";
    std::vector<std::string> path;
    SerializeKey(out, m_root, path);
    return out;
}

// ---- files -----------------------------------------------------------------

std::string ConfigBaseFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.config";
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
        return std::string(entry->pw_dir) + "/.config";
    }
    return "/.config";
}

std::string StoreFilePath() { return ConfigBaseFolder() + "/Tavrin Software/Quillets.reg"; }

TStoreLock::TStoreLock(const std::string& storePath) {
    const std::string file = LinkTarget(storePath);
    std::error_code ignored;  // a missing folder shows as the open failure below
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ignored);
    const std::string lockPath = file + ".lock";
    m_fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (m_fd < 0) throw std::system_error(errno, std::generic_category(), lockPath);
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            int error = errno;
            ::close(m_fd);
            throw std::system_error(error, std::generic_category(), lockPath);
        }
    }
}

TStoreLock::~TStoreLock() { ::close(m_fd); }  // closing releases the flock

TStoreDocument ReadLockedStore(const std::string& path, bool atStartUp) {
    std::optional<std::string> text = ReadWholeFile(path);
    if (!text) return {};
    try {
        return TStoreDocument::Parse(*text);
    } catch (const std::runtime_error& error) {
        if (!atStartUp) throw Unparsable(path, error.what());
        SetAside(path, error.what());
        return {};
    }
}

void WriteLockedStore(const std::string& path, const TStoreDocument& document) {
    // One writer at a time holds the lock, so one temporary name serves, and
    // the next writer clears what a killed one left behind.
    ReplaceFileAtomically(path, path + ".tmp", document.Serialize());
}

TStoreDocument ReadStore(const std::string& readFailure) {
    const std::string path = StoreFilePath();
    std::optional<std::string> text;
    try {
        text = ReadWholeFile(path);
    } catch (const std::system_error& error) {
        throw std::runtime_error(StoreFailure(readFailure, path, "read", error.code().message()));
    }
    if (!text) return {};
    try {
        return TStoreDocument::Parse(*text);
    } catch (const std::runtime_error& error) {
        throw Unparsable(path, error.what());
    }
}

void InspectStore(const std::function<void(const TStoreDocument&)>& read,
                  const std::string& readFailure) {
    if (const TStoreTransaction* transaction = TStoreTransaction::Current()) {
        read(transaction->Contents(readFailure));
    } else {
        read(ReadStore(readFailure));
    }
}

void ModifyStore(const std::function<bool(TStoreDocument&)>& change,
                 const TStoreWriteErrors& errors) {
    TStoreTransaction transaction;  // joins the one open on this thread, if any
    transaction.Modify(change, errors);
    transaction.Commit();
}

std::string StoreFailure(const std::string& failure, const std::string& path,
                         const std::string& done, const std::string& reason) {
    return failure + ": the settings file " + path + " cannot be " + done + " (" + reason + ")";
}

std::string TakeStoreWarning() {
    std::lock_guard<std::mutex> lock(g_warningMutex);
    return std::exchange(g_warning, std::string{});
}

}  // namespace varnok
