#include "RunJournal.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <set>
#include <system_error>
#include <stdexcept>
#include <utility>

#include "FileIo.h"
#include "HeldFolder.h"
#include "SafeWrite.h"
#include "TextUtils.h"

namespace varnok {
namespace {

constexpr std::string_view kTitle = "Varnok Quillet run journal";
constexpr std::string_view kExtension = ".txt";

std::string FormatTime(const timespec& time, const char* format) {
    std::tm parts{};
    gmtime_r(&time.tv_sec, &parts);
    char text[64];
    std::strftime(text, sizeof text, format, &parts);
    return text;
}

// The id: the time in UTC to the microsecond, ISO 8601 basic format, so that
// ids sort in time order.
std::string IdOf(const timespec& time) {
    char micro[24];
    std::snprintf(micro, sizeof micro, ".%06ld", time.tv_nsec / 1000);
    return FormatTime(time, "%Y%m%dT%H%M%S") + micro + "Z";
}

std::string Shown(const timespec& time) { return FormatTime(time, "%Y-%m-%d %H:%M:%S UTC"); }

timespec Now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

bool IsId(std::string_view name) {
    constexpr std::string_view shape = "dddddddd" "T" "dddddd" "." "dddddd" "Z";
    if (name.size() != shape.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (shape[i] == 'd' ? !digit : name[i] != shape[i]) return false;
    }
    return true;
}

std::string FileNameOf(const std::string& folder, const std::string& id) {
    return folder + "/" + id + std::string(kExtension);
}

std::string KeptFolderOf(const std::string& folder, const std::string& id) {
    return folder + "/" + id + ".kept";
}

void MakeFolders(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw std::runtime_error("Cannot create folder " + folder + ": " + error.message());
}

// The bytes of the files kept in a journal's folder that exist nowhere else.
long long KeptSpace(const std::string& keptFolder) {
    long long bytes = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(keptFolder, error), end; !error && it != end; it.increment(error)) {
        struct stat info {};
        if (lstat(it->path().c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1) bytes += info.st_size;
    }
    return bytes;
}

// Removes the oldest journals once, with one more, there would be more than
// kJournalsKept + kPruneSlack: then down to kJournalsKept, so that the disk's
// wait to free a journal is paid once in ten runs. Their kept backups hold at
// most kKeptSpaceLimit. Only the journals' own files go: the tree is never
// touched.
void MakeRoomForOne(const std::string& folder) {
    constexpr std::size_t kPruneSlack = 10;
    const std::vector<std::string> ids = JournalIds(folder);
    std::size_t keep = ids.size() + 1 > kJournalsKept + kPruneSlack ? kJournalsKept - 1 : ids.size();
    long long space = 0;
    for (std::size_t kept = 0; kept < keep; ++kept) {
        const std::string keptFolder = KeptFolderOf(folder, ids[ids.size() - 1 - kept]);
        struct stat info {};
        if (lstat(keptFolder.c_str(), &info) != 0) continue;
        space += KeptSpace(keptFolder);
        if (space > kKeptSpaceLimit && kept != 0) keep = kept;  // the last run stays undoable
    }
    for (std::size_t i = 0; i + keep < ids.size(); ++i) {
        const std::string name = FileNameOf(folder, ids[i]);
        if (unlink(name.c_str()) != 0 && errno != ENOENT) CannotDelete(name, errno);
        const std::string kept = KeptFolderOf(folder, ids[i]);
        std::error_code error;
        std::filesystem::remove_all(kept, error);
        if (error) throw std::runtime_error("Cannot delete folder " + kept + ": " + error.message());
    }
}

// A new file's name is on disk only once its folder is synced.
bool SyncFolderNamed(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = SyncFolder(fd);
    close(fd);
    return synced;
}

// Reads a quoted name at text[at]; moves at past it.
std::optional<std::string> Unquote(std::string_view text, std::size_t& at) {
    if (at >= text.size() || text[at] != '"') return std::nullopt;
    std::string out;
    for (++at; at < text.size(); ++at) {
        const std::size_t plain = std::min(text.find_first_of("\"\\", at), text.size());
        out.append(text.substr(at, plain - at));
        at = plain;
        if (at == text.size()) break;
        if (text[at] == '"') {
            ++at;
            return out;
        }
        if (++at == text.size()) return std::nullopt;
        switch (text[at]) {
            case '\\': out += '\\'; break;
            case '"': out += '"'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'x': {
                if (at + 2 >= text.size()) return std::nullopt;
                const std::string hex(text.substr(at + 1, 2));
                char* end = nullptr;
                const long value = std::strtol(hex.c_str(), &end, 16);
                if (end != hex.c_str() + 2) return std::nullopt;
                out += static_cast<char>(value);
                at += 2;
                break;
            }
            default: return std::nullopt;
        }
    }
    return std::nullopt;
}

std::string IdentityText(const TFileIdentity& identity) {
    char nanoseconds[16];
    std::snprintf(nanoseconds, sizeof nanoseconds, ".%09ld", identity.Modified.tv_nsec);
    return std::to_string(identity.Device) + " " + std::to_string(identity.Inode) + " " +
           std::to_string(identity.Size) + " " + std::to_string(identity.Modified.tv_sec) + nanoseconds;
}

// DEVICE INODE SIZE SECONDS.NANOSECONDS at text[at]; moves at past it.
std::optional<TFileIdentity> ParseIdentity(std::string_view text, std::size_t& at) {
    const char* next = text.data() + at;
    const char* const end = text.data() + text.size();
    const auto number = [&](auto& value, char after) {
        const auto [stop, error] = std::from_chars(next, end, value);
        if (error != std::errc() || (after != '\0' && (stop == end || *stop != after))) return false;
        next = after != '\0' ? stop + 1 : stop;
        return true;
    };
    TFileIdentity identity{};
    unsigned long long device = 0, inode = 0;
    if (!number(device, ' ') || !number(inode, ' ') || !number(identity.Size, ' ') ||
        !number(identity.Modified.tv_sec, '.')) {
        return std::nullopt;
    }
    const char* const fraction = next;
    if (!number(identity.Modified.tv_nsec, '\0') || next - fraction != 9) return std::nullopt;
    identity.Device = static_cast<dev_t>(device);
    identity.Inode = static_cast<ino_t>(inode);
    at = static_cast<std::size_t>(next - text.data());
    return identity;
}

// " DEVICE INODE", the whole of text.
std::optional<std::pair<dev_t, ino_t>> ParseDeviceInode(std::string_view text) {
    unsigned long long device = 0, inode = 0;
    const char* const end = text.data() + text.size();
    if (!text.starts_with(' ')) return std::nullopt;
    const auto first = std::from_chars(text.data() + 1, end, device);
    if (first.ec != std::errc() || first.ptr == end || *first.ptr != ' ') return std::nullopt;
    const auto second = std::from_chars(first.ptr + 1, end, inode);
    if (second.ec != std::errc() || second.ptr != end) return std::nullopt;
    return std::pair{static_cast<dev_t>(device), static_cast<ino_t>(inode)};
}

// Temp "NAME" DEVICE INODE
std::optional<TTemporary> ParseTemporary(std::string_view line) {
    std::size_t at = 5;
    auto name = Unquote(line, at);
    if (!name) return std::nullopt;
    const auto identity = ParseDeviceInode(line.substr(at));
    if (!identity) return std::nullopt;
    return TTemporary{std::move(*name), identity->first, identity->second};
}

// Older "BACKUP" kept "KEPT"
std::optional<TKeptBackup> ParseKept(std::string_view line) {
    std::size_t at = 6;
    auto backup = Unquote(line, at);
    if (!backup || line.substr(at, 6) != " kept ") return std::nullopt;
    at += 6;
    auto kept = Unquote(line, at);
    if (!kept || at != line.size()) return std::nullopt;
    return TKeptBackup{std::move(*backup), std::move(*kept)};
}

// A line that is exactly prefix followed by one quoted text.
std::optional<std::string> QuotedAfter(std::string_view line, std::string_view prefix) {
    if (!line.starts_with(prefix)) return std::nullopt;
    std::size_t at = prefix.size();
    auto text = Unquote(line, at);
    if (!text || at != line.size()) return std::nullopt;
    return text;
}

std::optional<bool> YesNo(std::string_view text) {
    if (text == "yes") return true;
    if (text == "no") return false;
    return std::nullopt;
}

// File "NAME" SIZE HASH -> SIZE HASH backup "BACKUP" made|replaced[ read IDENTITY placed IDENTITY]
std::optional<TJournalEntry> ParseEntry(std::string_view line) {
    TJournalEntry entry;
    std::size_t at = 5;
    auto file = Unquote(line, at);
    if (!file || line.substr(at, 1) != " ") return std::nullopt;
    const auto arrow = line.find(" -> ", at);
    const auto backupAt = line.find(" backup \"", arrow == std::string_view::npos ? at : arrow);
    if (arrow == std::string_view::npos || backupAt == std::string_view::npos) return std::nullopt;
    const auto before = ParseDigest(line.substr(at + 1, arrow - at - 1));
    const auto after = ParseDigest(line.substr(arrow + 4, backupAt - arrow - 4));
    at = backupAt + 8;
    auto backup = Unquote(line, at);
    if (!before || !after || !backup) return std::nullopt;
    std::string_view made = line.substr(at);
    if (const auto read = made.find(" read "); read != std::string_view::npos) {
        std::size_t from = at + read + 6;
        entry.Read = ParseIdentity(line, from);
        if (!entry.Read || line.substr(from, 8) != " placed ") return std::nullopt;
        from += 8;
        entry.Placed = ParseIdentity(line, from);
        if (!entry.Placed || from != line.size()) return std::nullopt;
        made = made.substr(0, read);
    }
    if (made != " made" && made != " replaced") return std::nullopt;
    entry.File = std::move(*file);
    entry.Backup = std::move(*backup);
    entry.MadeBackup = made == " made";
    entry.Before = *before;
    entry.After = *after;
    return entry;
}

// Rename "OLD" -> "NEW" DEVICE INODE
std::optional<TJournalRename> ParseRename(std::string_view line) {
    std::size_t at = 7;
    TJournalRename rename;
    auto from = Unquote(line, at);
    if (!from || line.substr(at, 4) != " -> ") return std::nullopt;
    at += 4;
    auto to = Unquote(line, at);
    if (!to) return std::nullopt;
    const auto identity = ParseDeviceInode(line.substr(at));
    if (!identity) return std::nullopt;
    rename.From = std::move(*from);
    rename.To = std::move(*to);
    rename.Device = identity->first;
    rename.Inode = identity->second;
    return rename;
}

// The line number of the first line that does not parse, 0 when all do.
std::size_t Parse(std::string_view text, TJournal& journal) {
    // A line a file, as many again for its temporaries: grown once, not as it fills.
    journal.Entries.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) / 2 + 1);
    // Checked as they come, kept only when no "Ended" follows: most runs end,
    // and their temporaries would only be memory touched for nothing.
    std::vector<std::string_view> temporaries;
    std::size_t start = 0, number = 0;
    bool lastWasRename = false;
    for (std::size_t end; (end = text.find('\n', start)) != std::string_view::npos; start = end + 1) {
        ++number;
        const std::string_view line(text.data() + start, end - start);
        journal.WholeLength = end + 1;
        bool parsed = true;
        const bool afterRename = lastWasRename;
        lastWasRename = false;
        if (number == 1) {
            parsed = line == kTitle;
        } else if (line.starts_with("Version ") && number == 2) {
            parsed = line.substr(8) == std::to_string(kJournalVersion);
            journal.Version = kJournalVersion;
        } else if (line.starts_with("File ")) {
            auto entry = ParseEntry(line);
            parsed = entry.has_value() && !journal.Started.empty();
            if (parsed) journal.Entries.push_back(std::move(*entry));
        } else if (line.starts_with("Temp ")) {
            parsed = ParseTemporary(line).has_value();
            if (parsed) temporaries.push_back(line);
        } else if (line.starts_with("Older ")) {
            auto kept = ParseKept(line);
            parsed = kept.has_value();
            if (parsed) journal.KeptBackups.push_back(std::move(*kept));
        } else if (line.starts_with("Rename \"")) {  // the header's "Rename yes" is the option
            auto rename = ParseRename(line);
            parsed = rename.has_value();
            if (parsed) journal.Renames.push_back(std::move(*rename));
            lastWasRename = parsed;
        } else if (auto skipped = QuotedAfter(line, "Skipped "); skipped && afterRename) {
            // The rename before was not done.
            parsed = journal.Renames.back().From == *skipped;
            if (parsed) journal.Renames.pop_back();
        } else if (auto skipped = QuotedAfter(line, "Skipped ")) {
            // The rewrite was left out: the file keeps what it had.
            auto& entries = journal.Entries;
            const auto last = std::find_if(entries.rbegin(), entries.rend(),
                                           [&](const TJournalEntry& entry) { return entry.File == *skipped; });
            parsed = last != entries.rend();
            if (parsed) entries.erase(std::next(last).base());
        } else if (line.starts_with("Started ") && journal.Started.empty()) {
            journal.Started = line.substr(8);
        } else if (line == "Ended") {
            temporaries.clear();  // all gone by then
        } else if (line.starts_with("Undone ") && !journal.Undone) {
            journal.Undone = true;  // and nothing may follow
        } else {
            const std::pair<std::string_view, std::vector<std::string>*> lists[] = {
                {"Folder ", &journal.Folders},
                {"Mask ", &journal.Masks},
                {"Exclude ", &journal.Options.Exclusions},
                {"Change ", &journal.ChangeText}};
            parsed = false;
            for (const TJobFlag& flag : kJobFlags) {
                const std::string_view name = flag.JournalName;
                if (line.size() > name.size() && line.starts_with(name) && line[name.size()] == ' ') {
                    const auto value = YesNo(line.substr(name.size() + 1));
                    parsed = value.has_value();
                    journal.Options.*flag.Member = value.value_or(false);
                }
            }
            for (const auto& [prefix, list] : lists) {
                if (auto value = QuotedAfter(line, prefix)) {
                    list->push_back(std::move(*value));
                    parsed = true;
                }
            }
        }
        if (!parsed || (journal.Undone && !line.starts_with("Undone "))) return number;
    }
    journal.Temporaries.reserve(temporaries.size());
    for (const std::string_view line : temporaries) journal.Temporaries.push_back(*ParseTemporary(line));
    // A journal whose header itself is torn tells nothing to undo.
    return journal.Started.empty() ? number + 1 : 0;
}

// Whether the last whole line is "Undone ...", read from the end alone: a
// journal may hold many thousand lines.
bool EndsUndone(const std::string& fileName) {
    const int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    constexpr off_t kTail = 512;
    struct stat info {};
    std::string tail;
    off_t from = 0;
    if (fstat(fd, &info) == 0) {
        from = std::max<off_t>(0, info.st_size - kTail);
        if (!PreadWhole(fd, tail, static_cast<std::size_t>(info.st_size - from), from)) tail.clear();
    }
    close(fd);
    const auto end = tail.rfind('\n');
    if (end == std::string::npos || end == 0) return false;
    const auto start = tail.rfind('\n', end - 1);
    if (start == std::string::npos && from > 0) return false;  // a longer line
    const std::size_t begin = start == std::string::npos ? 0 : start + 1;
    return std::string_view(tail).substr(begin, end - begin).starts_with("Undone ");
}

}  // namespace

bool TFileIdentity::operator==(const TFileIdentity& other) const {
    return Device == other.Device && Inode == other.Inode && Size == other.Size &&
           Modified.tv_sec == other.Modified.tv_sec && Modified.tv_nsec == other.Modified.tv_nsec;
}

TFileIdentity IdentityOf(const struct stat& info) {
    return {info.st_dev, info.st_ino, static_cast<std::uint64_t>(info.st_size), info.st_mtim};
}

std::string RunJournalFolder() {
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* user = getpwuid(getuid());
            home = user ? user->pw_dir : "/";
        }
        base = std::string(home) + "/.local/state";
    }
    return base + "/Tavrin Software/Quillets/runs";
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                    char hex[5];
                    std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
                    out += hex;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

TRunJournal::TRunJournal(std::string folder, const TJobSettings& settings)
    : m_folder(std::move(folder)), m_started(Now()) {
    m_header = std::string(kTitle) + "\nVersion " + std::to_string(kJournalVersion) + "\nStarted " +
               Shown(m_started) + "\n";
    for (const auto& path : settings.Folders) {
        std::error_code error;
        const auto absolute = std::filesystem::absolute(path, error);
        m_header += "Folder " + Quoted(error ? path : absolute.string()) + "\n";
    }
    for (const auto& mask : settings.Masks) m_header += "Mask " + Quoted(mask) + "\n";
    for (const TJobFlag& flag : kJobFlags) {
        m_header += std::string(flag.JournalName) + (settings.*flag.Member ? " yes" : " no") + "\n";
    }
    for (const auto& mask : settings.Exclusions) m_header += "Exclude " + Quoted(mask) + "\n";
    for (const auto& line : settings.ChangeText) m_header += "Change " + Quoted(line) + "\n";
}

TRunJournal::~TRunJournal() {
    if (m_keptFolder >= 0) close(m_keptFolder);
    if (m_descriptor < 0) return;
    // Left unsynced only when an error ended the run; that error is reported.
    if (!m_synced) SyncFile(m_descriptor) && SyncFolderNamed(m_folder);
    close(m_descriptor);
}

void TRunJournal::Add(const TJournalEntry& entry) {
    const std::string line = "File " + Quoted(entry.File) + " " + DigestText(entry.Before) + " -> " +
                             DigestText(entry.After) + " backup " + Quoted(entry.Backup) +
                             (entry.MadeBackup ? " made" : " replaced") +
                             (entry.Read && entry.Placed
                                  ? " read " + IdentityText(*entry.Read) + " placed " + IdentityText(*entry.Placed)
                                  : std::string()) +
                             "\n";
    const std::lock_guard lock(m_mutex);
    AddLine(line);
}

std::string TemporaryLine(const std::string& name, const struct stat& file) {
    return "Temp " + Quoted(name) + " " + std::to_string(file.st_dev) + " " + std::to_string(file.st_ino) + "\n";
}

void TRunJournal::AddTemporary(const std::string& name, const struct stat& file) {
    const std::string line = TemporaryLine(name, file);
    const std::lock_guard lock(m_mutex);
    AddLine(line);
}

void TRunJournal::AddSkipped(const std::string& file) {
    const std::lock_guard lock(m_mutex);
    AddLine("Skipped " + Quoted(file) + "\n");
}

void TRunJournal::AddRename(const TJournalRename& rename) {
    const std::string line = "Rename " + Quoted(rename.From) + " -> " + Quoted(rename.To) + " " +
                             std::to_string(rename.Device) + " " + std::to_string(rename.Inode) + "\n";
    const std::lock_guard lock(m_mutex);
    AddLine(line);
}

void TRunJournal::AddLine(const std::string& line) {
    m_synced = false;
    if (m_descriptor < 0) {
        Create(line);
    } else if (!WriteAll(m_descriptor, line)) {
        CannotWrite(m_fileName, errno);
    }
}

int TRunJournal::KeptFolder() {
    if (m_keptFolder >= 0) return m_keptFolder;
    if (m_descriptor < 0) Create("");  // its id names the folder
    m_keptFolderName = m_fileName.substr(0, m_fileName.size() - kExtension.size()) + ".kept";
    if (mkdir(m_keptFolderName.c_str(), 0700) != 0 && errno != EEXIST) return -1;
    m_keptFolder = open(m_keptFolderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return m_keptFolder;
}

struct stat TRunJournal::KeepOlder(int folder, const std::string& name, const std::string& fullName) {
    const std::lock_guard lock(m_mutex);
    const auto cannot = [&](const std::string& why) -> struct stat {
        throw TCannotKeep("older backup " + fullName + " cannot be kept: " + why);
    };
    const auto reason = [] { return std::generic_category().message(errno); };
    const int kept = KeptFolder();
    if (kept < 0) return cannot(reason());
    const std::string keptName = std::to_string(++m_kept) + "-" + name.substr(0, 200);
    struct stat info {};
    if (linkat(folder, name.c_str(), kept, keptName.c_str(), 0) == 0) {
        if (fstatat(kept, keptName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return cannot(reason());
    } else if (errno == EXDEV || errno == EPERM || errno == EMLINK) {
        // Another file system, or one without hard links: a copy.
        const int from = openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (from < 0) return cannot(reason());
        const TDescriptor closeFrom(from);
        if (fstat(from, &info) != 0) return cannot(reason());
        if (!S_ISREG(info.st_mode)) return cannot("not a file");
        if (info.st_size > kKeptCopyLimit) return cannot("too large to copy to " + m_folder);
        const int to = openat(kept, keptName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (to < 0) return cannot(reason());
        const TDescriptor closeTo(to);
        if (!CopyInto(from, info, to)) {
            const std::string why = reason();
            unlinkat(kept, keptName.c_str(), 0);
            return cannot(why);
        }
    } else {
        return cannot(reason());
    }
    AddLine("Older " + Quoted(fullName) + " kept " + Quoted(m_keptFolderName + "/" + keptName) + "\n");
    return info;
}

void TRunJournal::Create(const std::string& firstLine) {
    MakeFolders(m_folder);
    MakeRoomForOne(m_folder);
    // Two runs that start within the same microsecond take the next one.
    for (timespec time = m_started;; time.tv_nsec += 1000) {
        if (time.tv_nsec >= 1'000'000'000) {
            time.tv_nsec -= 1'000'000'000;
            ++time.tv_sec;
        }
        m_fileName = FileNameOf(m_folder, IdOf(time));
        m_descriptor = open(m_fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
        if (m_descriptor >= 0 || errno != EEXIST) break;
    }
    if (m_descriptor < 0) CannotCreate(m_fileName, errno);
    // The header and the first entry in one write: a journal is never without
    // an entry, and one that could not be written (a full disk) is not left.
    if (!WriteAll(m_descriptor, m_header + firstLine)) {
        const int error = errno;
        close(std::exchange(m_descriptor, -1));
        unlink(m_fileName.c_str());
        CannotWrite(m_fileName, error);
    }
}

void TRunJournal::Sync() {
    const std::lock_guard lock(m_mutex);
    if (m_descriptor < 0 || m_synced) return;
    if ((m_keptFolder >= 0 && !SyncFileSystem(m_keptFolder)) || !SyncFile(m_descriptor) ||
        !SyncFolderNamed(m_folder)) {
        throw std::runtime_error("Cannot write to the disk of " + m_folder);
    }
    m_synced = true;
}

void TRunJournal::End() {
    {
        const std::lock_guard lock(m_mutex);
        if (m_descriptor < 0) return;
        AddLine("Ended\n");
    }
    Sync();
}

std::size_t TJournal::FileCount() const {
    std::set<std::string_view> files;
    for (const auto& entry : Entries) files.insert(entry.File);
    return files.size();
}

std::vector<std::string> JournalIds(const std::string& folder) {
    std::vector<std::string> ids;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.ends_with(kExtension) && IsId(std::string_view(name).substr(0, name.size() - kExtension.size()))) {
            ids.push_back(name.substr(0, name.size() - kExtension.size()));
        }
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

namespace {

// A journal's bytes, in memory faulted in by one call: a big run's journal
// is megabytes, and faulted page by page it costs more than its parse.
class TJournalBytes {
public:
    TJournalBytes(int fd, std::size_t size, const std::string& name) {
        if (size == 0) return;
        void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (memory == MAP_FAILED) CannotOpen(name, errno);
        m_data = static_cast<char*>(memory);
        m_capacity = size;
        while (m_size < size) {
            const ssize_t got = pread(fd, m_data + m_size, size - m_size, static_cast<off_t>(m_size));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                const int error = errno;
                munmap(m_data, m_capacity);  // no destructor for a constructor that throws
                CannotOpen(name, error);
            }
            if (got == 0) break;
            m_size += static_cast<std::size_t>(got);
        }
    }
    ~TJournalBytes() {
        if (m_data) munmap(m_data, m_capacity);
    }
    TJournalBytes(const TJournalBytes&) = delete;
    TJournalBytes& operator=(const TJournalBytes&) = delete;
    std::string_view Text() const { return {m_data, m_size}; }

private:
    char* m_data = nullptr;
    std::size_t m_size = 0, m_capacity = 0;
};

}  // namespace

TJournal ReadJournal(const std::string& folder, const std::string& id) {
    TJournal journal;
    journal.Id = id;
    journal.FileName = FileNameOf(folder, id);
    const int fd = IsId(id) ? open(journal.FileName.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) throw std::runtime_error("No run journal " + id);
    const TDescriptor closed(fd);
    struct stat info {};
    if (fstat(fd, &info) != 0) CannotOpen(journal.FileName, errno);
    const TJournalBytes bytes(fd, static_cast<std::size_t>(info.st_size), journal.FileName);
    if (const std::size_t line = Parse(bytes.Text(), journal); line != 0) {
        throw std::runtime_error("The run journal " + journal.FileName + " cannot be read (line " +
                                 IntToText(static_cast<long long>(line)) + ")");
    }
    return journal;
}

std::optional<TJournal> LastJournalToUndo(const std::string& folder) {
    const std::vector<std::string> ids = JournalIds(folder);
    for (auto id = ids.rbegin(); id != ids.rend(); ++id) {
        if (EndsUndone(FileNameOf(folder, *id))) continue;
        try {
            return ReadJournal(folder, *id);
        } catch (const std::runtime_error&) {
            // Listed as unreadable by --list-runs; an undo by its id says why.
        }
    }
    return std::nullopt;
}

std::optional<std::string> LastRunToUndo(const std::string& folder) {
    std::optional<TJournal> journal = LastJournalToUndo(folder);
    if (!journal) return std::nullopt;
    return std::move(journal->Id);
}

void MarkUndone(const TJournal& journal) {
    const int fd = open(journal.FileName.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) CannotOpen(journal.FileName, errno);
    const std::string line = "Undone " + Shown(Now()) + "\n";
    const auto at = static_cast<off_t>(journal.WholeLength);
    const bool written = ftruncate(fd, at) == 0 && lseek(fd, at, SEEK_SET) == at &&
                         WriteAll(fd, line) && SyncFile(fd);
    const int error = errno;
    close(fd);
    if (!written) CannotWrite(journal.FileName, error);
}

}  // namespace varnok
